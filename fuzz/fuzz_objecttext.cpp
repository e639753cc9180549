// Fuzzes the component-text converters. The input is read as text: when it converts, the
// binary must survive binary -> text -> binary unchanged. The same input is read as a binary
// stream: when it converts, the text must read back, and writing that again must give the
// same text. Only the documented exceptions may escape a converter; broken invariants trap.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "framework/ObjectText.h"

namespace {

using namespace qv;

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

std::string TextToBinary(std::string_view text) {
  TMemoryStream in(text), out;
  ObjectTextToBinary(in, out);
  return out.DataString();
}

std::string BinaryToText(std::string_view binary) {
  TMemoryStream in(binary), out;
  ObjectBinaryToText(in, out);
  return out.DataString();
}

void CheckText(std::string_view text) {
  std::string binary;
  try {
    binary = TextToBinary(text);
  } catch (const EParserError&) {  // malformed text: the one expected failure
    return;
  }
  // What the text converter accepted, every later step must accept and keep.
  const std::string written = BinaryToText(binary);
  Check(TextToBinary(written) == binary);
  TMemoryStream stream(written);
  Check(TestStreamFormat(stream) == sofText);
}

void CheckBinary(std::string_view bytes) {
  std::string text;
  try {
    text = BinaryToText(bytes);
  } catch (const EReadError&) {  // malformed binary: the one expected failure
    return;
  }
  // Kinds may be normalised on the way (an Int32 holding 5 comes back as Int8), so the
  // binary may differ; the text written from it may not.
  Check(BinaryToText(TextToBinary(text)) == text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  CheckText(input);
  CheckBinary(input);
  TMemoryStream stream(input);
  const TStreamOriginalFormat format = TestStreamFormat(stream);
  Check(stream.Position() == 0);
  Check(format != sofBinary || input.substr(0, 4) == "TPF0");
  return 0;
}
