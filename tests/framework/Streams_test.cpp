// TStream helpers, TMemoryStream positions and growth, TFileStream on real files in a
// temporary directory.
#include "framework/Streams.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <limits>

namespace qv {
namespace {

using namespace std::string_literals;
using testing::StrEq;
using testing::ThrowsMessage;
constexpr int64_t kMax = std::numeric_limits<int64_t>::max();

// A fresh directory under the test temp directory, removed with everything in it.
struct TempDir {
  std::string Path = testing::TempDir() + "qvstreamXXXXXX";
  TempDir() { EXPECT_NE(mkdtemp(Path.data()), nullptr) << Path; }
  ~TempDir() { std::filesystem::remove_all(Path); }
  std::string File(const char* name) const { return Path + "/" + name; }
};

TEST(TMemoryStream, SeekClampsBelowZeroButAllowsPositionsPastTheEnd) {
  struct Case { int64_t Offset; TSeekOrigin Origin; int64_t Position; } cases[] = {
      {-1, soBeginning, 0}, {-3, soCurrent, 0}, {1, soCurrent, 3}, {0, soEnd, 4},
      {3, soEnd, 7},        {-4, soEnd, 0},     {-5, soEnd, 0},    {kMax, soEnd, kMax},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.Offset << " from " << int(c.Origin));
    TMemoryStream stream("abcd");
    stream.SetPosition(2);
    EXPECT_EQ(stream.Seek(c.Offset, c.Origin), c.Position);
    EXPECT_EQ(stream.Size(), 4);
  }
}

TEST(TMemoryStream, ReadsWhatIsLeftAndWritesFillGapsWithZeros) {
  TMemoryStream stream("ab");
  char buffer[8] = {};
  stream.SetPosition(1);
  EXPECT_EQ(stream.Read(buffer, 8), 1);  // only "b" is left
  EXPECT_EQ(buffer[0], 'b');
  EXPECT_EQ(stream.Read(buffer, 8), 0);
  stream.SetPosition(4);
  EXPECT_EQ(stream.Read(buffer, 1), 0);  // past the end
  EXPECT_EQ(stream.Write("cd", 2), 2);
  EXPECT_EQ(stream.Position(), 6);
  stream.SetPosition(1);
  EXPECT_EQ(stream.Write("XY", 2), 2);  // overwrites inside, no growth
  EXPECT_EQ(stream.DataString(), "aXY\0cd"s);
  stream.SetSize(2);  // the position (3) moves back to the new end
  EXPECT_EQ(stream.Position(), 2);
  stream.SetPosition(1);
  stream.SetSize(4);  // growing keeps it and adds zeros
  EXPECT_EQ(stream.Position(), 1);
  EXPECT_EQ(stream.DataString(), "aX\0\0"s);

  stream.SetPosition(kMax - 1);  // the end of the write would not fit in a position
  EXPECT_THAT([&] { stream.Write("xy", 2); },
              ThrowsMessage<EStreamError>(StrEq("Out of memory while expanding memory stream")));
  EXPECT_EQ(stream.Size(), 4);
}

TEST(TStream, BufferHelpersRaiseWhenTheCountIsNotMet) {
  TMemoryStream stream("abc");
  char buffer[4] = {};
  stream.SetPosition(2);
  stream.ReadBuffer(buffer, 0);  // nothing asked, nothing raised
  EXPECT_THAT([&] { stream.ReadBuffer(buffer, 2); },
              ThrowsMessage<EReadError>(StrEq("Stream read error")));
  EXPECT_THAT([&] { stream.ReadBuffer(buffer, 1); },  // at the end now
              ThrowsMessage<EReadError>(StrEq("Stream read error")));
  TempDir dir;
  stream.SaveToFile(dir.File("ro"));
  TFileStream readOnly(dir.File("ro"), fmOpenRead);
  EXPECT_THAT([&] { readOnly.WriteBuffer("x", 1); },
              ThrowsMessage<EWriteError>(StrEq("Stream write error")));
}

TEST(TStream, CopyFromZeroCopiesTheWholeSourceFromItsStart) {
  // Larger than one copy buffer, and not a multiple of its size.
  std::string data(200'003, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7 + i / 251);
  TMemoryStream source(data);
  source.SetPosition(1000);
  TMemoryStream dest;
  EXPECT_EQ(dest.CopyFrom(source, 0), static_cast<int64_t>(data.size()));
  EXPECT_EQ(dest.DataString(), data);

  source.SetPosition(10);
  TMemoryStream part;
  EXPECT_EQ(part.CopyFrom(source, 5), 5);  // a count copies from the current position
  EXPECT_EQ(part.DataString(), data.substr(10, 5));
  source.SetPosition(source.Size() - 2);
  EXPECT_THROW(part.CopyFrom(source, 3), EReadError);
}

TEST(TMemoryStream, LoadsTheWholeSourceAndRoundTripsThroughAFile) {
  TMemoryStream source("\0\r\n\xff"s);
  source.SetPosition(3);
  TMemoryStream stream("old content");
  stream.SetPosition(3);
  stream.LoadFromStream(source);
  EXPECT_EQ(stream.Position(), 0);
  TempDir dir;
  stream.SaveToFile(dir.File("bytes.bin"));
  TMemoryStream loaded;
  loaded.LoadFromFile(dir.File("bytes.bin"));
  EXPECT_EQ(loaded.DataString(), "\0\r\n\xff"s);
}

TEST(TFileStream, OpenErrorsNameTheFileAndTheReason) {
  TempDir dir;
  const std::string missing = dir.File("missing"), nested = dir.File("no/such");
  const auto reason = [](const std::string& name, const char* why) {
    return StrEq("Cannot open file \"" + name + "\". " + why);
  };
  EXPECT_THAT([&] { TFileStream f(missing, fmOpenRead); },
              ThrowsMessage<EFOpenError>(reason(missing, "No such file or directory")));
  EXPECT_THAT([&] { TFileStream f(dir.Path, fmOpenRead); },
              ThrowsMessage<EFOpenError>(reason(dir.Path, "Is a directory")));
  EXPECT_THAT([&] { TFileStream f(dir.Path, fmOpenReadWrite); },
              ThrowsMessage<EFOpenError>(reason(dir.Path, "Is a directory")));
  EXPECT_THAT([&] { TFileStream f(nested, fmCreate); },
              ThrowsMessage<EFCreateError>(
                  StrEq("Cannot create file \"" + nested + "\". No such file or directory")));
}

TEST(TFileStream, SeeksSizesAndTruncatesLikeTheMemoryStream) {
  TempDir dir;
  const std::string file = dir.File("data.txt");
  {
    TFileStream stream(file, fmCreate);
    stream.WriteBuffer("hello world", 11);
    stream.SetPosition(4);
    EXPECT_EQ(stream.Size(), 11);
    EXPECT_EQ(stream.Position(), 4);  // Size leaves the position where it was
    EXPECT_EQ(stream.Seek(-100, soCurrent), 0);
    EXPECT_EQ(stream.Seek(-5, soEnd), 6);
    stream.SetSize(5);
    EXPECT_EQ(stream.Position(), 5);
  }
  {
    TFileStream stream(file, fmOpenReadWrite);
    stream.SetPosition(1);
    stream.WriteBuffer("E", 1);
    TMemoryStream copy;
    copy.CopyFrom(stream, 0);
    EXPECT_EQ(copy.DataString(), "hEllo");
  }
  TFileStream writeOnly(file, fmOpenWrite);
  char c;
  EXPECT_EQ(writeOnly.Read(&c, 1), 0);  // a failed read reports nothing moved
  TFileStream again(file, fmCreate);    // creating truncates an existing file
  EXPECT_EQ(again.Size(), 0);
}

}  // namespace
}  // namespace qv
