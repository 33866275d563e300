// resources.cpp — FindResourceA and friends over the table of blobs linked into the executable.
//
// Names and types are integers (MAKEINTRESOURCEA, or a string "#452") or strings; type strings
// compare case-insensitively. Resource data is read-only and lives as long as the process, so
// LoadResource and LockResource just hand out the bytes and FreeResource does nothing.
#include <cstdint>
#include <string_view>

#include "platform/win32/resource_table.h"
#include "platform/win32/windows.h"

namespace {

const EmbeddedResource* gTable = nullptr;
size_t gCount = 0;

// A resource name or type: an integer id, or a string when `isInteger` is false.
struct ResourceKey {
  bool isInteger = false;
  unsigned id = 0;
  std::string_view text;
};

// "#452" is the integer 452, as on Windows; anything else after '#' stays a string.
ResourceKey keyFromString(std::string_view s) {
  ResourceKey key{false, 0, s};
  if (s.size() < 2 || s.size() > 6 || s[0] != '#') return key;
  unsigned v = 0;
  for (char c : s.substr(1)) {
    if (c < '0' || c > '9') return key;
    v = v * 10 + static_cast<unsigned>(c - '0');
  }
  if (v > 0xFFFF) return key;
  return ResourceKey{true, v, {}};
}

ResourceKey keyFromArgument(LPCSTR p) {
  if (IS_INTRESOURCE(p)) return ResourceKey{true, LOWORD(p), {}};
  return keyFromString(p);
}

bool equalsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
    if (x != y) return false;
  }
  return true;
}

bool sameKey(const ResourceKey& a, const ResourceKey& b) {
  if (a.isInteger != b.isInteger) return false;
  return a.isInteger ? a.id == b.id : equalsIgnoreCase(a.text, b.text);
}

const EmbeddedResource* entryFor(HRSRC resource) {
  // Only handles that FindResourceA gave out for the installed table are accepted.
  auto address = reinterpret_cast<uintptr_t>(resource);
  auto base = reinterpret_cast<uintptr_t>(gTable);
  if (!gTable || address < base) return nullptr;
  uintptr_t offset = address - base;
  if (offset % sizeof(EmbeddedResource) != 0 || offset / sizeof(EmbeddedResource) >= gCount)
    return nullptr;
  return &gTable[offset / sizeof(EmbeddedResource)];
}

}  // namespace

void installResourceTable(const EmbeddedResource* table, size_t count) {
  gTable = count ? table : nullptr;
  gCount = table ? count : 0;
}

HRSRC WINAPI FindResourceA(HMODULE, LPCSTR name, LPCSTR type) {
  if (!name || !type) return nullptr;
  ResourceKey wantedName = keyFromArgument(name);
  ResourceKey wantedType = keyFromArgument(type);
  // Our resources all have integer ids; a string name never matches.
  if (!wantedName.isInteger) return nullptr;
  for (size_t i = 0; i < gCount; ++i) {
    const EmbeddedResource& r = gTable[i];
    if (r.id != wantedName.id || !r.type) continue;
    if (sameKey(keyFromString(r.type), wantedType))
      return reinterpret_cast<HRSRC>(const_cast<EmbeddedResource*>(&r));
  }
  return nullptr;
}

HGLOBAL WINAPI LoadResource(HMODULE, HRSRC resource) {
  const EmbeddedResource* entry = entryFor(resource);
  return entry ? const_cast<unsigned char*>(entry->data) : nullptr;
}

LPVOID WINAPI LockResource(HGLOBAL data) { return data; }

DWORD WINAPI SizeofResource(HMODULE, HRSRC resource) {
  const EmbeddedResource* entry = entryFor(resource);
  return entry ? static_cast<DWORD>(entry->size) : 0;
}

BOOL WINAPI FreeResource(HGLOBAL) { return FALSE; }
