// recording_device.h — an in-memory IDirect3DDevice8 that records every call, and a scriptable IDirect3D8.
//
// For tests of code that draws or makes device objects, without OpenGL. Header-only.
//
//   RecordingDevice device;                  // viewport 800 × 600, MaxTextureWidth 2048
//   RecordingDirect3D d3d(&device);          // CheckDeviceFormat accepts d3d.textureFormats
//   ... run the code under test with &device (and &d3d) ...
//
// What it records
//   device.calls                 every call in order (RecordedCall: name, numeric arguments,
//                                the object passed or made, the result); device AddRef/Release excepted
//   device.named("SetTexture")   the calls of one name
//   device.trace()               the calls as text, one "Name(arg, ...)" per line, numbers as
//                                printf %.9g, the object passed or made last as "#id" (id of a
//                                Recording* object, −1 for a foreign one) or "null", e.g.
//                                "SetTexture(0, #3)", "CreateTexture(64, 64, 0, 0, 21, 1, #3)";
//                                SetRenderTarget(depth surface id, #target)
//   device.traceOf({"SetRenderState", "DrawPrimitive"})  the same for some names only
//   current state                renderStates, stageStates, textures[stage], streams[stream],
//                                indices, vertexShader, transforms, shaderConstants, renderTarget,
//                                depthStencil (the device holds no references to bound objects)
//   device.liveObjects()         textures, surfaces and buffers made and not yet released
//
// What it makes (reference-counted, deleted at 0, usable after the device is gone)
//   RecordingTexture      every level in memory (full chain for levels 0); LockRect hands out
//                         the level's bytes (rows top first; block formats a row of 4 × 4 blocks
//                         per pitch), so a picture loader can fill it and a test can read it
//   RecordingSurface      a texture level (GetSurfaceLevel) or a depth-stencil surface
//   RecordingVertexBuffer / RecordingIndexBuffer   `bytes` in memory; Lock hands them out
//
// What it refuses, when told
//   device.textureRefusals.push_back({D3DERR_OUTOFVIDEOMEMORY, 512, 512, D3DFMT_DXT5})
//       CreateTexture answers the code for requests of that size and format (0 and
//       D3DFMT_UNKNOWN match anything; `times` limits how often, −1 always)
//   device.depthStencilRefusals   the same for CreateDepthStencilSurface
//   device.textureFormats         formats CreateTexture accepts at all (else D3DERR_INVALIDCALL)
//   device.vertexBufferRefusal, device.indexBufferRefusal   an error code for every creation
//   device.caps, device.viewport  what GetDeviceCaps and GetViewport report
//   d3d.textureFormats, d3d.depthFormats   what CheckDeviceFormat accepts; d3d.formatQueries
//       lists the formats asked, in order; d3d.caps is what IDirect3D8::GetDeviceCaps reports
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <deque>
#include <initializer_list>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/d3d8/d3d8.h"

namespace recording {

// Counts the objects of one device that are still alive.
struct Ledger {
  int live = 0;
  int nextId = 1;
};

// Common part of every object the device makes: an id for traces, reference counting, the ledger.
struct Tracked {
  explicit Tracked(std::shared_ptr<Ledger> l) : ledger(std::move(l)) {
    if (ledger) {
      id = ledger->nextId++;
      ++ledger->live;
    }
  }
  virtual ~Tracked() {
    if (ledger) --ledger->live;
  }
  std::shared_ptr<Ledger> ledger;
  int id = 0;
  ULONG references = 1;
};

// Bytes of one 4 × 4 block (block formats) or of one pixel; 0 for a format without texels.
inline UINT blockBytes(D3DFORMAT f) { return f == D3DFMT_DXT1 ? 8 : 16; }
inline bool isBlockFormat(D3DFORMAT f) {
  return f == D3DFMT_DXT1 || f == D3DFMT_DXT2 || f == D3DFMT_DXT3 || f == D3DFMT_DXT4 || f == D3DFMT_DXT5;
}
inline UINT pixelBytes(D3DFORMAT f) {
  switch (f) {
    case D3DFMT_A8R8G8B8:
    case D3DFMT_X8R8G8B8:
    case D3DFMT_D32:
    case D3DFMT_D24S8:
    case D3DFMT_D24X8: return 4;
    case D3DFMT_R8G8B8: return 3;
    case D3DFMT_R5G6B5:
    case D3DFMT_X1R5G5B5:
    case D3DFMT_A1R5G5B5:
    case D3DFMT_A4R4G4B4:
    case D3DFMT_D16: return 2;
    default: return 0;
  }
}

}  // namespace recording

struct RecordingTexture;

struct RecordingSurface final : IDirect3DSurface8, recording::Tracked {
  RecordingSurface(std::shared_ptr<recording::Ledger> ledger, const D3DSURFACE_DESC& d,
                   RecordingTexture* owner, UINT ownerLevel);
  ~RecordingSurface() override;
  ULONG AddRef() override { return ++references; }
  ULONG Release() override {
    const ULONG left = --references;
    if (left == 0) delete this;
    return left;
  }
  HRESULT GetDesc(D3DSURFACE_DESC* out) override {
    if (!out) return D3DERR_INVALIDCALL;
    *out = desc;
    return D3D_OK;
  }
  D3DSURFACE_DESC desc{};
  RecordingTexture* texture = nullptr;   // the texture this is a level of (held), or null
  UINT level = 0;
};

struct RecordingTexture final : IDirect3DTexture8, recording::Tracked {
  struct Level {
    UINT width, height, pitch, rows;
    std::vector<uint8_t> bytes;
    bool locked = false;
  };

  RecordingTexture(std::shared_ptr<recording::Ledger> ledger, UINT w, UINT h, UINT levelCount, DWORD use,
                   D3DFORMAT f, D3DPOOL p)
      : Tracked(std::move(ledger)), usage(use), format(f), pool(p) {
    for (UINT i = 0; levelCount == 0 || i < levelCount; ++i) {
      Level l{w, h, 0, 0, {}, false};
      if (recording::isBlockFormat(f)) {
        l.pitch = ((w + 3) / 4) * recording::blockBytes(f);
        l.rows = (h + 3) / 4;
      } else {
        l.pitch = w * recording::pixelBytes(f);
        l.rows = h;
      }
      l.bytes.assign(size_t(l.pitch) * l.rows, 0);
      levels.push_back(std::move(l));
      if (w == 1 && h == 1) break;
      w = w > 1 ? w / 2 : 1;
      h = h > 1 ? h / 2 : 1;
    }
  }
  ULONG AddRef() override { return ++references; }
  ULONG Release() override {
    const ULONG left = --references;
    if (left == 0) delete this;
    return left;
  }
  DWORD GetLevelCount() override { return DWORD(levels.size()); }
  HRESULT GetLevelDesc(UINT level, D3DSURFACE_DESC* out) override {
    if (!out || level >= levels.size()) return D3DERR_INVALIDCALL;
    *out = levelDesc(level);
    return D3D_OK;
  }
  HRESULT GetSurfaceLevel(UINT level, IDirect3DSurface8** out) override {
    if (!out) return D3DERR_INVALIDCALL;
    *out = nullptr;
    if (level >= levels.size()) return D3DERR_INVALIDCALL;
    *out = new RecordingSurface(ledger, levelDesc(level), this, level);
    return D3D_OK;
  }
  HRESULT LockRect(UINT level, D3DLOCKED_RECT* out, const RECT* rect, DWORD) override {
    if (!out || level >= levels.size() || levels[level].locked) return D3DERR_INVALIDCALL;
    Level& l = levels[level];
    size_t offset = 0;
    if (rect) {
      if (rect->left < 0 || rect->top < 0 || rect->left >= rect->right || rect->top >= rect->bottom ||
          UINT(rect->right) > l.width || UINT(rect->bottom) > l.height)
        return D3DERR_INVALIDCALL;
      if (recording::isBlockFormat(format))
        offset = size_t(rect->top / 4) * l.pitch + size_t(rect->left / 4) * recording::blockBytes(format);
      else
        offset = size_t(rect->top) * l.pitch + size_t(rect->left) * recording::pixelBytes(format);
    }
    l.locked = true;
    ++lockCount;
    out->Pitch = INT(l.pitch);
    out->pBits = l.bytes.data() + offset;
    return D3D_OK;
  }
  HRESULT UnlockRect(UINT level) override {
    if (level >= levels.size() || !levels[level].locked) return D3DERR_INVALIDCALL;
    levels[level].locked = false;
    return D3D_OK;
  }
  D3DSURFACE_DESC levelDesc(UINT level) const {
    D3DSURFACE_DESC d{};
    d.Format = format;
    d.Type = D3DRTYPE_SURFACE;
    d.Usage = usage;
    d.Pool = pool;
    d.Size = UINT(levels[level].bytes.size());
    d.MultiSampleType = D3DMULTISAMPLE_NONE;
    d.Width = levels[level].width;
    d.Height = levels[level].height;
    return d;
  }
  // Texel (x, y) of a level as a 32-bit value (formats of 4 bytes per pixel).
  uint32_t pixel32(UINT level, UINT x, UINT y) const {
    uint32_t v = 0;
    std::memcpy(&v, levels.at(level).bytes.data() + size_t(y) * levels[level].pitch + size_t(x) * 4, 4);
    return v;
  }

  DWORD usage;
  D3DFORMAT format;
  D3DPOOL pool;
  std::vector<Level> levels;
  int lockCount = 0;
};

inline RecordingSurface::RecordingSurface(std::shared_ptr<recording::Ledger> l, const D3DSURFACE_DESC& d,
                                          RecordingTexture* owner, UINT ownerLevel)
    : Tracked(std::move(l)), desc(d), texture(owner), level(ownerLevel) {
  if (texture) texture->AddRef();
}
inline RecordingSurface::~RecordingSurface() {
  if (texture) texture->Release();
}

// Vertex and index buffers share one shape: bytes in memory, one lock at a time.
template <class Interface>
struct RecordingBuffer final : Interface, recording::Tracked {
  RecordingBuffer(std::shared_ptr<recording::Ledger> ledger, UINT length, DWORD use, DWORD fvfOrFormat,
                  D3DPOOL p)
      : Tracked(std::move(ledger)), bytes(length, 0), usage(use), format(fvfOrFormat), pool(p) {}
  ULONG AddRef() override { return ++references; }
  ULONG Release() override {
    const ULONG left = --references;
    if (left == 0) delete this;
    return left;
  }
  // offset and size 0, 0 (or size 0) lock from offset to the end.
  HRESULT Lock(UINT offset, UINT size, BYTE** data, DWORD flags) override {
    if (!data) return D3DERR_INVALIDCALL;
    *data = nullptr;
    if (locked || offset > bytes.size() || size > bytes.size() - offset) return D3DERR_INVALIDCALL;
    locked = true;
    ++lockCount;
    lastLockFlags = flags;
    *data = bytes.data() + offset;
    return D3D_OK;
  }
  HRESULT Unlock() override {
    if (!locked) return D3DERR_INVALIDCALL;
    locked = false;
    return D3D_OK;
  }
  std::vector<BYTE> bytes;
  DWORD usage;
  DWORD format;   // the vertex format bits, or the index format
  D3DPOOL pool;
  bool locked = false;
  int lockCount = 0;
  DWORD lastLockFlags = 0;
};
using RecordingVertexBuffer = RecordingBuffer<IDirect3DVertexBuffer8>;
using RecordingIndexBuffer = RecordingBuffer<IDirect3DIndexBuffer8>;

// One call the device received.
struct RecordedCall {
  std::string name;
  std::vector<double> args;       // numeric arguments in order (floats exactly, enums as numbers)
  const void* object = nullptr;   // the object passed in, or the one made
  int objectId = 0;               // its id (0: none, −1: not made by a recording device)
  HRESULT result = D3D_OK;
};

// A refusal rule: requests matching width, height and format (0 / D3DFMT_UNKNOWN: any) get `code`.
struct RecordingRefusal {
  HRESULT code = D3DERR_OUTOFVIDEOMEMORY;
  UINT width = 0;
  UINT height = 0;
  D3DFORMAT format = D3DFMT_UNKNOWN;
  int times = -1;   // how many requests it refuses; −1 every one
};

struct RecordingDevice : IDirect3DDevice8 {
  // ---- scripting --------------------------------------------------------------------------
  D3DCAPS8 caps = defaultCaps();
  D3DVIEWPORT8 viewport{0, 0, 800, 600, 0.0f, 1.0f};
  std::set<D3DFORMAT> textureFormats{D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8, D3DFMT_R5G6B5, D3DFMT_X1R5G5B5,
                                     D3DFMT_A1R5G5B5, D3DFMT_A4R4G4B4, D3DFMT_DXT1,     D3DFMT_DXT2,
                                     D3DFMT_DXT3,     D3DFMT_DXT4,     D3DFMT_DXT5};
  std::vector<RecordingRefusal> textureRefusals;
  std::vector<RecordingRefusal> depthStencilRefusals;
  HRESULT vertexBufferRefusal = D3D_OK;
  HRESULT indexBufferRefusal = D3D_OK;
  std::deque<HRESULT> cooperativeLevels;   // TestCooperativeLevel answers these in order, then D3D_OK
  HRESULT resetResult = D3D_OK;

  // ---- what was asked ------------------------------------------------------------------------
  std::vector<RecordedCall> calls;
  std::map<DWORD, DWORD> renderStates;
  std::map<std::pair<DWORD, DWORD>, DWORD> stageStates;   // (stage, type) → value
  std::map<DWORD, IDirect3DBaseTexture8*> textures;       // stage → texture (null: cleared)
  std::map<UINT, std::pair<IDirect3DVertexBuffer8*, UINT>> streams;   // stream → (buffer, stride)
  IDirect3DIndexBuffer8* indices = nullptr;
  DWORD vertexShader = 0;
  std::map<DWORD, D3DMATRIX> transforms;
  std::map<DWORD, std::vector<float>> shaderConstants;   // register → 4 floats
  D3DMATERIAL8 material{};
  std::map<DWORD, D3DLIGHT8> lights;
  std::map<DWORD, BOOL> lightsEnabled;
  D3DGAMMARAMP gamma{};
  IDirect3DSurface8* renderTarget = nullptr;   // the back buffer until SetRenderTarget
  IDirect3DSurface8* depthStencil = nullptr;   // the automatic depth buffer until SetRenderTarget
  ULONG references = 1;   // the device lives on the test's stack: Release only counts

  RecordingDevice() {
    D3DSURFACE_DESC d{};
    d.Type = D3DRTYPE_SURFACE;
    d.Pool = D3DPOOL_DEFAULT;
    d.Width = viewport.Width;
    d.Height = viewport.Height;
    d.Format = D3DFMT_X8R8G8B8;
    d.Usage = D3DUSAGE_RENDERTARGET;
    backBuffer_ = new RecordingSurface(nullptr, d, nullptr, 0);   // not counted as live objects
    d.Format = D3DFMT_D16;
    d.Usage = D3DUSAGE_DEPTHSTENCIL;
    autoDepth_ = new RecordingSurface(nullptr, d, nullptr, 0);
    renderTarget = backBuffer_;
    depthStencil = autoDepth_;
  }
  ~RecordingDevice() override {
    backBuffer_->Release();
    autoDepth_->Release();
  }
  RecordingDevice(const RecordingDevice&) = delete;
  RecordingDevice& operator=(const RecordingDevice&) = delete;

  static D3DCAPS8 defaultCaps() {
    D3DCAPS8 c{};
    c.DeviceType = D3DDEVTYPE_HAL;
    c.Caps2 = D3DCAPS2_FULLSCREENGAMMA;
    c.DevCaps = D3DDEVCAPS_HWTRANSFORMANDLIGHT | D3DDEVCAPS_HWRASTERIZATION;
    c.TextureCaps = D3DPTEXTURECAPS_MIPMAP;
    c.MaxTextureWidth = 2048;
    c.MaxTextureHeight = 2048;
    c.MaxTextureBlendStages = 8;
    c.MaxSimultaneousTextures = 8;
    c.MaxActiveLights = 8;
    c.MaxPrimitiveCount = 0xFFFFF;
    c.MaxVertexIndex = 0xFFFF;
    c.MaxStreams = 16;
    c.MaxStreamStride = 255;
    c.VertexShaderVersion = D3DVS_VERSION(1, 1);
    c.MaxVertexShaderConst = 96;
    return c;
  }

  // ---- reading the record ----------------------------------------------------------------------
  int liveObjects() const { return ledger_->live; }
  std::vector<RecordedCall> named(const std::string& name) const {
    std::vector<RecordedCall> out;
    for (const RecordedCall& c : calls)
      if (c.name == name) out.push_back(c);
    return out;
  }
  static std::string describe(const RecordedCall& c) {
    std::string s = c.name + "(";
    char number[40];
    for (size_t i = 0; i < c.args.size(); ++i) {
      std::snprintf(number, sizeof number, "%s%.9g", i ? ", " : "", c.args[i]);
      s += number;
    }
    if (c.objectId != 0 || c.object != nullptr || isObjectCall(c.name)) {
      if (!c.object)
        s += c.args.empty() ? "null" : ", null";
      else {
        std::snprintf(number, sizeof number, "%s#%d", c.args.empty() ? "" : ", ", c.objectId);
        s += number;
      }
    }
    return s + ")";
  }
  std::string trace() const {
    std::string s;
    for (const RecordedCall& c : calls) s += describe(c) + "\n";
    return s;
  }
  std::string traceOf(std::initializer_list<const char*> names) const {
    std::string s;
    for (const RecordedCall& c : calls)
      for (const char* n : names)
        if (c.name == n) s += describe(c) + "\n";
    return s;
  }
  void clearCalls() { calls.clear(); }

  // ---- IUnknown ------------------------------------------------------------------------------
  ULONG AddRef() override { return ++references; }
  ULONG Release() override { return --references; }

  // ---- frame and device state ----------------------------------------------------------------
  HRESULT TestCooperativeLevel() override {
    HRESULT r = D3D_OK;
    if (!cooperativeLevels.empty()) {
      r = cooperativeLevels.front();
      cooperativeLevels.pop_front();
    }
    return record("TestCooperativeLevel", {}, nullptr, r);
  }
  HRESULT GetDeviceCaps(D3DCAPS8* out) override {
    if (!out) return record("GetDeviceCaps", {}, nullptr, D3DERR_INVALIDCALL);
    *out = caps;
    return record("GetDeviceCaps", {});
  }
  HRESULT Reset(D3DPRESENT_PARAMETERS* p) override {
    return record("Reset", {p ? double(p->BackBufferWidth) : 0, p ? double(p->BackBufferHeight) : 0}, nullptr,
                  resetResult);
  }
  HRESULT Present(const RECT*, const RECT*, HWND, const RGNDATA*) override { return record("Present", {}); }
  void SetGammaRamp(DWORD flags, const D3DGAMMARAMP* ramp) override {
    if (ramp) gamma = *ramp;
    record("SetGammaRamp", {double(flags)});
  }
  void GetGammaRamp(D3DGAMMARAMP* ramp) override {
    if (ramp) *ramp = gamma;
    record("GetGammaRamp", {});
  }
  HRESULT BeginScene() override { return record("BeginScene", {}); }
  HRESULT EndScene() override { return record("EndScene", {}); }
  HRESULT Clear(DWORD count, const D3DRECT*, DWORD flags, D3DCOLOR colour, float z, DWORD stencil) override {
    return record("Clear", {double(count), double(flags), double(colour), double(z), double(stencil)});
  }

  // ---- resources -------------------------------------------------------------------------------
  HRESULT CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                        IDirect3DTexture8** out) override {
    std::vector<double> args{double(width), double(height), double(levels), double(usage), double(format),
                             double(pool)};
    if (!out) return record("CreateTexture", args, nullptr, D3DERR_INVALIDCALL);
    *out = nullptr;
    HRESULT r = refusal(textureRefusals, width, height, format);
    if (r == D3D_OK && (width == 0 || height == 0 || !textureFormats.count(format))) r = D3DERR_INVALIDCALL;
    if (r == D3D_OK && (width > caps.MaxTextureWidth || height > caps.MaxTextureHeight)) r = D3DERR_INVALIDCALL;
    if (r != D3D_OK) return record("CreateTexture", args, nullptr, r);
    auto* t = new RecordingTexture(ledger_, width, height, levels, usage, format, pool);
    *out = t;
    return record("CreateTexture", args, t);
  }
  HRESULT CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                             IDirect3DVertexBuffer8** out) override {
    std::vector<double> args{double(length), double(usage), double(fvf), double(pool)};
    if (!out) return record("CreateVertexBuffer", args, nullptr, D3DERR_INVALIDCALL);
    *out = nullptr;
    HRESULT r = vertexBufferRefusal != D3D_OK ? vertexBufferRefusal : length == 0 ? D3DERR_INVALIDCALL : D3D_OK;
    if (r != D3D_OK) return record("CreateVertexBuffer", args, nullptr, r);
    auto* b = new RecordingVertexBuffer(ledger_, length, usage, fvf, pool);
    *out = b;
    return record("CreateVertexBuffer", args, b);
  }
  HRESULT CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                            IDirect3DIndexBuffer8** out) override {
    std::vector<double> args{double(length), double(usage), double(format), double(pool)};
    if (!out) return record("CreateIndexBuffer", args, nullptr, D3DERR_INVALIDCALL);
    *out = nullptr;
    HRESULT r = indexBufferRefusal != D3D_OK ? indexBufferRefusal : length == 0 ? D3DERR_INVALIDCALL : D3D_OK;
    if (r != D3D_OK) return record("CreateIndexBuffer", args, nullptr, r);
    auto* b = new RecordingIndexBuffer(ledger_, length, usage, format, pool);
    *out = b;
    return record("CreateIndexBuffer", args, b);
  }
  HRESULT CreateDepthStencilSurface(UINT width, UINT height, D3DFORMAT format, D3DMULTISAMPLE_TYPE multiSample,
                                    IDirect3DSurface8** out) override {
    std::vector<double> args{double(width), double(height), double(format), double(multiSample)};
    if (!out) return record("CreateDepthStencilSurface", args, nullptr, D3DERR_INVALIDCALL);
    *out = nullptr;
    HRESULT r = refusal(depthStencilRefusals, width, height, format);
    if (r == D3D_OK && (width == 0 || height == 0)) r = D3DERR_INVALIDCALL;
    if (r != D3D_OK) return record("CreateDepthStencilSurface", args, nullptr, r);
    D3DSURFACE_DESC d{};
    d.Format = format;
    d.Type = D3DRTYPE_SURFACE;
    d.Usage = D3DUSAGE_DEPTHSTENCIL;
    d.Pool = D3DPOOL_DEFAULT;
    d.MultiSampleType = multiSample;
    d.Width = width;
    d.Height = height;
    auto* s = new RecordingSurface(ledger_, d, nullptr, 0);
    *out = s;
    return record("CreateDepthStencilSurface", args, s);
  }

  // ---- render targets ------------------------------------------------------------------------
  HRESULT SetRenderTarget(IDirect3DSurface8* target, IDirect3DSurface8* depth) override {
    if (target) renderTarget = target;
    depthStencil = depth;
    // The depth surface's id (0: none) is the one numeric argument; the target is the object.
    return record("SetRenderTarget", {double(trackedId(depth))}, target);
  }
  HRESULT GetRenderTarget(IDirect3DSurface8** out) override {
    if (!out) return record("GetRenderTarget", {}, nullptr, D3DERR_INVALIDCALL);
    *out = renderTarget;
    if (renderTarget) renderTarget->AddRef();
    return record("GetRenderTarget", {}, renderTarget);
  }
  HRESULT GetDepthStencilSurface(IDirect3DSurface8** out) override {
    if (!out) return record("GetDepthStencilSurface", {}, nullptr, D3DERR_INVALIDCALL);
    *out = depthStencil;
    if (depthStencil) depthStencil->AddRef();
    return record("GetDepthStencilSurface", {}, depthStencil, depthStencil ? D3D_OK : D3DERR_NOTFOUND);
  }

  // ---- fixed-function state --------------------------------------------------------------------
  HRESULT SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* m) override {
    if (!m) return record("SetTransform", {double(state)}, nullptr, D3DERR_INVALIDCALL);
    transforms[state] = *m;
    return record("SetTransform", {double(state)});
  }
  HRESULT GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* m) override {
    if (!m) return record("GetTransform", {double(state)}, nullptr, D3DERR_INVALIDCALL);
    auto it = transforms.find(state);
    if (it != transforms.end()) {
      *m = it->second;
    } else {
      *m = D3DMATRIX{};
      m->_11 = m->_22 = m->_33 = m->_44 = 1.0f;
    }
    return record("GetTransform", {double(state)});
  }
  HRESULT GetViewport(D3DVIEWPORT8* out) override {
    if (!out) return record("GetViewport", {}, nullptr, D3DERR_INVALIDCALL);
    *out = viewport;
    return record("GetViewport", {});
  }
  HRESULT SetMaterial(const D3DMATERIAL8* m) override {
    if (m) material = *m;
    return record("SetMaterial", {});
  }
  HRESULT SetLight(DWORD index, const D3DLIGHT8* l) override {
    if (l) lights[index] = *l;
    return record("SetLight", {double(index)});
  }
  HRESULT LightEnable(DWORD index, BOOL enable) override {
    lightsEnabled[index] = enable;
    return record("LightEnable", {double(index), double(enable)});
  }
  HRESULT SetRenderState(D3DRENDERSTATETYPE state, DWORD value) override {
    renderStates[state] = value;
    return record("SetRenderState", {double(state), double(value)});
  }
  HRESULT GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) override {
    if (!value) return record("GetRenderState", {double(state)}, nullptr, D3DERR_INVALIDCALL);
    *value = renderStates.count(state) ? renderStates[state] : 0;
    return record("GetRenderState", {double(state)});
  }
  HRESULT SetTexture(DWORD stage, IDirect3DBaseTexture8* texture) override {
    textures[stage] = texture;
    return record("SetTexture", {double(stage)}, texture);
  }
  HRESULT SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) override {
    stageStates[{stage, DWORD(type)}] = value;
    return record("SetTextureStageState", {double(stage), double(type), double(value)});
  }

  // ---- geometry --------------------------------------------------------------------------------
  HRESULT SetVertexShader(DWORD handle) override {
    vertexShader = handle;
    return record("SetVertexShader", {double(handle)});
  }
  HRESULT SetStreamSource(UINT stream, IDirect3DVertexBuffer8* buffer, UINT stride) override {
    streams[stream] = {buffer, stride};
    return record("SetStreamSource", {double(stream), double(stride)}, buffer);
  }
  HRESULT SetIndices(IDirect3DIndexBuffer8* buffer, UINT baseVertexIndex) override {
    indices = buffer;
    return record("SetIndices", {double(baseVertexIndex)}, buffer);
  }
  HRESULT DrawPrimitive(D3DPRIMITIVETYPE type, UINT startVertex, UINT count) override {
    return record("DrawPrimitive", {double(type), double(startVertex), double(count)});
  }
  HRESULT DrawIndexedPrimitive(D3DPRIMITIVETYPE type, UINT minIndex, UINT vertexCount, UINT startIndex,
                               UINT count) override {
    return record("DrawIndexedPrimitive",
                  {double(type), double(minIndex), double(vertexCount), double(startIndex), double(count)});
  }
  HRESULT CreateVertexShader(const DWORD* declaration, const DWORD* function, DWORD* handle, DWORD usage) override {
    if (!declaration || !handle) return record("CreateVertexShader", {double(usage)}, nullptr, D3DERR_INVALIDCALL);
    *handle = nextShader_;
    nextShader_ += 2;   // odd values, never a vertex format
    return record("CreateVertexShader", {double(*handle), double(usage), function ? 1.0 : 0.0});
  }
  HRESULT DeleteVertexShader(DWORD handle) override { return record("DeleteVertexShader", {double(handle)}); }
  HRESULT SetVertexShaderConstant(DWORD first, const void* data, DWORD count) override {
    if (!data) return record("SetVertexShaderConstant", {double(first), double(count)}, nullptr, D3DERR_INVALIDCALL);
    const float* f = static_cast<const float*>(data);
    for (DWORD i = 0; i < count; ++i) shaderConstants[first + i] = std::vector<float>(f + 4 * i, f + 4 * i + 4);
    return record("SetVertexShaderConstant", {double(first), double(count)});
  }

 private:
  static bool isObjectCall(const std::string& name) {
    return name == "SetTexture" || name == "SetStreamSource" || name == "SetIndices" ||
           name == "SetRenderTarget";
  }
  template <class T>
  static int trackedId(T* object) {
    if (!object) return 0;
    auto* tracked = dynamic_cast<recording::Tracked*>(object);
    return tracked ? tracked->id : -1;
  }
  HRESULT record(const char* name, std::vector<double> args, std::nullptr_t = nullptr, HRESULT result = D3D_OK) {
    RecordedCall c{name, std::move(args), nullptr, 0, result};
    calls.push_back(std::move(c));
    return result;
  }
  template <class T>
  HRESULT record(const char* name, std::vector<double> args, T* object, HRESULT result = D3D_OK) {
    calls.push_back(RecordedCall{name, std::move(args), object, trackedId(object), result});
    return result;
  }
  static HRESULT refusal(std::vector<RecordingRefusal>& rules, UINT width, UINT height, D3DFORMAT format) {
    for (RecordingRefusal& r : rules) {
      if (r.times == 0) continue;
      if ((r.width && r.width != width) || (r.height && r.height != height) ||
          (r.format != D3DFMT_UNKNOWN && r.format != format))
        continue;
      if (r.times > 0) --r.times;
      return r.code;
    }
    return D3D_OK;
  }

  std::shared_ptr<recording::Ledger> ledger_ = std::make_shared<recording::Ledger>();
  RecordingSurface* backBuffer_ = nullptr;
  RecordingSurface* autoDepth_ = nullptr;
  DWORD nextShader_ = 0x10001;
};

// A Direct3D object of one adapter answering format checks from its sets; CreateDevice hands out
// `device` (when set).
struct RecordingDirect3D : IDirect3D8 {
  struct FormatQuery {
    D3DFORMAT adapterFormat;
    DWORD usage;
    D3DRESOURCETYPE type;
    D3DFORMAT format;
  };

  explicit RecordingDirect3D(RecordingDevice* d = nullptr) : device(d) {}

  RecordingDevice* device = nullptr;
  D3DCAPS8 caps = RecordingDevice::defaultCaps();
  D3DDISPLAYMODE desktop{800, 600, 60, D3DFMT_X8R8G8B8};
  std::vector<D3DDISPLAYMODE> modes{{800, 600, 60, D3DFMT_X8R8G8B8}, {640, 480, 60, D3DFMT_X8R8G8B8}};
  std::set<D3DFORMAT> displayFormats{D3DFMT_X8R8G8B8, D3DFMT_R5G6B5};
  std::set<D3DFORMAT> textureFormats{D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8, D3DFMT_R5G6B5, D3DFMT_A1R5G5B5,
                                     D3DFMT_DXT1, D3DFMT_DXT5};
  std::set<D3DFORMAT> depthFormats{D3DFMT_D16};
  std::vector<FormatQuery> formatQueries;   // CheckDeviceFormat calls, in order
  ULONG references = 1;                     // lives on the test's stack: Release only counts

  ULONG AddRef() override { return ++references; }
  ULONG Release() override { return --references; }
  UINT GetAdapterCount() override { return 1; }
  HRESULT GetAdapterIdentifier(UINT adapter, DWORD, D3DADAPTER_IDENTIFIER8* id) override {
    if (adapter != 0 || !id) return D3DERR_INVALIDCALL;
    *id = D3DADAPTER_IDENTIFIER8{};
    std::strncpy(id->Description, "recording adapter", sizeof id->Description - 1);
    return D3D_OK;
  }
  UINT GetAdapterModeCount(UINT adapter) override { return adapter == 0 ? UINT(modes.size()) : 0; }
  HRESULT EnumAdapterModes(UINT adapter, UINT mode, D3DDISPLAYMODE* out) override {
    if (adapter != 0 || mode >= modes.size() || !out) return D3DERR_INVALIDCALL;
    *out = modes[mode];
    return D3D_OK;
  }
  HRESULT GetAdapterDisplayMode(UINT adapter, D3DDISPLAYMODE* out) override {
    if (adapter != 0 || !out) return D3DERR_INVALIDCALL;
    *out = desktop;
    return D3D_OK;
  }
  HRESULT CheckDeviceType(UINT adapter, D3DDEVTYPE, D3DFORMAT display, D3DFORMAT, BOOL) override {
    return adapter == 0 && displayFormats.count(display) ? D3D_OK : D3DERR_NOTAVAILABLE;
  }
  HRESULT CheckDeviceFormat(UINT adapter, D3DDEVTYPE, D3DFORMAT adapterFormat, DWORD usage,
                            D3DRESOURCETYPE type, D3DFORMAT format) override {
    formatQueries.push_back({adapterFormat, usage, type, format});
    if (adapter != 0) return D3DERR_INVALIDCALL;
    const bool depth = (usage & D3DUSAGE_DEPTHSTENCIL) != 0;
    return (depth ? depthFormats : textureFormats).count(format) ? D3D_OK : D3DERR_NOTAVAILABLE;
  }
  HRESULT CheckDeviceMultiSampleType(UINT, D3DDEVTYPE, D3DFORMAT, BOOL, D3DMULTISAMPLE_TYPE type) override {
    return type == D3DMULTISAMPLE_NONE ? D3D_OK : D3DERR_NOTAVAILABLE;
  }
  HRESULT CheckDepthStencilMatch(UINT, D3DDEVTYPE, D3DFORMAT, D3DFORMAT, D3DFORMAT depth) override {
    return depthFormats.count(depth) ? D3D_OK : D3DERR_NOTAVAILABLE;
  }
  HRESULT GetDeviceCaps(UINT adapter, D3DDEVTYPE, D3DCAPS8* out) override {
    if (adapter != 0 || !out) return D3DERR_INVALIDCALL;
    *out = caps;
    return D3D_OK;
  }
  HRESULT CreateDevice(UINT, D3DDEVTYPE, HWND, DWORD, D3DPRESENT_PARAMETERS*, IDirect3DDevice8** out) override {
    if (!out) return D3DERR_INVALIDCALL;
    *out = device;
    if (!device) return D3DERR_NOTAVAILABLE;
    device->AddRef();
    return D3D_OK;
  }
};
