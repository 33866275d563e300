// gfx_fakes.h — a scripted IDirect3D8 and a recording IDirect3DDevice8 for the device layer's tests.
#pragma once

#include <algorithm>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <set>
#include <vector>

#include "platform/d3d8/d3d8.h"

// Records what the device layer asks of a device; TestCooperativeLevel answers from a script.
struct FakeDevice : IDirect3DDevice8 {
  ULONG references = 1;
  std::deque<HRESULT> cooperativeLevels;   // answered in order; D3D_OK once empty
  int resets = 0;
  D3DPRESENT_PARAMETERS lastReset{};
  std::function<void()> onReset;           // runs inside Reset (a slow driver, say)
  D3DGAMMARAMP gamma{};
  std::vector<DWORD> gammaFlags;
  int clears = 0, beginScenes = 0, endScenes = 0, presents = 0;
  DWORD clearFlags = 0;
  D3DCOLOR clearColour = 0;
  float clearDepth = -1;
  std::map<DWORD, DWORD> renderStates;
  std::map<std::pair<DWORD, DWORD>, DWORD> stageStates;
  std::map<DWORD, D3DMATRIX> transforms;
  D3DMATERIAL8 material{};
  std::vector<const char*> events;   // "clear", "begin", "end", "present", "reset"

  ULONG AddRef() override { return ++references; }
  ULONG Release() override { return --references; }
  HRESULT TestCooperativeLevel() override {
    if (cooperativeLevels.empty()) return D3D_OK;
    const HRESULT r = cooperativeLevels.front();
    cooperativeLevels.pop_front();
    return r;
  }
  HRESULT GetDeviceCaps(D3DCAPS8*) override { return D3D_OK; }
  HRESULT Reset(D3DPRESENT_PARAMETERS* p) override {
    ++resets;
    lastReset = *p;
    events.push_back("reset");
    if (onReset) onReset();
    return D3D_OK;
  }
  HRESULT Present(const RECT*, const RECT*, HWND, const RGNDATA*) override {
    ++presents;
    events.push_back("present");
    return D3D_OK;
  }
  void SetGammaRamp(DWORD flags, const D3DGAMMARAMP* ramp) override {
    gammaFlags.push_back(flags);
    gamma = *ramp;
  }
  void GetGammaRamp(D3DGAMMARAMP* ramp) override { *ramp = gamma; }
  HRESULT BeginScene() override {
    ++beginScenes;
    events.push_back("begin");
    return D3D_OK;
  }
  HRESULT EndScene() override {
    ++endScenes;
    events.push_back("end");
    return D3D_OK;
  }
  HRESULT Clear(DWORD, const D3DRECT*, DWORD flags, D3DCOLOR colour, float z, DWORD) override {
    ++clears;
    clearFlags = flags;
    clearColour = colour;
    clearDepth = z;
    events.push_back("clear");
    return D3D_OK;
  }
  HRESULT CreateTexture(UINT, UINT, UINT, DWORD, D3DFORMAT, D3DPOOL, IDirect3DTexture8**) override {
    return E_FAIL;
  }
  HRESULT CreateVertexBuffer(UINT, DWORD, DWORD, D3DPOOL, IDirect3DVertexBuffer8**) override {
    return E_FAIL;
  }
  HRESULT CreateIndexBuffer(UINT, DWORD, D3DFORMAT, D3DPOOL, IDirect3DIndexBuffer8**) override {
    return E_FAIL;
  }
  HRESULT CreateDepthStencilSurface(UINT, UINT, D3DFORMAT, D3DMULTISAMPLE_TYPE,
                                    IDirect3DSurface8**) override {
    return E_FAIL;
  }
  HRESULT SetRenderTarget(IDirect3DSurface8*, IDirect3DSurface8*) override { return D3D_OK; }
  HRESULT GetRenderTarget(IDirect3DSurface8**) override { return E_FAIL; }
  HRESULT GetDepthStencilSurface(IDirect3DSurface8**) override { return E_FAIL; }
  HRESULT SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* m) override {
    transforms[state] = *m;
    return D3D_OK;
  }
  HRESULT GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* m) override {
    *m = transforms[state];
    return D3D_OK;
  }
  HRESULT GetViewport(D3DVIEWPORT8* v) override {
    *v = D3DVIEWPORT8{0, 0, 640, 480, 0.0f, 1.0f};
    return D3D_OK;
  }
  HRESULT SetMaterial(const D3DMATERIAL8* m) override {
    material = *m;
    return D3D_OK;
  }
  HRESULT SetLight(DWORD, const D3DLIGHT8*) override { return D3D_OK; }
  HRESULT LightEnable(DWORD, BOOL) override { return D3D_OK; }
  HRESULT SetRenderState(D3DRENDERSTATETYPE state, DWORD value) override {
    renderStates[state] = value;
    return D3D_OK;
  }
  HRESULT GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) override {
    *value = renderStates[state];
    return D3D_OK;
  }
  HRESULT SetTexture(DWORD, IDirect3DBaseTexture8*) override { return D3D_OK; }
  HRESULT SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) override {
    stageStates[{stage, static_cast<DWORD>(type)}] = value;
    return D3D_OK;
  }
  HRESULT SetVertexShader(DWORD) override { return D3D_OK; }
  HRESULT SetStreamSource(UINT, IDirect3DVertexBuffer8*, UINT) override { return D3D_OK; }
  HRESULT SetIndices(IDirect3DIndexBuffer8*, UINT) override { return D3D_OK; }
  HRESULT DrawPrimitive(D3DPRIMITIVETYPE, UINT, UINT) override { return D3D_OK; }
  HRESULT DrawIndexedPrimitive(D3DPRIMITIVETYPE, UINT, UINT, UINT, UINT) override { return D3D_OK; }
  HRESULT CreateVertexShader(const DWORD*, const DWORD*, DWORD*, DWORD) override { return E_FAIL; }
  HRESULT DeleteVertexShader(DWORD) override { return D3D_OK; }
  HRESULT SetVertexShaderConstant(DWORD, const void*, DWORD) override { return D3D_OK; }
};

// One scripted adapter: the modes it lists and which checks pass.
struct FakeAdapter {
  std::vector<D3DDISPLAYMODE> modes;
  std::set<DWORD> deviceTypeFormats;      // CheckDeviceType passes for these
  std::set<DWORD> depthFormats;           // CheckDeviceFormat and CheckDepthStencilMatch pass
  std::set<DWORD> multisampleTypes{0};    // CheckDeviceMultiSampleType passes for these
  D3DCAPS8 caps{};
  const char* description = "fake adapter";
};

struct CreateCall {
  DWORD flags;
  D3DPRESENT_PARAMETERS parameters;
};

// Answers the enumeration and creation queries from its adapters; CreateDevice fails as many
// times as `failCreations` says, then hands out `device`.
struct FakeDirect3D : IDirect3D8 {
  ULONG references = 1;
  std::vector<FakeAdapter> adapters;
  bool desktopReadable = true;
  D3DDISPLAYMODE desktop{1024, 768, 60, D3DFMT_X8R8G8B8};
  int failCreations = 0;
  FakeDevice* device = nullptr;
  std::vector<CreateCall> creations;
  std::vector<std::pair<DWORD, DWORD>> depthMatchQueries;   // (format, depth) of CheckDepthStencilMatch

  ULONG AddRef() override { return ++references; }
  ULONG Release() override { return --references; }
  UINT GetAdapterCount() override { return static_cast<UINT>(adapters.size()); }
  HRESULT GetAdapterIdentifier(UINT a, DWORD, D3DADAPTER_IDENTIFIER8* id) override {
    *id = D3DADAPTER_IDENTIFIER8{};
    std::strncpy(id->Description, adapters.at(a).description, sizeof id->Description - 1);
    return D3D_OK;
  }
  UINT GetAdapterModeCount(UINT a) override {
    return static_cast<UINT>(adapters.at(a).modes.size());
  }
  HRESULT EnumAdapterModes(UINT a, UINT m, D3DDISPLAYMODE* mode) override {
    *mode = adapters.at(a).modes.at(m);
    return D3D_OK;
  }
  HRESULT GetAdapterDisplayMode(UINT, D3DDISPLAYMODE* mode) override {
    if (!desktopReadable) return D3DERR_NOTAVAILABLE;
    *mode = desktop;
    return D3D_OK;
  }
  HRESULT CheckDeviceType(UINT a, D3DDEVTYPE, D3DFORMAT f, D3DFORMAT, BOOL) override {
    return adapters.at(a).deviceTypeFormats.count(f) ? D3D_OK : D3DERR_NOTAVAILABLE;
  }
  HRESULT CheckDeviceFormat(UINT a, D3DDEVTYPE, D3DFORMAT, DWORD, D3DRESOURCETYPE,
                            D3DFORMAT check) override {
    return adapters.at(a).depthFormats.count(check) ? D3D_OK : D3DERR_NOTAVAILABLE;
  }
  HRESULT CheckDeviceMultiSampleType(UINT a, D3DDEVTYPE, D3DFORMAT, BOOL,
                                     D3DMULTISAMPLE_TYPE type) override {
    return adapters.at(a).multisampleTypes.count(type) ? D3D_OK : D3DERR_NOTAVAILABLE;
  }
  HRESULT CheckDepthStencilMatch(UINT a, D3DDEVTYPE, D3DFORMAT, D3DFORMAT target,
                                 D3DFORMAT depth) override {
    depthMatchQueries.push_back({target, depth});
    return adapters.at(a).depthFormats.count(depth) ? D3D_OK : D3DERR_NOTAVAILABLE;
  }
  HRESULT GetDeviceCaps(UINT a, D3DDEVTYPE, D3DCAPS8* caps) override {
    *caps = adapters.at(a).caps;
    return D3D_OK;
  }
  HRESULT CreateDevice(UINT, D3DDEVTYPE, HWND, DWORD flags, D3DPRESENT_PARAMETERS* p,
                       IDirect3DDevice8** out) override {
    creations.push_back({flags, *p});
    if (failCreations > 0) {
      --failCreations;
      *out = nullptr;
      return D3DERR_NOTAVAILABLE;
    }
    *out = device;
    return device ? D3D_OK : D3DERR_NOTAVAILABLE;
  }
};

// A typical adapter: 640 × 480 and 800 × 600 in X8R8G8B8 and R5G6B5 at two refresh rates each.
inline FakeAdapter typicalAdapter() {
  FakeAdapter a;
  for (UINT rate : {60u, 75u})
    for (D3DFORMAT f : {D3DFMT_X8R8G8B8, D3DFMT_R5G6B5}) {
      a.modes.push_back({800, 600, rate, f});
      a.modes.push_back({640, 480, rate, f});
    }
  a.deviceTypeFormats = {D3DFMT_X8R8G8B8, D3DFMT_R5G6B5};
  a.depthFormats = {D3DFMT_D16};
  return a;
}
