#pragma once
// The shipped piece models, read only through the system's own readers
// (RESFILE and MS3D), copied into plain arrays the checks can walk.
#include <array>
#include <cmath>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "loading/MS3D.h"
#include "loading/RESFILE.h"

namespace shapes_test {

inline std::string ResourcePath(const char* name) { return std::string(ZARNET_BUILD_RESOURCES) + name; }

struct Model {
    std::vector<std::array<double, 3>> positions;                  // model units
    std::vector<std::array<uint16_t, 3>> triangles;                // vertex indexes
    std::vector<std::array<std::array<double, 3>, 3>> normals;     // per corner
    std::vector<std::vector<uint16_t>> groups;                     // triangle indexes per group
};

// Reads lumps 0..63 of the container at `path`. False when it can't be
// opened, has fewer than 64 lumps, or a lump isn't a readable model.
inline bool LoadModels(const std::string& path, std::vector<Model>& models, std::string* why = nullptr)
{
    auto fail = [&](const std::string& reason) {
        if (why)
            *why = reason;
        return false;
    };
    RESFILE container;
    if (!container.Open(path.c_str()))
        return fail("can't open " + path);
    if (container.header.lumpCount < 64)
        return fail("fewer than 64 lumps");
    models.clear();
    for (int i = 0; i < 64; ++i) {
        MS3D model;
        if (!container.SeekLump(i) || !model.LoadFromFStream(&container.stream))
            return fail("lump " + std::to_string(i) + " isn't a readable model");
        Model m;
        for (int v = 0; v < model.numVertices; ++v) {
            const float* l = model.vertices[v].location;
            m.positions.push_back({l[0], l[1], l[2]});
        }
        for (int t = 0; t < model.numTriangles; ++t) {
            const MS3D_TRIANGLE& tri = model.triangles[t];
            m.triangles.push_back({tri.vertexIndices[0], tri.vertexIndices[1], tri.vertexIndices[2]});
            std::array<std::array<double, 3>, 3> n;
            for (int k = 0; k < 3; ++k)
                n[k] = {tri.vertexNormals[k][0], tri.vertexNormals[k][1], tri.vertexNormals[k][2]};
            m.normals.push_back(n);
        }
        for (int g = 0; g < model.numGroups; ++g)
            m.groups.emplace_back(model.groups[g].triangleIndices,
                                  model.groups[g].triangleIndices + model.groups[g].numTriangles);
        models.push_back(std::move(m));
    }
    return true;
}

inline std::array<double, 3> FaceNormal(const Model& m, size_t t, double* area = nullptr)
{
    const auto& a = m.positions[m.triangles[t][0]];
    const auto& b = m.positions[m.triangles[t][1]];
    const auto& c = m.positions[m.triangles[t][2]];
    double ux = b[0] - a[0], uy = b[1] - a[1], uz = b[2] - a[2];
    double vx = c[0] - a[0], vy = c[1] - a[1], vz = c[2] - a[2];
    std::array<double, 3> n = {uy * vz - uz * vy, uz * vx - ux * vz, ux * vy - uy * vx};
    double len = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    if (area)
        *area = 0.5 * len;
    if (len > 0)
        for (double& c2 : n)
            c2 /= len;
    return n;
}

// The piece's outline: the (x, y) of every corner of the side wall, that is
// of the triangles standing upright (face normal without z).
inline std::vector<std::array<double, 2>> Outline(const Model& m)
{
    std::map<std::pair<double, double>, bool> seen;
    std::vector<std::array<double, 2>> out;
    for (size_t t = 0; t < m.triangles.size(); ++t) {
        if (std::fabs(FaceNormal(m, t)[2]) > 1e-6)
            continue;
        for (uint16_t v : m.triangles[t]) {
            auto key = std::make_pair(m.positions[v][0], m.positions[v][1]);
            if (!seen[key]) {
                seen[key] = true;
                out.push_back({key.first, key.second});
            }
        }
    }
    return out;
}

}  // namespace shapes_test
