#include "graphics/matrix.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <tuple>

#include "graphics/ddraw/display.h"
#include "graphics/draw_state.h"
#include "graphics/graph.h"
#include "support/library_fixture.h"

namespace zq::gfx {
namespace {

using test::LibrarySession;

// Values are compared within 1e-5, relative to the value once it exceeds 1 (a float near 400
// cannot be nearer than 3e-5 to a decimal).
void ExpectNear(float actual, double expected, const char* what, int row, int col) {
  const double tolerance = 1e-5 * std::max(1.0, std::fabs(expected));
  EXPECT_NEAR(actual, expected, tolerance) << what << "[" << row << "][" << col << "]";
}

void ExpectMatrix(const Matrix4x4& m, const double (&expected)[4][4], const char* what) {
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) ExpectNear(m.m[r][c], expected[r][c], what, r, c);
}

Matrix4x4 Filled(float value) {
  Matrix4x4 m;
  for (auto& row : m.m)
    for (float& v : row) v = value;
  return m;
}

bool SameBits(const Matrix4x4& a, const Matrix4x4& b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

constexpr double kIdentity[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
// cos(30 deg) / sin(30 deg).
const double kCot30 = std::sqrt(3.0);

TEST(Matrix, IdentityAndNormalisedVectors) {
  Matrix4x4 m = Filled(5.0f);
  EXPECT_EQ(SetIdentityMatrix(&m), 0);
  ExpectMatrix(m, kIdentity, "identity");
  EXPECT_EQ(m.m[3][3], 1.0f);
  EXPECT_EQ(m.m[0][1], 0.0f);

  Vector3 v{3.0f, 4.0f, 0.0f};
  NormalizeVector3(&v, &v);  // in place
  EXPECT_NEAR(v.x, 0.6, 1e-6);
  EXPECT_NEAR(v.y, 0.8, 1e-6);
  EXPECT_EQ(v.z, 0.0f);
  const Vector3 down{0.0f, 0.0f, -2.0f};
  Vector3 out{9.0f, 9.0f, 9.0f};
  NormalizeVector3(&out, &down);
  EXPECT_EQ(std::tuple(out.x, out.y, out.z), std::tuple(0.0f, 0.0f, -1.0f));
  EXPECT_EQ(down.z, -2.0f);  // the source is left alone
  // A zero vector has no direction: zero comes back, not a division by zero.
  const Vector3 zero{0.0f, 0.0f, 0.0f};
  out = Vector3{9.0f, 9.0f, 9.0f};
  NormalizeVector3(&out, &zero);
  EXPECT_EQ(std::tuple(out.x, out.y, out.z), std::tuple(0.0f, 0.0f, 0.0f));
}

TEST(Matrix, LookAt) {
  Matrix4x4 m = Filled(7.0f);
  const Vector3 eye{0.0f, 0.0f, -10.0f}, target{0.0f, 0.0f, 0.0f}, up{0.0f, 1.0f, 0.0f};
  EXPECT_EQ(MakeLookAtMatrix(&m, &eye, &target, &up), 0);
  const double straight[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 10, 1}};
  ExpectMatrix(m, straight, "straight look-at");

  // f = (3, 4, 0), r = up x f = (-4, 3, 0), s = f x r = (0, 0, 25); normalised
  // r = (-0.8, 0.6, 0), s = (0, 0, 1), f = (0.6, 0.8, 0); row 3 = -(eye . r, eye . s, eye . f).
  const Vector3 eye2{1.0f, 2.0f, 3.0f}, target2{4.0f, 6.0f, 3.0f}, up2{0.0f, 0.0f, 1.0f};
  EXPECT_EQ(MakeLookAtMatrix(&m, &eye2, &target2, &up2), 0);
  const double turned[4][4] = {
      {-0.8, 0, 0.6, 0}, {0.6, 0, 0.8, 0}, {0, 1, 0, 0}, {-0.4, -3, -2.2, 1}};
  ExpectMatrix(m, turned, "turned look-at");

  // Eye on the target: no direction anywhere, but no NaN either.
  EXPECT_EQ(MakeLookAtMatrix(&m, &eye2, &eye2, &up2), 0);
  const double degenerate[4][4] = {{0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 1}};
  ExpectMatrix(m, degenerate, "degenerate look-at");
}

TEST(Matrix, PerspectiveRefusalsLeaveTheMatrixUntouched) {
  const Matrix4x4 sentinel = Filled(7.0f);
  Matrix4x4 m = sentinel;
  // Near = far, |far - near| too small either way, fov 0, sin(0.0095) < 0.01.
  const float refused[][3] = {{1.0471976f, 10.0f, 10.0f},
                              {1.0471976f, 10.0f, 10.005f},
                              {1.0471976f, 10.005f, 10.0f},
                              {0.0f, 1.0f, 100.0f},
                              {0.019f, 1.0f, 100.0f}};
  for (const auto& [fov, nearZ, farZ] : refused) {
    EXPECT_EQ(MakePerspectiveMatrix(&m, fov, nearZ, farZ), -1)
        << fov << " " << nearZ << " " << farZ;
    EXPECT_TRUE(SameBits(m, sentinel));
  }
  EXPECT_EQ(MakePerspectiveMatrix(&m, 0.021f, 1.0f, 100.0f), 0);  // sin(0.0105) >= 0.01
  EXPECT_FALSE(SameBits(m, sentinel));
}

TEST(Matrix, PerspectiveAspectIsTheScreensAsATrueQuotient) {
  ASSERT_EQ(GetScreenWidth(), 640);  // before any screen mode
  ASSERT_EQ(GetScreenHeight(), 480);
  Matrix4x4 m = Filled(7.0f);
  EXPECT_EQ(MakePerspectiveMatrix(&m, 1.0471976f, 1.0f, 101.0f), 0);
  // far / (far - near) = 1.01; -1.01 x near.
  const double expected[4][4] = {
      {kCot30 * 0.75, 0, 0, 0}, {0, kCot30, 0, 0}, {0, 0, 1.01, 1}, {0, 0, -1.01, 0}};
  ExpectMatrix(m, expected, "perspective");
  LibrarySession lib;
  // A 256 x 256 draw screen on the 640 x 480 screen keeps the screen's aspect.
  SetCreateOptionFlag(1);
  const HandleValue square = CreateEmptyGraph(256, 256);
  SetCreateOptionFlag(0);
  ASSERT_EQ(SelectDrawScreen(square), 0);
  ASSERT_EQ(MakePerspectiveMatrix(&m, 1.0471976f, 1.0f, 101.0f), 0);
  EXPECT_NEAR(m.m[0][0], kCot30 * 0.75, 1e-5);
  ASSERT_EQ(SelectDrawScreen(kDrawScreenFront), 0);
  // 500 / 800 is 0.625, not the 0 of an integer division.
  ASSERT_EQ(RunScreenModeChange(800, 500, 16, 60), 0);
  ASSERT_EQ(MakePerspectiveMatrix(&m, 1.0471976f, 1.0f, 101.0f), 0);
  EXPECT_NEAR(m.m[0][0], kCot30 * 0.625, 1e-5);
  EXPECT_NEAR(m.m[1][1], kCot30, 1e-5);
}

// The draw-screen transforms, worked out from the rules: d = (h / 2, truncated) x
// 1.9098592639560683, eye (w / 2, h / 2, 43 - d) looking one unit along z, near = d / 10,
// far = d + 1000.
void ExpectDrawScreenTransforms(int w, int h) {
  SCOPED_TRACE(std::to_string(w) + " x " + std::to_string(h));
  Matrix4x4 world = Filled(7.0f), view = Filled(7.0f), projection = Filled(7.0f);
  ASSERT_EQ(MakeDrawScreenTransforms(w, h, &world, &view, &projection), 0);
  ExpectMatrix(world, kIdentity, "world");

  const double d = (h / 2) * 1.9098592639560683;
  const double eyeZ = 43.0 - d;
  // Looking straight along +z with y up: the rotation is the identity.
  const double expectedView[4][4] = {
      {1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {-w * 0.5, -h * 0.5, -eyeZ, 1}};
  ExpectMatrix(view, expectedView, "view");

  const double nearPlane = d * 0.1, farPlane = d + 1000.0;
  const double q = farPlane / (farPlane - nearPlane);
  const double aspect = double(GetScreenHeight()) / GetScreenWidth();
  const double expectedProjection[4][4] = {
      {kCot30 * aspect, 0, 0, 0}, {0, kCot30, 0, 0}, {0, 0, q, 1}, {0, 0, -q * nearPlane, 0}};
  ExpectMatrix(projection, expectedProjection, "projection");
}

TEST(Matrix, DrawScreenTransforms) {
  // For the 640 x 480 screen: d = 458.3662, the eye at (320, 240, -415.3662).
  Matrix4x4 world, view, projection;
  ASSERT_EQ(MakeDrawScreenTransforms(640, 480, &world, &view, &projection), 0);
  EXPECT_NEAR(view.m[3][2], 415.3662, 1e-3);
  EXPECT_NEAR(projection.m[2][2], 1458.3662 / (1458.3662 - 45.83662), 1e-5);
  ExpectDrawScreenTransforms(640, 480);
  ExpectDrawScreenTransforms(256, 256);
  // An odd height: d from 50, the eye at 50.5.
  ExpectDrawScreenTransforms(31, 101);
  ExpectDrawScreenTransforms(1, 1);

  // The setters only forward: they succeed whatever the paths do with the matrix.
  EXPECT_EQ(SetWorldMatrix(&world), 0);
  EXPECT_EQ(SetViewMatrix(&view), 0);
  EXPECT_EQ(SetProjectionMatrix(&projection), 0);
}

}  // namespace
}  // namespace zq::gfx
