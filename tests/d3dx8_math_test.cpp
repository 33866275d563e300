// d3dx8_math_test.cpp — the D3DX matrix, vector and quaternion functions against values worked
// out by hand with Direct3D's conventions (row vectors, p × M, left-handed rotations).
#include <gtest/gtest.h>

#include <cmath>

#include "platform/d3dx8/d3dx8_math.h"

namespace {

constexpr float kPi = 3.14159265358979f;

D3DXMATRIX matrix(std::initializer_list<float> values) {
  D3DXMATRIX m;
  int i = 0;
  for (float v : values) m.m[i / 4][i % 4] = v, ++i;
  return m;
}

void expectMatrixNear(const D3DXMATRIX& actual, const D3DXMATRIX& expected) {
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) EXPECT_NEAR(actual.m[r][c], expected.m[r][c], 1e-5f) << "row " << r << " column " << c;
}

const D3DXMATRIX kA = matrix({1, 2, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 3, 4, 5, 1});
const D3DXMATRIX kB = matrix({2, 0, 0, 0, 0, 3, 0, 0, 0, 0, 4, 0, 0, 0, 0, 1});

TEST(Math, MultiplyAppliesTheLeftMatrixFirstAndMayWriteOverAnInput) {
  // A shears x into y and translates by (3, 4, 5); B scales by (2, 3, 4). A × B: rows of A times B.
  D3DXMATRIX product;
  D3DXMatrixMultiply(&product, &kA, &kB);
  expectMatrixNear(product, matrix({2, 6, 0, 0, 0, 3, 0, 0, 0, 0, 4, 0, 6, 12, 20, 1}));
  // The point (1, 0, 0): A moves it to (4, 6, 5), then B scales it to (8, 18, 20).
  D3DXVECTOR3 p(1, 0, 0);
  D3DXVECTOR3 out;
  D3DXVec3TransformCoord(&out, &p, &product);
  EXPECT_NEAR(out.x, 8, 1e-5f);
  EXPECT_NEAR(out.y, 18, 1e-5f);
  EXPECT_NEAR(out.z, 20, 1e-5f);

  D3DXMATRIX aliased = kA;
  D3DXMatrixMultiply(&aliased, &aliased, &kB);
  expectMatrixNear(aliased, product);
  D3DXMATRIX t = kA;
  D3DXMatrixTranspose(&t, &t);
  expectMatrixNear(t, matrix({1, 0, 0, 3, 2, 1, 0, 4, 0, 0, 1, 5, 0, 0, 0, 1}));
}

TEST(Math, RotationYAndScaling) {
  D3DXMATRIX r;
  D3DXMatrixRotationY(&r, kPi / 6);   // cos 0.8660, sin 0.5
  expectMatrixNear(r, matrix({0.8660254f, 0, -0.5f, 0, 0, 1, 0, 0, 0.5f, 0, 0.8660254f, 0, 0, 0, 0, 1}));
  // A quarter turn carries +z to +x and +x to −z.
  D3DXMatrixRotationY(&r, kPi / 2);
  D3DXVECTOR3 z(0, 0, 1), x(1, 0, 0), out;
  D3DXVec3TransformNormal(&out, &z, &r);
  EXPECT_NEAR(out.x, 1, 1e-6f);
  EXPECT_NEAR(out.z, 0, 1e-6f);
  D3DXVec3TransformNormal(&out, &x, &r);
  EXPECT_NEAR(out.z, -1, 1e-6f);

  D3DXMATRIX s;
  D3DXMatrixScaling(&s, 2, -3, 0.5f);
  expectMatrixNear(s, matrix({2, 0, 0, 0, 0, -3, 0, 0, 0, 0, 0.5f, 0, 0, 0, 0, 1}));
}

TEST(Math, QuaternionMatrixMatchesTheAxisRotations) {
  // Half-angle quaternions: about y by 60°, about x by 90°, about z by 90°.
  D3DXQUATERNION qy{0, std::sin(kPi / 6), 0, std::cos(kPi / 6)};
  D3DXMATRIX fromQuaternion, direct;
  D3DXMatrixRotationQuaternion(&fromQuaternion, &qy);
  D3DXMatrixRotationY(&direct, kPi / 3);
  expectMatrixNear(fromQuaternion, direct);

  // About x by 90° (left-handed): +y goes to +z; about z by 90°: +x goes to +y.
  const float h = std::sqrt(0.5f);
  D3DXQUATERNION qx{h, 0, 0, h}, qz{0, 0, h, h};
  D3DXMatrixRotationQuaternion(&fromQuaternion, &qx);
  expectMatrixNear(fromQuaternion, matrix({1, 0, 0, 0, 0, 0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1}));
  D3DXMatrixRotationQuaternion(&fromQuaternion, &qz);
  expectMatrixNear(fromQuaternion, matrix({0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}));
}

TEST(Math, SlerpTakesTheShorterArcAtConstantSpeed) {
  const float h = std::sqrt(0.5f);
  D3DXQUATERNION identity{0, 0, 0, 1}, quarterY{0, h, 0, h}, out;
  // Halfway between 0° and 90° about y is 45°: (0, sin 22.5°, 0, cos 22.5°).
  D3DXQuaternionSlerp(&out, &identity, &quarterY, 0.5f);
  EXPECT_NEAR(out.y, 0.3826834f, 1e-5f);
  EXPECT_NEAR(out.w, 0.9238795f, 1e-5f);
  // A third of the way: 30° → (0, sin 15°, 0, cos 15°).
  D3DXQuaternionSlerp(&out, &identity, &quarterY, 1.0f / 3);
  EXPECT_NEAR(out.y, 0.2588190f, 1e-5f);
  EXPECT_NEAR(out.w, 0.9659258f, 1e-5f);
  // −q is the same rotation as q: the way to it is the short one, not a turn through 270°.
  D3DXQUATERNION negated{0, -h, 0, -h};
  D3DXQuaternionSlerp(&out, &identity, &negated, 0.5f);
  EXPECT_NEAR(std::fabs(out.y), 0.3826834f, 1e-5f);
  EXPECT_NEAR(std::fabs(out.w), 0.9238795f, 1e-5f);
  EXPECT_GT(out.y * out.w, 0.0f);   // a +45° turn about y, not −135°
  // The ends are the inputs; nearly equal inputs still interpolate.
  D3DXQuaternionSlerp(&out, &identity, &quarterY, 1.0f);
  EXPECT_NEAR(out.y, h, 1e-5f);
  D3DXQUATERNION tiny{0, 1e-5f, 0, 1};
  D3DXQuaternionSlerp(&out, &identity, &tiny, 0.5f);
  EXPECT_NEAR(out.y, 0.5e-5f, 1e-7f);
  EXPECT_NEAR(out.w, 1, 1e-6f);
}

TEST(Math, VectorTransforms) {
  // A projection-like matrix with w = z: (2, 4, 8) → (2, 4, 8, 8) → (0.25, 0.5, 1).
  D3DXMATRIX m = matrix({1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 1, 0, 0, 0, 0});
  D3DXVECTOR3 v(2, 4, 8);
  D3DXVECTOR4 h;
  D3DXVec3Transform(&h, &v, &m);
  EXPECT_FLOAT_EQ(h.x, 2);
  EXPECT_FLOAT_EQ(h.w, 8);
  D3DXVECTOR3 out;
  D3DXVec3TransformCoord(&out, &v, &m);
  EXPECT_FLOAT_EQ(out.x, 0.25f);
  EXPECT_FLOAT_EQ(out.z, 1);
  // Normals ignore the translation row: A's (3, 4, 5) offset drops out, its shear stays.
  D3DXVECTOR3 n(1, 0, 0);
  D3DXVec3TransformNormal(&out, &n, &kA);
  EXPECT_FLOAT_EQ(out.x, 1);
  EXPECT_FLOAT_EQ(out.y, 2);
  EXPECT_FLOAT_EQ(out.z, 0);
  D3DXVec3TransformCoord(&out, &n, &kA);
  EXPECT_FLOAT_EQ(out.x, 4);
  EXPECT_FLOAT_EQ(out.y, 6);
  EXPECT_FLOAT_EQ(out.z, 5);
}

}  // namespace
