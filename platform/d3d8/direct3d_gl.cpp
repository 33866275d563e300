// direct3d_gl.cpp — IDirect3D8 on SDL displays and OpenGL: adapters, modes, format checks,
// capabilities and device creation.
//
// Each SDL display is an adapter; its modes are the display's own (24/32-bit as X8R8G8B8,
// 16-bit as R5G6B5, refresh rates kept). The offscreen driver has no real modes, so it offers a
// fixed list of common ones. The Check* answers come from what the GL context really does,
// probed once with a hidden window.
#include "platform/d3d8/d3d8_gl.h"

#include <malloc.h>

#include "platform/win32/window_access.h"

#include <SDL2/SDL.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace d3d8gl {
namespace {

bool probeDepthFormat(GLenum internalFormat) {
  GLuint fbo = 0, depth = 0, color = 0;
  glGenFramebuffers(1, &fbo);
  glBindFramebuffer(GL_FRAMEBUFFER, fbo);
  glGenRenderbuffers(1, &color);
  glBindRenderbuffer(GL_RENDERBUFFER, color);
  glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, 16, 16);
  glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, color);
  glGenRenderbuffers(1, &depth);
  glBindRenderbuffer(GL_RENDERBUFFER, depth);
  glRenderbufferStorage(GL_RENDERBUFFER, internalFormat, 16, 16);
  GLenum attachment = internalFormat == GL_DEPTH24_STENCIL8 ? GL_DEPTH_STENCIL_ATTACHMENT : GL_DEPTH_ATTACHMENT;
  glFramebufferRenderbuffer(GL_FRAMEBUFFER, attachment, GL_RENDERBUFFER, depth);
  bool complete = glGetError() == GL_NO_ERROR &&
                  glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
  glBindFramebuffer(GL_FRAMEBUFFER, 0);
  glDeleteRenderbuffers(1, &depth);
  glDeleteRenderbuffers(1, &color);
  glDeleteFramebuffers(1, &fbo);
  return complete;
}

GLCapabilities probe() {
  GLCapabilities caps;
  SDL_Window* window = SDL_CreateWindow("tarnwick-gl-probe", 0, 0, 16, 16,
                                        SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
  if (!window) return caps;
  SDL_Window* previousWindow = SDL_GL_GetCurrentWindow();
  SDL_GLContext previousContext = SDL_GL_GetCurrentContext();
  SDL_GLContext context = SDL_GL_CreateContext(window);
  if (context) {
    caps.majorVersion = epoxy_gl_version() / 10;
    caps.minorVersion = epoxy_gl_version() % 10;
    auto text = [](GLenum name) {
      const GLubyte* s = glGetString(name);
      return std::string(s ? reinterpret_cast<const char*>(s) : "");
    };
    caps.vendor = text(GL_VENDOR);
    caps.renderer = text(GL_RENDERER);
    caps.version = text(GL_VERSION);
    glGetIntegerv(GL_MAX_SAMPLES, &caps.maxSamples);
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &caps.maxTextureSize);
    glGetIntegerv(GL_MAX_TEXTURE_IMAGE_UNITS, &caps.maxTextureUnits);
    caps.s3tc = epoxy_has_gl_extension("GL_EXT_texture_compression_s3tc");
    caps.depth32 = probeDepthFormat(GL_DEPTH_COMPONENT32);
    caps.depth24s8 = probeDepthFormat(GL_DEPTH24_STENCIL8);
    caps.textureStorage =
        epoxy_gl_version() >= 42 || epoxy_has_gl_extension("GL_ARB_texture_storage");
    // GLSL 1.30, framebuffer objects, sampler objects, base-vertex draws and copy-buffer
    // uploads: OpenGL 3.3 with any profile that keeps the default vertex array usable.
    caps.valid = epoxy_is_desktop_gl() && epoxy_gl_version() >= 33;
    SDL_GL_DeleteContext(context);
  }
  if (previousContext) SDL_GL_MakeCurrent(previousWindow, previousContext);
  SDL_DestroyWindow(window);
  return caps;
}

// Offered by the offscreen driver, which has no modes of its own.
const struct { UINT width, height; } kCommonModes[] = {
    {640, 480}, {800, 600}, {1024, 768}, {1152, 864}, {1280, 720}, {1280, 800},
    {1280, 1024}, {1366, 768}, {1440, 900}, {1600, 900}, {1680, 1050}, {1920, 1080},
};

D3DFORMAT formatForBits(int bits) {
  if (bits == 24 || bits == 32) return D3DFMT_X8R8G8B8;
  if (bits == 16) return D3DFMT_R5G6B5;
  return D3DFMT_UNKNOWN;
}

bool offscreenDriver() {
  const char* driver = SDL_GetCurrentVideoDriver();
  return driver && std::strcmp(driver, "offscreen") == 0;
}

std::vector<D3DDISPLAYMODE> displayModes(int display) {
  std::vector<D3DDISPLAYMODE> modes;
  if (!offscreenDriver()) {
    int count = SDL_GetNumDisplayModes(display);
    for (int i = 0; i < count; ++i) {
      SDL_DisplayMode mode;
      if (SDL_GetDisplayMode(display, i, &mode) != 0 || mode.w <= 0 || mode.h <= 0) continue;
      D3DFORMAT format = formatForBits(SDL_BITSPERPIXEL(mode.format));
      if (format == D3DFMT_UNKNOWN) continue;
      modes.push_back({UINT(mode.w), UINT(mode.h), UINT(std::max(mode.refresh_rate, 0)), format});
    }
  }
  if (modes.empty())
    for (const auto& m : kCommonModes) modes.push_back({m.width, m.height, 60, D3DFMT_X8R8G8B8});
  return modes;
}

}  // namespace

const GLCapabilities& glCapabilities() {
  static GLCapabilities caps = probe();
  return caps;
}

Direct3D8GL::Direct3D8GL() = default;

Direct3D8GL::~Direct3D8GL() {
  if (videoInitialised_) SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

bool Direct3D8GL::initialize() {
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
    std::fprintf(stderr, "d3d8: no video: %s\n", SDL_GetError());
    return false;
  }
  videoInitialised_ = true;
  const GLCapabilities& caps = glCapabilities();
  if (!caps.valid) {
    std::fprintf(stderr, "d3d8: no usable OpenGL context (need OpenGL 3.3 or later)\n");
    return false;
  }
  int displays = SDL_GetNumVideoDisplays();
  for (int d = 0; d < displays; ++d) adapters_.push_back({d, displayModes(d)});
  return !adapters_.empty();
}

bool Direct3D8GL::adapterValid(UINT adapter, D3DDEVTYPE type) const {
  return adapter < adapters_.size() && type == D3DDEVTYPE_HAL;
}

UINT Direct3D8GL::GetAdapterCount() { return UINT(adapters_.size()); }

HRESULT Direct3D8GL::GetAdapterIdentifier(UINT adapter, DWORD, D3DADAPTER_IDENTIFIER8* identifier) {
  if (adapter >= adapters_.size() || !identifier) return D3DERR_INVALIDCALL;
  std::memset(identifier, 0, sizeof *identifier);
  const GLCapabilities& caps = glCapabilities();
  std::snprintf(identifier->Driver, sizeof identifier->Driver, "OpenGL %s", caps.version.c_str());
  const char* name = SDL_GetDisplayName(adapters_[adapter].display);
  std::snprintf(identifier->Description, sizeof identifier->Description, "%s on %s",
                caps.renderer.c_str(), name ? name : "display");
  identifier->DriverVersion = (int64_t(caps.majorVersion) << 48) | (int64_t(caps.minorVersion) << 32);
  identifier->DeviceIdentifier[0] = BYTE(adapter);
  return D3D_OK;
}

UINT Direct3D8GL::GetAdapterModeCount(UINT adapter) {
  return adapter < adapters_.size() ? UINT(adapters_[adapter].modes.size()) : 0;
}

HRESULT Direct3D8GL::EnumAdapterModes(UINT adapter, UINT mode, D3DDISPLAYMODE* displayMode) {
  if (adapter >= adapters_.size() || !displayMode || mode >= adapters_[adapter].modes.size())
    return D3DERR_INVALIDCALL;
  *displayMode = adapters_[adapter].modes[mode];
  return D3D_OK;
}

HRESULT Direct3D8GL::GetAdapterDisplayMode(UINT adapter, D3DDISPLAYMODE* displayMode) {
  if (adapter >= adapters_.size() || !displayMode) return D3DERR_INVALIDCALL;
  SDL_DisplayMode mode;
  if (SDL_GetDesktopDisplayMode(adapters_[adapter].display, &mode) != 0 || mode.w <= 0)
    return D3DERR_NOTAVAILABLE;
  D3DFORMAT format = formatForBits(SDL_BITSPERPIXEL(mode.format));
  if (format == D3DFMT_UNKNOWN) format = D3DFMT_X8R8G8B8;   // offscreen: no pixel format
  *displayMode = {UINT(mode.w), UINT(mode.h), UINT(std::max(mode.refresh_rate, 0)), format};
  return D3D_OK;
}

HRESULT Direct3D8GL::CheckDeviceType(UINT adapter, D3DDEVTYPE type, D3DFORMAT displayFormat,
                                     D3DFORMAT backBufferFormat, BOOL) {
  if (!adapterValid(adapter, type)) return D3DERR_INVALIDCALL;
  return isBackBufferFormat(displayFormat, backBufferFormat) ? D3D_OK : D3DERR_NOTAVAILABLE;
}

HRESULT Direct3D8GL::CheckDeviceFormat(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat,
                                       DWORD usage, D3DRESOURCETYPE resourceType,
                                       D3DFORMAT checkFormat) {
  if (!adapterValid(adapter, type)) return D3DERR_INVALIDCALL;
  if (!isDisplayFormat(adapterFormat)) return D3DERR_NOTAVAILABLE;
  if (usage & D3DUSAGE_DEPTHSTENCIL) {
    bool surface = resourceType == D3DRTYPE_SURFACE;
    return surface && isSupportedDepthFormat(checkFormat) ? D3D_OK : D3DERR_NOTAVAILABLE;
  }
  if (resourceType != D3DRTYPE_TEXTURE && resourceType != D3DRTYPE_SURFACE) return D3DERR_NOTAVAILABLE;
  const FormatInfo* info = formatInfo(checkFormat);
  if (!info) return D3DERR_NOTAVAILABLE;
  if (info->blockBytes && !glCapabilities().s3tc) return D3DERR_NOTAVAILABLE;
  if ((usage & D3DUSAGE_RENDERTARGET) && !info->colorRenderable) return D3DERR_NOTAVAILABLE;
  return D3D_OK;
}

HRESULT Direct3D8GL::CheckDeviceMultiSampleType(UINT adapter, D3DDEVTYPE type, D3DFORMAT surfaceFormat,
                                                BOOL, D3DMULTISAMPLE_TYPE multiSample) {
  if (!adapterValid(adapter, type)) return D3DERR_INVALIDCALL;
  const FormatInfo* info = formatInfo(surfaceFormat);
  bool depth = isSupportedDepthFormat(surfaceFormat);
  if (!depth && !(info && info->colorRenderable)) return D3DERR_NOTAVAILABLE;
  if (multiSample == D3DMULTISAMPLE_NONE) return D3D_OK;
  if (multiSample < D3DMULTISAMPLE_2_SAMPLES || multiSample > D3DMULTISAMPLE_16_SAMPLES)
    return D3DERR_INVALIDCALL;
  return int(multiSample) <= glCapabilities().maxSamples ? D3D_OK : D3DERR_NOTAVAILABLE;
}

HRESULT Direct3D8GL::CheckDepthStencilMatch(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat,
                                            D3DFORMAT renderTargetFormat, D3DFORMAT depthStencilFormat) {
  if (!adapterValid(adapter, type)) return D3DERR_INVALIDCALL;
  const FormatInfo* target = formatInfo(renderTargetFormat);
  if (!isDisplayFormat(adapterFormat) || !target || !target->colorRenderable) return D3DERR_NOTAVAILABLE;
  // Framebuffer objects pair any colour format with any depth format.
  return isSupportedDepthFormat(depthStencilFormat) ? D3D_OK : D3DERR_NOTAVAILABLE;
}

void Direct3D8GL::fillCaps(D3DCAPS8* caps) const {
  const GLCapabilities& gl = glCapabilities();
  std::memset(caps, 0, sizeof *caps);
  caps->DeviceType = D3DDEVTYPE_HAL;
  caps->Caps2 = D3DCAPS2_FULLSCREENGAMMA;
  caps->DevCaps = D3DDEVCAPS_EXECUTESYSTEMMEMORY | D3DDEVCAPS_TLVERTEXSYSTEMMEMORY |
                  D3DDEVCAPS_TLVERTEXVIDEOMEMORY | D3DDEVCAPS_TEXTUREVIDEOMEMORY |
                  D3DDEVCAPS_DRAWPRIMTLVERTEX | D3DDEVCAPS_CANRENDERAFTERFLIP |
                  D3DDEVCAPS_DRAWPRIMITIVES2 | D3DDEVCAPS_DRAWPRIMITIVES2EX |
                  D3DDEVCAPS_HWTRANSFORMANDLIGHT | D3DDEVCAPS_HWRASTERIZATION;
  caps->TextureCaps = D3DPTEXTURECAPS_MIPMAP;
  caps->MaxTextureWidth = DWORD(gl.maxTextureSize);
  caps->MaxTextureHeight = DWORD(gl.maxTextureSize);
  caps->MaxTextureBlendStages = kMaxStages;
  caps->MaxSimultaneousTextures = DWORD(std::min(kMaxStages, gl.maxTextureUnits));
  caps->MaxActiveLights = kMaxLights;
  caps->MaxPrimitiveCount = 0xFFFFF;
  caps->MaxVertexIndex = 0xFFFFFF;
  caps->MaxStreams = 1;
  caps->MaxStreamStride = 255;
  // Vertex shaders are translated to GLSL 3.30.
  bool glsl330 = gl.majorVersion > 3 || (gl.majorVersion == 3 && gl.minorVersion >= 3);
  caps->VertexShaderVersion = glsl330 ? D3DVS_VERSION(1, 1) : 0;
  caps->MaxVertexShaderConst = glsl330 ? 96 : 0;
  caps->PixelShaderVersion = 0;
}

HRESULT Direct3D8GL::GetDeviceCaps(UINT adapter, D3DDEVTYPE type, D3DCAPS8* caps) {
  if (!adapterValid(adapter, type) || !caps) return D3DERR_INVALIDCALL;
  fillCaps(caps);
  caps->AdapterOrdinal = adapter;
  return D3D_OK;
}

HRESULT Direct3D8GL::CreateDevice(UINT adapter, D3DDEVTYPE type, HWND focusWindow, DWORD,
                                  D3DPRESENT_PARAMETERS* parameters, IDirect3DDevice8** device) {
  if (!device) return D3DERR_INVALIDCALL;
  *device = nullptr;
  if (!adapterValid(adapter, type) || !parameters) return D3DERR_INVALIDCALL;
  HWND windowHandle = parameters->hDeviceWindow ? parameters->hDeviceWindow : focusWindow;
  SDL_Window* window = sdlWindowForHandle(windowHandle);
  if (!window || !(SDL_GetWindowFlags(window) & SDL_WINDOW_OPENGL)) return D3DERR_INVALIDCALL;
  auto* created = new DeviceGL(this, window, windowHandle);
  HRESULT result = created->initialize(*parameters);
  if (FAILED(result)) {
    created->Release();
    return result;
  }
  *parameters = created->presentParameters();
  *device = created;
  return D3D_OK;
}

// Texture loading allocates and frees picture-sized blocks one after another (decoded pictures,
// mip levels, lock copies). By default glibc gives blocks this large fresh pages from the kernel
// and returns them on free, so every load pays a page fault per 4 KiB, which costs more than the
// decoding itself on virtual machines. Keeping such blocks in the heap lets the next load reuse
// warm memory; the heap then stays at its high-water mark, which the loaded scene reaches anyway.
void keepFreedMemoryWarm() {
  static const bool done = [] {
    mallopt(M_MMAP_THRESHOLD, 64 << 20);
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
    return true;
  }();
  (void)done;
}

}  // namespace d3d8gl

IDirect3D8* WINAPI Direct3DCreate8(UINT sdkVersion) {
  if (sdkVersion != D3D_SDK_VERSION) return nullptr;
  d3d8gl::keepFreedMemoryWarm();
  auto* direct3d = new d3d8gl::Direct3D8GL();
  if (!direct3d->initialize()) {
    direct3d->Release();
    return nullptr;
  }
  return direct3d;
}
