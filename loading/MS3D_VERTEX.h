#pragma once
#include <cstdint>

// One model vertex. Field order differs from the file's (flags, location,
// bone index, reference count).
struct MS3D_VERTEX {
    uint8_t flags;           // editor flags, not interpreted
    uint8_t referenceCount;  // triangles using this vertex, as stored
    int8_t boneIndex;        // joint the vertex follows; -1 = none (never played back)
    float location[3];       // x, y, z in model units
};
