// The resource registry, a map from (module, type, name or id) to views of compiled-in
// bytes, and the read-only stream over one entry.
#include "framework/Resources.h"

#include <algorithm>
#include <climits>
#include <compare>
#include <cstring>
#include <limits>
#include <map>
#include <mutex>
#include <string>

#include "framework/SysUtils.h"

namespace qv {

namespace {

// Names are kept upper-cased; an id (or a "#123" name) is kept as a number, so a plain
// name can never meet an id.
struct TResourceKey {
  HINSTANCE Instance = 0;
  std::string Type;
  bool IsId = false;
  int Id = 0;
  std::string Name;
  auto operator<=>(const TResourceKey&) const = default;
};

// Built on first use, so generated registration code may run during static initialisation.
struct TRegistry {
  std::mutex Lock;
  std::map<TResourceKey, std::string_view> Items;
};

TRegistry& Registry() {
  static TRegistry registry;
  return registry;
}

// "#" and decimal digits, up to INT_MAX; anything else ("#", "#-1", "#1a") is a plain name.
bool ParseIdName(std::string_view name, int& id) {
  if (name.size() < 2 || name[0] != '#') return false;
  int64_t value = 0;
  for (char c : name.substr(1)) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
    if (value > INT_MAX) return false;
  }
  id = static_cast<int>(value);
  return true;
}

TResourceKey IdKey(HINSTANCE instance, std::string_view type, int id) {
  return TResourceKey{instance, UpperCase(type), true, id, {}};
}

TResourceKey NameKey(HINSTANCE instance, std::string_view type, std::string_view name) {
  int id;
  if (ParseIdName(name, id)) return IdKey(instance, type, id);
  return TResourceKey{instance, UpperCase(type), false, 0, UpperCase(name)};
}

void Register(TResourceKey key, std::string_view data) {
  TRegistry& registry = Registry();
  std::lock_guard<std::mutex> guard(registry.Lock);
  registry.Items.insert_or_assign(std::move(key), data);
}

bool Unregister(const TResourceKey& key) {
  TRegistry& registry = Registry();
  std::lock_guard<std::mutex> guard(registry.Lock);
  return registry.Items.erase(key) != 0;
}

bool Find(const TResourceKey& key, std::string_view& data) {
  TRegistry& registry = Registry();
  std::lock_guard<std::mutex> guard(registry.Lock);
  auto it = registry.Items.find(key);
  if (it == registry.Items.end()) return false;
  data = it->second;
  return true;
}

}  // namespace

void RegisterResource(HINSTANCE instance, std::string_view type, std::string_view name,
                      std::string_view data) {
  Register(NameKey(instance, type, name), data);
}

void RegisterResource(HINSTANCE instance, std::string_view type, int id, std::string_view data) {
  Register(IdKey(instance, type, id), data);
}

bool UnregisterResource(HINSTANCE instance, std::string_view type, std::string_view name) {
  return Unregister(NameKey(instance, type, name));
}

bool UnregisterResource(HINSTANCE instance, std::string_view type, int id) {
  return Unregister(IdKey(instance, type, id));
}

bool FindResource(HINSTANCE instance, std::string_view type, std::string_view name,
                  std::string_view& data) {
  return Find(NameKey(instance, type, name), data);
}

bool FindResource(HINSTANCE instance, std::string_view type, int id, std::string_view& data) {
  return Find(IdKey(instance, type, id), data);
}

// ---------------------------------------------------------------------------------------
// TResourceStream

TResourceStream::TResourceStream(HINSTANCE instance, std::string_view resName,
                                 std::string_view resType) {
  if (!FindResource(instance, resType, resName, FData))
    throw EResNotFound(Format(SResNotFound, resName));
}

TResourceStream::TResourceStream(HINSTANCE instance, int resID, std::string_view resType) {
  if (!FindResource(instance, resType, resID, FData))
    throw EResNotFound(Format(SResNotFound, IntToStr(resID)));  // %s wants text
}

int64_t TResourceStream::Read(void* buffer, int64_t count) {
  return ReadBlock(Memory(), Size(), FPosition, buffer, count);
}

int64_t TResourceStream::Write(const void* /*buffer*/, int64_t /*count*/) {
  throw EStreamError(SCantWriteResourceStream);
}

int64_t TResourceStream::Seek(int64_t offset, TSeekOrigin origin) {
  // Past the end is allowed and reads nothing, as in the memory stream.
  FPosition = SeekPosition(FPosition, Size(), offset, origin);
  return FPosition;
}

}  // namespace qv
