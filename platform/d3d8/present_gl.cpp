// present_gl.cpp — Present: resolve the back buffer, apply the gamma ramp, capture, show.
//
// The gamma ramp is applied here, as a last pass over the presented picture through the
// 256-entry table (each entry's high byte is the output level), and never to the display
// hardware, so a crash cannot leave the desktop darkened; an identity ramp costs nothing.
// With --capture DIR every presented frame is also written as DIR/frame-000001.png, … (rows top
// first, in presentation order, numbered across the whole process).
#include "platform/d3d8/d3d8_gl.h"
#include "platform/d3d8/d3d8_test_hooks.h"

#include "platform/runtime.h"

#include <SDL2/SDL.h>
#include <png.h>

#include <atomic>
#include <cstdio>
#include <filesystem>

namespace d3d8gl {
namespace {

std::atomic<long> capturedFrames{0};

const char* kGammaVertex =
    "#version 130\n"
    "void main() {\n"
    "  vec2 p = vec2(gl_VertexID == 1 ? 3.0 : -1.0, gl_VertexID == 2 ? 3.0 : -1.0);\n"
    "  gl_Position = vec4(p, 0.0, 1.0);\n"
    "}\n";

const char* kGammaPixel =
    "#version 130\n"
    "uniform sampler2D u_image;\n"
    "uniform sampler2D u_ramp;\n"
    "out vec4 o_color;\n"
    "void main() {\n"
    "  vec4 c = texelFetch(u_image, ivec2(gl_FragCoord.xy), 0);\n"
    "  ivec3 i = ivec3(floor(clamp(c.rgb, 0.0, 1.0) * 255.0 + 0.5));\n"
    "  o_color = vec4(texelFetch(u_ramp, ivec2(i.r, 0), 0).r, texelFetch(u_ramp, ivec2(i.g, 0), 0).g,\n"
    "                 texelFetch(u_ramp, ivec2(i.b, 0), 0).b, 1.0);\n"
    "}\n";

bool writePng(const std::string& path, const std::vector<uint8_t>& rgba, int width, int height) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!png || !info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
    return false;
  }
  png_init_io(png, file);
  png_set_compression_level(png, 1);   // captures are many; favour speed
  png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), 8, PNG_COLOR_TYPE_RGB,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  png_set_filler(png, 0, PNG_FILLER_AFTER);   // rows carry RGBA; the file keeps RGB
  for (int y = 0; y < height; ++y)
    png_write_row(png, const_cast<png_bytep>(rgba.data() + size_t(y) * size_t(width) * 4));
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return std::fclose(file) == 0;
}

void ensureColorTexture(GLuint& fbo, GLuint& texture, UINT width, UINT height) {
  if (!fbo) glGenFramebuffers(1, &fbo);
  if (!texture) glGenTextures(1, &texture);
  glActiveTexture(GL_TEXTURE0 + kMaxStages);
  glBindTexture(GL_TEXTURE_2D, texture);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, GLsizei(width), GLsizei(height), 0, GL_RGBA, GL_UNSIGNED_BYTE,
               nullptr);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
  glBindFramebuffer(GL_FRAMEBUFFER, fbo);
  glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, 0);
}

}  // namespace

bool DeviceGL::ensureGammaProgram() {
  if (gammaProgram_) return true;
  GLuint vs = glCreateShader(GL_VERTEX_SHADER), fs = glCreateShader(GL_FRAGMENT_SHADER);
  glShaderSource(vs, 1, &kGammaVertex, nullptr);
  glShaderSource(fs, 1, &kGammaPixel, nullptr);
  glCompileShader(vs);
  glCompileShader(fs);
  GLuint program = glCreateProgram();
  glAttachShader(program, vs);
  glAttachShader(program, fs);
  glBindFragDataLocation(program, 0, "o_color");
  glLinkProgram(program);
  glDeleteShader(vs);
  glDeleteShader(fs);
  GLint ok = 0;
  glGetProgramiv(program, GL_LINK_STATUS, &ok);
  if (!ok) {
    std::fprintf(stderr, "d3d8: gamma program failed to link\n");
    glDeleteProgram(program);
    return false;
  }
  glUseProgram(program);
  glUniform1i(glGetUniformLocation(program, "u_image"), 0);
  glUniform1i(glGetUniformLocation(program, "u_ramp"), 1);
  gammaProgram_ = program;
  glGenTextures(1, &gammaLut_);
  return true;
}

HRESULT DeviceGL::Present(const RECT*, const RECT*, HWND, const RGNDATA*) {
  if (health_ != Health::ok || forcedLost_) return D3DERR_DEVICELOST;
  if (windowUnusable()) {
    health_ = Health::lost;
    return D3DERR_DEVICELOST;
  }
  if (!makeCurrent()) return D3DERR_DEVICELOST;
  presentFrame();
  return D3D_OK;
}

void DeviceGL::presentFrame() {
  UINT w = backBuffer_->width(), h = backBuffer_->height();
  GLuint source = backFbo_;
  glDisable(GL_SCISSOR_TEST);
  if (backBuffer_->samples() > 0 || !gammaIdentity_) {
    if (resolveWidth_ != w || resolveHeight_ != h) {
      ensureColorTexture(resolveFbo_, resolveTexture_, w, h);
      ensureColorTexture(gammaFbo_, gammaTexture_, w, h);
      resolveWidth_ = w;
      resolveHeight_ = h;
    }
    glBindFramebuffer(GL_READ_FRAMEBUFFER, backFbo_);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, resolveFbo_);
    glBlitFramebuffer(0, 0, GLint(w), GLint(h), 0, 0, GLint(w), GLint(h), GL_COLOR_BUFFER_BIT, GL_NEAREST);
    source = resolveFbo_;
  }
  if (!gammaIdentity_ && ensureGammaProgram()) {
    if (gammaLutDirty_) {
      uint8_t table[256 * 4];
      for (int i = 0; i < 256; ++i) {
        table[i * 4 + 0] = uint8_t(gamma_.red[i] >> 8);
        table[i * 4 + 1] = uint8_t(gamma_.green[i] >> 8);
        table[i * 4 + 2] = uint8_t(gamma_.blue[i] >> 8);
        table[i * 4 + 3] = 255;
      }
      glActiveTexture(GL_TEXTURE0 + kMaxStages);
      glBindTexture(GL_TEXTURE_2D, gammaLut_);
      glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 256, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, table);
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
      gammaLutDirty_ = false;
    }
    glBindFramebuffer(GL_FRAMEBUFFER, gammaFbo_);
    glViewport(0, 0, GLsizei(w), GLsizei(h));
    glDisable(GL_BLEND);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glUseProgram(gammaProgram_);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, resolveTexture_);
    glBindSampler(0, 0);
    glActiveTexture(GL_TEXTURE1);
    glBindTexture(GL_TEXTURE_2D, gammaLut_);
    glBindSampler(1, 0);
    glDrawArrays(GL_TRIANGLES, 0, 3);
    source = gammaFbo_;
    // The drawing state mirror no longer matches GL.
    currentProgram_ = nullptr;
    dirty_ |= kDirtyPipeline | kDirtyRaster;
    boundTextures_[0] = boundTextures_[1] = ~0u;
    boundSamplers_[0] = boundSamplers_[1] = ~0u;
    textureDirtyMask_ |= 3;
  }
  const std::string& captureDir = runtimeOptions().captureDir;
  if (!captureDir.empty()) {
    std::vector<uint8_t> rgba(size_t(w) * h * 4);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, source);
    glReadPixels(0, 0, GLsizei(w), GLsizei(h), GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    writeCapture(rgba, int(w), int(h));
  }
  int drawableWidth = 0, drawableHeight = 0;
  SDL_GL_GetDrawableSize(window_, &drawableWidth, &drawableHeight);
  glBindFramebuffer(GL_READ_FRAMEBUFFER, source);
  glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
  // Rows are stored top first; the window's framebuffer has its bottom row first: flip here.
  bool sameSize = UINT(drawableWidth) == w && UINT(drawableHeight) == h;
  glBlitFramebuffer(0, 0, GLint(w), GLint(h), 0, drawableHeight, drawableWidth, 0, GL_COLOR_BUFFER_BIT,
                    sameSize ? GL_NEAREST : GL_LINEAR);
  SDL_GL_SwapWindow(window_);
  dirty_ |= kDirtyTarget;
  ++frameNumber_;
}

void DeviceGL::writeCapture(const std::vector<uint8_t>& rgba, int width, int height) {
  const std::string& dir = runtimeOptions().captureDir;
  std::error_code error;
  std::filesystem::create_directories(dir, error);
  char name[32];
  std::snprintf(name, sizeof name, "frame-%06ld.png", ++capturedFrames);
  std::string path = (std::filesystem::path(dir) / name).string();
  if (!writePng(path, rgba, width, height))
    std::fprintf(stderr, "d3d8: cannot write the capture %s\n", path.c_str());
}

bool DeviceGL::readRenderTarget(std::vector<uint32_t>& argb, UINT& width, UINT& height) {
  if (!makeCurrent()) return false;
  if (dirty_ & kDirtyTarget) bindTarget();
  if (!targetComplete_) return false;
  width = renderTarget_->width();
  height = renderTarget_->height();
  argb.assign(size_t(width) * height, 0);
  GLuint source = drawFbo_;
  GLuint tempFbo = 0, tempTexture = 0;
  glDisable(GL_SCISSOR_TEST);
  if (renderTarget_->samples() > 0) {
    ensureColorTexture(tempFbo, tempTexture, width, height);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, drawFbo_);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, tempFbo);
    glBlitFramebuffer(0, 0, GLint(width), GLint(height), 0, 0, GLint(width), GLint(height),
                      GL_COLOR_BUFFER_BIT, GL_NEAREST);
    source = tempFbo;
  }
  glBindFramebuffer(GL_READ_FRAMEBUFFER, source);
  glReadPixels(0, 0, GLsizei(width), GLsizei(height), GL_BGRA, GL_UNSIGNED_BYTE, argb.data());
  if (tempFbo) glDeleteFramebuffers(1, &tempFbo);
  if (tempTexture) glDeleteTextures(1, &tempTexture);
  dirty_ |= kDirtyTarget;
  return true;
}

}  // namespace d3d8gl

// ---- test hooks ------------------------------------------------------------------------------------
void d3d8TestForceDeviceState(IDirect3DDevice8* device, HRESULT state) {
  static_cast<d3d8gl::DeviceGL*>(device)->forceState(state);
}

bool d3d8TestReadRenderTarget(IDirect3DDevice8* device, std::vector<uint32_t>& argb, UINT& width,
                              UINT& height) {
  return static_cast<d3d8gl::DeviceGL*>(device)->readRenderTarget(argb, width, height);
}

std::string d3d8TestGLDescription() {
  const d3d8gl::GLCapabilities& caps = d3d8gl::glCapabilities();
  return caps.vendor + " | " + caps.renderer + " | " + caps.version;
}

size_t d3d8TestProgramCount(IDirect3DDevice8* device) {
  return static_cast<d3d8gl::DeviceGL*>(device)->programCount();
}
