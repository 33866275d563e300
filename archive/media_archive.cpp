// media_archive.cpp — openMediaArchive: an embedded archive from the executable's resources.
#include "archive/archive_lookup.h"
#include "platform/win32/windows.h"

void openMediaArchive(MemoryFile& archive, unsigned archiveId) {
  archive.bytes = nullptr;
  archive.length = 0;
  archive.cursor = 0;
  HMODULE module = GetModuleHandleA(nullptr);
  HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(archiveId), "MediaData");
  if (resource == nullptr) return;
  HGLOBAL loaded = LoadResource(module, resource);
  if (loaded == nullptr) return;
  const void* data = LockResource(loaded);
  if (data == nullptr) return;
  archive.length = SizeofResource(module, resource);
  archive.bytes = static_cast<const uint8_t*>(data);
}
