// buffers_gl.cpp — vertex and index buffers: GL buffer objects with a system copy.
//
// Lock hands out the system copy; Unlock uploads the range written since. The copy lives as
// long as the buffer, so every pool survives a device reset. Uploads go through the copy-write
// binding so they never disturb the vertex-array state of a draw.
#include "platform/d3d8/d3d8_gl.h"

namespace d3d8gl {
namespace {

bool lockRange(UINT length, UINT offset, UINT& size) {
  if (offset > length) return false;
  if (size == 0) size = length - offset;
  return size <= length - offset;
}

GLuint createBuffer(UINT length, DWORD usage) {
  while (glGetError() != GL_NO_ERROR) {
  }
  GLuint buffer = 0;
  glGenBuffers(1, &buffer);
  glBindBuffer(GL_COPY_WRITE_BUFFER, buffer);
  glBufferData(GL_COPY_WRITE_BUFFER, GLsizeiptr(length), nullptr,
               (usage & D3DUSAGE_DYNAMIC) ? GL_DYNAMIC_DRAW : GL_STATIC_DRAW);
  if (glGetError() != GL_NO_ERROR) {
    glDeleteBuffers(1, &buffer);
    return 0;
  }
  return buffer;
}

void upload(GLuint buffer, const std::vector<uint8_t>& copy, UINT begin, UINT end) {
  glBindBuffer(GL_COPY_WRITE_BUFFER, buffer);
  glBufferSubData(GL_COPY_WRITE_BUFFER, GLintptr(begin), GLsizeiptr(end - begin), copy.data() + begin);
}

}  // namespace

// ---- VertexBufferGL -------------------------------------------------------------------------------
VertexBufferGL::VertexBufferGL(DeviceGL* device, UINT length, DWORD usage, DWORD fvf, D3DPOOL pool)
    : DeviceResource(device), length_(length), usage_(usage), fvf_(fvf), pool_(pool) {}

VertexBufferGL::~VertexBufferGL() {
  if (device()) {
    device()->forgetBuffer(this);
    if (buffer_ && makeCurrent()) glDeleteBuffers(1, &buffer_);
  }
}

bool VertexBufferGL::create() {
  if (!makeCurrent()) return false;
  buffer_ = createBuffer(length_, usage_);
  if (!buffer_) return false;
  copy_.assign(length_, 0);
  return true;
}

void VertexBufferGL::releaseGL() {
  if (buffer_) glDeleteBuffers(1, &buffer_);
  buffer_ = 0;
}

HRESULT VertexBufferGL::Lock(UINT offset, UINT size, BYTE** data, DWORD flags) {
  if (!data) return D3DERR_INVALIDCALL;
  *data = nullptr;
  if (locked_ || !lockRange(length_, offset, size)) return D3DERR_INVALIDCALL;
  locked_ = true;
  if (flags & D3DLOCK_READONLY) {
    dirtyBegin_ = dirtyEnd_ = 0;
  } else {
    dirtyBegin_ = offset;
    dirtyEnd_ = offset + size;
  }
  *data = copy_.data() + offset;
  return D3D_OK;
}

HRESULT VertexBufferGL::Unlock() {
  if (!locked_) return D3DERR_INVALIDCALL;
  locked_ = false;
  if (dirtyEnd_ > dirtyBegin_ && buffer_ && makeCurrent()) upload(buffer_, copy_, dirtyBegin_, dirtyEnd_);
  return D3D_OK;
}

// ---- IndexBufferGL --------------------------------------------------------------------------------
IndexBufferGL::IndexBufferGL(DeviceGL* device, UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool)
    : DeviceResource(device), length_(length), usage_(usage), format_(format), pool_(pool) {}

IndexBufferGL::~IndexBufferGL() {
  if (device()) {
    device()->forgetBuffer(this);
    if (buffer_ && makeCurrent()) glDeleteBuffers(1, &buffer_);
  }
}

bool IndexBufferGL::create() {
  if (!makeCurrent()) return false;
  buffer_ = createBuffer(length_, usage_);
  if (!buffer_) return false;
  copy_.assign(length_, 0);
  return true;
}

void IndexBufferGL::releaseGL() {
  if (buffer_) glDeleteBuffers(1, &buffer_);
  buffer_ = 0;
}

HRESULT IndexBufferGL::Lock(UINT offset, UINT size, BYTE** data, DWORD flags) {
  if (!data) return D3DERR_INVALIDCALL;
  *data = nullptr;
  if (locked_ || !lockRange(length_, offset, size)) return D3DERR_INVALIDCALL;
  locked_ = true;
  if (flags & D3DLOCK_READONLY) {
    dirtyBegin_ = dirtyEnd_ = 0;
  } else {
    dirtyBegin_ = offset;
    dirtyEnd_ = offset + size;
  }
  *data = copy_.data() + offset;
  return D3D_OK;
}

HRESULT IndexBufferGL::Unlock() {
  if (!locked_) return D3DERR_INVALIDCALL;
  locked_ = false;
  if (dirtyEnd_ > dirtyBegin_ && buffer_ && makeCurrent()) upload(buffer_, copy_, dirtyBegin_, dirtyEnd_);
  return D3D_OK;
}

}  // namespace d3d8gl
