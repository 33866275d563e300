// d3d8_direct3d_test.cpp — the Direct3D object: the GL implementation underneath, adapters and
// modes, truthful format checks, capabilities and refused device creations.
#include "d3d8_test_support.h"

namespace {

class Direct3D : public ::testing::Test {
 protected:
  void SetUp() override {
    window = d3d8test::createTestWindow();
    ASSERT_NE(window, nullptr);
    direct3d = Direct3DCreate8(D3D_SDK_VERSION);
    ASSERT_NE(direct3d, nullptr);
  }
  void TearDown() override {
    if (direct3d) direct3d->Release();
    if (window) DestroyWindow(window);
  }
  HWND window = nullptr;
  IDirect3D8* direct3d = nullptr;
};

TEST_F(Direct3D, RunsOnAnOpenGLContextOfVersion33OrLater) {
  std::string description = d3d8TestGLDescription();
  std::printf("OpenGL: %s\n", description.c_str());
  RecordProperty("opengl", description);
  D3DADAPTER_IDENTIFIER8 id;
  ASSERT_EQ(direct3d->GetAdapterIdentifier(0, 0, &id), D3D_OK);
  EXPECT_NE(std::string(id.Description).find(description.substr(description.find('|') + 2, 8)),
            std::string::npos);
  EXPECT_GE(id.DriverVersion >> 48, 3);
  EXPECT_EQ(Direct3DCreate8(219), nullptr);
}

TEST_F(Direct3D, AdaptersOfferDistinctModesInDisplayFormats) {
  ASSERT_GE(direct3d->GetAdapterCount(), 1u);
  UINT count = direct3d->GetAdapterModeCount(0);
  ASSERT_GT(count, 0u);
  bool has640 = false;
  for (UINT i = 0; i < count; ++i) {
    D3DDISPLAYMODE mode;
    ASSERT_EQ(direct3d->EnumAdapterModes(0, i, &mode), D3D_OK);
    EXPECT_TRUE(mode.Format == D3DFMT_X8R8G8B8 || mode.Format == D3DFMT_R5G6B5);
    EXPECT_GT(mode.Width, 0u);
    has640 = has640 || (mode.Width == 640 && mode.Height == 480);
  }
  EXPECT_TRUE(has640);
  D3DDISPLAYMODE mode;
  EXPECT_EQ(direct3d->EnumAdapterModes(0, count, &mode), D3DERR_INVALIDCALL);
  EXPECT_EQ(direct3d->GetAdapterModeCount(direct3d->GetAdapterCount()), 0u);
  ASSERT_EQ(direct3d->GetAdapterDisplayMode(0, &mode), D3D_OK);
  EXPECT_EQ(mode.Format, D3DFMT_X8R8G8B8);
}

TEST_F(Direct3D, ChecksAnswerForWhatTheContextCanDo) {
  const D3DFORMAT display = D3DFMT_X8R8G8B8;
  EXPECT_EQ(direct3d->CheckDeviceType(0, D3DDEVTYPE_HAL, display, display, FALSE), D3D_OK);
  EXPECT_EQ(direct3d->CheckDeviceType(0, D3DDEVTYPE_HAL, D3DFMT_R5G6B5, D3DFMT_R5G6B5, FALSE), D3D_OK);
  EXPECT_EQ(direct3d->CheckDeviceType(0, D3DDEVTYPE_HAL, D3DFMT_R8G8B8, D3DFMT_R8G8B8, FALSE), D3DERR_NOTAVAILABLE);
  EXPECT_EQ(direct3d->CheckDeviceType(0, D3DDEVTYPE_REF, display, display, FALSE), D3DERR_INVALIDCALL);
  for (D3DFORMAT depth : {D3DFMT_D16, D3DFMT_D24X8}) {
    EXPECT_EQ(direct3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, display, D3DUSAGE_DEPTHSTENCIL, D3DRTYPE_SURFACE, depth),
              D3D_OK);
    EXPECT_EQ(direct3d->CheckDepthStencilMatch(0, D3DDEVTYPE_HAL, display, display, depth), D3D_OK);
  }
  for (D3DFORMAT texture : {D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8, D3DFMT_R5G6B5, D3DFMT_A1R5G5B5})
    EXPECT_EQ(direct3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, display, 0, D3DRTYPE_TEXTURE, texture), D3D_OK);
  EXPECT_EQ(direct3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, display, D3DUSAGE_RENDERTARGET, D3DRTYPE_TEXTURE,
                                        D3DFMT_A1R5G5B5),
            D3DERR_NOTAVAILABLE);
  // Block-compressed formats only when textures really are stored compressed; then a DXT5
  // texture accepts its blocks and a device can draw with it.
  HRESULT dxt5 = direct3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, display, 0, D3DRTYPE_TEXTURE, D3DFMT_DXT5);
  EXPECT_EQ(direct3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, display, 0, D3DRTYPE_TEXTURE, D3DFMT_DXT2),
            D3DERR_NOTAVAILABLE);
  D3DPRESENT_PARAMETERS p = d3d8test::fullScreenParameters();
  IDirect3DDevice8* device = nullptr;
  ASSERT_EQ(direct3d->CreateDevice(0, D3DDEVTYPE_HAL, window, 0, &p, &device), D3D_OK);
  IDirect3DTexture8* compressed = nullptr;
  EXPECT_EQ(device->CreateTexture(8, 8, 0, 0, D3DFMT_DXT5, D3DPOOL_MANAGED, &compressed),
            dxt5 == D3D_OK ? D3D_OK : D3DERR_INVALIDCALL);
  if (compressed) {
    EXPECT_EQ(compressed->GetLevelCount(), 4u);
    D3DLOCKED_RECT locked;
    ASSERT_EQ(compressed->LockRect(0, &locked, nullptr, 0), D3D_OK);
    EXPECT_EQ(locked.Pitch, 2 * 16);
    EXPECT_EQ(compressed->UnlockRect(0), D3D_OK);
    compressed->Release();
  }
  device->Release();
  // Multisampling up to what GL offers, never type 1 or beyond 16.
  EXPECT_EQ(direct3d->CheckDeviceMultiSampleType(0, D3DDEVTYPE_HAL, display, FALSE, D3DMULTISAMPLE_NONE), D3D_OK);
  EXPECT_EQ(direct3d->CheckDeviceMultiSampleType(0, D3DDEVTYPE_HAL, display, FALSE, D3DMULTISAMPLE_TYPE(1)),
            D3DERR_INVALIDCALL);
  EXPECT_NE(direct3d->CheckDeviceMultiSampleType(0, D3DDEVTYPE_HAL, display, FALSE, D3DMULTISAMPLE_TYPE(17)),
            D3D_OK);
}

TEST_F(Direct3D, CapabilitiesFillWhatTheProgramReads) {
  D3DCAPS8 caps;
  ASSERT_EQ(direct3d->GetDeviceCaps(0, D3DDEVTYPE_HAL, &caps), D3D_OK);
  EXPECT_TRUE(caps.DevCaps & D3DDEVCAPS_TLVERTEXSYSTEMMEMORY);
  EXPECT_GE(caps.MaxTextureWidth, 1024u);
  EXPECT_GE(caps.MaxSimultaneousTextures, 2u);
  EXPECT_EQ(direct3d->GetDeviceCaps(1000, D3DDEVTYPE_HAL, &caps), D3DERR_INVALIDCALL);
}

TEST_F(Direct3D, CreateDeviceRefusesWhatItCannotHonour) {
  IDirect3DDevice8* device = nullptr;
  D3DPRESENT_PARAMETERS p = d3d8test::fullScreenParameters();
  struct {
    const char* name;
    void (*change)(D3DPRESENT_PARAMETERS&);
  } cases[] = {
      {"24-bit back buffer", [](D3DPRESENT_PARAMETERS& q) { q.BackBufferFormat = D3DFMT_R8G8B8; }},
      {"multisample type 1", [](D3DPRESENT_PARAMETERS& q) { q.MultiSampleType = D3DMULTISAMPLE_TYPE(1); }},
      {"32 samples", [](D3DPRESENT_PARAMETERS& q) { q.MultiSampleType = D3DMULTISAMPLE_TYPE(32); }},
      {"colour depth format", [](D3DPRESENT_PARAMETERS& q) { q.AutoDepthStencilFormat = D3DFMT_X8R8G8B8; }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    D3DPRESENT_PARAMETERS q = p;
    c.change(q);
    EXPECT_EQ(direct3d->CreateDevice(0, D3DDEVTYPE_HAL, window, 0, &q, &device), D3DERR_INVALIDCALL);
    EXPECT_EQ(device, nullptr);
  }
  EXPECT_EQ(direct3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, 0, &p, &device), D3DERR_INVALIDCALL);
  EXPECT_EQ(direct3d->CreateDevice(0, D3DDEVTYPE_HAL, window, 0, nullptr, &device), D3DERR_INVALIDCALL);
  // A 16-bit back buffer with a 16-bit depth buffer is honoured.
  p.BackBufferFormat = D3DFMT_R5G6B5;
  p.AutoDepthStencilFormat = D3DFMT_D16;
  ASSERT_EQ(direct3d->CreateDevice(0, D3DDEVTYPE_HAL, window, 0, &p, &device), D3D_OK);
  IDirect3DSurface8* back = nullptr;
  device->GetRenderTarget(&back);
  D3DSURFACE_DESC desc;
  back->GetDesc(&desc);
  EXPECT_EQ(desc.Format, D3DFMT_R5G6B5);
  back->Release();
  device->Release();
}

}  // namespace
