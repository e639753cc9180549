// The resource registry (names, ids, "#id" names, case, replacement, modules), the read-only
// resource stream, and the blobs that the build compiles into this test program.
#include "framework/Resources.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/RealFiles.h"

namespace qv {

// Generated from tests/data/resources by qv_embed_resources (tests/CMakeLists.txt).
void RegisterTestResources();
void RegisterNamedTestResources();

namespace {

using namespace std::string_literals;
using testing::StrEq;
using testing::ThrowsMessage;

// Modules of their own, so these tests neither see nor disturb the program's resources.
constexpr HINSTANCE kModule = 0x7E57;
constexpr HINSTANCE kOtherModule = 0x7E58;
constexpr int64_t kMax = std::numeric_limits<int64_t>::max();

// The found bytes, or "<none>".
std::string Lookup(HINSTANCE module, std::string_view type, std::string_view name) {
  std::string_view data = "<none>";
  return FindResource(module, type, name, data) ? std::string(data) : "<none>";
}
std::string Lookup(HINSTANCE module, std::string_view type, int id) {
  std::string_view data = "<none>";
  return FindResource(module, type, id, data) ? std::string(data) : "<none>";
}

std::string Bytes0To255() {
  std::string bytes(256, '\0');
  for (int i = 0; i < 256; ++i) bytes[i] = static_cast<char>(i);
  return bytes;
}

TEST(Resources, LookupsFoldAsciiCaseAndReadHashDigitsAsAnId) {
  RegisterResource(kModule, "Lexer", "Pascal", "by name");
  RegisterResource(kModule, RT_RCDATA, 12, "id 12");
  RegisterResource(kModule, RT_RCDATA, "#0300", "id 300");
  RegisterResource(kModule, RT_RCDATA, -1, "id -1");
  RegisterResource(kModule, RT_RCDATA, "#2147483648", "too big for an id");
  RegisterResource(kModule, RT_RCDATA, "\xC4rger", "upper A umlaut");
  struct Case { const char* Type; const char* Name; int Id; const char* Expected; } cases[] = {
      {"LEXER", "pascal", 0, "by name"},
      {"lexer", "PASCAL", 0, "by name"},
      {"Lexer", "Pascal ", 0, "<none>"},
      {"RCDATA", nullptr, 12, "id 12"},
      {"rcdata", "#12", 0, "id 12"},
      {"RCDATA", "#012", 0, "id 12"},
      {"RCDATA", nullptr, 300, "id 300"},
      {"RCDATA", "#300", 0, "id 300"},
      // Only '#' and decimal digits make an id.
      {"RCDATA", "12", 0, "<none>"},
      {"RCDATA", "#12a", 0, "<none>"},
      {"RCDATA", "#", 0, "<none>"},
      {"RCDATA", nullptr, -1, "id -1"},
      {"RCDATA", "#-1", 0, "<none>"},
      {"RCDATA", "#2147483648", 0, "too big for an id"},
      {"RCDATA", nullptr, INT_MIN, "<none>"},
      // Case folding is ASCII only: a lower a umlaut (code page 1252) is another name.
      {"RCDATA", "\xC4RGER", 0, "upper A umlaut"},
      {"RCDATA", "\xE4rger", 0, "<none>"},
      // The type belongs to the key.
      {"Lexer", nullptr, 12, "<none>"},
      {"RCDATA", "Pascal", 0, "<none>"},
      {"", "Pascal", 0, "<none>"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.Type << " " << (c.Name ? c.Name : "id") << " " << c.Id);
    EXPECT_EQ(c.Name ? Lookup(kModule, c.Type, c.Name) : Lookup(kModule, c.Type, c.Id),
              c.Expected);
  }
  EXPECT_TRUE(UnregisterResource(kModule, "LEXER", "PASCAL"));
  EXPECT_TRUE(UnregisterResource(kModule, RT_RCDATA, "#12"));  // an id, by its "#" name
  EXPECT_TRUE(UnregisterResource(kModule, RT_RCDATA, 300));
  EXPECT_TRUE(UnregisterResource(kModule, RT_RCDATA, -1));
  EXPECT_TRUE(UnregisterResource(kModule, RT_RCDATA, "#2147483648"));
  EXPECT_TRUE(UnregisterResource(kModule, RT_RCDATA, "\xC4rger"));
  EXPECT_FALSE(UnregisterResource(kModule, RT_RCDATA, 12));  // already gone
  EXPECT_EQ(Lookup(kModule, "rcdata", "#12"), "<none>");
}

TEST(Resources, RegisteringAgainReplacesTheViewPerModule) {
  static const char kFirst[] = "first", kSecond[] = "second";
  RegisterResource(kModule, RT_RCDATA, "Blob", kFirst);
  RegisterResource(kOtherModule, RT_RCDATA, "Blob", "other module");
  RegisterResource(kModule, "rcdata", "BLOB", kSecond);
  std::string_view data;
  ASSERT_TRUE(FindResource(kModule, RT_RCDATA, "blob", data));
  EXPECT_EQ(data.data(), kSecond);  // the registered bytes themselves, not a copy
  EXPECT_EQ(data, "second");
  EXPECT_EQ(Lookup(kOtherModule, RT_RCDATA, "Blob"), "other module");
  EXPECT_EQ(Lookup(HInstance, RT_RCDATA, "Blob"), "<none>");

  EXPECT_TRUE(UnregisterResource(kOtherModule, RT_RCDATA, "Blob"));
  EXPECT_EQ(Lookup(kModule, RT_RCDATA, "Blob"), "second");  // only that module's entry went
  EXPECT_TRUE(UnregisterResource(kModule, RT_RCDATA, "Blob"));
  EXPECT_FALSE(UnregisterResource(kModule, RT_RCDATA, "Blob"));
  data = "kept";
  EXPECT_FALSE(FindResource(kModule, RT_RCDATA, "Blob", data));
  EXPECT_EQ(data, "kept");  // a failed lookup leaves the output alone
}

TEST(Resources, RegistryTakesConcurrentRegistrationsAndLookups) {
  constexpr int kThreads = 4, kPerThread = 200;
  static const char kData[] = "shared bytes";
  std::vector<std::thread> threads;
  std::vector<int> found(kThreads, 0);
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &found] {
      for (int i = 0; i < kPerThread; ++i) {
        const int id = t * kPerThread + i;
        RegisterResource(kModule, "Concurrent", id, kData);
        std::string_view data;
        found[t] += FindResource(kModule, "concurrent", "#" + std::to_string(id), data) &&
                    data.data() == kData;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  int removed = 0;
  for (int id = 0; id < kThreads * kPerThread; ++id)
    removed += UnregisterResource(kModule, "Concurrent", id);
  EXPECT_THAT(found, testing::Each(kPerThread));
  EXPECT_EQ(removed, kThreads * kPerThread);
}

TEST(Resources, MissingResourceNamesTheNameAsGivenOrTheId) {
  RegisterResource(kModule, "Lexer", "Present", "x");
  EXPECT_THAT([] { TResourceStream s(kModule, "Nowhere", RT_RCDATA); },
              ThrowsMessage<EResNotFound>(StrEq("Resource Nowhere not found")));
  EXPECT_THAT([] { TResourceStream s(kModule, "Present", RT_RCDATA); },  // wrong type
              ThrowsMessage<EResNotFound>(StrEq("Resource Present not found")));
  EXPECT_THAT([] { TResourceStream s(kOtherModule, "Present", "Lexer"); },  // wrong module
              ThrowsMessage<EResNotFound>(StrEq("Resource Present not found")));
  EXPECT_THAT([] { TResourceStream s(kModule, 42, RT_RCDATA); },
              ThrowsMessage<EResNotFound>(StrEq("Resource 42 not found")));
  EXPECT_THAT([] { TResourceStream s(kModule, "#042", RT_RCDATA); },
              ThrowsMessage<EResNotFound>(StrEq("Resource #042 not found")));
  EXPECT_NO_THROW(TResourceStream(kModule, "present", "LEXER"));
  UnregisterResource(kModule, "Lexer", "Present");
}

TEST(Resources, StreamReadsAndSeeksLikeTheMemoryStreamWithoutACopy) {
  static const char kBlob[] = "abcdef";
  RegisterResource(kModule, RT_RCDATA, 7, std::string_view(kBlob, 6));
  TResourceStream stream(kModule, "#7", RT_RCDATA);
  EXPECT_EQ(stream.Size(), 6);
  EXPECT_EQ(stream.Position(), 0);
  EXPECT_EQ(static_cast<const void*>(stream.Memory()), static_cast<const void*>(kBlob));

  struct Case { int64_t Offset; TSeekOrigin Origin; int64_t Position; } cases[] = {
      {-1, soBeginning, 0}, {-3, soCurrent, 0}, {1, soCurrent, 3}, {0, soEnd, 6},
      {3, soEnd, 9},        {-6, soEnd, 0},     {-7, soEnd, 0},    {kMax, soEnd, kMax},
      {kMax, soCurrent, kMax},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.Offset << " from " << int(c.Origin));
    stream.SetPosition(2);
    EXPECT_EQ(stream.Seek(c.Offset, c.Origin), c.Position);
  }

  char buffer[8] = {};
  stream.SetPosition(4);
  EXPECT_EQ(stream.Read(buffer, 8), 2);  // only "ef" is left
  EXPECT_EQ(std::string(buffer, 2), "ef");
  EXPECT_EQ(stream.Position(), 6);
  EXPECT_EQ(stream.Read(buffer, 1), 0);
  stream.SetPosition(100);
  EXPECT_EQ(stream.Read(buffer, 1), 0);  // past the end
  stream.SetPosition(1);
  EXPECT_EQ(stream.Read(buffer, 0), 0);
  EXPECT_EQ(stream.Read(buffer, -1), 0);
  EXPECT_EQ(stream.Position(), 1);
  EXPECT_THAT([&] { stream.ReadBuffer(buffer, 6); },
              ThrowsMessage<EReadError>(StrEq("Stream read error")));

  TMemoryStream copy;
  EXPECT_EQ(copy.CopyFrom(stream, 0), 6);
  EXPECT_EQ(copy.DataString(), "abcdef");
  UnregisterResource(kModule, RT_RCDATA, 7);
}

TEST(Resources, StreamRefusesWritesAndKeepsItsSize) {
  static const char kBlob[] = "read only";
  RegisterResource(kModule, RT_RCDATA, "RO", kBlob);
  TResourceStream stream(kModule, "ro", RT_RCDATA);
  stream.SetPosition(2);
  EXPECT_THAT([&] { stream.Write("xy", 2); },
              ThrowsMessage<EStreamError>(StrEq("Can't write to a read-only resource stream")));
  EXPECT_THAT([&] { stream.WriteBuffer("xy", 2); },
              ThrowsMessage<EStreamError>(StrEq("Can't write to a read-only resource stream")));
  stream.SetSize(3);
  EXPECT_EQ(stream.Size(), 9);
  EXPECT_EQ(stream.Position(), 2);
  EXPECT_STREQ(kBlob, "read only");
  UnregisterResource(kModule, RT_RCDATA, "RO");
}

// The build embeds tests/data/resources/*; the blobs must equal the files byte for byte.
TEST(ResourcesCompiledIn, DefaultNamesAreTheUpperCasedFileNamesWithoutExtension) {
  RegisterTestResources();
  const std::string greeting =
      test::ReadFile(QV_SOURCE_DIR "/tests/data/resources/greeting.txt");
  ASSERT_FALSE(greeting.empty());
  EXPECT_EQ(Lookup(HInstance, RT_RCDATA, "greeting"), greeting);
  EXPECT_EQ(Lookup(HInstance, RT_RCDATA, "BYTES"), Bytes0To255());
  std::string_view empty = "not found";
  EXPECT_TRUE(FindResource(HInstance, RT_RCDATA, "Empty", empty));
  EXPECT_TRUE(empty.empty());
  EXPECT_EQ(Lookup(HInstance, RT_RCDATA, "greeting.txt"), "<none>");

  TResourceStream stream(HInstance, "Bytes", RT_RCDATA);
  EXPECT_EQ(stream.Size(), 256);
  EXPECT_EQ(stream.Seek(-6, soEnd), 250);
  unsigned char tail[10] = {};
  EXPECT_EQ(stream.Read(tail, 10), 6);
  EXPECT_THAT(std::vector<int>(tail, tail + 6), testing::ElementsAre(250, 251, 252, 253, 254, 255));
  TResourceStream none(HInstance, "EMPTY", RT_RCDATA);
  EXPECT_EQ(none.Size(), 0);
  EXPECT_EQ(none.Read(tail, 1), 0);
}

TEST(ResourcesCompiledIn, ExplicitNamesIdsAndTypeAreKept) {
  RegisterNamedTestResources();
  RegisterNamedTestResources();  // registering again is harmless
  EXPECT_EQ(Lookup(HInstance, "testdata", 300), Bytes0To255());
  EXPECT_EQ(Lookup(HInstance, "TESTDATA", "#300"), Bytes0To255());
  EXPECT_EQ(Lookup(HInstance, "TestData", "greeting text"),
            test::ReadFile(QV_SOURCE_DIR "/tests/data/resources/greeting.txt"));
  EXPECT_EQ(Lookup(HInstance, "TestData", "GREETING"), "<none>");
  EXPECT_EQ(Lookup(HInstance, RT_RCDATA, 300), "<none>");
  TResourceStream stream(HInstance, 300, "TestData");
  unsigned char byte = 0;
  stream.SetPosition(0x41);
  stream.ReadBuffer(&byte, 1);
  EXPECT_EQ(byte, 0x41);
}

}  // namespace
}  // namespace qv
