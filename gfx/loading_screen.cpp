// loading_screen.cpp — the loading picture drawn over the whole viewport into both buffers.
#include "gfx/loading_screen.h"

#include <cstdlib>

#include "archive/archive_lookup.h"
#include "assets/vertex_formats.h"
#include "platform/d3dx8/d3dx8.h"

namespace {

constexpr const char* loaderName = "Notification\\Loader.jpg";
constexpr UINT retrySize = 128;

// The quad as first written: depth 0.99, rhw 0.5, white, corners bottom-left, top-left,
// bottom-right, top-right for a two-triangle strip.
void writeInitialQuad(BufferPool& buffers, int32_t quad) {
  auto* vertices = static_cast<ScreenVertex*>(buffers.lockVertices(quad));
  if (!vertices) return;
  const float u[4] = {0.0f, 0.0f, 1.0f, 1.0f};
  const float v[4] = {1.0f, 0.0f, 1.0f, 0.0f};
  for (int i = 0; i < 4; ++i) vertices[i] = ScreenVertex{0.0f, 0.0f, 0.99f, 0.5f, 0xFFFFFFFF, u[i], v[i]};
  buffers.unlockVertices(quad);
}

// The picture at the file's own size and format, or failing that 128 × 128 in R5G6B5.
IDirect3DTexture8* makeLoadingTexture(IDirect3DDevice8* device, const uint8_t* bytes, uint32_t size) {
  IDirect3DTexture8* texture = nullptr;
  if (D3DXCreateTextureFromFileInMemoryEx(device, bytes, size, 0, 0, 0, 0, D3DFMT_UNKNOWN,
                                          D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0, nullptr,
                                          nullptr, &texture) >= 0)
    return texture;
  texture = nullptr;
  if (D3DXCreateTextureFromFileInMemoryEx(device, bytes, size, retrySize, retrySize, 0, 0,
                                          D3DFMT_R5G6B5, D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT,
                                          0, nullptr, nullptr, &texture) >= 0)
    return texture;
  return nullptr;
}

}  // namespace

void showLoadingScreen(IDirect3DDevice8* device, ScreenOverlay& overlay, BufferPool& buffers,
                       int32_t& presentParity, const OverlayLog& log) {
  if (!device) return;
  buffers.createVertexBuffer(overlay.quad, screenVertexFormat, 4);
  writeInitialQuad(buffers, overlay.quad);

  IDirect3DTexture8* texture = nullptr;
  MemoryFile archive;
  openMediaArchive(archive, kInterfaceArchiveId);
  uint8_t* bytes = nullptr;
  uint32_t size = 0;
  if (fetchEntry(&bytes, &size, loaderName, archive, interfaceArchivePassword)) {
    texture = makeLoadingTexture(device, bytes, size);
    std::free(bytes);
  }
  if (log) log("Load Loading Texture complete.");

  // Drawn twice so the picture is in the front and the back buffer while the scene loads.
  for (int pass = 0; pass < 2; ++pass) {
    device->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
    device->BeginScene();
    device->SetRenderState(D3DRS_ZENABLE, FALSE);
    buffers.fillScreenQuad(overlay.quad, 0.0f, 0.0f, 1.0f, 1.0f, 0xFFFFFFFF, 0.0f, 0.0f, 1.0f, 1.0f);
    buffers.useVertices(0, overlay.quad);
    device->SetTexture(0, texture);
    device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);
    device->SetRenderState(D3DRS_ZENABLE, TRUE);
    device->EndScene();
    presentParity = 1 - presentParity;
    device->Present(nullptr, nullptr, nullptr, nullptr);
  }
  if (log) log("Draw Loading Screen complete.");

  if (texture) {
    device->SetTexture(0, nullptr);
    texture->Release();
  }
  if (log) {
    log("Unload Loading Data complete.");
    log("");
  }
}
