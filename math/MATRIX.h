#pragma once
#include "math/VECTOR3D.h"

// A 4x4 matrix of doubles, column-major as glMultMatrixd takes it:
// m[c*4 + r] is row r, column c; translation in m[12..14]. Nothing but the
// array, so the address of a MATRIX can be handed straight to OpenGL.
struct MATRIX {
    double m[16];  // elements, column-major

    // The identity.
    MATRIX();
};

// Rotation Rz(-angle.z) * Ry(+angle.y) * Rx(-angle.x), angles in degrees;
// computed in double. Note the signs: X and Z turn in the negative sense.
MATRIX MatrixFromAngle(VECTOR3D angle);

// The upper-left 3x3 block of `matrix` times `point` (translation and the
// fourth row ignored), summed in double, rounded to float.
VECTOR3D MatrixRotatePoint(MATRIX matrix, VECTOR3D point);
