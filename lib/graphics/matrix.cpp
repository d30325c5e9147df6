#include "graphics/matrix.h"

#include <cmath>

#include "base/math.h"
#include "graphics/d3d/d3d_state.h"
#include "graphics/ddraw/dd_draw_state.h"
#include "graphics/ddraw/display.h"
#include "graphics/graph.h"

namespace zq::gfx {
namespace {

// Intermediate results are kept in extended precision and only the stored values are rounded
// to float, so the matrices do not depend on how the compiler orders float roundings.
using Ext = long double;

constexpr Matrix4x4 kIdentity{{{1.0f, 0.0f, 0.0f, 0.0f},
                               {0.0f, 1.0f, 0.0f, 0.0f},
                               {0.0f, 0.0f, 1.0f, 0.0f},
                               {0.0f, 0.0f, 0.0f, 1.0f}}};

Vector3 Cross(const Vector3& a, const Vector3& b) {
  return Vector3{float(Ext(a.y) * b.z - Ext(a.z) * b.y), float(Ext(a.z) * b.x - Ext(a.x) * b.z),
                 float(Ext(a.x) * b.y - Ext(a.y) * b.x)};
}

Ext Dot(const Vector3& a, const Vector3& b) {
  return Ext(a.x) * b.x + Ext(a.y) * b.y + Ext(a.z) * b.z;
}

}  // namespace

int SetIdentityMatrix(Matrix4x4* matrix) {
  *matrix = kIdentity;
  return 0;
}

void NormalizeVector3(Vector3* destination, const Vector3* source) {
  const Vector3 v = *source;
  const float length = base::SqrtFloat(float(Dot(v, v)));
  if (length == 0.0f) {
    // No direction to keep: the zero vector rather than a division by zero.
    *destination = Vector3{0.0f, 0.0f, 0.0f};
    return;
  }
  *destination =
      Vector3{float(v.x / Ext(length)), float(v.y / Ext(length)), float(v.z / Ext(length))};
}

int MakeLookAtMatrix(Matrix4x4* matrix, const Vector3* eye, const Vector3* target,
                     const Vector3* up) {
  Vector3 f{float(Ext(target->x) - eye->x), float(Ext(target->y) - eye->y),
            float(Ext(target->z) - eye->z)};
  // s comes from the unnormalised f and r.
  Vector3 r = Cross(*up, f);
  Vector3 s = Cross(f, r);
  NormalizeVector3(&r, &r);
  NormalizeVector3(&s, &s);
  NormalizeVector3(&f, &f);
  Matrix4x4& m = *matrix;
  const float rv[3] = {r.x, r.y, r.z}, sv[3] = {s.x, s.y, s.z}, fv[3] = {f.x, f.y, f.z};
  for (int i = 0; i < 3; ++i) {
    m.m[i][0] = rv[i];
    m.m[i][1] = sv[i];
    m.m[i][2] = fv[i];
    m.m[i][3] = 0.0f;
  }
  m.m[3][0] = float(-Dot(*eye, r));
  m.m[3][1] = float(-Dot(*eye, s));
  m.m[3][2] = float(-Dot(*eye, f));
  m.m[3][3] = 1.0f;
  return 0;
}

int MakePerspectiveMatrix(Matrix4x4* matrix, float fieldOfView, float nearPlane, float farPlane) {
  // The aspect of the screen, not of the draw screen, as a true quotient.
  const Ext aspect = Ext(GetScreenHeight()) / Ext(GetScreenWidth());
  float s = 0.0f, c = 0.0f;
  base::SinCosFloat(float(fieldOfView * Ext(0.5)), &s, &c);
  if (std::fabs(Ext(farPlane) - nearPlane) < Ext(0.01) || std::fabs(s) < 0.01f) return -1;
  Matrix4x4& m = *matrix;
  m = Matrix4x4{};
  m.m[0][0] = float(Ext(c) / s * aspect);
  m.m[1][1] = float(Ext(c) / s * Ext(1.0));
  m.m[2][2] = float(Ext(farPlane) / (Ext(farPlane) - nearPlane));
  m.m[3][2] = float(-Ext(m.m[2][2]) * nearPlane);
  m.m[2][3] = 1.0f;
  m.m[3][3] = 0.0f;
  return 0;
}

int SetWorldMatrix(const Matrix4x4* matrix) {
  if (Is3DAvailable()) G_D3D_SetWorldTransform(matrix);
  G_DD_SetWorldTransform(matrix);
  return 0;
}

int SetViewMatrix(const Matrix4x4* matrix) {
  if (Is3DAvailable()) G_D3D_SetViewTransform(matrix);
  G_DD_SetViewTransform(matrix);
  return 0;
}

int SetProjectionMatrix(const Matrix4x4* matrix) {
  if (Is3DAvailable()) G_D3D_SetProjectionTransform(matrix);
  G_DD_SetProjectionTransform(matrix);
  return 0;
}

int MakeDrawScreenTransforms(int width, int height, Matrix4x4* world, Matrix4x4* view,
                             Matrix4x4* projection) {
  // The camera distance at which one unit of z = 0 covers one pixel with a 60-degree view.
  const float d = float(Ext(height / 2) * 1.9098592639560683);
  const Ext eyeZ = Ext(43.0) - d;
  const Vector3 eye{float(width * Ext(0.5)), float(height * Ext(0.5)), float(eyeZ)};
  const Vector3 target{eye.x, eye.y, float(eyeZ + Ext(1.0))};
  const Vector3 up{0.0f, 1.0f, 0.0f};
  SetIdentityMatrix(world);
  MakeLookAtMatrix(view, &eye, &target, &up);
  const float fieldOfView = 1.0471976f;  // 60 degrees
  const float nearPlane = float((d + Ext(0.0)) * Ext(0.1));
  const float farPlane = float(d + Ext(1000.0));
  MakePerspectiveMatrix(projection, fieldOfView, nearPlane, farPlane);
  return 0;
}

}  // namespace zq::gfx
