// d3dx8_math.cpp — matrix, vector and quaternion functions with Direct3D's conventions: row
// vectors (p × M), A × B applies A first, left-handed rotations. Outputs may alias inputs.
#include "platform/d3dx8/d3dx8_math.h"

#include <cmath>

D3DXMATRIX* D3DXMatrixIdentity(D3DXMATRIX* out) {
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) out->m[r][c] = r == c ? 1.0f : 0.0f;
  return out;
}

D3DXMATRIX* D3DXMatrixMultiply(D3DXMATRIX* out, const D3DXMATRIX* a, const D3DXMATRIX* b) {
  D3DXMATRIX product;
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c)
      product.m[r][c] = a->m[r][0] * b->m[0][c] + a->m[r][1] * b->m[1][c] + a->m[r][2] * b->m[2][c] +
                        a->m[r][3] * b->m[3][c];
  *out = product;
  return out;
}

D3DXMATRIX* D3DXMatrixTranspose(D3DXMATRIX* out, const D3DXMATRIX* m) {
  D3DXMATRIX t;
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) t.m[r][c] = m->m[c][r];
  *out = t;
  return out;
}

// Angle in radians; a positive angle turns +z towards +x and +x towards −z:
// x' = x cos + z sin, z' = −x sin + z cos.
D3DXMATRIX* D3DXMatrixRotationY(D3DXMATRIX* out, float angle) {
  float c = std::cos(angle), s = std::sin(angle);
  D3DXMatrixIdentity(out);
  out->_11 = c;
  out->_13 = -s;
  out->_31 = s;
  out->_33 = c;
  return out;
}

D3DXMATRIX* D3DXMatrixScaling(D3DXMATRIX* out, float sx, float sy, float sz) {
  D3DXMatrixIdentity(out);
  out->_11 = sx;
  out->_22 = sy;
  out->_33 = sz;
  return out;
}

// The rotation of a unit quaternion (x, y, z, w), as a row-vector matrix.
D3DXMATRIX* D3DXMatrixRotationQuaternion(D3DXMATRIX* out, const D3DXQUATERNION* q) {
  float x = q->x, y = q->y, z = q->z, w = q->w;
  D3DXMatrixIdentity(out);
  out->_11 = 1.0f - 2.0f * (y * y + z * z);
  out->_12 = 2.0f * (x * y + z * w);
  out->_13 = 2.0f * (x * z - y * w);
  out->_21 = 2.0f * (x * y - z * w);
  out->_22 = 1.0f - 2.0f * (x * x + z * z);
  out->_23 = 2.0f * (y * z + x * w);
  out->_31 = 2.0f * (x * z + y * w);
  out->_32 = 2.0f * (y * z - x * w);
  out->_33 = 1.0f - 2.0f * (x * x + y * y);
  return out;
}

// Spherical interpolation from a (t = 0) to b (t = 1) along the shorter arc: when the two are
// more than 90° apart in quaternion space, b's opposite (the same rotation) is used. Nearly equal
// quaternions are mixed linearly, where the sine ratio would lose its precision.
D3DXQUATERNION* D3DXQuaternionSlerp(D3DXQUATERNION* out, const D3DXQUATERNION* a, const D3DXQUATERNION* b,
                                    float t) {
  float cosine = a->x * b->x + a->y * b->y + a->z * b->z + a->w * b->w;
  float sign = 1.0f;
  if (cosine < 0.0f) {
    cosine = -cosine;
    sign = -1.0f;
  }
  float wa, wb;
  if (cosine > 0.9999f) {
    wa = 1.0f - t;
    wb = t;
  } else {
    float angle = std::acos(cosine);
    float s = std::sin(angle);
    wa = std::sin((1.0f - t) * angle) / s;
    wb = std::sin(t * angle) / s;
  }
  wb *= sign;
  D3DXQUATERNION r{wa * a->x + wb * b->x, wa * a->y + wb * b->y, wa * a->z + wb * b->z, wa * a->w + wb * b->w};
  *out = r;
  return out;
}

D3DXVECTOR4* D3DXVec3Transform(D3DXVECTOR4* out, const D3DXVECTOR3* v, const D3DXMATRIX* m) {
  float x = v->x, y = v->y, z = v->z;
  D3DXVECTOR4 r{x * m->_11 + y * m->_21 + z * m->_31 + m->_41, x * m->_12 + y * m->_22 + z * m->_32 + m->_42,
                x * m->_13 + y * m->_23 + z * m->_33 + m->_43, x * m->_14 + y * m->_24 + z * m->_34 + m->_44};
  *out = r;
  return out;
}

D3DXVECTOR3* D3DXVec3TransformCoord(D3DXVECTOR3* out, const D3DXVECTOR3* v, const D3DXMATRIX* m) {
  D3DXVECTOR4 h;
  D3DXVec3Transform(&h, v, m);
  *out = D3DXVECTOR3(h.x / h.w, h.y / h.w, h.z / h.w);
  return out;
}

D3DXVECTOR3* D3DXVec3TransformNormal(D3DXVECTOR3* out, const D3DXVECTOR3* v, const D3DXMATRIX* m) {
  float x = v->x, y = v->y, z = v->z;
  *out = D3DXVECTOR3(x * m->_11 + y * m->_21 + z * m->_31, x * m->_12 + y * m->_22 + z * m->_32,
                     x * m->_13 + y * m->_23 + z * m->_33);
  return out;
}
