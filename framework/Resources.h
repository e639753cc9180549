// Named blobs compiled into the binary (the bundled lexer files), found by module, type and
// name or id, and read through a stream. The blobs are registered at start-up, usually by a
// function that cmake/EmbedResources.cmake generates; the registry keeps views of their bytes
// and never copies them.
#pragma once

#include <cstdint>
#include <string_view>

#include "framework/Streams.h"

namespace qv {

// A module handle. HInstance is the program or library itself; a host may register blobs
// under other numbers of its own.
using HINSTANCE = uintptr_t;
inline constexpr HINSTANCE HInstance = 0;

// Resource types are names; this is the type of raw data blobs.
inline constexpr const char* RT_RCDATA = "RCDATA";

QV_DECLARE_EXCEPTION(EResNotFound, Exception);

inline constexpr const char* SResNotFound = "Resource %s not found";
inline constexpr const char* SCantWriteResourceStream =
    "Can't write to a read-only resource stream";

// Registers a blob under (instance, type, name) or (instance, type, id), replacing the data
// of a resource already registered there. data is not copied: it must stay valid and
// unchanged until it is unregistered or the program ends (static storage, as compiled-in
// bytes are). Types and names compare without case (ASCII). A name "#" followed by decimal
// digits stands for the id with that value: "#12" and 12 are the same resource.
// All registry functions may be called from any thread.
void RegisterResource(HINSTANCE instance, std::string_view type, std::string_view name,
                      std::string_view data);
void RegisterResource(HINSTANCE instance, std::string_view type, int id, std::string_view data);
// Removes a resource; false when none was registered there.
bool UnregisterResource(HINSTANCE instance, std::string_view type, std::string_view name);
bool UnregisterResource(HINSTANCE instance, std::string_view type, int id);
// Sets data to the bytes of a resource and returns true, or returns false and leaves data.
bool FindResource(HINSTANCE instance, std::string_view type, std::string_view name,
                  std::string_view& data);
bool FindResource(HINSTANCE instance, std::string_view type, int id, std::string_view& data);

// A read-only stream over the bytes of a registered resource, without a copy. Reading and
// seeking behave as in TMemoryStream; Write raises EStreamError "Can't write to a read-only
// resource stream" and SetSize does nothing. A missing resource raises EResNotFound
// "Resource X not found", X being the name as given or the id in decimal.
class TResourceStream : public TStream {
public:
  TResourceStream(HINSTANCE instance, std::string_view resName, std::string_view resType);
  TResourceStream(HINSTANCE instance, int resID, std::string_view resType);
  const char* ClassName() const override { return "TResourceStream"; }

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override { return static_cast<int64_t>(FData.size()); }

  // The resource's bytes; valid as long as the resource stays registered.
  const uint8_t* Memory() const { return reinterpret_cast<const uint8_t*>(FData.data()); }

private:
  std::string_view FData;
  int64_t FPosition = 0;
};

}  // namespace qv
