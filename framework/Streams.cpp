// Byte streams: the TStream defaults (size by seeking, the buffer helpers, CopyFrom), the
// memory stream over a vector it owns, and the file stream over a POSIX file descriptor.
#include "framework/Streams.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>
#include <system_error>

#include "framework/SysUtils.h"

namespace qv {

namespace {

inline constexpr const char* SOSError = "System Error.  Code: %d.\r\n%s";

// CopyFrom moves data through a buffer of at most this many bytes.
constexpr int64_t kCopyBufferSize = 64 * 1024;
// One read or write call moves at most this much, well below SSIZE_MAX.
constexpr int64_t kMaxTransfer = int64_t{1} << 30;

// The system's text for an error number, as strerror gives it (but thread-safe).
std::string SystemMessage(int error) {
  return std::error_code(error, std::generic_category()).message();
}

// base + offset, saturated to the int64 range (positions past the end are allowed, so
// a huge offset must not wrap round to a small or negative position).
int64_t AddSaturated(int64_t base, int64_t offset) {
  int64_t result;
  if (__builtin_add_overflow(base, offset, &result))
    return offset > 0 ? std::numeric_limits<int64_t>::max() : std::numeric_limits<int64_t>::min();
  return result;
}

}  // namespace

int64_t ReadBlock(const uint8_t* data, int64_t size, int64_t& position, void* buffer,
                  int64_t count) {
  if (count <= 0 || position >= size) return 0;
  const int64_t n = std::min(count, size - position);
  std::memcpy(buffer, data + position, static_cast<size_t>(n));
  position += n;
  return n;
}

int64_t SeekPosition(int64_t position, int64_t size, int64_t offset, TSeekOrigin origin) {
  const int64_t base = origin == soCurrent ? position : origin == soEnd ? size : 0;
  return std::max<int64_t>(AddSaturated(base, offset), 0);
}

// ---------------------------------------------------------------------------------------
// TStream

int64_t TStream::Size() {
  const int64_t pos = Seek(0, soCurrent);
  const int64_t result = Seek(0, soEnd);
  Seek(pos, soBeginning);
  return result;
}

void TStream::SetSize(int64_t /*newSize*/) {}

void TStream::ReadBuffer(void* buffer, int64_t count) {
  if (count != 0 && Read(buffer, count) != count) throw EReadError(SReadError);
}

void TStream::WriteBuffer(const void* buffer, int64_t count) {
  if (count != 0 && Write(buffer, count) != count) throw EWriteError(SWriteError);
}

int64_t TStream::CopyFrom(TStream& source, int64_t count) {
  if (count == 0) {
    source.SetPosition(0);
    count = source.Size();
  }
  if (count < 0) throw EReadError(SReadError);  // as ReadBuffer answers a negative count
  std::vector<uint8_t> buffer(static_cast<size_t>(std::min(count, kCopyBufferSize)));
  for (int64_t left = count; left > 0;) {
    const int64_t n = std::min(left, kCopyBufferSize);
    source.ReadBuffer(buffer.data(), n);
    WriteBuffer(buffer.data(), n);
    left -= n;
  }
  return count;
}

// ---------------------------------------------------------------------------------------
// TMemoryStream

TMemoryStream::TMemoryStream(std::string_view bytes) : FData(bytes.begin(), bytes.end()) {}

int64_t TMemoryStream::Read(void* buffer, int64_t count) {
  return ReadBlock(FData.data(), Size(), FPosition, buffer, count);
}

int64_t TMemoryStream::Write(const void* buffer, int64_t count) {
  if (count <= 0) return 0;
  if (count > std::numeric_limits<int64_t>::max() - FPosition)
    throw EStreamError(SMemoryStreamError);
  const int64_t end = FPosition + count;
  if (end > Size()) SetSize(end);  // a gap between the old end and the position reads as zeros
  std::memcpy(FData.data() + FPosition, buffer, static_cast<size_t>(count));
  FPosition = end;
  return count;
}

int64_t TMemoryStream::Seek(int64_t offset, TSeekOrigin origin) {
  // Past the end is allowed: the next Write fills the gap with zeros, a Read gives nothing.
  FPosition = SeekPosition(FPosition, Size(), offset, origin);
  return FPosition;
}

void TMemoryStream::SetSize(int64_t newSize) {
  newSize = std::max<int64_t>(newSize, 0);
  try {
    FData.resize(static_cast<size_t>(newSize));
  } catch (const std::bad_alloc&) {  // growing failed; the stream keeps its old content
    throw EStreamError(SMemoryStreamError);
  } catch (const std::length_error&) {  // as above, for sizes the vector cannot hold
    throw EStreamError(SMemoryStreamError);
  }
  FPosition = std::min(FPosition, newSize);
}

void TMemoryStream::Clear() {
  FData = {};  // gives the memory back, unlike clear()
  FPosition = 0;
}

void TMemoryStream::LoadFromStream(TStream& stream) {
  // Read into a new block first, so a failed read leaves this stream as it was.
  stream.SetPosition(0);
  const int64_t size = stream.Size();
  TMemoryStream loaded;
  loaded.SetSize(size);
  stream.ReadBuffer(loaded.FData.data(), size);
  FData = std::move(loaded.FData);
  FPosition = 0;
}

void TMemoryStream::LoadFromFile(const std::string& fileName) {
  TFileStream stream(fileName, fmOpenRead);
  LoadFromStream(stream);
}

void TMemoryStream::SaveToStream(TStream& stream) const {
  stream.WriteBuffer(FData.data(), static_cast<int64_t>(FData.size()));
}

void TMemoryStream::SaveToFile(const std::string& fileName) const {
  TFileStream stream(fileName, fmCreate);
  SaveToStream(stream);
}

// ---------------------------------------------------------------------------------------
// TFileStream

TFileStream::TFileStream(const std::string& fileName, uint16_t mode) : FFileName(fileName) {
  if (mode == fmCreate) {
    do {
      FHandle = ::open(fileName.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    } while (FHandle < 0 && errno == EINTR);
    if (FHandle < 0) throw EFCreateError(Format(SFCreateError, fileName, SystemMessage(errno)));
    return;
  }

  int flags = -1;
  switch (mode & 3) {
    case fmOpenRead:
      flags = O_RDONLY;
      break;
    case fmOpenWrite:
      flags = O_WRONLY;
      break;
    case fmOpenReadWrite:
      flags = O_RDWR;
      break;
    default:
      throw EFOpenError(Format(SFOpenError, fileName, SystemMessage(EINVAL)));
  }
  do {
    FHandle = ::open(fileName.c_str(), flags | O_CLOEXEC);
  } while (FHandle < 0 && errno == EINTR);
  if (FHandle < 0) throw EFOpenError(Format(SFOpenError, fileName, SystemMessage(errno)));

  // POSIX lets a directory be opened for reading; as a stream it is an error.
  struct stat st {};
  if (::fstat(FHandle, &st) != 0 || S_ISDIR(st.st_mode)) {
    const int error = S_ISDIR(st.st_mode) ? EISDIR : errno;
    ::close(FHandle);
    FHandle = -1;
    throw EFOpenError(Format(SFOpenError, fileName, SystemMessage(error)));
  }
}

TFileStream::~TFileStream() {
  if (FHandle >= 0) ::close(FHandle);
}

int64_t TFileStream::Read(void* buffer, int64_t count) {
  // read may move fewer bytes than asked (signals, pipes); loop until done, at the end of
  // the file, or on an error, and report what was moved.
  auto* p = static_cast<uint8_t*>(buffer);
  int64_t done = 0;
  while (done < count) {
    const ssize_t n =
        ::read(FHandle, p + done, static_cast<size_t>(std::min(count - done, kMaxTransfer)));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += n;
  }
  return done;
}

int64_t TFileStream::Write(const void* buffer, int64_t count) {
  const auto* p = static_cast<const uint8_t*>(buffer);
  int64_t done = 0;
  while (done < count) {
    const ssize_t n =
        ::write(FHandle, p + done, static_cast<size_t>(std::min(count - done, kMaxTransfer)));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += n;
  }
  return done;
}

int64_t TFileStream::Seek(int64_t offset, TSeekOrigin origin) {
  int whence = SEEK_SET;
  switch (origin) {
    case soBeginning:
      whence = SEEK_SET;
      break;
    case soCurrent:
      whence = SEEK_CUR;
      break;
    case soEnd:
      whence = SEEK_END;
      break;
  }
  const off_t result = ::lseek(FHandle, static_cast<off_t>(offset), whence);
  // lseek refuses a negative target with EINVAL; the stream contract clamps it to 0.
  if (result < 0 && errno == EINVAL) return ::lseek(FHandle, 0, SEEK_SET);
  return result;  // -1 for a handle that cannot seek (a pipe), as the platform reports it
}

void TFileStream::SetSize(int64_t newSize) {
  const int64_t pos = Position();
  if (::ftruncate(FHandle, static_cast<off_t>(std::max<int64_t>(newSize, 0))) != 0) {
    const int error = errno;
    throw EOSError(Format(SOSError, error, SystemMessage(error)));
  }
  // As in the memory stream, a position beyond the new end moves back to it.
  if (pos > newSize) Seek(newSize, soBeginning);
}

}  // namespace qv
