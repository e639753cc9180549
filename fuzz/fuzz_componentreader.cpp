// Fuzzes the component reader through the text form, into the test classes that hold every
// kind of value. The first byte picks the error hook's answers; the rest is the lexer-file
// text. A load may fail only with the framework's exceptions. A load that succeeds must
// survive write -> read unchanged: the object read back compares equal, and writing it
// again gives the same text.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "framework/ComponentStream.h"
#include "tests/support/StreamProbes.h"

namespace {

using namespace qv;

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

std::string Write(TComponent* component) {
  TMemoryStream out;
  WriteComponentText(out, component);
  return out.DataString();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool registered = [] {
    test::RegisterProbeClasses();
    return true;
  }();
  (void)registered;
  if (size == 0) return 0;
  const uint8_t answers = data[0];
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);

  int asked = 0;
  TReaderError hook = [&](TReader&, const std::string& message, bool& handled) {
    Check(!message.empty());
    handled = (answers >> (asked++ % 8) & 1) != 0;
  };
  test::TProbeRoot root(nullptr);
  try {
    TMemoryStream in(text);
    ReadComponentText(in, &root, hook);
  } catch (const Exception&) {
    Check(!root.ComponentState().Contains(csLoading));
    return 0;
  }
  Check(!root.ComponentState().Contains(csLoading));

  const std::string written = Write(&root);
  test::TProbeRoot copy(nullptr);
  TMemoryStream in(written);
  ReadComponentText(in, &copy);  // what was written must read back without any error
  Check(SamePublishedValues(root, copy));
  Check(copy.ComponentCount() == root.ComponentCount());
  Check(Write(&copy) == written);
  return 0;
}
