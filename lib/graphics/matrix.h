// Device transforms that the library keeps in step with the draw screen: 4 x 4 matrix builders
// and the three setters that hand a matrix to both drawing paths.
#pragma once

#include <cstdint>

namespace zq::gfx {

// Row-major m[row][column], row-vector convention: a point (x, y, z, 1) is multiplied from the
// left, so the translation sits in row 3.
struct Matrix4x4 {
  float m[4][4];
};

struct Vector3 {
  float x, y, z;
};

int SetIdentityMatrix(Matrix4x4* matrix);
// Scales source to unit length into destination (the two may be the same). A zero vector
// gives the zero vector.
void NormalizeVector3(Vector3* destination, const Vector3* source);
// Left-handed look-at: the camera's x axis is up x (target - eye), it looks along
// target - eye. 0.
int MakeLookAtMatrix(Matrix4x4* matrix, const Vector3* eye, const Vector3* target,
                     const Vector3* up);
// Perspective projection with the screen's aspect (height / width). 0, or -1 with the matrix
// untouched when far and near are closer than 0.01 or the half angle's sine is below 0.01.
int MakePerspectiveMatrix(Matrix4x4* matrix, float fieldOfView, float nearPlane, float farPlane);

// Forward to the Direct3D twin (while 3D is available) and to the DirectDraw twin. 0.
int SetWorldMatrix(const Matrix4x4* matrix);
int SetViewMatrix(const Matrix4x4* matrix);
int SetProjectionMatrix(const Matrix4x4* matrix);

// The transforms that fit a draw screen of width x height pixels: world identity, a camera on
// the screen's centre looking down the z axis, a 60-degree projection. 0.
int MakeDrawScreenTransforms(int width, int height, Matrix4x4* world, Matrix4x4* view,
                             Matrix4x4* projection);

}  // namespace zq::gfx
