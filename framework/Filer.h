// The stream-property seam: the filer interface through which persistent objects store data
// that is not a published property (DefineProperties), and the value reader and writer such
// data is read and written with. The component stream reader and writer implement them.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "framework/Classes.h"
#include "framework/Streams.h"

namespace qv {

class TReader;
class TWriter;

using TReaderProc = std::function<void(TReader& reader)>;
using TWriterProc = std::function<void(TWriter& writer)>;

// Offered to TPersistent::DefineProperties while an object is read or written.
class TFiler {
public:
  virtual ~TFiler() = default;
  // While writing: the object this one is compared with to leave out unchanged data (an
  // inherited form's counterpart); null when there is none. Null while reading.
  virtual const TPersistent* Ancestor() const { return nullptr; }
  // Declares one named block of property data. While reading, readData is called when the
  // stream holds that name; while writing, writeData is called when hasData is true.
  virtual void DefineProperty(const std::string& name, const TReaderProc& readData,
                              const TWriterProc& writeData, bool hasData) = 0;
};

// Reads the values of defined property data. Lists are read as ReadListBegin, then values
// until EndOfList, then ReadListEnd. Reading a value of a kind the stream does not hold
// raises EReadError.
class TReader : public TFiler {
public:
  virtual void ReadListBegin() = 0;
  virtual bool EndOfList() = 0;
  virtual void ReadListEnd() = 0;
  // An 8-bit string (bytes in the system code page, or UTF-8 where the caller says so).
  virtual std::string ReadString() = 0;
  virtual std::u16string ReadWideString() = 0;
  virtual int64_t ReadInteger() = 0;
  virtual bool ReadBoolean() = 0;
  // Binary data ({...} in text form). Readers that hold no binary data raise EReadError.
  virtual std::string ReadBinary() { throw EReadError("Invalid property value"); }
  // An integer that must fit 32 bits; EReadError "Invalid property value" otherwise.
  int ReadInt32() {
    int64_t v = ReadInteger();
    if (v < INT32_MIN || v > INT32_MAX) throw EReadError("Invalid property value");
    return static_cast<int>(v);
  }
};

// Writes the values of defined property data; the counterpart of TReader.
class TWriter : public TFiler {
public:
  virtual void WriteListBegin() = 0;
  virtual void WriteListEnd() = 0;
  virtual void WriteString(const std::string& value) = 0;
  virtual void WriteWideString(const std::u16string& value) = 0;
  virtual void WriteInteger(int64_t value) = 0;
  virtual void WriteBoolean(bool value) = 0;
  // Binary data; writers that hold none raise EWriteError.
  virtual void WriteBinary(const std::string& /*bytes*/) { throw EWriteError("Stream write error"); }
};

}  // namespace qv
