#pragma once
#include <cstdint>

// One model triangle with per-corner normals and texture coordinates.
struct MS3D_TRIANGLE {
    uint16_t flags;             // editor flags, not interpreted
    uint16_t vertexIndices[3];  // corners: indexes into the model's vertices (checked at load)
    float vertexNormals[3][3];  // one unit normal per corner
    float s[3];                 // horizontal texture coordinate per corner
    float t[3];                 // vertical texture coordinate per corner (issued as 1 - t)
    uint8_t smoothingGroup;     // as stored, not interpreted
    uint8_t groupIndex;         // group this triangle was made in, as stored, not interpreted
};
