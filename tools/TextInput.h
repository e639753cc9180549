// Reading the text files the tool analyses: any encoding the line store recognises by its
// mark (UTF-8, UTF-16 LE and BE), UTF-8 without a mark, and otherwise the system's 8-bit code
// page. Binary data is refused.
#pragma once

#include <stdexcept>
#include <string>

#include "syntax/qvMemoStrings.h"

namespace qv {

// A problem with an input or an output of the tool: the one-line message it prints.
class EToolError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// Loads the file at path into text. Raises EToolError "<path>: <reason>" when the file
// cannot be read or holds binary data (NUL characters, or mostly control characters).
void ReadTextFile(const std::string& path, TSyntMemoStrings& text);

// The same for bytes already read; name is what messages call them.
void ReadTextBytes(const std::string& name, const std::string& bytes, TSyntMemoStrings& text);

// True when bytes are well-formed UTF-8 (no overlong forms, no surrogates, nothing above
// U+10FFFF).
bool IsValidUtf8(std::string_view bytes);

// The name of the encoding text was read in: "UTF-8", "UTF-16LE", "UTF-16BE" or "cp<n>".
std::string EncodingName(const TSyntMemoStrings& text);

}  // namespace qv
