#pragma once
#include <cstdint>

// A material record, read and kept but not used for drawing.
struct MS3D_MATERIAL {
    char name[32];       // as stored, not necessarily terminated
    float ambient[4];    // RGBA
    float diffuse[4];    // RGBA
    float specular[4];   // RGBA
    float emissive[4];   // RGBA
    float shininess;     // 0 to 128
    float transparency;  // 0 to 1
    uint8_t mode;        // as stored, not interpreted
    char texture[128];   // file name as stored, not necessarily terminated
    char alphaMap[128];  // file name as stored, not necessarily terminated
};
