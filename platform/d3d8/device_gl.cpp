// device_gl.cpp — IDirect3DDevice8 on an OpenGL context: creation and reset, cooperative level,
// render targets, the state cache and drawing.
//
// Every Set* call only records Direct3D state and marks what it changes; a draw translates the
// dirty parts to GL (program, uniforms, raster state, textures, vertex layout) and nothing else.
// Frames render into an offscreen framebuffer of the back-buffer size; present_gl.cpp shows it.
#include "platform/d3d8/d3d8_gl.h"

#include "platform/win32/window_access.h"

#include <SDL2/SDL.h>

#include <cmath>
#include <cstdio>
#include <cstring>

namespace d3d8gl {
namespace {

D3DMATRIX identity() {
  D3DMATRIX m{};
  m._11 = m._22 = m._33 = m._44 = 1.0f;
  return m;
}

D3DMATRIX multiply(const D3DMATRIX& a, const D3DMATRIX& b) {
  D3DMATRIX r{};
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j)
      r.m[i][j] = a.m[i][0] * b.m[0][j] + a.m[i][1] * b.m[1][j] + a.m[i][2] * b.m[2][j] +
                  a.m[i][3] * b.m[3][j];
  return r;
}

// Inverse of the upper 3 × 3 of m, row-major; the identity when m is singular.
std::array<float, 9> inverse3(const D3DMATRIX& m) {
  float a = m._11, b = m._12, c = m._13, d = m._21, e = m._22, f = m._23, g = m._31, h = m._32,
        i = m._33;
  float det = a * (e * i - f * h) - b * (d * i - f * g) + c * (d * h - e * g);
  if (std::fabs(det) < 1e-30f) return {1, 0, 0, 0, 1, 0, 0, 0, 1};
  float s = 1.0f / det;
  return {(e * i - f * h) * s, (c * h - b * i) * s, (b * f - c * e) * s,
          (f * g - d * i) * s, (a * i - c * g) * s, (c * d - a * f) * s,
          (d * h - e * g) * s, (b * g - a * h) * s, (a * e - b * d) * s};
}

void colorToFloats(D3DCOLOR c, float out[4]) {
  out[0] = float((c >> 16) & 0xff) / 255.0f;
  out[1] = float((c >> 8) & 0xff) / 255.0f;
  out[2] = float(c & 0xff) / 255.0f;
  out[3] = float(c >> 24) / 255.0f;
}

GLenum blendFactor(DWORD blend) {
  switch (blend) {
    case D3DBLEND_ZERO: return GL_ZERO;
    case D3DBLEND_ONE: return GL_ONE;
    case D3DBLEND_SRCCOLOR: return GL_SRC_COLOR;
    case D3DBLEND_INVSRCCOLOR: return GL_ONE_MINUS_SRC_COLOR;
    case D3DBLEND_SRCALPHA: return GL_SRC_ALPHA;
    case D3DBLEND_INVSRCALPHA: return GL_ONE_MINUS_SRC_ALPHA;
    case D3DBLEND_DESTALPHA: return GL_DST_ALPHA;
    case D3DBLEND_INVDESTALPHA: return GL_ONE_MINUS_DST_ALPHA;
    case D3DBLEND_DESTCOLOR: return GL_DST_COLOR;
    case D3DBLEND_INVDESTCOLOR: return GL_ONE_MINUS_DST_COLOR;
    case D3DBLEND_SRCALPHASAT: return GL_SRC_ALPHA_SATURATE;
    default: return GL_ONE;
  }
}

GLenum blendEquation(DWORD op) {
  switch (op) {
    case D3DBLENDOP_SUBTRACT: return GL_FUNC_SUBTRACT;
    case D3DBLENDOP_REVSUBTRACT: return GL_FUNC_REVERSE_SUBTRACT;
    case D3DBLENDOP_MIN: return GL_MIN;
    case D3DBLENDOP_MAX: return GL_MAX;
    default: return GL_FUNC_ADD;
  }
}

GLenum compareFunc(DWORD func) {
  switch (func) {
    case D3DCMP_NEVER: return GL_NEVER;
    case D3DCMP_LESS: return GL_LESS;
    case D3DCMP_EQUAL: return GL_EQUAL;
    case D3DCMP_LESSEQUAL: return GL_LEQUAL;
    case D3DCMP_GREATER: return GL_GREATER;
    case D3DCMP_NOTEQUAL: return GL_NOTEQUAL;
    case D3DCMP_GREATEREQUAL: return GL_GEQUAL;
    default: return GL_ALWAYS;
  }
}

GLenum addressMode(DWORD mode) {
  switch (mode) {
    case D3DTADDRESS_MIRROR: return GL_MIRRORED_REPEAT;
    case D3DTADDRESS_CLAMP: return GL_CLAMP_TO_EDGE;
    case D3DTADDRESS_BORDER: return GL_CLAMP_TO_BORDER;
    default: return GL_REPEAT;
  }
}

bool primitiveMode(D3DPRIMITIVETYPE type, UINT primitives, GLenum& mode, GLsizei& vertices) {
  switch (type) {
    case D3DPT_POINTLIST: mode = GL_POINTS; vertices = GLsizei(primitives); return true;
    case D3DPT_LINELIST: mode = GL_LINES; vertices = GLsizei(primitives * 2); return true;
    case D3DPT_LINESTRIP: mode = GL_LINE_STRIP; vertices = GLsizei(primitives + 1); return true;
    case D3DPT_TRIANGLELIST: mode = GL_TRIANGLES; vertices = GLsizei(primitives * 3); return true;
    case D3DPT_TRIANGLESTRIP: mode = GL_TRIANGLE_STRIP; vertices = GLsizei(primitives + 2); return true;
    case D3DPT_TRIANGLEFAN: mode = GL_TRIANGLE_FAN; vertices = GLsizei(primitives + 2); return true;
    default: return false;
  }
}

// Bytes of one vertex of a flexible vertex format; 0 when the position type is not drawn.
UINT fvfSize(DWORD fvf) {
  UINT size = 0;
  switch (fvf & D3DFVF_POSITION_MASK) {
    case D3DFVF_XYZ: size = 12; break;
    case D3DFVF_XYZRHW: size = 16; break;
    default: return 0;
  }
  if (fvf & D3DFVF_NORMAL) size += 12;
  if (fvf & D3DFVF_PSIZE) size += 4;
  if (fvf & D3DFVF_DIFFUSE) size += 4;
  if (fvf & D3DFVF_SPECULAR) size += 4;
  size += 8 * ((fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT);
  return size;
}

// Which render states feed which part of the GL translation.
enum class StateClass { none, pipeline, raster, pixelUniform, lightingUniform };

StateClass classify(D3DRENDERSTATETYPE state) {
  switch (state) {
    case D3DRS_LIGHTING:
    case D3DRS_COLORVERTEX:
    case D3DRS_NORMALIZENORMALS:
    case D3DRS_DIFFUSEMATERIALSOURCE:
    case D3DRS_AMBIENTMATERIALSOURCE:
    case D3DRS_EMISSIVEMATERIALSOURCE:
    case D3DRS_SPECULARMATERIALSOURCE:
    case D3DRS_SHADEMODE:
    case D3DRS_ALPHATESTENABLE:
    case D3DRS_ALPHAFUNC:
    case D3DRS_SPECULARENABLE: return StateClass::pipeline;
    case D3DRS_ZENABLE:
    case D3DRS_ZWRITEENABLE:
    case D3DRS_ZFUNC:
    case D3DRS_ALPHABLENDENABLE:
    case D3DRS_SRCBLEND:
    case D3DRS_DESTBLEND:
    case D3DRS_BLENDOP:
    case D3DRS_CULLMODE:
    case D3DRS_FILLMODE:
    case D3DRS_COLORWRITEENABLE:
    case D3DRS_MULTISAMPLEANTIALIAS: return StateClass::raster;
    case D3DRS_TEXTUREFACTOR:
    case D3DRS_ALPHAREF: return StateClass::pixelUniform;
    case D3DRS_AMBIENT: return StateClass::lightingUniform;
    default: return StateClass::none;
  }
}

thread_local DeviceGL* currentDevice = nullptr;

}  // namespace

// ---- life cycle ------------------------------------------------------------------------------------
DeviceGL::DeviceGL(Direct3D8GL* direct3d, SDL_Window* window, HWND windowHandle)
    : direct3d_(direct3d), window_(window), windowHandle_(windowHandle) {
  direct3d_->AddRef();
}

DeviceGL::~DeviceGL() {
  bool windowAlive = sdlWindowForHandle(windowHandle_) == window_;
  bool current = context_ && windowAlive && makeCurrent();
  for (SurfaceGL* surface : {renderTarget_, depthStencil_, backBuffer_, autoDepth_})
    if (surface) surface->Release();
  renderTarget_ = depthStencil_ = backBuffer_ = autoDepth_ = nullptr;
  // Resources the program still holds become empty shells.
  std::vector<DeviceResource*> left(resources_.begin(), resources_.end());
  for (DeviceResource* resource : left) {
    if (current) resource->releaseGL();
    resource->detach();
  }
  resources_.clear();
  releaseVertexShaders(current);
  if (current) {
    for (auto& [key, program] : programs_) glDeleteProgram(program.name);
    for (auto& [key, sampler] : samplers_) glDeleteSamplers(1, &sampler);
    GLuint fbos[] = {drawFbo_, backFbo_, resolveFbo_, gammaFbo_};
    glDeleteFramebuffers(4, fbos);
    GLuint textures[] = {resolveTexture_, gammaTexture_, gammaLut_};
    glDeleteTextures(3, textures);
    if (gammaProgram_) glDeleteProgram(gammaProgram_);
    glDeleteVertexArrays(1, &vao_);
  }
  if (windowAlive && exclusiveFullScreen_) SDL_SetWindowFullscreen(window_, 0);
  if (context_) {
    if (currentDevice == this) currentDevice = nullptr;
    SDL_GL_MakeCurrent(nullptr, nullptr);
    SDL_GL_DeleteContext(context_);
  }
  direct3d_->Release();
}

bool DeviceGL::makeCurrent() {
  if (currentDevice == this && SDL_GL_GetCurrentContext() == context_) return true;
  if (!context_ || SDL_GL_MakeCurrent(window_, context_) != 0) return false;
  currentDevice = this;
  return true;
}

void DeviceGL::registerResource(DeviceResource* resource) { resources_.push_back(resource); }

void DeviceGL::unregisterResource(DeviceResource* resource) {
  for (size_t i = resources_.size(); i-- > 0;)
    if (resources_[i] == resource) {
      resources_[i] = resources_.back();
      resources_.pop_back();
      return;
    }
}

void DeviceGL::forgetTexture(TextureGL* texture) {
  for (int stage = 0; stage < kStateStages; ++stage)
    if (textures_[stage] == texture) {
      textures_[stage] = nullptr;
      textureDirtyMask_ |= 1u << stage;
      dirty_ |= kDirtyPipeline;
    }
}

void DeviceGL::forgetSurface(SurfaceGL* surface) {
  // The device holds references on its current targets, so this only sees other surfaces.
  (void)surface;
}

void DeviceGL::forgetBuffer(const void* buffer) {
  if (stream_ == buffer) {
    stream_ = nullptr;
    dirty_ |= kDirtyVertexInput;
  }
  if (indices_ == buffer) indices_ = nullptr;
}

HRESULT DeviceGL::initialize(const D3DPRESENT_PARAMETERS& parameters) {
  // A compatibility context of any version from 3.3 on; the window was made for OpenGL.
  context_ = SDL_GL_CreateContext(window_);
  if (!context_) {
    std::fprintf(stderr, "d3d8: cannot create an OpenGL context: %s\n", SDL_GetError());
    return D3DERR_NOTAVAILABLE;
  }
  currentDevice = this;
  glGenVertexArrays(1, &vao_);
  glBindVertexArray(vao_);
  glGenFramebuffers(1, &drawFbo_);
  glGenFramebuffers(1, &backFbo_);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glFrontFace(GL_CCW);
  glProvokingVertex(GL_FIRST_VERTEX_CONVENTION);   // flat shading takes the first vertex's colour
  for (int i = 0; i < 256; ++i)
    gamma_.red[i] = gamma_.green[i] = gamma_.blue[i] = WORD(i * 256);
  HRESULT result = createBackBuffer(parameters);
  if (FAILED(result)) return result;
  setDefaultState();
  return D3D_OK;
}

// Validates the parameters, sizes the window mode and (re)makes the back buffer and depth buffer.
HRESULT DeviceGL::createBackBuffer(const D3DPRESENT_PARAMETERS& requested) {
  D3DPRESENT_PARAMETERS p = requested;
  int windowWidth = 0, windowHeight = 0;
  SDL_GetWindowSize(window_, &windowWidth, &windowHeight);
  if (p.BackBufferWidth == 0) p.BackBufferWidth = UINT(std::max(windowWidth, 1));
  if (p.BackBufferHeight == 0) p.BackBufferHeight = UINT(std::max(windowHeight, 1));
  if (p.BackBufferFormat == D3DFMT_UNKNOWN) p.BackBufferFormat = D3DFMT_X8R8G8B8;
  if (p.BackBufferCount == 0) p.BackBufferCount = 1;
  const GLCapabilities& caps = glCapabilities();
  if (!isBackBufferFormat(D3DFMT_X8R8G8B8, p.BackBufferFormat) &&
      !isBackBufferFormat(D3DFMT_R5G6B5, p.BackBufferFormat))
    return D3DERR_INVALIDCALL;
  if (p.MultiSampleType == 1 || int(p.MultiSampleType) > caps.maxSamples) return D3DERR_INVALIDCALL;
  if (p.EnableAutoDepthStencil && !isSupportedDepthFormat(p.AutoDepthStencilFormat))
    return D3DERR_INVALIDCALL;
  if (p.BackBufferWidth > UINT(caps.maxTextureSize) || p.BackBufferHeight > UINT(caps.maxTextureSize))
    return D3DERR_INVALIDCALL;

  if (!backBuffer_)
    backBuffer_ = new SurfaceGL(this, p.BackBufferWidth, p.BackBufferHeight, p.BackBufferFormat,
                                p.MultiSampleType, D3DUSAGE_RENDERTARGET);
  if (!backBuffer_->allocate(p.BackBufferWidth, p.BackBufferHeight, p.BackBufferFormat, p.MultiSampleType))
    return D3DERR_OUTOFVIDEOMEMORY;
  glBindFramebuffer(GL_FRAMEBUFFER, backFbo_);
  glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, backBuffer_->renderbuffer());
  if (p.EnableAutoDepthStencil) {
    if (!autoDepth_)
      autoDepth_ = new SurfaceGL(this, p.BackBufferWidth, p.BackBufferHeight, p.AutoDepthStencilFormat,
                                 p.MultiSampleType, D3DUSAGE_DEPTHSTENCIL);
    if (!autoDepth_->allocate(p.BackBufferWidth, p.BackBufferHeight, p.AutoDepthStencilFormat,
                              p.MultiSampleType))
      return D3DERR_OUTOFVIDEOMEMORY;
  } else if (autoDepth_) {
    autoDepth_->Release();
    autoDepth_ = nullptr;
  }
  parameters_ = p;
  applyWindowMode(p);
  SDL_GL_SetSwapInterval(p.Windowed || p.FullScreen_PresentationInterval == D3DPRESENT_INTERVAL_IMMEDIATE ? 0 : 1);
  return D3D_OK;
}

// Full screen with a back buffer the window's size draws into the window as it is; another size
// switches the window to a full-screen display mode of that size when the display has one.
void DeviceGL::applyWindowMode(const D3DPRESENT_PARAMETERS& p) {
  int w = 0, h = 0;
  SDL_GetWindowSize(window_, &w, &h);
  bool wantExclusive = !p.Windowed && (p.BackBufferWidth != UINT(w) || p.BackBufferHeight != UINT(h));
  if (!wantExclusive) {
    if (exclusiveFullScreen_ && p.Windowed) SDL_SetWindowFullscreen(window_, 0);
    exclusiveFullScreen_ = exclusiveFullScreen_ && !p.Windowed;
    return;
  }
  SDL_DisplayMode want{};
  want.w = int(p.BackBufferWidth);
  want.h = int(p.BackBufferHeight);
  SDL_DisplayMode closest{};
  int display = SDL_GetWindowDisplayIndex(window_);
  if (display >= 0 && SDL_GetClosestDisplayMode(display, &want, &closest) && closest.w == want.w &&
      closest.h == want.h && SDL_SetWindowDisplayMode(window_, &closest) == 0 &&
      SDL_SetWindowFullscreen(window_, SDL_WINDOW_FULLSCREEN) == 0) {
    exclusiveFullScreen_ = true;
    hadFocus_ = false;
    return;
  }
  std::fprintf(stderr, "d3d8: no %ux%u display mode; the picture is scaled to the window\n",
               p.BackBufferWidth, p.BackBufferHeight);
}

void DeviceGL::setDefaultState() {
  renderStates_.fill(0);
  auto& rs = renderStates_;
  rs[D3DRS_ZENABLE] = autoDepth_ ? D3DZB_TRUE : D3DZB_FALSE;
  rs[D3DRS_FILLMODE] = D3DFILL_SOLID;
  rs[D3DRS_SHADEMODE] = D3DSHADE_GOURAUD;
  rs[D3DRS_ZWRITEENABLE] = TRUE;
  rs[D3DRS_LASTPIXEL] = TRUE;
  rs[D3DRS_SRCBLEND] = D3DBLEND_ONE;
  rs[D3DRS_DESTBLEND] = D3DBLEND_ZERO;
  rs[D3DRS_CULLMODE] = D3DCULL_CCW;
  rs[D3DRS_ZFUNC] = D3DCMP_LESSEQUAL;
  rs[D3DRS_ALPHAFUNC] = D3DCMP_ALWAYS;
  rs[D3DRS_TEXTUREFACTOR] = 0xFFFFFFFF;
  rs[D3DRS_CLIPPING] = TRUE;
  rs[D3DRS_LIGHTING] = TRUE;
  rs[D3DRS_COLORVERTEX] = TRUE;
  rs[D3DRS_LOCALVIEWER] = TRUE;
  rs[D3DRS_DIFFUSEMATERIALSOURCE] = D3DMCS_COLOR1;
  rs[D3DRS_SPECULARMATERIALSOURCE] = D3DMCS_COLOR2;
  rs[D3DRS_AMBIENTMATERIALSOURCE] = D3DMCS_MATERIAL;
  rs[D3DRS_EMISSIVEMATERIALSOURCE] = D3DMCS_MATERIAL;
  rs[D3DRS_MULTISAMPLEANTIALIAS] = TRUE;
  rs[D3DRS_MULTISAMPLEMASK] = 0xFFFFFFFF;
  rs[D3DRS_COLORWRITEENABLE] = 0xF;
  rs[D3DRS_BLENDOP] = D3DBLENDOP_ADD;
  for (int stage = 0; stage < kStateStages; ++stage) {
    auto& ss = stageStates_[stage];
    ss.fill(0);
    ss[D3DTSS_COLOROP] = stage == 0 ? D3DTOP_MODULATE : D3DTOP_DISABLE;
    ss[D3DTSS_COLORARG1] = D3DTA_TEXTURE;
    ss[D3DTSS_COLORARG2] = D3DTA_CURRENT;
    ss[D3DTSS_ALPHAOP] = stage == 0 ? D3DTOP_SELECTARG1 : D3DTOP_DISABLE;
    ss[D3DTSS_ALPHAARG1] = D3DTA_TEXTURE;
    ss[D3DTSS_ALPHAARG2] = D3DTA_CURRENT;
    ss[D3DTSS_TEXCOORDINDEX] = DWORD(stage);
    ss[D3DTSS_ADDRESSU] = ss[D3DTSS_ADDRESSV] = ss[D3DTSS_ADDRESSW] = D3DTADDRESS_WRAP;
    ss[D3DTSS_MAGFILTER] = ss[D3DTSS_MINFILTER] = D3DTEXF_POINT;
    ss[D3DTSS_MIPFILTER] = D3DTEXF_NONE;
    ss[D3DTSS_MAXANISOTROPY] = 1;
  }
  textures_.fill(nullptr);
  world_ = view_ = projection_ = identity();
  material_ = {};
  lights_ = {};
  lightEnabled_.fill(false);
  fvf_ = 0;
  shader_ = nullptr;
  shaderConstants_.fill(0.0f);
  ++constantsVersion_;
  stream_ = nullptr;
  streamStride_ = 0;
  indices_ = nullptr;
  baseVertexIndex_ = 0;
  inScene_ = false;
  // Targets: the back buffer and the automatic depth buffer, viewport over the whole target.
  if (renderTarget_ != backBuffer_) {
    if (renderTarget_) renderTarget_->Release();
    renderTarget_ = backBuffer_;
    renderTarget_->AddRef();
  }
  if (depthStencil_ != autoDepth_) {
    if (depthStencil_) depthStencil_->Release();
    depthStencil_ = autoDepth_;
    if (depthStencil_) depthStencil_->AddRef();
  }
  viewport_ = {0, 0, backBuffer_->width(), backBuffer_->height(), 0.0f, 1.0f};
  dirty_ = kDirtyAll;
  textureDirtyMask_ = 0xff;
  ++transformVersion_;
  ++lightingVersion_;
  ++screenVersion_;
  ++pixelVersion_;
  currentProgram_ = nullptr;
  boundTextures_.fill(~0u);
  boundSamplers_.fill(~0u);
  boundFvf_ = ~0u;
}

// ---- cooperative level and reset ------------------------------------------------------------------
bool DeviceGL::windowUnusable() const {
  if (sdlWindowForHandle(windowHandle_) != window_) return true;
  Uint32 flags = SDL_GetWindowFlags(window_);
  if (flags & (SDL_WINDOW_MINIMIZED | SDL_WINDOW_HIDDEN)) return true;
  if (exclusiveFullScreen_) {
    if (flags & SDL_WINDOW_INPUT_FOCUS)
      hadFocus_ = true;
    else if (hadFocus_)
      return true;
  }
  return false;
}

HRESULT DeviceGL::TestCooperativeLevel() {
  if (forcedLost_) {
    health_ = Health::lost;
    return D3DERR_DEVICELOST;
  }
  bool unusable = windowUnusable();
  if (health_ == Health::ok && unusable) health_ = Health::lost;
  if (health_ == Health::lost && !unusable) health_ = Health::notReset;
  switch (health_) {
    case Health::ok: return D3D_OK;
    case Health::lost: return D3DERR_DEVICELOST;
    default: return D3DERR_DEVICENOTRESET;
  }
}

void DeviceGL::forceState(HRESULT state) {
  forcedLost_ = state == D3DERR_DEVICELOST;
  health_ = state == D3DERR_DEVICELOST      ? Health::lost
            : state == D3DERR_DEVICENOTRESET ? Health::notReset
                                             : Health::ok;
}

// The GL context survives, so textures, buffers and render targets of every pool keep their
// storage; Reset remakes the back buffer and depth buffer and returns all state to its defaults.
HRESULT DeviceGL::Reset(D3DPRESENT_PARAMETERS* parameters) {
  if (!parameters) return D3DERR_INVALIDCALL;
  if (forcedLost_ || windowUnusable()) {
    health_ = Health::lost;
    return D3DERR_DEVICELOST;
  }
  if (!makeCurrent()) return D3DERR_DEVICELOST;
  HRESULT result = createBackBuffer(*parameters);
  if (FAILED(result)) return result;
  *parameters = parameters_;
  setDefaultState();
  health_ = Health::ok;
  return D3D_OK;
}

HRESULT DeviceGL::GetDeviceCaps(D3DCAPS8* caps) {
  if (!caps) return D3DERR_INVALIDCALL;
  direct3d_->fillCaps(caps);
  return D3D_OK;
}

HRESULT DeviceGL::BeginScene() {
  if (inScene_) return D3DERR_INVALIDCALL;
  inScene_ = true;
  return D3D_OK;
}

HRESULT DeviceGL::EndScene() {
  if (!inScene_) return D3DERR_INVALIDCALL;
  inScene_ = false;
  return D3D_OK;
}

// ---- resources -------------------------------------------------------------------------------------
namespace {

// Hands a new resource to the caller when GL made its storage; otherwise drops it.
template <class Made, class Interface>
HRESULT handOver(Made* created, bool made, Interface** out) {
  if (!made) {
    created->Release();
    return D3DERR_OUTOFVIDEOMEMORY;
  }
  *out = created;
  return D3D_OK;
}

}  // namespace

HRESULT DeviceGL::CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
                                D3DPOOL pool, IDirect3DTexture8** texture) {
  if (!texture) return D3DERR_INVALIDCALL;
  *texture = nullptr;
  const FormatInfo* info = formatInfo(format);
  const GLCapabilities& caps = glCapabilities();
  if (!info || width == 0 || height == 0 || width > UINT(caps.maxTextureSize) ||
      height > UINT(caps.maxTextureSize))
    return D3DERR_INVALIDCALL;
  if (info->blockBytes && !caps.s3tc) return D3DERR_INVALIDCALL;
  bool renderTarget = usage & D3DUSAGE_RENDERTARGET;
  if (renderTarget && (pool != D3DPOOL_DEFAULT || !info->colorRenderable)) return D3DERR_INVALIDCALL;
  UINT full = 1;
  while ((width >> full) || (height >> full)) ++full;
  if (levels == 0 || levels > full) levels = full;
  if (renderTarget) levels = 1;
  auto* created = new TextureGL(this, width, height, levels, usage, format, pool, *info);
  return handOver(created, created->create(), texture);
}

HRESULT DeviceGL::CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                                     IDirect3DVertexBuffer8** buffer) {
  if (!buffer) return D3DERR_INVALIDCALL;
  *buffer = nullptr;
  if (length == 0) return D3DERR_INVALIDCALL;
  auto* created = new VertexBufferGL(this, length, usage, fvf, pool);
  return handOver(created, created->create(), buffer);
}

HRESULT DeviceGL::CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                    IDirect3DIndexBuffer8** buffer) {
  if (!buffer) return D3DERR_INVALIDCALL;
  *buffer = nullptr;
  if (length == 0 || (format != D3DFMT_INDEX16 && format != D3DFMT_INDEX32)) return D3DERR_INVALIDCALL;
  auto* created = new IndexBufferGL(this, length, usage, format, pool);
  return handOver(created, created->create(), buffer);
}

HRESULT DeviceGL::CreateDepthStencilSurface(UINT width, UINT height, D3DFORMAT format,
                                            D3DMULTISAMPLE_TYPE multiSample, IDirect3DSurface8** surface) {
  if (!surface) return D3DERR_INVALIDCALL;
  *surface = nullptr;
  const GLCapabilities& caps = glCapabilities();
  if (width == 0 || height == 0 || width > UINT(caps.maxTextureSize) ||
      height > UINT(caps.maxTextureSize) || !isSupportedDepthFormat(format) ||
      multiSample == 1 || int(multiSample) > caps.maxSamples)
    return D3DERR_INVALIDCALL;
  auto* created = new SurfaceGL(this, width, height, format, multiSample, D3DUSAGE_DEPTHSTENCIL);
  return handOver(created, created->allocate(width, height, format, multiSample), surface);
}

// ---- render targets ------------------------------------------------------------------------------
HRESULT DeviceGL::SetRenderTarget(IDirect3DSurface8* renderTarget, IDirect3DSurface8* depthStencil) {
  auto* color = static_cast<SurfaceGL*>(renderTarget);
  auto* depth = static_cast<SurfaceGL*>(depthStencil);
  if (color && (color->isDepth() || !(color->kind() == SurfaceGL::Kind::renderbuffer ||
                                      (color->texture()->usage() & D3DUSAGE_RENDERTARGET))))
    return D3DERR_INVALIDCALL;
  if (depth && !depth->isDepth()) return D3DERR_INVALIDCALL;
  if (!color) color = renderTarget_;
  if (depth && (depth->width() < color->width() || depth->height() < color->height()))
    return D3DERR_INVALIDCALL;
  color->AddRef();
  if (depth) depth->AddRef();
  if (renderTarget_) renderTarget_->Release();
  if (depthStencil_) depthStencil_->Release();
  renderTarget_ = color;
  depthStencil_ = depth;
  viewport_ = {0, 0, color->width(), color->height(), 0.0f, 1.0f};
  dirty_ |= kDirtyTarget;
  ++transformVersion_;
  ++screenVersion_;
  return D3D_OK;
}

HRESULT DeviceGL::GetRenderTarget(IDirect3DSurface8** renderTarget) {
  if (!renderTarget) return D3DERR_INVALIDCALL;
  *renderTarget = renderTarget_;
  renderTarget_->AddRef();
  return D3D_OK;
}

HRESULT DeviceGL::GetDepthStencilSurface(IDirect3DSurface8** depthStencil) {
  if (!depthStencil) return D3DERR_INVALIDCALL;
  *depthStencil = depthStencil_;
  if (!depthStencil_) return D3DERR_NOTFOUND;
  depthStencil_->AddRef();
  return D3D_OK;
}

void DeviceGL::bindTarget() {
  dirty_ &= ~kDirtyTarget;
  glBindFramebuffer(GL_FRAMEBUFFER, drawFbo_);
  if (renderTarget_->kind() == SurfaceGL::Kind::textureLevel) {
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D,
                           renderTarget_->texture()->name(), GLint(renderTarget_->level()));
  } else {
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER,
                              renderTarget_->renderbuffer());
  }
  glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, 0);
  if (depthStencil_) {
    GLenum attachment = depthStencil_->format() == D3DFMT_D24S8 ? GL_DEPTH_STENCIL_ATTACHMENT
                                                                : GL_DEPTH_ATTACHMENT;
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, attachment, GL_RENDERBUFFER, depthStencil_->renderbuffer());
  }
  targetComplete_ = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
  if (!targetComplete_)
    std::fprintf(stderr, "d3d8: render target and depth surface cannot be drawn together\n");
  // Rows are stored top first, so Direct3D's viewport rectangle is GL's as it stands.
  glViewport(GLint(viewport_.X), GLint(viewport_.Y), GLsizei(viewport_.Width), GLsizei(viewport_.Height));
  glDepthRange(viewport_.MinZ, viewport_.MaxZ);
}

HRESULT DeviceGL::GetViewport(D3DVIEWPORT8* viewport) {
  if (!viewport) return D3DERR_INVALIDCALL;
  *viewport = viewport_;
  return D3D_OK;
}

HRESULT DeviceGL::Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z,
                        DWORD stencil) {
  if (!makeCurrent()) return D3DERR_DEVICELOST;
  if (dirty_ & kDirtyTarget) bindTarget();
  if (!targetComplete_) return D3DERR_INVALIDCALL;
  GLbitfield mask = 0;
  if (flags & D3DCLEAR_TARGET) {
    float c[4];
    colorToFloats(color, c);
    glClearColor(c[0], c[1], c[2], c[3]);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    mask |= GL_COLOR_BUFFER_BIT;
  }
  if ((flags & D3DCLEAR_ZBUFFER) && depthStencil_) {
    glClearDepth(std::min(std::max(z, 0.0f), 1.0f));
    glDepthMask(GL_TRUE);
    mask |= GL_DEPTH_BUFFER_BIT;
  }
  if ((flags & D3DCLEAR_STENCIL) && depthStencil_ && depthStencil_->format() == D3DFMT_D24S8) {
    glClearStencil(GLint(stencil));
    glStencilMask(0xff);
    mask |= GL_STENCIL_BUFFER_BIT;
  }
  if (mask) {
    // Clears cover the viewport, or the given rectangles within it.
    glEnable(GL_SCISSOR_TEST);
    LONG vx0 = LONG(viewport_.X), vy0 = LONG(viewport_.Y);
    LONG vx1 = vx0 + LONG(viewport_.Width), vy1 = vy0 + LONG(viewport_.Height);
    if (count == 0 || !rects) {
      glScissor(vx0, vy0, vx1 - vx0, vy1 - vy0);
      glClear(mask);
    } else {
      for (DWORD i = 0; i < count; ++i) {
        LONG x0 = std::max(rects[i].x1, vx0), y0 = std::max(rects[i].y1, vy0);
        LONG x1 = std::min(rects[i].x2, vx1), y1 = std::min(rects[i].y2, vy1);
        if (x1 <= x0 || y1 <= y0) continue;
        glScissor(x0, y0, x1 - x0, y1 - y0);
        glClear(mask);
      }
    }
    glDisable(GL_SCISSOR_TEST);
    dirty_ |= kDirtyRaster;
  }
  return D3D_OK;
}

// ---- state -------------------------------------------------------------------------------------------
HRESULT DeviceGL::SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) {
  if (!matrix) return D3DERR_INVALIDCALL;
  switch (DWORD(state)) {
    case DWORD(D3DTS_WORLD): world_ = *matrix; break;
    case D3DTS_VIEW: view_ = *matrix; break;
    case D3DTS_PROJECTION: projection_ = *matrix; break;
    default: return D3D_OK;   // texture transforms are kept off
  }
  ++transformVersion_;
  return D3D_OK;
}

HRESULT DeviceGL::GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) {
  if (!matrix) return D3DERR_INVALIDCALL;
  switch (DWORD(state)) {
    case DWORD(D3DTS_WORLD): *matrix = world_; break;
    case D3DTS_VIEW: *matrix = view_; break;
    case D3DTS_PROJECTION: *matrix = projection_; break;
    default: *matrix = identity(); break;
  }
  return D3D_OK;
}

HRESULT DeviceGL::SetMaterial(const D3DMATERIAL8* material) {
  if (!material) return D3DERR_INVALIDCALL;
  material_ = *material;
  ++lightingVersion_;
  return D3D_OK;
}

HRESULT DeviceGL::SetLight(DWORD index, const D3DLIGHT8* light) {
  if (!light || index >= kMaxLights) return D3DERR_INVALIDCALL;
  bool typeChanged = lights_[index].Type != light->Type;
  lights_[index] = *light;
  ++lightingVersion_;
  if (typeChanged && lightEnabled_[index]) dirty_ |= kDirtyPipeline;
  return D3D_OK;
}

HRESULT DeviceGL::LightEnable(DWORD index, BOOL enable) {
  if (index >= kMaxLights) return D3DERR_INVALIDCALL;
  if (lightEnabled_[index] != bool(enable)) {
    lightEnabled_[index] = enable;
    ++lightingVersion_;
    dirty_ |= kDirtyPipeline;
  }
  return D3D_OK;
}

HRESULT DeviceGL::SetRenderState(D3DRENDERSTATETYPE state, DWORD value) {
  if (DWORD(state) >= renderStates_.size()) return D3DERR_INVALIDCALL;
  if (renderStates_[state] == value) return D3D_OK;
  renderStates_[state] = value;
  switch (classify(state)) {
    case StateClass::pipeline: dirty_ |= kDirtyPipeline; break;
    case StateClass::raster: dirty_ |= kDirtyRaster; break;
    case StateClass::pixelUniform: ++pixelVersion_; break;
    case StateClass::lightingUniform: ++lightingVersion_; break;
    case StateClass::none: break;
  }
  return D3D_OK;
}

HRESULT DeviceGL::GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) {
  if (!value || DWORD(state) >= renderStates_.size()) return D3DERR_INVALIDCALL;
  *value = renderStates_[state];
  return D3D_OK;
}

HRESULT DeviceGL::SetTexture(DWORD stage, IDirect3DBaseTexture8* texture) {
  if (stage >= DWORD(kStateStages)) return D3DERR_INVALIDCALL;
  auto* gl = static_cast<TextureGL*>(texture);
  if (textures_[stage] == gl) return D3D_OK;
  if ((textures_[stage] == nullptr) != (gl == nullptr)) dirty_ |= kDirtyPipeline;
  textures_[stage] = gl;
  textureDirtyMask_ |= 1u << stage;
  return D3D_OK;
}

HRESULT DeviceGL::SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) {
  if (stage >= DWORD(kStateStages) || DWORD(type) >= 32) return D3DERR_INVALIDCALL;
  DWORD& slot = stageStates_[stage][type];
  if (slot == value) return D3D_OK;
  slot = value;
  switch (type) {
    case D3DTSS_COLOROP:
    case D3DTSS_COLORARG1:
    case D3DTSS_COLORARG2:
    case D3DTSS_ALPHAOP:
    case D3DTSS_ALPHAARG1:
    case D3DTSS_ALPHAARG2:
    case D3DTSS_TEXCOORDINDEX: dirty_ |= kDirtyPipeline; break;
    default: textureDirtyMask_ |= 1u << stage; break;
  }
  return D3D_OK;
}

// SetVertexShader and the other vertex-shader entry points are in vertex_shader_gl.cpp.

HRESULT DeviceGL::SetStreamSource(UINT stream, IDirect3DVertexBuffer8* buffer, UINT stride) {
  if (stream != 0) return D3DERR_INVALIDCALL;
  auto* gl = static_cast<VertexBufferGL*>(buffer);
  if (gl != stream_ || stride != streamStride_) {
    stream_ = gl;
    streamStride_ = stride;
    dirty_ |= kDirtyVertexInput;
  }
  return D3D_OK;
}

HRESULT DeviceGL::SetIndices(IDirect3DIndexBuffer8* buffer, UINT baseVertexIndex) {
  indices_ = static_cast<IndexBufferGL*>(buffer);
  baseVertexIndex_ = baseVertexIndex;
  return D3D_OK;
}

// ---- translation to GL on draw ---------------------------------------------------------------------------
void DeviceGL::applyRaster() {
  dirty_ &= ~kDirtyRaster;
  const auto& rs = renderStates_;
  if (rs[D3DRS_ZENABLE] != D3DZB_FALSE && depthStencil_) {
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(compareFunc(rs[D3DRS_ZFUNC]));
  } else {
    glDisable(GL_DEPTH_TEST);
  }
  glDepthMask(rs[D3DRS_ZWRITEENABLE] ? GL_TRUE : GL_FALSE);
  if (rs[D3DRS_ALPHABLENDENABLE]) {
    glEnable(GL_BLEND);
    glBlendFunc(blendFactor(rs[D3DRS_SRCBLEND]), blendFactor(rs[D3DRS_DESTBLEND]));
    glBlendEquation(blendEquation(rs[D3DRS_BLENDOP]));
  } else {
    glDisable(GL_BLEND);
  }
  // Rows are stored top first, so GL sees Direct3D's screen mirrored: a triangle clockwise on
  // Direct3D's screen is counter-clockwise (front-facing) for GL.
  switch (rs[D3DRS_CULLMODE]) {
    case D3DCULL_NONE: glDisable(GL_CULL_FACE); break;
    case D3DCULL_CW: glEnable(GL_CULL_FACE); glCullFace(GL_FRONT); break;
    default: glEnable(GL_CULL_FACE); glCullFace(GL_BACK); break;
  }
  GLenum fill = rs[D3DRS_FILLMODE] == D3DFILL_POINT       ? GL_POINT
                : rs[D3DRS_FILLMODE] == D3DFILL_WIREFRAME ? GL_LINE
                                                          : GL_FILL;
  glPolygonMode(GL_FRONT_AND_BACK, fill);
  DWORD mask = rs[D3DRS_COLORWRITEENABLE];
  glColorMask(mask & 1 ? GL_TRUE : GL_FALSE, mask & 2 ? GL_TRUE : GL_FALSE, mask & 4 ? GL_TRUE : GL_FALSE,
              mask & 8 ? GL_TRUE : GL_FALSE);
  if (rs[D3DRS_MULTISAMPLEANTIALIAS])
    glEnable(GL_MULTISAMPLE);
  else
    glDisable(GL_MULTISAMPLE);
}

void DeviceGL::applyPipeline() {
  dirty_ &= ~kDirtyPipeline;
  const auto& rs = renderStates_;
  PipelineKey key;
  VertexKeyInput vin{};
  vin.fvf = fvf_;
  vin.lighting = rs[D3DRS_LIGHTING] != FALSE;
  int lights = 0;
  for (int i = 0; i < kMaxLights; ++i)
    if (lightEnabled_[i] && lights_[i].Type == D3DLIGHT_DIRECTIONAL) ++lights;
  vin.lightCount = lights;
  vin.diffuseSource = rs[D3DRS_DIFFUSEMATERIALSOURCE];
  vin.ambientSource = rs[D3DRS_AMBIENTMATERIALSOURCE];
  vin.emissiveSource = rs[D3DRS_EMISSIVEMATERIALSOURCE];
  vin.colorVertex = rs[D3DRS_COLORVERTEX] != FALSE;
  vin.normalizeNormals = rs[D3DRS_NORMALIZENORMALS] != FALSE;
  vin.flatShading = rs[D3DRS_SHADEMODE] == D3DSHADE_FLAT;
  for (int stage = 0; stage < kMaxStages; ++stage)
    vin.texCoordIndex[stage] = int(stageStates_[stage][D3DTSS_TEXCOORDINDEX] & 0xffff);
  key = pixelKey();
  key.vertex = makeVertexKey(vin);
  if (currentProgram_ && key == currentKey_) return;
  auto found = programs_.find(key);
  if (found == programs_.end()) {
    std::string log;
    Program program = buildProgram(key, &log);
    if (!program.name) std::fprintf(stderr, "d3d8: fixed-function program failed:\n%s\n", log.c_str());
    found = programs_.emplace(key, program).first;
  }
  currentKey_ = key;
  currentProgram_ = found->second.name ? &found->second : nullptr;
  if (currentProgram_) glUseProgram(currentProgram_->name);
}

PipelineKey DeviceGL::pixelKey() const {
  const auto& rs = renderStates_;
  PipelineKey key;
  for (int stage = 0; stage < kMaxStages; ++stage) {
    const auto& ss = stageStates_[stage];
    if (ss[D3DTSS_COLOROP] == D3DTOP_DISABLE) break;
    key.stage[stage] = makeStageKey({ss[D3DTSS_COLOROP], ss[D3DTSS_COLORARG1], ss[D3DTSS_COLORARG2],
                                     ss[D3DTSS_ALPHAOP], ss[D3DTSS_ALPHAARG1], ss[D3DTSS_ALPHAARG2],
                                     textures_[stage] != nullptr});
  }
  DWORD alphaFunc = rs[D3DRS_ALPHATESTENABLE] ? rs[D3DRS_ALPHAFUNC] : 0;
  if (alphaFunc == D3DCMP_ALWAYS) alphaFunc = 0;
  key.pixel = makePixelKey(alphaFunc, rs[D3DRS_SPECULARENABLE] != FALSE,
                           rs[D3DRS_SHADEMODE] == D3DSHADE_FLAT);
  return key;
}

void DeviceGL::updateTransformUniform() {
  // World × view × projection, then Direct3D clip space to GL's: y mirrored (rows are stored top
  // first), depth 0…1 to −1…1, and half a pixel towards the top-left so pixel centres sit at
  // integer coordinates.
  float w = float(std::max<DWORD>(viewport_.Width, 1)), h = float(std::max<DWORD>(viewport_.Height, 1));
  D3DMATRIX toGL{};
  toGL._11 = 1.0f;
  toGL._22 = -1.0f;
  toGL._33 = 2.0f;
  toGL._41 = 1.0f / w;
  toGL._42 = 1.0f / h;
  toGL._43 = -1.0f;
  toGL._44 = 1.0f;
  D3DMATRIX m = multiply(multiply(multiply(world_, view_), projection_), toGL);
  std::memcpy(transformUniform_.data(), &m, sizeof m);
  normalUniform_ = inverse3(world_);
}

void DeviceGL::applyUniforms() {
  Program& p = *currentProgram_;
  if (p.transformVersion != transformVersion_) {
    if (transformComputed_ != transformVersion_) {
      updateTransformUniform();
      transformComputed_ = transformVersion_;
    }
    if (p.wvp >= 0) glUniformMatrix4fv(p.wvp, 1, GL_FALSE, transformUniform_.data());
    if (p.normalMatrix >= 0) glUniformMatrix3fv(p.normalMatrix, 1, GL_TRUE, normalUniform_.data());
    p.transformVersion = transformVersion_;
  }
  if (p.screenVersion != screenVersion_) {
    float w = float(std::max<DWORD>(viewport_.Width, 1)), h = float(std::max<DWORD>(viewport_.Height, 1));
    if (p.screen >= 0)
      glUniform4f(p.screen, 2.0f / w, 2.0f / h, (1.0f - 2.0f * float(viewport_.X)) / w - 1.0f,
                  (1.0f - 2.0f * float(viewport_.Y)) / h - 1.0f);
    p.screenVersion = screenVersion_;
  }
  if (p.lightingVersion != lightingVersion_) {
    float ambient[4];
    colorToFloats(renderStates_[D3DRS_AMBIENT], ambient);
    if (p.ambient >= 0) glUniform4fv(p.ambient, 1, ambient);
    if (p.matDiffuse >= 0) glUniform4fv(p.matDiffuse, 1, &material_.Diffuse.r);
    if (p.matAmbient >= 0) glUniform4fv(p.matAmbient, 1, &material_.Ambient.r);
    if (p.matEmissive >= 0) glUniform4fv(p.matEmissive, 1, &material_.Emissive.r);
    if (p.lightDir >= 0) {
      float dir[kMaxLights * 3], diffuse[kMaxLights * 4], amb[kMaxLights * 4];
      int n = 0;
      for (int i = 0; i < kMaxLights; ++i) {
        const D3DLIGHT8& l = lights_[i];
        if (!lightEnabled_[i] || l.Type != D3DLIGHT_DIRECTIONAL) continue;
        // Towards the light, in world space.
        float len = std::sqrt(l.Direction.x * l.Direction.x + l.Direction.y * l.Direction.y +
                              l.Direction.z * l.Direction.z);
        float s = len > 0.0f ? -1.0f / len : 0.0f;
        dir[n * 3 + 0] = l.Direction.x * s;
        dir[n * 3 + 1] = l.Direction.y * s;
        dir[n * 3 + 2] = l.Direction.z * s;
        std::memcpy(&diffuse[n * 4], &l.Diffuse, sizeof(float) * 4);
        std::memcpy(&amb[n * 4], &l.Ambient, sizeof(float) * 4);
        ++n;
      }
      glUniform3fv(p.lightDir, n, dir);
      glUniform4fv(p.lightDiffuse, n, diffuse);
      glUniform4fv(p.lightAmbient, n, amb);
    }
    p.lightingVersion = lightingVersion_;
  }
  if (p.pixelVersion != pixelVersion_) {
    float tfactor[4];
    colorToFloats(renderStates_[D3DRS_TEXTUREFACTOR], tfactor);
    if (p.tfactor >= 0) glUniform4fv(p.tfactor, 1, tfactor);
    if (p.alphaRef >= 0) glUniform1f(p.alphaRef, float(renderStates_[D3DRS_ALPHAREF] & 0xff));
    p.pixelVersion = pixelVersion_;
  }
}

GLuint DeviceGL::samplerFor(int stage) {
  const auto& ss = stageStates_[stage];
  bool mipmapped = textures_[stage] && textures_[stage]->levels() > 1;
  DWORD mip = mipmapped ? ss[D3DTSS_MIPFILTER] : DWORD(D3DTEXF_NONE);
  auto linear = [](DWORD f) { return f == D3DTEXF_LINEAR || f == D3DTEXF_ANISOTROPIC; };
  uint64_t key = uint64_t(ss[D3DTSS_ADDRESSU] & 7) | uint64_t(ss[D3DTSS_ADDRESSV] & 7) << 3 |
                 uint64_t(linear(ss[D3DTSS_MAGFILTER])) << 6 | uint64_t(linear(ss[D3DTSS_MINFILTER])) << 7 |
                 uint64_t(mip & 3) << 8;
  bool border = ss[D3DTSS_ADDRESSU] == D3DTADDRESS_BORDER || ss[D3DTSS_ADDRESSV] == D3DTADDRESS_BORDER;
  if (border) key |= uint64_t(ss[D3DTSS_BORDERCOLOR]) << 16;
  auto found = samplers_.find(key);
  if (found != samplers_.end()) return found->second;
  GLuint sampler = 0;
  glGenSamplers(1, &sampler);
  glSamplerParameteri(sampler, GL_TEXTURE_WRAP_S, GLint(addressMode(ss[D3DTSS_ADDRESSU])));
  glSamplerParameteri(sampler, GL_TEXTURE_WRAP_T, GLint(addressMode(ss[D3DTSS_ADDRESSV])));
  glSamplerParameteri(sampler, GL_TEXTURE_MAG_FILTER, linear(ss[D3DTSS_MAGFILTER]) ? GL_LINEAR : GL_NEAREST);
  bool minLinear = linear(ss[D3DTSS_MINFILTER]);
  GLint minFilter = minLinear ? GL_LINEAR : GL_NEAREST;
  if (mip == D3DTEXF_POINT) minFilter = minLinear ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST;
  if (linear(mip)) minFilter = minLinear ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_LINEAR;
  glSamplerParameteri(sampler, GL_TEXTURE_MIN_FILTER, minFilter);
  if (border) {
    float c[4];
    colorToFloats(ss[D3DTSS_BORDERCOLOR], c);
    glSamplerParameterfv(sampler, GL_TEXTURE_BORDER_COLOR, c);
  }
  samplers_.emplace(key, sampler);
  return sampler;
}

void DeviceGL::applyTextures() {
  uint32_t mask = textureDirtyMask_;
  textureDirtyMask_ = 0;
  for (int stage = 0; stage < kMaxStages; ++stage) {
    if (!(mask & (1u << stage))) continue;
    TextureGL* texture = textures_[stage];
    GLuint name = texture ? texture->name() : 0;
    GLuint sampler = texture ? samplerFor(stage) : 0;
    if (boundTextures_[stage] != name) {
      glActiveTexture(GL_TEXTURE0 + GLenum(stage));
      glBindTexture(GL_TEXTURE_2D, name);
      boundTextures_[stage] = name;
    }
    if (boundSamplers_[stage] != sampler) {
      glBindSampler(GLuint(stage), sampler);
      boundSamplers_[stage] = sampler;
    }
  }
}

void DeviceGL::applyVertexInput(UINT) {
  dirty_ &= ~kDirtyVertexInput;
  UINT stride = streamStride_ ? streamStride_ : fvfSize(fvf_);
  glBindBuffer(GL_ARRAY_BUFFER, stream_->name());
  uint32_t enabled = 0;
  uintptr_t offset = 0;
  auto attribute = [&](GLuint location, GLint size, GLenum type, GLboolean normalized, UINT bytes) {
    glVertexAttribPointer(location, size, type, normalized, GLsizei(stride), reinterpret_cast<void*>(offset));
    enabled |= 1u << location;
    offset += bytes;
  };
  bool rhw = (fvf_ & D3DFVF_POSITION_MASK) == D3DFVF_XYZRHW;
  attribute(kAttrPosition, rhw ? 4 : 3, GL_FLOAT, GL_FALSE, rhw ? 16 : 12);
  if (fvf_ & D3DFVF_NORMAL) attribute(kAttrNormal, 3, GL_FLOAT, GL_FALSE, 12);
  if (fvf_ & D3DFVF_PSIZE) offset += 4;
  if (fvf_ & D3DFVF_DIFFUSE) attribute(kAttrDiffuse, 4, GL_UNSIGNED_BYTE, GL_TRUE, 4);
  if (fvf_ & D3DFVF_SPECULAR) attribute(kAttrSpecular, 4, GL_UNSIGNED_BYTE, GL_TRUE, 4);
  int sets = int((fvf_ & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT);
  for (int i = 0; i < sets && i < kMaxTexSets; ++i) attribute(kAttrTex0 + GLuint(i), 2, GL_FLOAT, GL_FALSE, 8);
  uint32_t change = enabled ^ enabledAttributes_;
  for (GLuint location = 0; change; ++location, change >>= 1)
    if (change & 1) {
      if (enabled & (1u << location))
        glEnableVertexAttribArray(location);
      else
        glDisableVertexAttribArray(location);
    }
  enabledAttributes_ = enabled;
  boundFvf_ = fvf_;
  boundStride_ = stride;
}

bool DeviceGL::prepareDraw() {
  if (shader_) return prepareShaderDraw();
  if (!stream_ || !fvfSize(fvf_) || !makeCurrent()) return false;
  if (dirty_ & kDirtyTarget) bindTarget();
  if (!targetComplete_) return false;
  if (dirty_ & kDirtyPipeline) applyPipeline();
  if (!currentProgram_) return false;
  applyUniforms();
  if (dirty_ & kDirtyRaster) applyRaster();
  if (textureDirtyMask_) applyTextures();
  if (dirty_ & kDirtyVertexInput) applyVertexInput(0);
  return true;
}

HRESULT DeviceGL::DrawPrimitive(D3DPRIMITIVETYPE type, UINT startVertex, UINT primitiveCount) {
  GLenum mode;
  GLsizei vertices;
  if (!primitiveMode(type, primitiveCount, mode, vertices)) return D3DERR_INVALIDCALL;
  if (primitiveCount == 0) return D3D_OK;
  if (!prepareDraw()) return D3DERR_INVALIDCALL;
  // Never read past the end of the buffer.
  uint64_t end = (uint64_t(startVertex) + uint64_t(vertices)) * boundStride_;
  if (end > stream_->length()) return D3DERR_INVALIDCALL;
  glDrawArrays(mode, GLint(startVertex), vertices);
  return D3D_OK;
}

HRESULT DeviceGL::DrawIndexedPrimitive(D3DPRIMITIVETYPE type, UINT minIndex, UINT vertexCount,
                                       UINT startIndex, UINT primitiveCount) {
  GLenum mode;
  GLsizei count;
  if (!primitiveMode(type, primitiveCount, mode, count)) return D3DERR_INVALIDCALL;
  if (primitiveCount == 0) return D3D_OK;
  if (!indices_ || !prepareDraw()) return D3DERR_INVALIDCALL;
  IndexBufferGL* ib = indices_;
  uint64_t indexEnd = (uint64_t(startIndex) + uint64_t(count)) * ib->indexSize();
  uint64_t vertexEnd = (uint64_t(baseVertexIndex_) + minIndex + vertexCount) * boundStride_;
  if (indexEnd > ib->length() || vertexEnd > stream_->length()) return D3DERR_INVALIDCALL;
  glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, ib->name());
  glDrawElementsBaseVertex(mode, count, ib->indexType(),
                           reinterpret_cast<void*>(uintptr_t(startIndex) * ib->indexSize()),
                           GLint(baseVertexIndex_));
  return D3D_OK;
}

// ---- gamma -------------------------------------------------------------------------------------------
void DeviceGL::SetGammaRamp(DWORD, const D3DGAMMARAMP* ramp) {
  if (!ramp) return;
  gamma_ = *ramp;
  gammaIdentity_ = true;
  for (int i = 0; i < 256 && gammaIdentity_; ++i)
    gammaIdentity_ = gamma_.red[i] == i * 256 && gamma_.green[i] == i * 256 && gamma_.blue[i] == i * 256;
  gammaLutDirty_ = true;
}

void DeviceGL::GetGammaRamp(D3DGAMMARAMP* ramp) {
  if (ramp) *ramp = gamma_;
}

}  // namespace d3d8gl
