// archive_lookup.h — the embedded media archives: opening one from the executable's resources and
// fetching a named entry as a newly allocated buffer.
#pragma once

#include <cstdint>

#include "archive/memory_file.h"

// Resource ids (type "MediaData") of the two archives.
inline constexpr unsigned kInterfaceArchiveId = 452;  // clock glyphs, loading picture; stored entries
inline constexpr unsigned kSceneArchiveId = 453;      // data files, models, shaders, textures; compressed

// Points `archive` at resource "MediaData" `archiveId` of the running executable. A missing
// resource leaves an empty MemoryFile (null bytes, length 0), in which every lookup fails.
void openMediaArchive(MemoryFile& archive, unsigned archiveId);

// Looks up `name` (letter case and '\' versus '/' do not matter) and unpacks it.
// Returns 1 when the entry was found, unpacked and its CRC-32 matched: `*out` then holds a
// buffer from malloc of exactly the entry's size, owned by the caller (release it with free),
// and `*size` that size. Returns 0 otherwise, with `*out` null and `*size` 0; nothing is
// allocated then, and nothing is reported. `password` may be null; no entry of our archives
// is enciphered, so it never changes the result.
int fetchEntry(uint8_t** out, uint32_t* size, const char* name, MemoryFile& archive,
               const char* password);
