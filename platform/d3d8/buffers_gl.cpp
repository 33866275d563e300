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

// ---- BufferStorageGL ------------------------------------------------------------------------------
bool BufferStorageGL::create() {
  buffer = createBuffer(length, usage);
  if (!buffer) return false;
  copy.assign(length, 0);
  return true;
}

void BufferStorageGL::release() {
  if (buffer) glDeleteBuffers(1, &buffer);
  buffer = 0;
}

HRESULT BufferStorageGL::lock(UINT offset, UINT size, BYTE** data, DWORD flags) {
  if (!data) return D3DERR_INVALIDCALL;
  *data = nullptr;
  if (locked || !lockRange(length, offset, size)) return D3DERR_INVALIDCALL;
  locked = true;
  if (flags & D3DLOCK_READONLY) {
    dirtyBegin = dirtyEnd = 0;
  } else {
    dirtyBegin = offset;
    dirtyEnd = offset + size;
  }
  *data = copy.data() + offset;
  return D3D_OK;
}

HRESULT BufferStorageGL::unlock(bool contextCurrent) {
  if (!locked) return D3DERR_INVALIDCALL;
  locked = false;
  if (dirtyEnd > dirtyBegin && buffer && contextCurrent) upload(buffer, copy, dirtyBegin, dirtyEnd);
  return D3D_OK;
}

// ---- VertexBufferGL -------------------------------------------------------------------------------
VertexBufferGL::VertexBufferGL(DeviceGL* device, UINT length, DWORD usage, DWORD fvf, D3DPOOL pool)
    : DeviceResource(device), fvf_(fvf), pool_(pool) {
  storage_.length = length;
  storage_.usage = usage;
}

VertexBufferGL::~VertexBufferGL() {
  if (device()) {
    device()->forgetBuffer(this);
    if (storage_.buffer && makeCurrent()) storage_.release();
  }
}

bool VertexBufferGL::create() { return makeCurrent() && storage_.create(); }
void VertexBufferGL::releaseGL() { storage_.release(); }
HRESULT VertexBufferGL::Lock(UINT offset, UINT size, BYTE** data, DWORD flags) {
  return storage_.lock(offset, size, data, flags);
}
HRESULT VertexBufferGL::Unlock() {
  return storage_.unlock(storage_.locked && storage_.buffer && makeCurrent());
}

// ---- IndexBufferGL --------------------------------------------------------------------------------
IndexBufferGL::IndexBufferGL(DeviceGL* device, UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool)
    : DeviceResource(device), format_(format), pool_(pool) {
  storage_.length = length;
  storage_.usage = usage;
}

IndexBufferGL::~IndexBufferGL() {
  if (device()) {
    device()->forgetBuffer(this);
    if (storage_.buffer && makeCurrent()) storage_.release();
  }
}

bool IndexBufferGL::create() { return makeCurrent() && storage_.create(); }
void IndexBufferGL::releaseGL() { storage_.release(); }
HRESULT IndexBufferGL::Lock(UINT offset, UINT size, BYTE** data, DWORD flags) {
  return storage_.lock(offset, size, data, flags);
}
HRESULT IndexBufferGL::Unlock() {
  return storage_.unlock(storage_.locked && storage_.buffer && makeCurrent());
}

}  // namespace d3d8gl
