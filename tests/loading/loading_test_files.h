#pragma once
// Small writers of the loaders' file formats, so every test input (and the
// fuzz seeds) is built in code and its layout is known byte for byte.
#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace loadtest {

// The files are little-endian, and so is every host the readers run on.
static_assert(std::endian::native == std::endian::little);

// The values' bytes, one after another.
template <class... T> std::string Bytes(T... values)
{
    std::string s;
    (s.append(reinterpret_cast<const char*>(&values), sizeof values), ...);
    return s;
}

// `s` with the 32-bit word at `at` replaced by `v`.
inline std::string With(std::string s, size_t at, uint32_t v)
{
    return std::memcpy(&s[at], &v, 4), s;
}

// `text` padded with zero bytes (or cut) to `size`.
inline std::string Fixed(std::string text, size_t size)
{
    return text.resize(size, '\0'), text;
}

// ---- lump containers: header, the lumps in order, the directory last -------

struct Lump {
    std::string bytes;
    uint32_t lumpType = 0, alphaMode = 0;
};

inline std::string MakeContainer(const std::vector<Lump>& lumps)
{
    std::string s = "VANF" + Bytes(0u, 0u, static_cast<uint32_t>(lumps.size()), 0u, 0u), directory;
    for (const Lump& l : lumps) {
        directory += Bytes(uint32_t(l.bytes.size()), uint32_t(s.size()), l.lumpType, l.alphaMode, 0u, 0u, 0u);
        s += l.bytes;
    }
    s = With(s, 20, static_cast<uint32_t>(s.size())) + directory;
    return With(s, 16, ~static_cast<uint32_t>(s.size()));  // the size check, computed last
}

// ---- MS3D models -----------------------------------------------------------

struct ModelVertex {
    float x, y, z;
    int8_t bone = -1;
    uint8_t refs = 1;
};
struct ModelTriangle {
    uint16_t v[3];
    float normal[3][3], s[3], t[3];
};
struct ModelGroup {
    std::string name;
    std::vector<uint16_t> triangles;
    int8_t material = -1;
};
struct ModelJoint {
    std::string name;
    uint16_t rotationKeys = 1, translationKeys = 2;
};  // keys: a pattern
struct Model {
    int32_t version = 4;
    std::string id = "MS3D000000";
    std::vector<ModelVertex> vertices;
    std::vector<ModelTriangle> triangles;
    std::vector<ModelGroup> groups;
    int materials = 0;  // that many materials, filled with a pattern
    std::vector<ModelJoint> joints;
};

inline std::string WriteModel(const Model& m)
{
    std::string b = Fixed(m.id, 10) + Bytes(m.version, uint16_t(m.vertices.size()));
    for (const ModelVertex& v : m.vertices)
        b += Bytes(uint8_t(0), v.x, v.y, v.z, v.bone, v.refs);
    b += Bytes(uint16_t(m.triangles.size()));
    for (const ModelTriangle& t : m.triangles) {
        b += Bytes(uint16_t(0), t.v[0], t.v[1], t.v[2]);
        for (const auto& n : t.normal)
            b += Bytes(n[0], n[1], n[2]);
        b += Bytes(t.s[0], t.s[1], t.s[2], t.t[0], t.t[1], t.t[2], uint8_t(1), uint8_t(0));
    }
    b += Bytes(uint16_t(m.groups.size()));
    for (const ModelGroup& g : m.groups) {
        b += '\0' + Fixed(g.name, 32) + Bytes(uint16_t(g.triangles.size()));
        for (uint16_t i : g.triangles)
            b += Bytes(i);
        b += Bytes(g.material);
    }
    b += Bytes(uint16_t(m.materials));
    for (int i = 0; i < m.materials; ++i) {
        b += Fixed("material" + std::to_string(i), 32);
        for (int k = 0; k < 18; ++k)  // four colours, shininess, transparency
            b += Bytes(0.05f * k + i);
        b += '\3' + Fixed("skin.tga", 128) + Fixed("", 128);
    }
    b += Bytes(24.0f, 1.5f, 30, uint16_t(m.joints.size()));  // fps, current time, frames
    for (const ModelJoint& j : m.joints) {
        b += '\x08' + Fixed(j.name, 32) + Fixed("", 32);
        b += Bytes(0.1f, 0.2f, 0.3f, 40.0f, 80.0f, -120.0f, j.rotationKeys, j.translationKeys);
        for (int k = 0; k < j.rotationKeys + j.translationKeys; ++k)
            b += Bytes(0.5f * k, 40.0f, -40.0f, 4.0f);
    }
    return b;
}

// Four vertices, two triangles in one group (the second also in a second
// group), a material and a joint with keys of both kinds.
inline Model SmallModel()
{
    Model m;
    m.vertices = {{40, -20, 4, 0, 2}, {-40, -20, 4}, {-40, 20, 4, 2, 7}, {40, 20, 4}};
    m.triangles = {{{0, 2, 1}, {{0, 0, 1}, {0, 0.6f, 0.8f}, {0.6f, 0, 0.8f}}, {1, 0, 0}, {0.25f, 1, 0}},
                   {{0, 3, 2}, {{0, 0, 1}, {0, 0, 1}, {0, 0, 1}}, {1, 1, 0}, {0, 1, 1}}};
    m.groups = {{"front", {0, 1}, 0}, {"again", {1}, -1}};
    m.materials = 1;
    m.joints = {{"root"}};
    return m;
}

// ---- TGA images --------------------------------------------------------------

inline std::string TgaHeaders(unsigned type, unsigned width, unsigned height, unsigned bpp, unsigned idLength = 0,
                              unsigned colourMapType = 0)
{
    return Bytes(uint8_t(idLength), uint8_t(colourMapType), uint8_t(type), 0u, uint8_t(0), 0u) +  // 12-byte file header
           Bytes(uint16_t(width), uint16_t(height), uint8_t(bpp), uint8_t(0));                    // 6-byte info header
}

// Pixels given as R, G, B[, A], the way the file stores them: B, G, R[, A].
inline std::string Stored(const std::vector<unsigned char>& px, unsigned bpp)
{
    std::string s;
    for (size_t i = 0; i + bpp / 8 <= px.size(); i += bpp / 8)
        for (size_t k : {2, 1, 0, 3})
            s += k < bpp / 8 ? std::string(1, static_cast<char>(px[i + k])) : "";
    return s;
}

inline std::vector<unsigned char> TgaPattern(unsigned width, unsigned height, unsigned bpp)
{
    std::vector<unsigned char> px(static_cast<size_t>(width) * height * (bpp / 8));
    for (size_t i = 0; i < px.size(); ++i)
        px[i] = static_cast<unsigned char>(i * 7 + 3);
    return px;
}

inline std::string UncompressedTga(unsigned width, unsigned height, unsigned bpp, const std::vector<unsigned char>& px)
{
    return TgaHeaders(2, width, height, bpp) + Stored(px, bpp);
}

// A run of `count` copies of its one pixel, or a raw packet of `count` pixels.
struct TgaPacket {
    bool run;
    unsigned count;
    std::vector<unsigned char> pixels;
};

inline std::string CompressedTga(unsigned width, unsigned height, unsigned bpp, const std::vector<TgaPacket>& packets)
{
    std::string s = TgaHeaders(10, width, height, bpp);
    for (const TgaPacket& p : packets)
        s += char(p.run ? 127 + p.count : p.count - 1) + Stored(p.pixels, bpp);
    return s;
}

}  // namespace loadtest
