// d3d8_gl.h — internal: the OpenGL objects behind the Direct3D 8 interfaces of d3d8.h.
//
// One GL context per device, made current on every entry point that touches GL (a pointer
// compare when it already is). Resources register with their device; a device that dies first
// deletes their GL objects and leaves them as empty shells that still count references.
// Storage orientation: every colour buffer and texture keeps Direct3D's top row in GL row 0,
// so render targets, uploaded pictures and captures agree, and Present flips once to the window.
#pragma once

#include "platform/d3d8/d3d8.h"

#include <epoxy/gl.h>

#include <array>
#include <cstdlib>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

struct SDL_Window;
typedef void* SDL_GLContext;

namespace d3d8gl {

class DeviceGL;

// AddRef / Release for one interface; the object deletes itself at zero.
template <class Interface>
class RefCounted : public Interface {
 public:
  ULONG AddRef() override { return ++refs_; }
  ULONG Release() override {
    ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }

 protected:
  virtual ~RefCounted() = default;

 private:
  std::atomic<ULONG> refs_{1};
};

// ---- formats ---------------------------------------------------------------------------------
struct FormatInfo {
  D3DFORMAT format;
  GLenum internalFormat;   // 0: not usable as a GL texture or buffer
  GLenum uploadFormat;     // client format of Lock data (GL_BGRA, GL_RGB, ...), or 0 for block formats
  GLenum uploadType;
  int bytesPerPixel;       // 0 for block-compressed formats
  int blockBytes;          // bytes per 4 × 4 block, 0 for plain formats
  bool colorRenderable;
};
const FormatInfo* formatInfo(D3DFORMAT format);   // null for unknown formats
GLenum depthInternalFormat(D3DFORMAT format);      // 0 for non-depth formats
UINT levelPitch(const FormatInfo& info, UINT width);
UINT levelSize(const FormatInfo& info, UINT width, UINT height);

// ---- what the GL implementation can do (probed once per process) ---------------------------------
struct GLCapabilities {
  bool valid = false;
  int majorVersion = 0, minorVersion = 0;
  int maxSamples = 0;
  int maxTextureSize = 0;
  int maxTextureUnits = 0;
  bool s3tc = false;
  bool depth32 = false;
  bool depth24s8 = false;
  bool textureStorage = false;   // glTexStorage2D (GL 4.2 or ARB_texture_storage)
  std::string vendor, renderer, version;
};
// Probes with a hidden window the first time; SDL video must be initialised.
const GLCapabilities& glCapabilities();
// Tunes the process heap so large freed blocks are reused instead of returned (see its comment).
void keepFreedMemoryWarm();

// ---- resources -------------------------------------------------------------------------------
// Every resource links into its device's list so the device can drop GL objects when it dies.
class DeviceResource {
 public:
  explicit DeviceResource(DeviceGL* device);
  virtual ~DeviceResource();
  DeviceGL* device() const { return device_; }
  // The device is going away: delete GL objects (its context is current) and forget it.
  virtual void releaseGL() = 0;
  void detach() { device_ = nullptr; }

 protected:
  bool makeCurrent() const;   // false once the device is gone

 private:
  DeviceGL* device_;
};

class TextureGL;

// A colour or depth buffer: a level of a texture, a depth-stencil surface, the back buffer or
// the automatic depth buffer.
class SurfaceGL final : public RefCounted<IDirect3DSurface8>, public DeviceResource {
 public:
  enum class Kind { textureLevel, renderbuffer };
  // Level of a texture (holds a reference on it).
  SurfaceGL(DeviceGL* device, TextureGL* texture, UINT level);
  // A standalone renderbuffer (colour or depth) of its own storage.
  SurfaceGL(DeviceGL* device, UINT width, UINT height, D3DFORMAT format, D3DMULTISAMPLE_TYPE samples,
            DWORD usage);
  ~SurfaceGL() override;

  HRESULT GetDesc(D3DSURFACE_DESC* desc) override;
  void releaseGL() override;

  // (Re)allocates a renderbuffer surface; false when GL refused it.
  bool allocate(UINT width, UINT height, D3DFORMAT format, D3DMULTISAMPLE_TYPE samples);
  Kind kind() const { return kind_; }
  TextureGL* texture() const { return texture_; }
  UINT level() const { return level_; }
  GLuint renderbuffer() const { return renderbuffer_; }
  UINT width() const { return width_; }
  UINT height() const { return height_; }
  D3DFORMAT format() const { return format_; }
  int samples() const { return samples_; }
  bool isDepth() const { return depthInternalFormat(format_) != 0; }

 private:
  Kind kind_;
  TextureGL* texture_ = nullptr;
  UINT level_ = 0;
  GLuint renderbuffer_ = 0;
  UINT width_ = 0, height_ = 0;
  D3DFORMAT format_ = D3DFMT_UNKNOWN;
  int samples_ = 0;
  DWORD usage_ = 0;
};

class TextureGL final : public RefCounted<IDirect3DTexture8>, public DeviceResource {
 public:
  TextureGL(DeviceGL* device, UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
            D3DPOOL pool, const FormatInfo& info);
  ~TextureGL() override;
  bool create();   // allocates GL storage; false when GL refused it

  DWORD GetLevelCount() override { return levels_; }
  HRESULT GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) override;
  HRESULT GetSurfaceLevel(UINT level, IDirect3DSurface8** surface) override;
  HRESULT LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) override;
  HRESULT UnlockRect(UINT level) override;
  void releaseGL() override;

  GLuint name() const { return texture_; }
  UINT levelWidth(UINT level) const { return width_ >> level ? width_ >> level : 1; }
  UINT levelHeight(UINT level) const { return height_ >> level ? height_ >> level : 1; }
  UINT levels() const { return levels_; }
  D3DFORMAT format() const { return format_; }
  DWORD usage() const { return usage_; }
  D3DPOOL pool() const { return pool_; }

 private:
  void upload(UINT level);
  bool fetchLevel(UINT level);
  UINT width_, height_, levels_;
  DWORD usage_;
  D3DFORMAT format_;
  D3DPOOL pool_;
  const FormatInfo& info_;
  GLuint texture_ = 0;
  struct FreeBytes {
    void operator()(uint8_t* bytes) const { std::free(bytes); }
  };
  // System copy of each level of a lockable texture while it is locked (null otherwise).
  std::vector<std::unique_ptr<uint8_t, FreeBytes>> copies_;
  std::vector<bool> uploaded_;   // per level: GL holds its pixels
  std::vector<DWORD> lockFlags_;   // per level: flags of the open lock
  std::vector<bool> locked_;
};

// The part both buffer kinds share: a GL buffer object and its system copy. Lock hands out the
// copy; Unlock uploads the range written since.
struct BufferStorageGL {
  UINT length = 0;
  DWORD usage = 0;
  GLuint buffer = 0;
  std::vector<uint8_t> copy;
  bool locked = false;
  UINT dirtyBegin = 0, dirtyEnd = 0;

  bool create();                    // the owner's context is current
  void release();                   // the owner's context is current
  HRESULT lock(UINT offset, UINT size, BYTE** data, DWORD flags);
  HRESULT unlock(bool contextCurrent);
};

class VertexBufferGL final : public RefCounted<IDirect3DVertexBuffer8>, public DeviceResource {
 public:
  VertexBufferGL(DeviceGL* device, UINT length, DWORD usage, DWORD fvf, D3DPOOL pool);
  ~VertexBufferGL() override;
  bool create();
  HRESULT Lock(UINT offset, UINT size, BYTE** data, DWORD flags) override;
  HRESULT Unlock() override;
  void releaseGL() override;
  GLuint name() const { return storage_.buffer; }
  UINT length() const { return storage_.length; }

 private:
  BufferStorageGL storage_;
  DWORD fvf_;
  D3DPOOL pool_;
};

class IndexBufferGL final : public RefCounted<IDirect3DIndexBuffer8>, public DeviceResource {
 public:
  IndexBufferGL(DeviceGL* device, UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool);
  ~IndexBufferGL() override;
  bool create();
  HRESULT Lock(UINT offset, UINT size, BYTE** data, DWORD flags) override;
  HRESULT Unlock() override;
  void releaseGL() override;
  GLuint name() const { return storage_.buffer; }
  GLenum indexType() const { return format_ == D3DFMT_INDEX32 ? GL_UNSIGNED_INT : GL_UNSIGNED_SHORT; }
  UINT indexSize() const { return format_ == D3DFMT_INDEX32 ? 4 : 2; }
  UINT length() const { return storage_.length; }

 private:
  BufferStorageGL storage_;
  D3DFORMAT format_;
  D3DPOOL pool_;
};

// ---- the fixed-function pipeline as generated GLSL -------------------------------------------------
constexpr int kMaxStages = 4;        // texture stages that take part in drawing
constexpr int kStateStages = 8;      // stages whose states are kept
constexpr int kMaxLights = 8;
constexpr int kMaxTexSets = 8;

// Attribute locations shared by the fixed-function and (later) programmable vertex stages.
enum AttributeLocation : GLuint {
  kAttrPosition = 0,
  kAttrNormal = 1,
  kAttrDiffuse = 2,
  kAttrSpecular = 3,
  kAttrTex0 = 4,   // 4 … 11: texture coordinate sets 0 … 7
};

// Everything that changes the generated code. The vertex half and the pixel half are separate so
// a vertex-shader translation can pair its own vertex code with the same pixel half.
struct PipelineKey {
  uint64_t vertex = 0;
  std::array<uint64_t, kMaxStages> stage{};
  uint32_t pixel = 0;
  bool operator==(const PipelineKey& other) const = default;
};
struct PipelineKeyHash {
  size_t operator()(const PipelineKey& key) const;
};

struct Program {
  GLuint name = 0;
  GLint wvp = -1, normalMatrix = -1, screen = -1;
  GLint ambient = -1, matDiffuse = -1, matAmbient = -1, matEmissive = -1;
  GLint lightDir = -1, lightDiffuse = -1, lightAmbient = -1;
  GLint tfactor = -1, alphaRef = -1;
  GLint constants = -1;   // vertex-shader programs: u_c[96]
  // Versions of the uniform groups last uploaded to this program.
  uint32_t transformVersion = 0, lightingVersion = 0, screenVersion = 0, pixelVersion = 0;
  uint32_t constantsVersion = 0;
};

// Vertex-half description of a draw, read from state.
struct VertexKeyInput {
  DWORD fvf;
  bool lighting;
  int lightCount;
  DWORD diffuseSource, ambientSource, emissiveSource;
  bool colorVertex, normalizeNormals, flatShading;
  std::array<int, kMaxStages> texCoordIndex;
};
uint64_t makeVertexKey(const VertexKeyInput& input);

// Pixel-half description: stage operations (already trimmed at the first disabled stage).
struct StageKeyInput {
  DWORD colorOp, colorArg1, colorArg2, alphaOp, alphaArg1, alphaArg2;
  bool textured;
};
uint64_t makeStageKey(const StageKeyInput& input);
uint32_t makePixelKey(DWORD alphaFunc /* 0: no test */, bool specularAdd, bool flatShading);

// Compiles and links the program of a key; name 0 and a message on failure.
Program buildProgram(const PipelineKey& key, std::string* log);
// Compiles one GLSL stage; 0 on failure with the compiler's message and the source in *log.
GLuint compileGLShader(GLenum type, const std::string& source, std::string* log);
// Links the program; on failure deletes it and puts the linker's message in *log.
bool linkGLProgram(GLuint program, std::string* log);
// Points the program's u_tex0… samplers at texture units 0…; leaves the program in use.
void bindStageSamplers(GLuint program);
std::string vertexSource(uint64_t vertexKey);
std::string pixelSource(const PipelineKey& key);

// ---- vertex shaders (vertex_shader_gl.cpp) ------------------------------------------------------
struct VertexShaderGL;

// ---- the device --------------------------------------------------------------------------------
class Direct3D8GL;

class DeviceGL final : public RefCounted<IDirect3DDevice8> {
 public:
  DeviceGL(Direct3D8GL* direct3d, SDL_Window* window, HWND windowHandle);
  ~DeviceGL() override;
  // Creates the context and the back buffer; a failure code leaves the device unusable.
  HRESULT initialize(const D3DPRESENT_PARAMETERS& parameters);

  // IDirect3DDevice8
  HRESULT TestCooperativeLevel() override;
  HRESULT GetDeviceCaps(D3DCAPS8* caps) override;
  HRESULT Reset(D3DPRESENT_PARAMETERS* parameters) override;
  HRESULT Present(const RECT*, const RECT*, HWND, const RGNDATA*) override;
  void SetGammaRamp(DWORD flags, const D3DGAMMARAMP* ramp) override;
  void GetGammaRamp(D3DGAMMARAMP* ramp) override;
  HRESULT BeginScene() override;
  HRESULT EndScene() override;
  HRESULT Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z,
                DWORD stencil) override;
  HRESULT CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
                        D3DPOOL pool, IDirect3DTexture8** texture) override;
  HRESULT CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                             IDirect3DVertexBuffer8** buffer) override;
  HRESULT CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                            IDirect3DIndexBuffer8** buffer) override;
  HRESULT CreateDepthStencilSurface(UINT width, UINT height, D3DFORMAT format,
                                    D3DMULTISAMPLE_TYPE multiSample,
                                    IDirect3DSurface8** surface) override;
  HRESULT SetRenderTarget(IDirect3DSurface8* renderTarget, IDirect3DSurface8* depthStencil) override;
  HRESULT GetRenderTarget(IDirect3DSurface8** renderTarget) override;
  HRESULT GetDepthStencilSurface(IDirect3DSurface8** depthStencil) override;
  HRESULT SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) override;
  HRESULT GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) override;
  HRESULT GetViewport(D3DVIEWPORT8* viewport) override;
  HRESULT SetMaterial(const D3DMATERIAL8* material) override;
  HRESULT SetLight(DWORD index, const D3DLIGHT8* light) override;
  HRESULT LightEnable(DWORD index, BOOL enable) override;
  HRESULT SetRenderState(D3DRENDERSTATETYPE state, DWORD value) override;
  HRESULT GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) override;
  HRESULT SetTexture(DWORD stage, IDirect3DBaseTexture8* texture) override;
  HRESULT SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) override;
  HRESULT SetVertexShader(DWORD handle) override;
  HRESULT SetStreamSource(UINT stream, IDirect3DVertexBuffer8* buffer, UINT stride) override;
  HRESULT SetIndices(IDirect3DIndexBuffer8* buffer, UINT baseVertexIndex) override;
  HRESULT DrawPrimitive(D3DPRIMITIVETYPE type, UINT startVertex, UINT primitiveCount) override;
  HRESULT DrawIndexedPrimitive(D3DPRIMITIVETYPE type, UINT minIndex, UINT vertexCount,
                               UINT startIndex, UINT primitiveCount) override;
  HRESULT CreateVertexShader(const DWORD* declaration, const DWORD* function, DWORD* handle,
                             DWORD usage) override;
  HRESULT DeleteVertexShader(DWORD handle) override;
  HRESULT SetVertexShaderConstant(DWORD firstRegister, const void* data, DWORD count) override;
  HRESULT GetVertexShaderConstant(DWORD firstRegister, void* data, DWORD count);

  // Internal
  bool makeCurrent();
  void registerResource(DeviceResource* resource);
  void unregisterResource(DeviceResource* resource);
  void forgetTexture(TextureGL* texture);    // a texture is dying: unbind it
  void forgetSurface(SurfaceGL* surface);    // a surface is dying: unbind it
  void forgetBuffer(const void* buffer);     // a buffer is dying: unbind it
  // Test hooks
  void forceState(HRESULT state);
  bool readRenderTarget(std::vector<uint32_t>& argb, UINT& width, UINT& height);
  const D3DPRESENT_PARAMETERS& presentParameters() const { return parameters_; }
  size_t programCount() const { return programs_.size(); }
  // Runs the current vertex shader on `count` vertices of stream 0 from `startVertex` and returns
  // their raw output registers (VsOutputs layout, 48 floats a vertex); false without a shader.
  bool captureShaderOutputs(UINT startVertex, UINT count, std::vector<float>& outputs);

 private:
  enum class Health { ok, lost, notReset };
  enum Dirty : uint32_t {
    kDirtyTarget = 1u << 0,
    kDirtyPipeline = 1u << 1,
    kDirtyRaster = 1u << 2,
    kDirtyVertexInput = 1u << 3,
    kDirtyTextures = 1u << 4,
    kDirtyAll = 0xffffffffu,
  };

  HRESULT createBackBuffer(const D3DPRESENT_PARAMETERS& parameters);
  void applyWindowMode(const D3DPRESENT_PARAMETERS& parameters);
  bool windowUnusable() const;
  void setDefaultState();
  bool prepareDraw();
  void bindTarget();
  void applyRaster();
  void applyPipeline();
  void applyUniforms();
  void applyTextures();
  void applyVertexInput(UINT baseVertex);
  GLuint samplerFor(int stage);
  void updateTransformUniform();
  PipelineKey pixelKey() const;   // the pixel half of the current state
  bool prepareShaderDraw();
  void applyShaderProgram();
  void applyShaderVertexInput();
  void releaseVertexShaders(bool contextCurrent);
  void presentFrame();
  void writeCapture(const std::vector<uint8_t>& rgba, int width, int height);
  bool ensureGammaProgram();

  Direct3D8GL* direct3d_;
  SDL_Window* window_;
  HWND windowHandle_;
  SDL_GLContext context_ = nullptr;
  D3DPRESENT_PARAMETERS parameters_{};
  bool exclusiveFullScreen_ = false;
  mutable bool hadFocus_ = false;
  Health health_ = Health::ok;
  bool forcedLost_ = false;
  bool inScene_ = false;

  std::vector<DeviceResource*> resources_;
  SurfaceGL* backBuffer_ = nullptr;     // device's own reference
  SurfaceGL* autoDepth_ = nullptr;      // device's own reference, or null
  SurfaceGL* renderTarget_ = nullptr;   // current, with a reference
  SurfaceGL* depthStencil_ = nullptr;   // current, with a reference, or null
  GLuint drawFbo_ = 0, resolveFbo_ = 0, resolveTexture_ = 0, gammaFbo_ = 0, gammaTexture_ = 0;
  GLuint vao_ = 0;
  UINT resolveWidth_ = 0, resolveHeight_ = 0;
  bool targetComplete_ = false;

  // Direct3D state
  std::array<DWORD, 256> renderStates_{};
  std::array<std::array<DWORD, 32>, kStateStages> stageStates_{};
  std::array<TextureGL*, kStateStages> textures_{};
  D3DMATRIX world_{}, view_{}, projection_{};
  D3DVIEWPORT8 viewport_{};
  D3DMATERIAL8 material_{};
  std::array<D3DLIGHT8, kMaxLights> lights_{};
  std::array<bool, kMaxLights> lightEnabled_{};
  DWORD fvf_ = 0;
  VertexBufferGL* stream_ = nullptr;
  UINT streamStride_ = 0;
  IndexBufferGL* indices_ = nullptr;
  UINT baseVertexIndex_ = 0;
  D3DGAMMARAMP gamma_{};
  bool gammaIdentity_ = true;
  bool gammaLutDirty_ = true;

  // GL mirror and caches
  uint32_t dirty_ = kDirtyAll;
  uint32_t textureDirtyMask_ = 0xff;
  uint32_t transformComputed_ = 0;
  uint32_t transformVersion_ = 1, lightingVersion_ = 1, screenVersion_ = 1, pixelVersion_ = 1;
  std::unordered_map<PipelineKey, Program, PipelineKeyHash> programs_;
  PipelineKey currentKey_{};
  Program* currentProgram_ = nullptr;
  std::unordered_map<uint64_t, GLuint> samplers_;
  uint32_t enabledAttributes_ = 0;
  GLuint backFbo_ = 0;
  std::array<GLuint, kMaxStages> boundTextures_{};
  std::array<GLuint, kMaxStages> boundSamplers_{};
  GLuint boundVertexBuffer_ = 0;
  UINT boundBaseVertex_ = ~0u;
  DWORD boundFvf_ = ~0u;
  UINT boundStride_ = ~0u;
  std::array<float, 16> transformUniform_{};
  std::array<float, 9> normalUniform_{};
  GLuint gammaProgram_ = 0, gammaLut_ = 0;
  long frameNumber_ = 0;

  // Vertex shaders: handles are odd (flexible vertex formats never set bit 0) and never reused.
  std::unordered_map<DWORD, VertexShaderGL*> shaders_;
  DWORD shadersMade_ = 0;
  VertexShaderGL* shader_ = nullptr;   // the selected shader, or null for fixed function
  std::array<float, 96 * 4> shaderConstants_{};
  uint32_t constantsVersion_ = 1;
};

// ---- the Direct3D object ------------------------------------------------------------------------
struct AdapterInfo {
  int display;
  std::vector<D3DDISPLAYMODE> modes;
};

class Direct3D8GL final : public RefCounted<IDirect3D8> {
 public:
  Direct3D8GL();
  ~Direct3D8GL() override;
  bool initialize();

  UINT GetAdapterCount() override;
  HRESULT GetAdapterIdentifier(UINT adapter, DWORD flags, D3DADAPTER_IDENTIFIER8* identifier) override;
  UINT GetAdapterModeCount(UINT adapter) override;
  HRESULT EnumAdapterModes(UINT adapter, UINT mode, D3DDISPLAYMODE* displayMode) override;
  HRESULT GetAdapterDisplayMode(UINT adapter, D3DDISPLAYMODE* displayMode) override;
  HRESULT CheckDeviceType(UINT adapter, D3DDEVTYPE type, D3DFORMAT displayFormat,
                          D3DFORMAT backBufferFormat, BOOL windowed) override;
  HRESULT CheckDeviceFormat(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat, DWORD usage,
                            D3DRESOURCETYPE resourceType, D3DFORMAT checkFormat) override;
  HRESULT CheckDeviceMultiSampleType(UINT adapter, D3DDEVTYPE type, D3DFORMAT surfaceFormat,
                                     BOOL windowed, D3DMULTISAMPLE_TYPE multiSample) override;
  HRESULT CheckDepthStencilMatch(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat,
                                 D3DFORMAT renderTargetFormat, D3DFORMAT depthStencilFormat) override;
  HRESULT GetDeviceCaps(UINT adapter, D3DDEVTYPE type, D3DCAPS8* caps) override;
  HRESULT CreateDevice(UINT adapter, D3DDEVTYPE type, HWND focusWindow, DWORD behaviorFlags,
                       D3DPRESENT_PARAMETERS* parameters, IDirect3DDevice8** device) override;

  void fillCaps(D3DCAPS8* caps) const;
  bool adapterValid(UINT adapter, D3DDEVTYPE type) const;

 private:
  std::vector<AdapterInfo> adapters_;
  bool videoInitialised_ = false;
};

// Formats a window can present in full screen and render into.
bool isDisplayFormat(D3DFORMAT format);
bool isBackBufferFormat(D3DFORMAT display, D3DFORMAT backBuffer);
bool isSupportedDepthFormat(D3DFORMAT format);

}  // namespace d3d8gl
