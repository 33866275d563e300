// texture_gl.cpp — textures and surfaces: GL textures with a system copy of every lockable level,
// renderbuffers for depth-stencil surfaces and the back buffer.
//
// Rows are stored as Direct3D lays them out (row 0 = top of the picture, v = 0), so sampling uses
// v directly as the GL t coordinate. A lockable level has a system copy only while it is locked:
// zeros before its first upload, read back from GL afterwards. GL objects outlive a device reset,
// so nothing is lost across one.
#include "platform/d3d8/d3d8_gl.h"

#include <cstdlib>
#include <cstring>

namespace d3d8gl {
namespace {

// Texture uploads use a unit that drawing never binds, so the device's binding mirror stays true.
void bindScratch(GLuint texture) {
  glActiveTexture(GL_TEXTURE0 + kMaxStages);
  glBindTexture(GL_TEXTURE_2D, texture);
}

void clearErrors() {
  while (glGetError() != GL_NO_ERROR) {
  }
}

}  // namespace

// ---- DeviceResource ------------------------------------------------------------------------------
DeviceResource::DeviceResource(DeviceGL* device) : device_(device) {
  if (device_) device_->registerResource(this);
}

DeviceResource::~DeviceResource() {
  if (device_) device_->unregisterResource(this);
}

bool DeviceResource::makeCurrent() const { return device_ && device_->makeCurrent(); }

// ---- TextureGL -----------------------------------------------------------------------------------
TextureGL::TextureGL(DeviceGL* device, UINT width, UINT height, UINT levels, DWORD usage,
                     D3DFORMAT format, D3DPOOL pool, const FormatInfo& info)
    : DeviceResource(device), width_(width), height_(height), levels_(levels), usage_(usage),
      format_(format), pool_(pool), info_(info) {}

TextureGL::~TextureGL() {
  if (device()) {
    device()->forgetTexture(this);
    if (texture_ && makeCurrent()) glDeleteTextures(1, &texture_);
  }
}

void TextureGL::releaseGL() {
  if (texture_) glDeleteTextures(1, &texture_);
  texture_ = 0;
}

bool TextureGL::create() {
  if (!makeCurrent()) return false;
  clearErrors();
  glGenTextures(1, &texture_);
  bindScratch(texture_);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_BASE_LEVEL, 0);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, GLint(levels_ - 1));
  // Storage for every level at once, without sending any pixels: the levels are filled by
  // their first unlock, so creation costs no upload.
  if (glCapabilities().textureStorage) {
    glTexStorage2D(GL_TEXTURE_2D, GLsizei(levels_), info_.internalFormat, GLsizei(width_), GLsizei(height_));
  } else {
    std::vector<uint8_t> zeros;
    for (UINT level = 0; level < levels_; ++level) {
      UINT w = levelWidth(level), h = levelHeight(level);
      if (info_.blockBytes) {
        zeros.assign(levelSize(info_, w, h), 0);
        glCompressedTexImage2D(GL_TEXTURE_2D, GLint(level), info_.internalFormat, GLsizei(w), GLsizei(h),
                               0, GLsizei(zeros.size()), zeros.data());
      } else {
        glTexImage2D(GL_TEXTURE_2D, GLint(level), GLint(info_.internalFormat), GLsizei(w), GLsizei(h), 0,
                     info_.uploadFormat, info_.uploadType, nullptr);
      }
    }
  }
  // Lockable textures get their system copies on first lock (zero-filled by calloc, which for
  // large levels hands out untouched pages).
  if (!(usage_ & D3DUSAGE_RENDERTARGET)) copies_.resize(levels_);
  uploaded_.assign(levels_, false);
  locked_.assign(levels_, false);
  lockFlags_.assign(levels_, 0);
  return glGetError() == GL_NO_ERROR;
}

HRESULT TextureGL::GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) {
  if (level >= levels_ || !desc) return D3DERR_INVALIDCALL;
  desc->Format = format_;
  desc->Type = D3DRTYPE_SURFACE;
  desc->Usage = usage_;
  desc->Pool = pool_;
  desc->Size = levelSize(info_, levelWidth(level), levelHeight(level));
  desc->MultiSampleType = D3DMULTISAMPLE_NONE;
  desc->Width = levelWidth(level);
  desc->Height = levelHeight(level);
  return D3D_OK;
}

HRESULT TextureGL::GetSurfaceLevel(UINT level, IDirect3DSurface8** surface) {
  if (!surface) return D3DERR_INVALIDCALL;
  *surface = nullptr;
  if (level >= levels_) return D3DERR_INVALIDCALL;
  *surface = new SurfaceGL(device(), this, level);
  return D3D_OK;
}

HRESULT TextureGL::LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) {
  if (!locked || level >= levels_ || copies_.empty() || locked_[level]) return D3DERR_INVALIDCALL;
  UINT w = levelWidth(level), h = levelHeight(level);
  UINT pitch = levelPitch(info_, w);
  size_t offset = 0;
  if (rect) {
    if (rect->left < 0 || rect->top < 0 || rect->right > LONG(w) || rect->bottom > LONG(h) ||
        rect->left >= rect->right || rect->top >= rect->bottom)
      return D3DERR_INVALIDCALL;
    if (info_.blockBytes) {
      if ((rect->left | rect->top) & 3) return D3DERR_INVALIDCALL;
      offset = size_t(rect->top / 4) * pitch + size_t(rect->left / 4) * info_.blockBytes;
    } else {
      offset = size_t(rect->top) * pitch + size_t(rect->left) * info_.bytesPerPixel;
    }
  }
  if (!copies_[level] && !fetchLevel(level)) return E_OUTOFMEMORY;
  locked->Pitch = INT(pitch);
  locked->pBits = copies_[level].get() + offset;
  locked_[level] = true;
  lockFlags_[level] = flags;
  return D3D_OK;
}

HRESULT TextureGL::UnlockRect(UINT level) {
  if (level >= levels_ || copies_.empty() || !locked_[level]) return D3DERR_INVALIDCALL;
  locked_[level] = false;
  if (!(lockFlags_[level] & D3DLOCK_READONLY) || !uploaded_[level]) upload(level);
  // Once GL holds the level the copy goes back to the heap for the next texture's lock.
  if (uploaded_[level]) copies_[level].reset();
  return D3D_OK;
}

// A level's lock copy: zeros before its first upload, afterwards read back from GL.
bool TextureGL::fetchLevel(UINT level) {
  const UINT w = levelWidth(level), h = levelHeight(level);
  const size_t size = levelSize(info_, w, h);
  if (!uploaded_[level]) {
    copies_[level].reset(static_cast<uint8_t*>(std::calloc(size, 1)));
    return copies_[level] != nullptr;
  }
  copies_[level].reset(static_cast<uint8_t*>(std::malloc(size)));
  if (!copies_[level]) return false;
  if (texture_ && makeCurrent()) {
    bindScratch(texture_);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    if (info_.blockBytes)
      glGetCompressedTexImage(GL_TEXTURE_2D, GLint(level), copies_[level].get());
    else
      glGetTexImage(GL_TEXTURE_2D, GLint(level), info_.uploadFormat, info_.uploadType, copies_[level].get());
  } else {
    std::memset(copies_[level].get(), 0, size);   // the device is gone and its pixels with it
  }
  return true;
}

void TextureGL::upload(UINT level) {
  if (!texture_ || !copies_[level] || !makeCurrent()) return;
  uploaded_[level] = true;
  bindScratch(texture_);
  UINT w = levelWidth(level), h = levelHeight(level);
  const uint8_t* data = copies_[level].get();
  if (info_.blockBytes)
    glCompressedTexSubImage2D(GL_TEXTURE_2D, GLint(level), 0, 0, GLsizei(w), GLsizei(h), info_.internalFormat,
                              GLsizei(levelSize(info_, w, h)), data);
  else
    glTexSubImage2D(GL_TEXTURE_2D, GLint(level), 0, 0, GLsizei(w), GLsizei(h), info_.uploadFormat,
                    info_.uploadType, data);
}

// ---- SurfaceGL -----------------------------------------------------------------------------------
SurfaceGL::SurfaceGL(DeviceGL* device, TextureGL* texture, UINT level)
    : DeviceResource(device), kind_(Kind::textureLevel), texture_(texture), level_(level),
      width_(texture->levelWidth(level)), height_(texture->levelHeight(level)),
      format_(texture->format()), usage_(texture->usage()) {
  texture_->AddRef();
}

SurfaceGL::SurfaceGL(DeviceGL* device, UINT width, UINT height, D3DFORMAT format,
                     D3DMULTISAMPLE_TYPE samples, DWORD usage)
    : DeviceResource(device), kind_(Kind::renderbuffer), width_(width), height_(height),
      format_(format), samples_(int(samples)), usage_(usage) {}

SurfaceGL::~SurfaceGL() {
  if (device()) {
    device()->forgetSurface(this);
    if (renderbuffer_ && makeCurrent()) glDeleteRenderbuffers(1, &renderbuffer_);
  }
  if (texture_) texture_->Release();
}

void SurfaceGL::releaseGL() {
  if (renderbuffer_) glDeleteRenderbuffers(1, &renderbuffer_);
  renderbuffer_ = 0;
}

bool SurfaceGL::allocate(UINT width, UINT height, D3DFORMAT format, D3DMULTISAMPLE_TYPE samples) {
  if (kind_ != Kind::renderbuffer || !makeCurrent()) return false;
  GLenum internalFormat = depthInternalFormat(format);
  if (!internalFormat) {
    const FormatInfo* info = formatInfo(format);
    if (!info || !info->colorRenderable) return false;
    internalFormat = info->internalFormat;
  }
  clearErrors();
  if (!renderbuffer_) glGenRenderbuffers(1, &renderbuffer_);
  glBindRenderbuffer(GL_RENDERBUFFER, renderbuffer_);
  glRenderbufferStorageMultisample(GL_RENDERBUFFER, GLsizei(samples), internalFormat, GLsizei(width),
                                   GLsizei(height));
  if (glGetError() != GL_NO_ERROR) return false;
  width_ = width;
  height_ = height;
  format_ = format;
  samples_ = int(samples);
  return true;
}

HRESULT SurfaceGL::GetDesc(D3DSURFACE_DESC* desc) {
  if (!desc) return D3DERR_INVALIDCALL;
  desc->Format = format_;
  desc->Type = D3DRTYPE_SURFACE;
  desc->Usage = usage_;
  desc->Pool = texture_ ? texture_->pool() : D3DPOOL_DEFAULT;
  const FormatInfo* info = formatInfo(format_);
  desc->Size = info ? levelSize(*info, width_, height_)
                    : width_ * height_ * (format_ == D3DFMT_D16 ? 2u : 4u);
  desc->MultiSampleType = D3DMULTISAMPLE_TYPE(samples_);
  desc->Width = width_;
  desc->Height = height_;
  return D3D_OK;
}

}  // namespace d3d8gl
