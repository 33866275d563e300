// buffer_pool.h — the one pool of vertex and index buffers, named by record number.
//
// Callers state a vertex format and a count; the pool knows each format's stride, creates the
// buffer in the managed pool, locks, fills and selects it by number, and fills the screen-space
// quad of the overlay and the full-screen effects. Records are appended and never removed;
// the pool releases nothing by itself. Every call with a number that names no record does
// nothing (locks return null); so does a call on a record whose buffer could not be made.
#pragma once

#include <cstdint>
#include <vector>

#include "assets/vertex_formats.h"
#include "platform/d3d8/d3d8.h"
#include "platform/win32/windows.h"

constexpr int32_t bufferTableSize = 10000;   // records per table

struct VertexBufferRecord {
  DWORD fvf = 0;
  uint32_t stride = 0;                       // bytes per vertex; 0 for a format the pool does not know
  IDirect3DVertexBuffer8* buffer = nullptr;
  uint8_t present = 0;                       // 1 when `buffer` exists
  uint32_t byteCount = 0;                    // size of `buffer`
};

struct IndexBufferRecord {
  IDirect3DIndexBuffer8* buffer = nullptr;
  uint8_t present = 0;
  uint32_t byteCount = 0;
};

class BufferPool {
 public:
  BufferPool();

  // Keeps the device and window and reads the device's current viewport; a null device is ignored.
  void init(IDirect3DDevice8* device, HWND window);

  // number −1 (or any number naming no record) appends a record and writes its number back;
  // otherwise that record is made again, its old buffer released. With the table full the
  // number becomes −1 and nothing is made.
  void createVertexBuffer(int32_t& number, DWORD fvf, uint32_t vertexCount);
  // Appends a record with a buffer of 16-bit indices; −1 when the table is full.
  int32_t createIndexBuffer(uint32_t indexCount);

  // The whole buffer's bytes, or null (bad number, no buffer, lock refused).
  void* lockVertices(int32_t number);
  void unlockVertices(int32_t number);
  // Copies at most the buffer's size.
  void fillVertices(int32_t number, const void* bytes, uint32_t byteCount);
  void* lockIndices(int32_t number);
  void unlockIndices(int32_t number);

  // Sets the record's format as the vertex shader and its buffer as `stream` with its stride.
  void useVertices(UINT stream, int32_t number);
  void useIndices(int32_t number);

  // Writes x, y, colour, u, v of the first four vertices of a screen-vertex buffer (z and rhw
  // are left alone) as a strip bottom-left, top-left, bottom-right, top-right. x, y, w, h are
  // fractions of the viewport read at init, y downwards; (uLeft, vTop) is the top-left corner's
  // texture coordinate and (uRight, vBottom) the bottom-right's.
  void fillScreenQuad(int32_t number, float x, float y, float w, float h, D3DCOLOR colour, float uLeft,
                      float vTop, float uRight, float vBottom);

  int32_t vertexBufferCount() const { return vertexCount_; }
  int32_t indexBufferCount() const { return indexCount_; }
  // The record, or an empty one for a number naming none.
  const VertexBufferRecord& vertexRecord(int32_t number) const;
  const IndexBufferRecord& indexRecord(int32_t number) const;
  const D3DVIEWPORT8& viewport() const { return viewport_; }
  IDirect3DDevice8* device() const { return device_; }

 private:
  VertexBufferRecord* vertexAt(int32_t number);
  IndexBufferRecord* indexAt(int32_t number);

  std::vector<VertexBufferRecord> vertices_;   // bufferTableSize records
  std::vector<IndexBufferRecord> indices_;     // bufferTableSize records
  int32_t vertexCount_ = 0;
  int32_t indexCount_ = 0;
  IDirect3DDevice8* device_ = nullptr;
  HWND window_ = nullptr;
  D3DVIEWPORT8 viewport_{};
};

// Fills one four-float record (a vertex-shader constant register) with x, y, z, w.
void fillFloat4(float* record, float x, float y, float z, float w);

extern BufferPool theBufferPool;
