// buffer_pool.cpp — vertex and index buffers by record number, and the screen-space quad.
#include "assets/buffer_pool.h"

#include <cstring>
#include <limits>

BufferPool theBufferPool;

namespace {

const VertexBufferRecord kNoVertexRecord{};
const IndexBufferRecord kNoIndexRecord{};

// count × size in bytes, or 0 when it does not fit a 32-bit length.
uint32_t byteLength(uint32_t count, uint32_t size) {
  const uint64_t bytes = uint64_t(count) * size;
  return bytes > std::numeric_limits<uint32_t>::max() ? 0 : uint32_t(bytes);
}

}  // namespace

BufferPool::BufferPool() : vertices_(bufferTableSize), indices_(bufferTableSize) {}

void BufferPool::init(IDirect3DDevice8* device, HWND window) {
  if (!device) return;
  device_ = device;
  window_ = window;
  D3DVIEWPORT8 viewport{};
  if (SUCCEEDED(device_->GetViewport(&viewport))) viewport_ = viewport;
}

VertexBufferRecord* BufferPool::vertexAt(int32_t number) {
  return number >= 0 && number < vertexCount_ ? &vertices_[size_t(number)] : nullptr;
}

IndexBufferRecord* BufferPool::indexAt(int32_t number) {
  return number >= 0 && number < indexCount_ ? &indices_[size_t(number)] : nullptr;
}

const VertexBufferRecord& BufferPool::vertexRecord(int32_t number) const {
  return number >= 0 && number < vertexCount_ ? vertices_[size_t(number)] : kNoVertexRecord;
}

const IndexBufferRecord& BufferPool::indexRecord(int32_t number) const {
  return number >= 0 && number < indexCount_ ? indices_[size_t(number)] : kNoIndexRecord;
}

void BufferPool::createVertexBuffer(int32_t& number, DWORD fvf, uint32_t vertexCount) {
  if (!device_) return;
  VertexBufferRecord* record = vertexAt(number);
  if (!record) {
    if (vertexCount_ >= bufferTableSize) {
      number = -1;
      return;
    }
    number = vertexCount_++;
    record = &vertices_[size_t(number)];
  } else if (record->buffer) {
    record->buffer->Release();
  }
  record->buffer = nullptr;
  record->present = 0;
  record->byteCount = 0;
  record->fvf = fvf;
  if (const uint32_t stride = vertexStride(fvf)) record->stride = stride;

  // A length that does not fit 32 bits is asked as 0, which the device refuses.
  const uint32_t length = byteLength(vertexCount, record->stride);
  IDirect3DVertexBuffer8* buffer = nullptr;
  if (SUCCEEDED(device_->CreateVertexBuffer(length, 0, fvf, D3DPOOL_MANAGED, &buffer)) && buffer) {
    record->buffer = buffer;
    record->present = 1;
    record->byteCount = length;
  }
}

int32_t BufferPool::createIndexBuffer(uint32_t indexCount) {
  if (!device_ || indexCount_ >= bufferTableSize) return -1;
  const int32_t number = indexCount_++;
  IndexBufferRecord& record = indices_[size_t(number)];
  record = IndexBufferRecord{};
  const uint32_t length = byteLength(indexCount, 2);
  IDirect3DIndexBuffer8* buffer = nullptr;
  if (SUCCEEDED(device_->CreateIndexBuffer(length, 0, D3DFMT_INDEX16, D3DPOOL_MANAGED, &buffer)) && buffer) {
    record.buffer = buffer;
    record.present = 1;
    record.byteCount = length;
  }
  return number;
}

void* BufferPool::lockVertices(int32_t number) {
  VertexBufferRecord* record = vertexAt(number);
  if (!record || !record->present || !record->buffer) return nullptr;
  BYTE* data = nullptr;
  return SUCCEEDED(record->buffer->Lock(0, 0, &data, 0)) ? data : nullptr;
}

void BufferPool::unlockVertices(int32_t number) {
  VertexBufferRecord* record = vertexAt(number);
  if (record && record->present && record->buffer) record->buffer->Unlock();
}

void BufferPool::fillVertices(int32_t number, const void* bytes, uint32_t byteCount) {
  if (!bytes) return;
  void* data = lockVertices(number);
  if (!data) return;
  const uint32_t size = vertexRecord(number).byteCount;
  std::memcpy(data, bytes, byteCount < size ? byteCount : size);
  unlockVertices(number);
}

void* BufferPool::lockIndices(int32_t number) {
  IndexBufferRecord* record = indexAt(number);
  if (!record || !record->present || !record->buffer) return nullptr;
  BYTE* data = nullptr;
  return SUCCEEDED(record->buffer->Lock(0, 0, &data, 0)) ? data : nullptr;
}

void BufferPool::unlockIndices(int32_t number) {
  IndexBufferRecord* record = indexAt(number);
  if (record && record->present && record->buffer) record->buffer->Unlock();
}

void BufferPool::useVertices(UINT stream, int32_t number) {
  VertexBufferRecord* record = vertexAt(number);
  if (!record || !device_) return;
  device_->SetVertexShader(record->fvf);
  device_->SetStreamSource(stream, record->buffer, record->stride);
}

void BufferPool::useIndices(int32_t number) {
  IndexBufferRecord* record = indexAt(number);
  if (!record || !device_) return;
  device_->SetIndices(record->buffer, 0);
}

void BufferPool::fillScreenQuad(int32_t number, float x, float y, float w, float h, D3DCOLOR colour,
                                float uLeft, float vTop, float uRight, float vBottom) {
  const VertexBufferRecord& record = vertexRecord(number);
  // Only a screen-vertex buffer of at least four vertices takes the quad.
  if (record.fvf != screenVertexFormat || record.byteCount < 4 * sizeof(ScreenVertex)) return;
  auto* v = static_cast<ScreenVertex*>(lockVertices(number));
  if (!v) return;
  const float left = float(viewport_.X) + float(viewport_.Width) * x;
  const float right = float(viewport_.X) + float(viewport_.Width) * (x + w);
  const float top = float(viewport_.Y) + float(viewport_.Height) * y;
  const float bottom = float(viewport_.Y) + float(viewport_.Height) * (y + h);
  const struct {
    float x, y, u, v;
  } corners[4] = {{left, bottom, uLeft, vBottom},
                  {left, top, uLeft, vTop},
                  {right, bottom, uRight, vBottom},
                  {right, top, uRight, vTop}};
  for (int i = 0; i < 4; ++i) {
    v[i].x = corners[i].x;
    v[i].y = corners[i].y;
    v[i].diffuse = colour;
    v[i].u = corners[i].u;
    v[i].v = corners[i].v;
  }
  unlockVertices(number);
}

void fillFloat4(float* record, float x, float y, float z, float w) {
  if (!record) return;
  record[0] = x;
  record[1] = y;
  record[2] = z;
  record[3] = w;
}
