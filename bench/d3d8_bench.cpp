// d3d8_bench.cpp — the Direct3D stand-in's cost per draw call next to the same drawing in plain
// OpenGL (one run, same machine, same window size), and the frame rate of an 800 × 600 frame of
// full-screen blended, textured layers. Prints its figures; the target is a ratio ≤ 1.25.
//
// Each draw call changes the texture and the world matrix and draws a small textured quad, as the
// scene's model and terrain passes do. The plain-GL side does the same work by hand: a shader that
// modulates the texture by the vertex colour, the matrix product on the CPU, one uniform upload,
// one texture bind and one draw.
#include <SDL2/SDL.h>
#include <epoxy/gl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

#include "bench/bench_device.h"
#include "platform/d3d8/d3d8.h"
#include "platform/win32/window_access.h"
#include "platform/win32/windows.h"

namespace {

constexpr int kWidth = 800, kHeight = 600;
constexpr int kDraws = 20000;
constexpr int kRounds = 8;

using Clock = std::chrono::steady_clock;

struct Vertex {   // format 0x142: position, colour, u, v
  float x, y, z;
  DWORD diffuse;
  float u, v;
};

const Vertex kQuad[4] = {{-1, -1, 0.5f, 0xFFFFFFFF, 0, 1},
                         {-1, 1, 0.5f, 0xFFFFFFFF, 0, 0},
                         {1, -1, 0.5f, 0xFFFFFFFF, 1, 1},
                         {1, 1, 0.5f, 0xFFFFFFFF, 1, 0}};

// A small quad placed by draw number i: 4 × 4 pixels somewhere on the screen.
D3DMATRIX worldFor(int i) {
  D3DMATRIX m{};
  m._11 = 4.0f / kWidth;
  m._22 = 4.0f / kHeight;
  m._33 = 1.0f;
  m._44 = 1.0f;
  m._41 = float((i * 37) % 190) / 100.0f - 0.95f;
  m._42 = float((i * 53) % 190) / 100.0f - 0.95f;
  return m;
}

D3DMATRIX multiply(const D3DMATRIX& a, const D3DMATRIX& b) {
  D3DMATRIX r{};
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j)
      r.m[i][j] = a.m[i][0] * b.m[0][j] + a.m[i][1] * b.m[1][j] + a.m[i][2] * b.m[2][j] + a.m[i][3] * b.m[3][j];
  return r;
}

std::vector<uint32_t> checker(uint32_t a, uint32_t b, int size) {
  std::vector<uint32_t> texels(size_t(size) * size);
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x) texels[size_t(y) * size + x] = ((x / 8 + y / 8) & 1) ? a : b;
  return texels;
}

IDirect3DTexture8* makeTexture(IDirect3DDevice8* device, const std::vector<uint32_t>& texels, int size) {
  IDirect3DTexture8* texture = nullptr;
  if (device->CreateTexture(size, size, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture) != D3D_OK) return nullptr;
  D3DLOCKED_RECT locked;
  texture->LockRect(0, &locked, nullptr, 0);
  for (int y = 0; y < size; ++y)
    std::memcpy(static_cast<BYTE*>(locked.pBits) + y * locked.Pitch, &texels[size_t(y) * size], size_t(size) * 4);
  texture->UnlockRect(0);
  return texture;
}

// ---- the stand-in --------------------------------------------------------------------------------
struct StandInDraws {
  IDirect3DDevice8* device = nullptr;
  IDirect3DVertexBuffer8* buffer = nullptr;
  IDirect3DTexture8* textures[2] = {};

  void setup(IDirect3DDevice8* d) {
    device = d;
    device->CreateVertexBuffer(sizeof kQuad, D3DUSAGE_WRITEONLY, 0x142, D3DPOOL_MANAGED, &buffer);
    BYTE* data;
    buffer->Lock(0, 0, &data, 0);
    std::memcpy(data, kQuad, sizeof kQuad);
    buffer->Unlock();
    textures[0] = makeTexture(device, checker(0xFFFF0000, 0xFFFFFFFF, 64), 64);
    textures[1] = makeTexture(device, checker(0xFF0000FF, 0xFF000000, 64), 64);
  }
  // Nanoseconds per draw call of one round.
  double round() {
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    device->SetRenderState(D3DRS_ZENABLE, FALSE);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    device->SetVertexShader(0x142);
    device->SetStreamSource(0, buffer, sizeof(Vertex));
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    device->BeginScene();
    glFinish();
    Clock::time_point start = Clock::now();
    for (int i = 0; i < kDraws; ++i) {
      D3DMATRIX world = worldFor(i);
      device->SetTexture(0, textures[i & 1]);
      device->SetTransform(D3DTS_WORLD, &world);
      device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);
    }
    glFinish();
    double ns = std::chrono::duration<double, std::nano>(Clock::now() - start).count() / kDraws;
    device->EndScene();
    device->Present(nullptr, nullptr, nullptr, nullptr);
    return ns;
  }
  void teardown() {
    device->SetTexture(0, nullptr);
    textures[0]->Release();
    textures[1]->Release();
    buffer->Release();
  }
};

// ---- the same drawing in plain OpenGL ---------------------------------------------------------------------
GLuint compile(GLenum type, const char* source) {
  GLuint shader = glCreateShader(type);
  glShaderSource(shader, 1, &source, nullptr);
  glCompileShader(shader);
  return shader;
}

struct PlainDraws {
  SDL_Window* window = nullptr;
  SDL_GLContext context = nullptr;
  GLuint program = 0, vao = 0, vbo = 0, fbo = 0, color = 0, textures[2] = {};
  GLint wvp = -1;

  bool setup(SDL_Window* w) {
    window = w;
    context = SDL_GL_CreateContext(window);
    if (!context) return false;
    const char* vs =
        "#version 130\nin vec3 a_position; in vec4 a_diffuse; in vec2 a_tex0; uniform mat4 u_wvp;\n"
        "out vec4 v_diffuse; out vec2 v_tex;\n"
        "void main() { gl_Position = u_wvp * vec4(a_position, 1.0); v_diffuse = a_diffuse.bgra; v_tex = a_tex0; }\n";
    const char* fs =
        "#version 130\nin vec4 v_diffuse; in vec2 v_tex; uniform sampler2D u_tex; out vec4 o_color;\n"
        "void main() { o_color = texture(u_tex, v_tex) * v_diffuse; }\n";
    program = glCreateProgram();
    glAttachShader(program, compile(GL_VERTEX_SHADER, vs));
    glAttachShader(program, compile(GL_FRAGMENT_SHADER, fs));
    glBindAttribLocation(program, 0, "a_position");
    glBindAttribLocation(program, 2, "a_diffuse");
    glBindAttribLocation(program, 4, "a_tex0");
    glLinkProgram(program);
    glUseProgram(program);
    wvp = glGetUniformLocation(program, "u_wvp");
    glGenVertexArrays(1, &vao);
    glBindVertexArray(vao);
    glGenBuffers(1, &vbo);
    glBindBuffer(GL_ARRAY_BUFFER, vbo);
    glBufferData(GL_ARRAY_BUFFER, sizeof kQuad, kQuad, GL_STATIC_DRAW);
    glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, sizeof(Vertex), nullptr);
    glVertexAttribPointer(2, 4, GL_UNSIGNED_BYTE, GL_TRUE, sizeof(Vertex), reinterpret_cast<void*>(12));
    glVertexAttribPointer(4, 2, GL_FLOAT, GL_FALSE, sizeof(Vertex), reinterpret_cast<void*>(16));
    glEnableVertexAttribArray(0);
    glEnableVertexAttribArray(2);
    glEnableVertexAttribArray(4);
    // Render into an offscreen buffer of the same size, as the stand-in does.
    glGenFramebuffers(1, &fbo);
    glGenRenderbuffers(1, &color);
    glBindRenderbuffer(GL_RENDERBUFFER, color);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGB8, kWidth, kHeight);
    glBindFramebuffer(GL_FRAMEBUFFER, fbo);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, color);
    glViewport(0, 0, kWidth, kHeight);
    glGenTextures(2, textures);
    std::vector<uint32_t> texels[2] = {checker(0xFFFF0000, 0xFFFFFFFF, 64), checker(0xFF0000FF, 0xFF000000, 64)};
    for (int t = 0; t < 2; ++t) {
      glBindTexture(GL_TEXTURE_2D, textures[t]);
      glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 64, 64, 0, GL_BGRA, GL_UNSIGNED_BYTE, texels[t].data());
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    }
    return true;
  }
  double round() {
    SDL_GL_MakeCurrent(window, context);
    D3DMATRIX viewProjection{};
    viewProjection._11 = viewProjection._22 = viewProjection._33 = viewProjection._44 = 1.0f;
    glBindFramebuffer(GL_FRAMEBUFFER, fbo);
    glClear(GL_COLOR_BUFFER_BIT);
    glFinish();
    Clock::time_point start = Clock::now();
    for (int i = 0; i < kDraws; ++i) {
      D3DMATRIX m = multiply(worldFor(i), viewProjection);
      glBindTexture(GL_TEXTURE_2D, textures[i & 1]);
      glUniformMatrix4fv(wvp, 1, GL_FALSE, &m._11);
      glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    }
    glFinish();
    double ns = std::chrono::duration<double, std::nano>(Clock::now() - start).count() / kDraws;
    glBindFramebuffer(GL_READ_FRAMEBUFFER, fbo);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
    glBlitFramebuffer(0, 0, kWidth, kHeight, 0, kHeight, kWidth, 0, GL_COLOR_BUFFER_BIT, GL_NEAREST);
    SDL_GL_SwapWindow(window);
    return ns;
  }
  void teardown() {
    SDL_GL_MakeCurrent(window, context);
    glDeleteTextures(2, textures);
    glDeleteFramebuffers(1, &fbo);
    glDeleteRenderbuffers(1, &color);
    glDeleteBuffers(1, &vbo);
    glDeleteVertexArrays(1, &vao);
    glDeleteProgram(program);
    SDL_GL_MakeCurrent(nullptr, nullptr);
    SDL_GL_DeleteContext(context);
  }
};

// ---- blended layers -----------------------------------------------------------------------------------
struct ScreenVertex {
  float x, y, z, rhw;
  DWORD diffuse;
  float u, v;
};

double layersFramesPerSecond(IDirect3DDevice8* device, int layers) {
  IDirect3DTexture8* texture = makeTexture(device, checker(0x80FFC080, 0x40406080, 256), 256);
  IDirect3DVertexBuffer8* buffer = nullptr;
  device->CreateVertexBuffer(4 * sizeof(ScreenVertex), D3DUSAGE_WRITEONLY, 0x144, D3DPOOL_MANAGED, &buffer);
  ScreenVertex quad[4] = {{0, kHeight, 0.99f, 0.5f, 0xFFFFFFFF, 0, 1},
                          {0, 0, 0.99f, 0.5f, 0xFFFFFFFF, 0, 0},
                          {kWidth, kHeight, 0.99f, 0.5f, 0xFFFFFFFF, 1, 1},
                          {kWidth, 0, 0.99f, 0.5f, 0xFFFFFFFF, 1, 0}};
  BYTE* data;
  buffer->Lock(0, 0, &data, 0);
  std::memcpy(data, quad, sizeof quad);
  buffer->Unlock();
  device->SetTexture(0, texture);
  device->SetTextureStageState(0, D3DTSS_MINFILTER, D3DTEXF_LINEAR);
  device->SetTextureStageState(0, D3DTSS_MAGFILTER, D3DTEXF_LINEAR);
  device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
  device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
  device->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
  device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
  device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
  device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
  device->SetVertexShader(0x144);
  device->SetStreamSource(0, buffer, sizeof(ScreenVertex));
  auto frame = [&] {
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF0000FF, 1.0f, 0);
    device->BeginScene();
    for (int l = 0; l < layers; ++l) device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);
    device->EndScene();
    device->Present(nullptr, nullptr, nullptr, nullptr);
  };
  for (int i = 0; i < 5; ++i) frame();
  glFinish();
  int frames = 0;
  Clock::time_point start = Clock::now();
  double seconds = 0;
  while (seconds < 2.0) {
    frame();
    ++frames;
    seconds = std::chrono::duration<double>(Clock::now() - start).count();
  }
  glFinish();
  seconds = std::chrono::duration<double>(Clock::now() - start).count();
  device->SetTexture(0, nullptr);
  texture->Release();
  buffer->Release();
  return frames / seconds;
}

}  // namespace

int main() {
  BenchDevice bench;
  if (!openBenchDevice("d3d8_bench", kWidth, kHeight, bench)) return 1;
  IDirect3DDevice8* device = bench.device;
  HWND plainWindow = makeBenchWindow("plain GL bench", kWidth, kHeight);
  if (!plainWindow) {
    std::fprintf(stderr, "d3d8_bench: no window for plain OpenGL\n");
    return 1;
  }
  std::printf("OpenGL: %s | %s\n", glGetString(GL_RENDERER), glGetString(GL_VERSION));
  // Rounds alternate between the two so warm-up and machine load fall on both alike.
  StandInDraws standInDraws;
  PlainDraws plainDraws;
  standInDraws.setup(device);
  if (!plainDraws.setup(sdlWindowForHandle(plainWindow))) {
    std::fprintf(stderr, "d3d8_bench: no plain OpenGL context\n");
    return 1;
  }
  double standIn = 1e30, plain = 1e30;
  for (int round = 0; round < kRounds; ++round) {
    standIn = std::min(standIn, standInDraws.round());
    plain = std::min(plain, plainDraws.round());
  }
  plainDraws.teardown();
  standInDraws.teardown();
  std::printf("draw call (texture + world matrix + 4-vertex strip), best of %d rounds of %d:\n", kRounds, kDraws);
  std::printf("  plain OpenGL     %8.0f ns per call\n", plain);
  std::printf("  Direct3D stand-in %7.0f ns per call\n", standIn);
  std::printf("  ratio            %8.2f (target <= 1.25)\n", plain > 0 ? standIn / plain : 0.0);
  for (int layers : {4, 8}) {
    std::printf("800 x 600 frame, %d full-screen blended textured layers: %.1f frames/s\n", layers,
                layersFramesPerSecond(device, layers));
  }
  DestroyWindow(plainWindow);
  return 0;
}
