// default_frame.cpp — standing state, view and frame of the application's default drawing.
#include "gfx/default_frame.h"

#include <cmath>

namespace {

D3DMATRIX identityMatrix() {
  D3DMATRIX m{};
  m._11 = m._22 = m._33 = m._44 = 1.0f;
  return m;
}

// Left-handed perspective, depth 0 at zNear and 1 at zFar; `fovY` in radians.
D3DMATRIX perspectiveMatrix(float fovY, float aspect, float zNear, float zFar) {
  const float yScale = 1.0f / std::tan(fovY / 2.0f);
  D3DMATRIX m{};
  m._11 = yScale / aspect;
  m._22 = yScale;
  m._33 = zFar / (zFar - zNear);
  m._34 = 1.0f;
  m._43 = -zNear * zFar / (zFar - zNear);
  return m;
}

}  // namespace

void setDefaultDeviceState(IDirect3DDevice8* device) {
  device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
  device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
  device->SetRenderState(D3DRS_ALPHAREF, 32);
  device->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_GREATEREQUAL);
  device->SetRenderState(D3DRS_DITHERENABLE, TRUE);
  device->SetRenderState(D3DRS_ZENABLE, TRUE);
  device->SetRenderState(D3DRS_LIGHTING, FALSE);

  device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
  device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
  device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
  device->SetTextureStageState(0, D3DTSS_MINFILTER, D3DTEXF_LINEAR);
  device->SetTextureStageState(0, D3DTSS_MAGFILTER, D3DTEXF_LINEAR);
  device->SetTextureStageState(0, D3DTSS_ADDRESSU, D3DTADDRESS_WRAP);
  device->SetTextureStageState(0, D3DTSS_ADDRESSV, D3DTADDRESS_WRAP);

  D3DMATERIAL8 material{};
  material.Diffuse = material.Ambient = material.Specular = D3DCOLORVALUE{1, 1, 1, 1};
  material.Emissive = D3DCOLORVALUE{0, 0, 0, 0};
  material.Power = 50.0f;
  device->SetMaterial(&material);

  const D3DMATRIX world = identityMatrix();
  device->SetTransform(D3DTS_WORLD, &world);

  D3DVIEWPORT8 viewport{};
  float aspect = 4.0f / 3.0f;
  if (device->GetViewport(&viewport) >= 0 && viewport.Width > 0 && viewport.Height > 0)
    aspect = static_cast<float>(viewport.Width) / static_cast<float>(viewport.Height);
  const D3DMATRIX projection = perspectiveMatrix(3.14159265f / 4.0f, aspect, 0.1f, 100.0f);
  device->SetTransform(D3DTS_PROJECTION, &projection);
}

void setDefaultView(IDirect3DDevice8* device) {
  // Looking from (0, 0, −1) at the origin with y up: the axes stay as they are and the eye's
  // offset moves the world one unit along +z.
  D3DMATRIX view = identityMatrix();
  view._43 = 1.0f;
  device->SetTransform(D3DTS_VIEW, &view);
}

void drawDefaultFrame(IDirect3DDevice8* device, const std::function<void()>& overlay) {
  device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, defaultClearColour, 1.0f, 0);
  device->BeginScene();
  if (overlay) overlay();
  device->EndScene();
  device->Present(nullptr, nullptr, nullptr, nullptr);
}
