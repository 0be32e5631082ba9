#pragma once
#include <cstdint>
#include <istream>

#include "loading/MS3D_GROUP.h"
#include "loading/MS3D_JOINT.h"
#include "loading/MS3D_MATERIAL.h"
#include "loading/MS3D_TRIANGLE.h"
#include "loading/MS3D_VERTEX.h"

// One MilkShape 3D model (versions 3 and 4) read from a stream positioned
// at its first byte. Owns every array; counts always match them.
class MS3D {
public:
    uint16_t numVertices;      // length of vertices
    MS3D_VERTEX* vertices;     // array new; null when none
    uint16_t numTriangles;     // length of triangles
    MS3D_TRIANGLE* triangles;  // array new; null when none
    uint16_t numGroups;        // length of groups
    MS3D_GROUP* groups;        // array new; null when none
    uint16_t numMaterials;     // length of materials
    MS3D_MATERIAL* materials;  // array new; null when none
    uint16_t numJoints;        // length of joints
    MS3D_JOINT* joints;        // array new; null when none
    int totalFrames;           // animation length in frames, as stored
    float animationFPS;        // frames per second, as stored

    MS3D();
    ~MS3D();  // releases every array
    MS3D(const MS3D&) = delete;
    MS3D& operator=(const MS3D&) = delete;

    // Reads the model from `stream`'s position, once, on a fresh model. False
    // for a wrong identifier or version, a model that ends early (a count
    // larger than what is left of the stream included), or a vertex or
    // triangle index out of range. Sections after the joints stay unread.
    bool LoadFromFStream(std::istream* stream);
    // Multiplies vertex positions, joint positions and translation keys by factor.
    void Scale(float factor);
    // Issues every group's triangles in immediate mode (normal, texture
    // coordinate s, 1 - t, vertex per corner). Needs a current GL context.
    void Render();
};
