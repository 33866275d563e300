// d3d8_device_test.cpp — the device's life: loss and reset, what survives a reset, present with
// the gamma ramp and the capture files, bad calls, multisampling, release order.
#include <png.h>

#include <algorithm>
#include <filesystem>
#include <vector>

#include "d3d8_test_support.h"
#include "platform/runtime.h"

namespace {

using d3d8test::DeviceTest;
using d3d8test::kSize;

class Device : public DeviceTest {};

TEST_F(Device, HiddenWindowLosesTheDeviceUntilShownAndReset) {
  EXPECT_EQ(device->TestCooperativeLevel(), D3D_OK);
  ShowWindow(window, SW_HIDE);
  EXPECT_EQ(device->TestCooperativeLevel(), D3DERR_DEVICELOST);
  EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_DEVICELOST);
  EXPECT_EQ(device->Reset(&parameters), D3DERR_DEVICELOST);
  ShowWindow(window, SW_SHOW);
  EXPECT_EQ(device->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
  EXPECT_EQ(device->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
  EXPECT_EQ(device->Reset(&parameters), D3D_OK);
  EXPECT_EQ(device->TestCooperativeLevel(), D3D_OK);
  EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
}

TEST_F(Device, TestHookForcesEitherState) {
  d3d8TestForceDeviceState(device, D3DERR_DEVICELOST);
  EXPECT_EQ(device->TestCooperativeLevel(), D3DERR_DEVICELOST);
  EXPECT_EQ(device->Reset(&parameters), D3DERR_DEVICELOST);
  d3d8TestForceDeviceState(device, D3DERR_DEVICENOTRESET);
  EXPECT_EQ(device->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
  EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_DEVICELOST);
  EXPECT_EQ(device->Reset(&parameters), D3D_OK);
  EXPECT_EQ(device->TestCooperativeLevel(), D3D_OK);
}

// Managed textures and buffers and a default-pool render target made before the reset still
// draw afterwards; every state is back at its default (the program sets its own again).
TEST_F(Device, ResetKeepsResourcesAndRestoresDefaultStates) {
  IDirect3DTexture8* texture = makeTexture(1, 1, {0xFF00FF00});
  IDirect3DTexture8* target = nullptr;
  ASSERT_EQ(device->CreateTexture(16, 16, 1, D3DUSAGE_RENDERTARGET, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT, &target),
            D3D_OK);
  device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
  device->SetRenderState(D3DRS_FILLMODE, D3DFILL_WIREFRAME);
  device->SetRenderState(D3DRS_ZENABLE, FALSE);
  drawQuad(0, 0, kSize, kSize, 0xFFFFFFFF);   // leaves the quad buffer filled

  d3d8TestForceDeviceState(device, D3DERR_DEVICENOTRESET);
  ASSERT_EQ(device->Reset(&parameters), D3D_OK);
  DWORD value = 0;
  device->GetRenderState(D3DRS_CULLMODE, &value);
  EXPECT_EQ(value, DWORD(D3DCULL_CCW));
  device->GetRenderState(D3DRS_FILLMODE, &value);
  EXPECT_EQ(value, DWORD(D3DFILL_SOLID));
  device->GetRenderState(D3DRS_ZENABLE, &value);
  EXPECT_EQ(value, DWORD(D3DZB_TRUE));

  // The render target still takes drawing after the reset.
  IDirect3DSurface8 *level = nullptr, *back = nullptr;
  target->GetSurfaceLevel(0, &level);
  device->GetRenderTarget(&back);
  ASSERT_EQ(device->SetRenderTarget(level, nullptr), D3D_OK);
  device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFFFF0000, 1.0f, 0);
  EXPECT_RGB_NEAR(pixel(8, 8), 255, 0, 0);
  IDirect3DSurface8* autoDepth = nullptr;
  device->SetRenderTarget(back, nullptr);
  EXPECT_EQ(device->GetDepthStencilSurface(&autoDepth), D3DERR_NOTFOUND);
  level->Release();
  back->Release();

  // The managed texture and the buffer's old contents draw as before.
  clear(0xFF000000);
  device->SetTexture(0, texture);
  device->SetVertexShader(d3d8test::kScreenFvf);
  device->SetStreamSource(0, quads, sizeof(d3d8test::ScreenVertex));
  ASSERT_EQ(device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3D_OK);
  EXPECT_RGB_NEAR(pixel(32, 32), 0, 255, 0);
  device->SetTexture(0, nullptr);
  texture->Release();
  target->Release();
}

// A level's lock copy lives only while it is locked: a later lock reads back what was written,
// a fresh level reads zeros, and a read-only lock leaves the pixels alone. Odd sizes catch row
// packing; the block format reads back its blocks.
TEST_F(Device, RelockedLevelsReadBackWhatWasWritten) {
  struct Case {
    D3DFORMAT format;
    UINT width, height, bytes;
  } cases[] = {{D3DFMT_A8R8G8B8, 5, 3, 5 * 3 * 4},
               {D3DFMT_R5G6B5, 3, 5, 3 * 5 * 2},
               {D3DFMT_A1R5G5B5, 1, 1, 2},
               {D3DFMT_DXT5, 8, 4, 2 * 16}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.format);
    IDirect3DTexture8* texture = nullptr;
    ASSERT_EQ(device->CreateTexture(c.width, c.height, 2, 0, c.format, D3DPOOL_MANAGED, &texture), D3D_OK);
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3D_OK);
    auto* bits = static_cast<uint8_t*>(locked.pBits);
    EXPECT_TRUE(std::all_of(bits, bits + c.bytes, [](uint8_t b) { return b == 0; }));
    std::vector<uint8_t> written(c.bytes);
    for (UINT i = 0; i < c.bytes; ++i) written[i] = uint8_t(i * 37 + 11);
    std::copy(written.begin(), written.end(), bits);
    ASSERT_EQ(texture->UnlockRect(0), D3D_OK);

    for (DWORD flags : {DWORD(D3DLOCK_READONLY), DWORD(0)}) {
      ASSERT_EQ(texture->LockRect(0, &locked, nullptr, flags), D3D_OK);
      bits = static_cast<uint8_t*>(locked.pBits);
      EXPECT_EQ(std::vector<uint8_t>(bits, bits + c.bytes), written);
      ASSERT_EQ(texture->UnlockRect(0), D3D_OK);
    }
    texture->Release();
  }
}

TEST_F(Device, ResetToAnotherSizeResizesTheBackBufferAndViewport) {
  D3DPRESENT_PARAMETERS smaller = d3d8test::fullScreenParameters(32, 16);
  smaller.Windowed = TRUE;
  ASSERT_EQ(device->Reset(&smaller), D3D_OK);
  D3DVIEWPORT8 viewport;
  device->GetViewport(&viewport);
  EXPECT_EQ(viewport.Width, 32u);
  EXPECT_EQ(viewport.Height, 16u);
  IDirect3DSurface8* back = nullptr;
  device->GetRenderTarget(&back);
  D3DSURFACE_DESC desc;
  back->GetDesc(&desc);
  EXPECT_EQ(desc.Width, 32u);
  EXPECT_EQ(desc.Height, 16u);
  back->Release();
}

// Full screen at a size the window is not (and no display mode of that size exists on the
// offscreen driver), or windowed at another size: the device still renders at the asked size and
// presents the picture scaled to the window.
TEST_F(Device, BackBufferOfAnotherSizeStillPresents) {
  for (BOOL windowed : {FALSE, TRUE}) {
    SCOPED_TRACE(windowed ? "windowed" : "full screen");
    D3DPRESENT_PARAMETERS other = d3d8test::fullScreenParameters(48, 40);
    other.Windowed = windowed;
    ASSERT_EQ(device->Reset(&other), D3D_OK);
    EXPECT_EQ(other.BackBufferWidth, 48u);
    useVertexColour();
    clear(0xFF000000);
    drawQuad(0, 0, 24, 40, 0xFFFF0000);
    EXPECT_RGB_NEAR(pixel(23, 39), 255, 0, 0);
    EXPECT_RGB_NEAR(pixel(24, 0), 0, 0, 0);
    EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    EXPECT_EQ(device->TestCooperativeLevel(), D3D_OK);
  }
}

// Reads an 8-bit RGB or RGBA PNG into 0x00RRGGBB pixels.
std::vector<uint32_t> readPng(const std::string& path, UINT& w, UINT& h) {
  std::vector<uint32_t> out;
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return out;
  image.format = PNG_FORMAT_RGB;
  std::vector<png_byte> rgb(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) return out;
  w = image.width;
  h = image.height;
  for (size_t i = 0; i + 2 < rgb.size(); i += 3) out.push_back(uint32_t(rgb[i]) << 16 | rgb[i + 1] << 8 | rgb[i + 2]);
  return out;
}

class Capture : public DeviceTest {
 protected:
  void SetUp() override {
    dir = std::filesystem::temp_directory_path() / ("tw-d3d8-capture-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    RuntimeOptions options = runtimeOptions();
    options.captureDir = dir.string();
    setRuntimeOptions(options);
    DeviceTest::SetUp();
  }
  void TearDown() override {
    DeviceTest::TearDown();
    RuntimeOptions options = runtimeOptions();
    options.captureDir.clear();
    setRuntimeOptions(options);
    std::filesystem::remove_all(dir);
  }
  std::vector<std::string> files() {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }
  std::filesystem::path dir;
};

// Every present writes the back buffer, top row first, as numbered PNGs in order.
TEST_F(Capture, PresentWritesEachFrameTopRowFirst) {
  useVertexColour();
  clear(0xFF0000FF);
  drawQuad(0, 0, kSize, 8, 0xFFFF0000);
  ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
  clear(0xFF00FF00);
  ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
  std::vector<std::string> names = files();
  ASSERT_EQ(names.size(), 2u);
  EXPECT_EQ(names[0].substr(0, 6), "frame-");
  EXPECT_EQ(names[0].size(), std::string("frame-000001.png").size());
  UINT w = 0, h = 0;
  std::vector<uint32_t> first = readPng((dir / names[0]).string(), w, h);
  ASSERT_EQ(w, kSize);
  ASSERT_EQ(h, kSize);
  EXPECT_EQ(first[2 * kSize + 5], 0xFF0000u);
  EXPECT_EQ(first[40 * kSize + 5], 0x0000FFu);
  std::vector<uint32_t> second = readPng((dir / names[1]).string(), w, h);
  EXPECT_EQ(second[0], 0x00FF00u);
}

// The gamma setting 10 of the saver's formula: entry i = 76 · i, whose high byte is the output
// level: 255 → 19380 >> 8 = 75, 128 → 9728 >> 8 = 38. The identity ramp changes nothing, and the
// ramp only touches the presented picture, not the back buffer.
TEST_F(Capture, GammaRampIsAppliedToThePresentedPicture) {
  D3DGAMMARAMP ramp;
  for (int i = 0; i < 256; ++i) ramp.red[i] = ramp.green[i] = ramp.blue[i] = WORD(76 * i);
  device->SetGammaRamp(D3DSGR_CALIBRATE, &ramp);
  D3DGAMMARAMP readBack;
  device->GetGammaRamp(&readBack);
  EXPECT_EQ(readBack.red[255], 19380);
  clear(0xFFFF8000);
  ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
  EXPECT_RGB_NEAR(pixel(4, 4), 255, 128, 0);
  for (int i = 0; i < 256; ++i) ramp.red[i] = ramp.green[i] = ramp.blue[i] = WORD(256 * i);
  device->SetGammaRamp(D3DSGR_CALIBRATE, &ramp);
  ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
  std::vector<std::string> names = files();
  ASSERT_EQ(names.size(), 2u);
  UINT w = 0, h = 0;
  EXPECT_EQ(readPng((dir / names[0]).string(), w, h)[100], 0x4B2600u);
  EXPECT_EQ(readPng((dir / names[1]).string(), w, h)[100], 0xFF8000u);
}

TEST_F(Device, BadLocksAndOutOfRangeDrawsAreRefused) {
  BYTE* data = nullptr;
  EXPECT_EQ(quads->Lock(0, 64 * 28 + 1, &data, 0), D3DERR_INVALIDCALL);
  EXPECT_EQ(quads->Lock(64 * 28, 4, &data, 0), D3DERR_INVALIDCALL);
  ASSERT_EQ(quads->Lock(0, 0, &data, 0), D3D_OK);
  EXPECT_EQ(quads->Lock(0, 0, &data, 0), D3DERR_INVALIDCALL);
  EXPECT_EQ(quads->Unlock(), D3D_OK);
  EXPECT_EQ(quads->Unlock(), D3DERR_INVALIDCALL);

  device->SetVertexShader(d3d8test::kScreenFvf);
  device->SetStreamSource(0, quads, 28);
  EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 60, 2), D3DERR_INVALIDCALL);
  EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 21), D3D_OK);

  IDirect3DIndexBuffer8* indices = nullptr;
  ASSERT_EQ(device->CreateIndexBuffer(6, 0, D3DFMT_INDEX16, D3DPOOL_MANAGED, &indices), D3D_OK);
  device->SetIndices(indices, 0);
  EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 3, 1, 1), D3DERR_INVALIDCALL);
  EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 65, 0, 1), D3DERR_INVALIDCALL);
  EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 3, 0, 1), D3D_OK);
  indices->Release();

  IDirect3DTexture8* texture = makeTexture(4, 4, std::vector<uint32_t>(16, 0));
  D3DLOCKED_RECT locked;
  RECT outside{2, 2, 5, 3};
  EXPECT_EQ(texture->LockRect(0, &locked, &outside, 0), D3DERR_INVALIDCALL);
  EXPECT_EQ(texture->LockRect(1, &locked, nullptr, 0), D3DERR_INVALIDCALL);
  texture->Release();
  IDirect3DTexture8* target = nullptr;
  device->CreateTexture(8, 8, 1, D3DUSAGE_RENDERTARGET, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT, &target);
  ASSERT_NE(target, nullptr);
  EXPECT_EQ(target->LockRect(0, &locked, nullptr, 0), D3DERR_INVALIDCALL);
  target->Release();
}

// The program releases its textures and buffers after the device in some paths: they must
// outlive it safely, and references handed out count as Direct3D's do.
TEST_F(Device, ResourcesOutliveTheDeviceAndReferencesCount) {
  IDirect3DTexture8* texture = makeTexture(2, 2, std::vector<uint32_t>(4, 0xFFFFFFFF));
  IDirect3DSurface8* back = nullptr;
  device->GetRenderTarget(&back);
  EXPECT_EQ(back->AddRef(), 4u);   // the device's own, its current target, ours, this one
  EXPECT_EQ(back->Release(), 3u);
  device->Release();
  device = nullptr;
  D3DSURFACE_DESC desc;
  EXPECT_EQ(back->GetDesc(&desc), D3D_OK);
  EXPECT_EQ(back->Release(), 0u);
  D3DLOCKED_RECT locked;
  EXPECT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3D_OK);
  EXPECT_EQ(texture->UnlockRect(0), D3D_OK);
  EXPECT_EQ(texture->Release(), 0u);
  quads->Release();
  quads = nullptr;
}

TEST_F(Device, MultisampledBackBufferDrawsAndResolves) {
  const D3DMULTISAMPLE_TYPE type = D3DMULTISAMPLE_4_SAMPLES;
  if (direct3d->CheckDeviceMultiSampleType(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, FALSE, type) != D3D_OK)
    GTEST_SKIP() << "the GL implementation has fewer than 4 samples";
  quads->Release();
  quads = nullptr;
  device->Release();
  device = nullptr;
  parameters.MultiSampleType = type;
  ASSERT_EQ(direct3d->CreateDevice(0, D3DDEVTYPE_HAL, window, 0, &parameters, &device), D3D_OK);
  ASSERT_EQ(device->CreateVertexBuffer(64 * 28, 0, d3d8test::kScreenFvf, D3DPOOL_MANAGED, &quads), D3D_OK);
  useVertexColour();
  clear(0xFF000000);
  drawQuad(0, 0, 32, kSize, 0xFFFF0000);
  EXPECT_RGB_NEAR(pixel(8, 8), 255, 0, 0);
  EXPECT_RGB_NEAR(pixel(40, 8), 0, 0, 0);
  EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
}

// Redundant state changes and repeated combinations reuse the generated programs.
TEST_F(Device, ProgramsAreCachedByState) {
  useVertexColour();
  device->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_GREATEREQUAL);   // no test yet: same program
  drawQuad(0, 0, 8, 8, 0xFFFFFFFF);
  size_t programs = d3d8TestProgramCount(device);
  device->SetRenderState(D3DRS_ALPHATESTENABLE, TRUE);
  drawQuad(0, 0, 8, 8, 0xFFFFFFFF);
  device->SetRenderState(D3DRS_ALPHATESTENABLE, FALSE);
  drawQuad(0, 0, 8, 8, 0xFFFFFFFF);
  device->SetRenderState(D3DRS_ALPHAREF, 77);   // a uniform, not a new program
  drawQuad(0, 0, 8, 8, 0xFFFFFFFF);
  EXPECT_EQ(d3d8TestProgramCount(device), programs + 1);
}

}  // namespace
