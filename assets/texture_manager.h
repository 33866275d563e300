// texture_manager.h — the one table of device textures: pictures loaded from memory, render
// targets and depth-stencil surfaces, bound to texture stages by slot.
//
// Loads choose the surface format (block compression when the device offers it, except for
// names ending in 'a' or 's', i.e. .tga and .dds), retry once at a small size in a 16-bit
// format, and warn with a "Warning!" box when a texture cannot be made; the slot then binds no
// texture. Entries are appended and never removed, so a slot's index stays valid for the whole
// process. Picture decoding is the D3DX stand-in's.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/d3d8/d3d8.h"
#include "platform/win32/windows.h"

constexpr int32_t textureTableSize = 1000;
constexpr size_t textureNameSize = 128;   // texts hold up to 127 characters

// Entry kinds.
constexpr int32_t loadedTextureKind = 0;
constexpr int32_t renderTargetKind = 1;
constexpr int32_t depthStencilKind = 2;

// A caller's handle to a texture, kept and passed by value. index −1: no entry.
struct TextureSlot {
  char label[textureNameSize] = {};
  char name[textureNameSize] = {};
  int32_t index = -1;
};

struct TextureEntry {
  IDirect3DTexture8* texture = nullptr;   // null when making it failed, or after release
  IDirect3DSurface8* surface = nullptr;   // depth-stencil surface (depthStencilKind only)
  char name[textureNameSize] = {};
  char group[textureNameSize] = {};
  uint8_t present = 0;                    // 1 while the device object exists
  int32_t width = 0;                      // size asked for a created target; 0 for loaded textures
  int32_t height = 0;
  int32_t kind = loadedTextureKind;
};

class TextureManager {
 public:
  TextureManager();

  // Stores device and window, reads the maximum texture width and probes the formats:
  // A1R5G5B5 (else R5G6B5) for the fallback, then DXT5, DXT4, DXT1, DXT2, DXT3 for compression.
  // A null device leaves the manager untouched.
  void init(IDirect3D8* direct3d, IDirect3DDevice8* device, D3DFORMAT displayFormat, HWND window);

  // Makes the texture for a picture file held in memory (the caller keeps the bytes); with
  // `reuse`, an entry of the same name and group (case-sensitive) is returned instead. The slot
  // carries `name`; its index is −1 without a device or with the table full, and otherwise the
  // entry's also when the texture could not be made.
  TextureSlot loadFromMemory(const void* bytes, uint32_t byteCount, const char* name, const char* group,
                             bool reuse);

  // A render-target texture (kind 1, display format) or a D16 depth-stencil surface (kind 2).
  // With `reuse`, an entry of the same kind and size (kind 2: at least the size) is returned, and
  // remade in place when its object is gone. Index −1 for any other kind, without a device or
  // with the table full.
  TextureSlot createTarget(int width, int height, int kind, bool reuse);

  // Sets the slot's texture on stage 0…7: index −1 clears the stage; an index naming no entry or
  // a stage of 8 or more changes nothing.
  void bind(DWORD stage, TextureSlot slot);

  // The depth-stencil surface of a kind-2 entry or the given level of the entry's texture, as a
  // new reference the caller releases; null when there is none.
  IDirect3DSurface8* surface(TextureSlot slot, UINT level);

  // Releases every device object; entries, names and count stay.
  void releaseAll();

  int32_t count() const { return count_; }
  // The entry, or an empty one for an index naming none.
  const TextureEntry& entry(int32_t index) const;
  bool compressionAvailable() const { return compressionAvailable_; }
  D3DFORMAT compressedFormat() const { return compressedFormat_; }
  D3DFORMAT fallbackFormat() const { return fallbackFormat_; }
  D3DFORMAT displayFormat() const { return displayFormat_; }
  DWORD maxTextureWidth() const { return maxTextureWidth_; }
  IDirect3DDevice8* device() const { return device_; }

 private:
  int32_t appendEntry();
  int32_t findTarget(int width, int height, int kind) const;
  HRESULT makeTarget(TextureEntry& entry, int width, int height, int kind);
  UINT fallbackSize(UINT limit) const;
  void warn(HRESULT code, const char* name) const;

  bool compressionAvailable_ = false;
  D3DFORMAT displayFormat_ = D3DFMT_UNKNOWN;
  D3DFORMAT compressedFormat_ = D3DFMT_UNKNOWN;
  D3DFORMAT fallbackFormat_ = D3DFMT_R5G6B5;
  DWORD maxTextureWidth_ = 0;
  int32_t count_ = 0;
  std::vector<TextureEntry> entries_;   // textureTableSize entries
  HWND window_ = nullptr;
  IDirect3DDevice8* device_ = nullptr;
};

extern TextureManager theTextureManager;
