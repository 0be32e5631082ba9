#pragma once
// A point, a direction, or a triple of rotation angles in degrees
// (x = about X, y = about Y, z = about Z). Plain value: no constructor,
// built from its three components as VECTOR3D{x, y, z}.
struct VECTOR3D {
    float x;  // x component (or angle about X, degrees)
    float y;  // y component (or angle about Y, degrees)
    float z;  // z component (or angle about Z, degrees)

    // Makes the vector unit length, in single precision; a zero vector stays zero.
    void Normalize();
};
