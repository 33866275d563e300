// texture_manager.cpp — loading pictures into textures, render targets, binding and teardown.
#include "assets/texture_manager.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/d3dx8/d3dx8.h"

TextureManager theTextureManager;

namespace {

const TextureEntry kNoEntry{};

// Copies up to 127 characters and always terminates; null copies as empty.
void copyText(char (&to)[textureNameSize], const char* from) {
  std::memset(to, 0, sizeof to);
  if (from) std::strncpy(to, from, textureNameSize - 1);
}

// Names ending in 'a' or 's' (.tga, .dds) keep the file's own format.
bool keepsOwnFormat(const char* name) {
  const size_t length = name ? std::strlen(name) : 0;
  if (length == 0) return false;
  const char last = name[length - 1];
  return last == 'a' || last == 'A' || last == 's' || last == 'S';
}

const D3DFORMAT kCompressedProbeOrder[] = {D3DFMT_DXT5, D3DFMT_DXT4, D3DFMT_DXT1, D3DFMT_DXT2, D3DFMT_DXT3};

}  // namespace

TextureManager::TextureManager() : entries_(textureTableSize) {}

void TextureManager::init(IDirect3D8* direct3d, IDirect3DDevice8* device, D3DFORMAT displayFormat,
                          HWND window) {
  if (!device) return;
  window_ = window;
  device_ = device;
  displayFormat_ = displayFormat;
  D3DCAPS8 caps{};
  maxTextureWidth_ = SUCCEEDED(device->GetDeviceCaps(&caps)) ? caps.MaxTextureWidth : 0;

  fallbackFormat_ = D3DFMT_R5G6B5;
  compressedFormat_ = D3DFMT_UNKNOWN;
  compressionAvailable_ = false;
  if (!direct3d) return;
  auto usable = [&](D3DFORMAT format) {
    return SUCCEEDED(direct3d->CheckDeviceFormat(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, displayFormat, 0,
                                                 D3DRTYPE_TEXTURE, format));
  };
  if (usable(D3DFMT_A1R5G5B5)) fallbackFormat_ = D3DFMT_A1R5G5B5;
  for (D3DFORMAT format : kCompressedProbeOrder) {
    if (usable(format)) {
      compressedFormat_ = format;
      compressionAvailable_ = true;
      break;
    }
  }
}

const TextureEntry& TextureManager::entry(int32_t index) const {
  return index >= 0 && index < count_ ? entries_[size_t(index)] : kNoEntry;
}

// Index of a fresh entry at the end of the table, or −1 when the table is full.
int32_t TextureManager::appendEntry() {
  if (count_ >= textureTableSize) return -1;
  entries_[size_t(count_)] = TextureEntry{};
  return count_++;
}

// The side of the square of the second attempt: `limit`, or less when the device's textures
// are narrower (a device that reports no width is taken at its word for nothing and gets `limit`).
UINT TextureManager::fallbackSize(UINT limit) const {
  return maxTextureWidth_ ? std::min<UINT>(limit, maxTextureWidth_) : limit;
}

void TextureManager::warn(HRESULT code, const char* name) const {
  const std::string text = code == D3DERR_OUTOFVIDEOMEMORY
                               ? "Not enought video memory to load " + std::string(name) +
                                     ". There why some objects will be white color."
                               : "Texture " + std::string(name) + " not loaded. There why some objects will be white color.";
  MessageBoxA(window_, text.c_str(), "Warning!", MB_OK | MB_ICONWARNING);
  SetCursor(nullptr);
}

TextureSlot TextureManager::loadFromMemory(const void* bytes, uint32_t byteCount, const char* name,
                                           const char* group, bool reuse) {
  TextureSlot slot;
  copyText(slot.name, name);
  if (!device_) return slot;

  char groupText[textureNameSize];
  copyText(groupText, group);
  if (reuse) {
    for (int32_t i = 0; i < count_; ++i) {
      const TextureEntry& e = entries_[size_t(i)];
      if (std::strcmp(e.name, slot.name) == 0 && std::strcmp(e.group, groupText) == 0) {
        slot.index = i;
        return slot;
      }
    }
  }

  const int32_t index = appendEntry();
  if (index < 0) return slot;   // table full: refused, nothing made
  TextureEntry& e = entries_[size_t(index)];
  copyText(e.name, name);
  copyText(e.group, group);

  const bool compress = !keepsOwnFormat(name);
  const D3DFORMAT format = compress && compressionAvailable_ ? compressedFormat_ : D3DFMT_UNKNOWN;
  IDirect3DTexture8* texture = nullptr;
  HRESULT result = D3DXCreateTextureFromFileInMemoryEx(device_, bytes, byteCount, 0, 0, 0, 0, format,
                                                       D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0,
                                                       nullptr, nullptr, &texture);
  if (FAILED(result)) {
    texture = nullptr;
    const UINT side = fallbackSize(256);
    result = D3DXCreateTextureFromFileInMemoryEx(device_, bytes, byteCount, side, side, 0, 0, fallbackFormat_,
                                                 D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0, nullptr,
                                                 nullptr, &texture);
  }
  if (SUCCEEDED(result) && texture) {
    e.texture = texture;
    e.present = 1;
  } else {
    e.texture = nullptr;
    e.present = 0;
    warn(result, slot.name);
  }
  e.width = 0;
  e.height = 0;
  e.kind = loadedTextureKind;
  slot.index = index;
  return slot;
}

int32_t TextureManager::findTarget(int width, int height, int kind) const {
  for (int32_t i = 0; i < count_; ++i) {
    const TextureEntry& e = entries_[size_t(i)];
    if (e.kind != kind) continue;
    const bool fits = kind == depthStencilKind ? e.width >= width && e.height >= height
                                               : e.width == width && e.height == height;
    if (fits) return i;
  }
  return -1;
}

// Makes the entry's object at the asked size, then once more as a square of at most 128.
HRESULT TextureManager::makeTarget(TextureEntry& e, int width, int height, int kind) {
  auto attempt = [&](UINT w, UINT h) {
    if (kind == renderTargetKind)
      return D3DXCreateTexture(device_, w, h, 1, D3DUSAGE_RENDERTARGET, displayFormat_, D3DPOOL_DEFAULT,
                               &e.texture);
    return device_->CreateDepthStencilSurface(w, h, D3DFMT_D16, D3DMULTISAMPLE_NONE, &e.surface);
  };
  const bool validSize = width > 0 && height > 0;
  HRESULT result = validSize ? attempt(UINT(width), UINT(height)) : D3DERR_INVALIDCALL;
  if (FAILED(result)) {
    e.texture = nullptr;
    e.surface = nullptr;
    const UINT side = fallbackSize(128);
    result = attempt(side, side);
  }
  if (FAILED(result)) {
    e.texture = nullptr;
    e.surface = nullptr;
  }
  return result;
}

TextureSlot TextureManager::createTarget(int width, int height, int kind, bool reuse) {
  TextureSlot slot;
  if (!device_ || (kind != renderTargetKind && kind != depthStencilKind)) return slot;

  int32_t index = reuse ? findTarget(width, height, kind) : -1;
  if (index >= 0 && entries_[size_t(index)].present) {
    slot.index = index;
    return slot;
  }
  if (index < 0) index = appendEntry();
  if (index < 0) return slot;   // table full

  TextureEntry& e = entries_[size_t(index)];
  e = TextureEntry{};
  e.width = width;
  e.height = height;
  e.kind = kind;
  const HRESULT result = makeTarget(e, width, height, kind);
  const bool made = SUCCEEDED(result) && (kind == renderTargetKind ? e.texture != nullptr : e.surface != nullptr);
  e.present = made ? 1 : 0;
  if (!made) warn(result, "");
  slot.index = index;
  return slot;
}

void TextureManager::bind(DWORD stage, TextureSlot slot) {
  if (!device_ || stage >= 8) return;
  if (slot.index == -1) {
    device_->SetTexture(stage, nullptr);
  } else if (slot.index >= 0 && slot.index < count_) {
    device_->SetTexture(stage, entries_[size_t(slot.index)].texture);
  }
}

IDirect3DSurface8* TextureManager::surface(TextureSlot slot, UINT level) {
  if (slot.index < 0 || slot.index >= count_) return nullptr;
  TextureEntry& e = entries_[size_t(slot.index)];
  if (!e.present) return nullptr;
  if (e.kind == depthStencilKind) {
    if (e.surface) e.surface->AddRef();
    return e.surface;
  }
  IDirect3DSurface8* surface = nullptr;
  if (!e.texture || FAILED(e.texture->GetSurfaceLevel(level, &surface))) return nullptr;
  return surface;
}

void TextureManager::releaseAll() {
  for (int32_t i = 0; i < count_; ++i) {
    TextureEntry& e = entries_[size_t(i)];
    if (e.texture && e.present) {
      e.texture->Release();
      e.texture = nullptr;
      e.present = 0;
    }
    if (e.kind == depthStencilKind && e.present && e.surface) {
      e.surface->Release();
      e.surface = nullptr;
      e.present = 0;
    }
  }
}
