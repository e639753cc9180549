// Byte streams: the abstract TStream with position and size, an in-memory stream, a stream
// over an 8-bit string, and a file stream. Reading past the end is not an error for Read
// (it returns fewer bytes); ReadBuffer and WriteBuffer raise when the count is not met.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "framework/Classes.h"

namespace qv {

QV_DECLARE_EXCEPTION(EFCreateError, EStreamError);
QV_DECLARE_EXCEPTION(EFOpenError, EStreamError);
QV_DECLARE_EXCEPTION(EReadError, EFilerError);
QV_DECLARE_EXCEPTION(EWriteError, EFilerError);

inline constexpr const char* SReadError = "Stream read error";
inline constexpr const char* SWriteError = "Stream write error";
inline constexpr const char* SFCreateError = "Cannot create file \"%s\". %s";
inline constexpr const char* SFOpenError = "Cannot open file \"%s\". %s";
inline constexpr const char* SMemoryStreamError = "Out of memory while expanding memory stream";

enum TSeekOrigin : uint8_t { soBeginning, soCurrent, soEnd };

class TStream : public TObject {
public:
  const char* ClassName() const override { return "TStream"; }

  // Reads up to count bytes; returns how many were read (0 at the end).
  virtual int64_t Read(void* buffer, int64_t count) = 0;
  // Writes up to count bytes; returns how many were written.
  virtual int64_t Write(const void* buffer, int64_t count) = 0;
  // Moves the position; returns the new position. A position before 0 is clamped to 0.
  virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;

  int64_t Position() { return Seek(0, soCurrent); }
  void SetPosition(int64_t value) { Seek(value, soBeginning); }
  virtual int64_t Size();
  virtual void SetSize(int64_t newSize);

  // Raise EReadError "Stream read error" / EWriteError "Stream write error" when fewer
  // than count bytes could be moved.
  void ReadBuffer(void* buffer, int64_t count);
  void WriteBuffer(const void* buffer, int64_t count);
  // Copies count bytes from source's position; count 0 copies the whole source from its
  // start. Returns the number of bytes copied.
  int64_t CopyFrom(TStream& source, int64_t count);
};

// Shared by the streams over a block of memory: reads up to count bytes of data (size bytes)
// from position on and advances it; and the position a Seek reaches (never before 0, past
// the end allowed, saturated instead of wrapping).
int64_t ReadBlock(const uint8_t* data, int64_t size, int64_t& position, void* buffer,
                  int64_t count);
int64_t SeekPosition(int64_t position, int64_t size, int64_t offset, TSeekOrigin origin);

// A stream over a growable block of memory it owns.
class TMemoryStream : public TStream {
public:
  TMemoryStream() = default;
  explicit TMemoryStream(std::string_view bytes);
  const char* ClassName() const override { return "TMemoryStream"; }

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override { return static_cast<int64_t>(FData.size()); }
  void SetSize(int64_t newSize) override;

  const uint8_t* Memory() const { return FData.data(); }
  // The content as bytes in a string.
  std::string DataString() const { return std::string(FData.begin(), FData.end()); }
  void Clear();
  void LoadFromStream(TStream& stream);
  void LoadFromFile(const std::string& fileName);
  void SaveToStream(TStream& stream) const;
  void SaveToFile(const std::string& fileName) const;

private:
  std::vector<uint8_t> FData;
  int64_t FPosition = 0;
};

// Open modes of TFileStream. Sharing modes of the original platform have no meaning here.
inline constexpr uint16_t fmCreate = 0xFFFF;
inline constexpr uint16_t fmOpenRead = 0x0000;
inline constexpr uint16_t fmOpenWrite = 0x0001;
inline constexpr uint16_t fmOpenReadWrite = 0x0002;
inline constexpr uint16_t fmShareDenyWrite = 0x0020;  // accepted, has no effect here

// A stream over a file. File names are UTF-8. Opening raises EFOpenError, creating raises
// EFCreateError, with the file name and the system's reason.
class TFileStream : public TStream {
public:
  TFileStream(const std::string& fileName, uint16_t mode);
  ~TFileStream() override;
  TFileStream(const TFileStream&) = delete;
  TFileStream& operator=(const TFileStream&) = delete;
  const char* ClassName() const override { return "TFileStream"; }

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  void SetSize(int64_t newSize) override;
  const std::string& FileName() const { return FFileName; }

private:
  std::string FFileName;
  int FHandle = -1;
};

}  // namespace qv
