#pragma once
// Writing MilkShape 3D models (version 4, nothing after the joint section)
// from a plain triangle mesh. Header-only so that the tests can make models
// of their own with the same code.
#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace ms3dw {

struct Triangle {
    std::array<uint16_t, 3> v{};              // vertex indexes, counter-clockwise seen from outside
    std::array<std::array<float, 3>, 3> n{};  // one normal per corner
    std::array<float, 3> s{};                 // texture coordinate per corner
    std::array<float, 3> t{};
    uint8_t group = 0;  // index into Mesh::groups
};

struct Mesh {
    std::vector<std::array<float, 3>> positions;  // model units
    std::vector<Triangle> triangles;
    std::vector<std::string> groups;  // group names (at most 31 bytes are kept); every triangle names one
};

inline void PutU8(std::vector<uint8_t>& out, uint8_t v)
{
    out.push_back(v);
}

inline void PutU16(std::vector<uint8_t>& out, uint16_t v)
{
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}

inline void PutI32(std::vector<uint8_t>& out, int32_t v)
{
    uint32_t u = uint32_t(v);
    for (int k = 0; k < 4; ++k)
        out.push_back(uint8_t(u >> (8 * k)));
}

inline void PutF32(std::vector<uint8_t>& out, float f)
{
    uint32_t u;
    std::memcpy(&u, &f, 4);
    for (int k = 0; k < 4; ++k)
        out.push_back(uint8_t(u >> (8 * k)));
}

inline void PutName(std::vector<uint8_t>& out, const std::string& name, size_t size)
{
    for (size_t k = 0; k < size; ++k)
        out.push_back(k + 1 < size && k < name.size() ? uint8_t(name[k]) : 0);
}

// Serialises `mesh`. False (out untouched) when a count doesn't fit 16 bits,
// an index is out of range or a triangle names no existing group.
inline bool Write(const Mesh& mesh, std::vector<uint8_t>& out)
{
    if (mesh.positions.size() > 0xFFFF || mesh.triangles.size() > 0xFFFF || mesh.groups.size() > 255)
        return false;
    std::vector<std::vector<uint16_t>> members(mesh.groups.size());
    std::vector<int> references(mesh.positions.size(), 0);
    for (size_t i = 0; i < mesh.triangles.size(); ++i) {
        const Triangle& tri = mesh.triangles[i];
        if (tri.group >= mesh.groups.size())
            return false;
        for (uint16_t v : tri.v) {
            if (v >= mesh.positions.size())
                return false;
            ++references[v];
        }
        members[tri.group].push_back(uint16_t(i));
    }

    std::vector<uint8_t> file;
    const char id[] = "MS3D000000";
    file.insert(file.end(), id, id + 10);
    PutI32(file, 4);

    PutU16(file, uint16_t(mesh.positions.size()));
    for (size_t i = 0; i < mesh.positions.size(); ++i) {
        PutU8(file, 0);  // flags
        for (float c : mesh.positions[i])
            PutF32(file, c);
        PutU8(file, 0xFF);  // bone index -1: no joint
        PutU8(file, uint8_t(references[i] > 255 ? 255 : references[i]));
    }

    PutU16(file, uint16_t(mesh.triangles.size()));
    for (const Triangle& tri : mesh.triangles) {
        PutU16(file, 0);  // flags
        for (uint16_t v : tri.v)
            PutU16(file, v);
        for (const auto& normal : tri.n)
            for (float c : normal)
                PutF32(file, c);
        for (float c : tri.s)
            PutF32(file, c);
        for (float c : tri.t)
            PutF32(file, c);
        PutU8(file, 1);  // smoothing group
        PutU8(file, tri.group);
    }

    PutU16(file, uint16_t(mesh.groups.size()));
    for (size_t g = 0; g < mesh.groups.size(); ++g) {
        PutU8(file, 0);  // flags
        PutName(file, mesh.groups[g], 32);
        PutU16(file, uint16_t(members[g].size()));
        for (uint16_t index : members[g])
            PutU16(file, index);
        PutU8(file, 0xFF);  // material index -1: none
    }

    PutU16(file, 0);      // materials
    PutF32(file, 24.0f);  // animation frames per second
    PutF32(file, 0.0f);   // current time
    PutI32(file, 1);      // total frames
    PutU16(file, 0);      // joints
    out.swap(file);
    return true;
}

}  // namespace ms3dw
