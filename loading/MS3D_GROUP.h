#pragma once
#include <cstdint>

// A named list of triangles; only triangles listed in a group are drawn.
struct MS3D_GROUP {
    uint8_t flags;              // editor flags, not interpreted
    char name[32];              // as stored, not necessarily terminated
    uint16_t numTriangles;      // length of triangleIndices
    uint16_t* triangleIndices;  // indexes into the model's triangles (array new; released by MS3D; checked at load)
    int8_t materialIndex;       // -1 = none; not interpreted
};
