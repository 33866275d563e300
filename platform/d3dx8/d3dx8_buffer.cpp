// d3dx8_buffer.cpp — ID3DXBuffer: a reference-counted block of bytes.
#include "platform/d3dx8/d3dx8_shader.h"

#include <atomic>
#include <new>
#include <vector>

namespace {

class MemoryBuffer final : public ID3DXBuffer {
 public:
  explicit MemoryBuffer(DWORD size) : bytes_(size) {}
  ULONG AddRef() override { return ++refs_; }
  ULONG Release() override {
    ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }
  void* GetBufferPointer() override { return bytes_.empty() ? nullptr : bytes_.data(); }
  DWORD GetBufferSize() override { return static_cast<DWORD>(bytes_.size()); }

 private:
  std::vector<unsigned char> bytes_;
  std::atomic<ULONG> refs_{1};
};

}  // namespace

HRESULT D3DXCreateBuffer(DWORD size, ID3DXBuffer** buffer) {
  if (!buffer) return D3DERR_INVALIDCALL;
  *buffer = nullptr;
  MemoryBuffer* made = new (std::nothrow) MemoryBuffer(size);
  if (!made) return E_OUTOFMEMORY;
  *buffer = made;
  return D3D_OK;
}
