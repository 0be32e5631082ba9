#pragma once
// Small writers of the loaders' file formats, so every test input is built
// in code and its layout is known byte for byte.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace loadtest {

// Appends little-endian values to a byte string.
class Bytes {
public:
    Bytes& U8(unsigned v) { data_.push_back(static_cast<char>(v & 0xFF)); return *this; }
    Bytes& U16(unsigned v) { return U8(v).U8(v >> 8); }
    Bytes& U32(uint32_t v) { return U16(v & 0xFFFF).U16(v >> 16); }
    Bytes& F32(float f)
    {
        uint32_t v;
        std::memcpy(&v, &f, 4);
        return U32(v);
    }
    Bytes& Raw(const std::string& s) { data_ += s; return *this; }
    Bytes& Fixed(const std::string& s, size_t n)  // s padded with zero bytes to n
    {
        std::string f = s.substr(0, n);
        f.resize(n, '\0');
        return Raw(f);
    }
    size_t Size() const { return data_.size(); }
    const std::string& Str() const { return data_; }

private:
    std::string data_;
};

inline void PutU32(std::string& s, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i) {
        s[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    }
}

// ---- lump containers -------------------------------------------------------

struct Lump {
    std::string bytes;        // content
    uint32_t lumpType = 0;    // directory entry's type
    uint32_t alphaMode = 0;   // directory entry's alpha mode
};

struct ContainerLayout {
    uint32_t unused1 = 0, unused2 = 0;  // the uninterpreted header words
    uint8_t entryFiller = 0;            // byte for the entries' last 12 bytes
};

// Header, then the lumps in order, then the directory at the end; the size
// check is computed last from the final length.
inline std::string MakeContainer(const std::vector<Lump>& lumps, ContainerLayout layout = {})
{
    Bytes body;
    std::vector<uint32_t> offsets;
    size_t at = 24;
    for (const Lump& l : lumps) {
        offsets.push_back(static_cast<uint32_t>(at));
        at += l.bytes.size();
    }
    Bytes out;
    out.Raw("VANF").U32(layout.unused1).U32(layout.unused2).U32(static_cast<uint32_t>(lumps.size()))
        .U32(0).U32(static_cast<uint32_t>(at));
    for (const Lump& l : lumps) {
        out.Raw(l.bytes);
    }
    for (size_t i = 0; i < lumps.size(); ++i) {
        out.U32(static_cast<uint32_t>(lumps[i].bytes.size())).U32(offsets[i]).U32(lumps[i].lumpType)
            .U32(lumps[i].alphaMode);
        for (int k = 0; k < 12; ++k) {
            out.U8(layout.entryFiller);
        }
    }
    std::string s = out.Str();
    PutU32(s, 16, ~static_cast<uint32_t>(s.size()));
    return s;
}

// Recomputes the size check after a test has edited the bytes.
inline void FixSizeCheck(std::string& container)
{
    if (container.size() >= 20) {
        PutU32(container, 16, ~static_cast<uint32_t>(container.size()));
    }
}

// ---- MS3D models -----------------------------------------------------------

struct ModelVertex {
    float x, y, z;
    int8_t bone = -1;
    uint8_t refs = 1;
};
struct ModelTriangle {
    uint16_t v[3];
    float normal[3][3];
    float s[3], t[3];
};
struct ModelGroup {
    std::string name;
    std::vector<uint16_t> triangles;
    int8_t material = -1;
};
struct ModelKey {
    float time, x, y, z;
};
struct ModelJoint {
    std::string name, parent;
    float rotation[3], position[3];
    std::vector<ModelKey> rotationKeys, translationKeys;
};
struct Model {
    int32_t version = 4;
    std::string id = "MS3D000000";
    std::vector<ModelVertex> vertices;
    std::vector<ModelTriangle> triangles;
    std::vector<ModelGroup> groups;
    int materials = 0;  // that many materials, filled with a pattern
    float fps = 24.0f, currentTime = 1.5f;
    int32_t totalFrames = 30;
    std::vector<ModelJoint> joints;
    std::string tail;   // bytes after the joints (a version-4 file's later sections)
};

inline std::string WriteModel(const Model& m)
{
    Bytes b;
    b.Fixed(m.id, 10).U32(static_cast<uint32_t>(m.version));
    b.U16(static_cast<unsigned>(m.vertices.size()));
    for (const ModelVertex& v : m.vertices) {
        b.U8(0).F32(v.x).F32(v.y).F32(v.z).U8(static_cast<uint8_t>(v.bone)).U8(v.refs);
    }
    b.U16(static_cast<unsigned>(m.triangles.size()));
    for (const ModelTriangle& t : m.triangles) {
        b.U16(0).U16(t.v[0]).U16(t.v[1]).U16(t.v[2]);
        for (const auto& n : t.normal) {
            b.F32(n[0]).F32(n[1]).F32(n[2]);
        }
        b.F32(t.s[0]).F32(t.s[1]).F32(t.s[2]).F32(t.t[0]).F32(t.t[1]).F32(t.t[2]).U8(1).U8(0);
    }
    b.U16(static_cast<unsigned>(m.groups.size()));
    for (const ModelGroup& g : m.groups) {
        b.U8(0).Fixed(g.name, 32).U16(static_cast<unsigned>(g.triangles.size()));
        for (uint16_t i : g.triangles) {
            b.U16(i);
        }
        b.U8(static_cast<uint8_t>(g.material));
    }
    b.U16(static_cast<unsigned>(m.materials));
    for (int i = 0; i < m.materials; ++i) {
        b.Fixed("material" + std::to_string(i), 32);
        for (int k = 0; k < 18; ++k) {
            b.F32(0.05f * k + i);
        }
        b.U8(3).Fixed("skin.tga", 128).Fixed("", 128);
    }
    b.F32(m.fps).F32(m.currentTime).U32(static_cast<uint32_t>(m.totalFrames));
    b.U16(static_cast<unsigned>(m.joints.size()));
    for (const ModelJoint& j : m.joints) {
        b.U8(8).Fixed(j.name, 32).Fixed(j.parent, 32);
        for (float r : j.rotation) b.F32(r);
        for (float p : j.position) b.F32(p);
        b.U16(static_cast<unsigned>(j.rotationKeys.size())).U16(static_cast<unsigned>(j.translationKeys.size()));
        for (const ModelKey& k : j.rotationKeys) b.F32(k.time).F32(k.x).F32(k.y).F32(k.z);
        for (const ModelKey& k : j.translationKeys) b.F32(k.time).F32(k.x).F32(k.y).F32(k.z);
    }
    b.Raw(m.tail);
    return b.Str();
}

// A small model with every section filled: four vertices, two triangles
// in one group (the second also in a second group), a material and a
// joint with keys of both kinds.
inline Model SmallModel()
{
    Model m;
    m.vertices = {{40, -20, 4, 0, 2}, {-40, -20, 4}, {-40, 20, 4, 2, 7}, {40, 20, 4}};
    ModelTriangle a{{0, 2, 1}, {{0, 0, 1}, {0, 0.6f, 0.8f}, {0.6f, 0, 0.8f}}, {1, 0, 0}, {0.25f, 1, 0}};
    ModelTriangle b{{0, 3, 2}, {{0, 0, 1}, {0, 0, 1}, {0, 0, 1}}, {1, 1, 0}, {0, 1, 1}};
    m.triangles = {a, b};
    m.groups = {{"front", {0, 1}, 0}, {"again", {1}, -1}};
    m.materials = 1;
    ModelJoint j{"root", "", {0.1f, 0.2f, 0.3f}, {40, 80, -120}, {{0.5f, 1, 2, 3}}, {{0.5f, 40, -40, 4}, {1, 8, 0, 0}}};
    m.joints = {j};
    return m;
}

// ---- TGA images ------------------------------------------------------------

// The 12-byte file header of an image of the given type, with optional
// ID length, colour-map type and origin to make refused kinds.
inline std::string TgaFileHeader(unsigned imageType, unsigned idLength = 0, unsigned colourMapType = 0,
                                 unsigned xOrigin = 0, unsigned yOrigin = 0)
{
    Bytes b;
    b.U8(idLength).U8(colourMapType).U8(imageType).U16(0).U16(0).U8(0).U16(xOrigin).U16(yOrigin);
    return b.Str();
}

inline std::string TgaInfoHeader(unsigned width, unsigned height, unsigned bpp, unsigned descriptor = 0)
{
    Bytes b;
    b.U16(width).U16(height).U8(bpp).U8(descriptor);
    return b.Str();
}

// A stored pixel: B, G, R[, A] as the file holds it, from R, G, B, A.
inline std::string TgaPixel(unsigned r, unsigned g, unsigned b, unsigned a, unsigned bpp)
{
    Bytes p;
    p.U8(b).U8(g).U8(r);
    if (bpp == 32) {
        p.U8(a);
    }
    return p.Str();
}

// Decoded pixels of a test pattern: R, G, B[, A] rows, top to bottom as stored.
inline std::vector<unsigned char> TgaPattern(unsigned width, unsigned height, unsigned bpp)
{
    const unsigned bytes = bpp / 8;
    std::vector<unsigned char> px(static_cast<size_t>(width) * height * bytes);
    for (size_t i = 0; i < static_cast<size_t>(width) * height; ++i) {
        px[i * bytes + 0] = static_cast<unsigned char>(i * 3 + 1);
        px[i * bytes + 1] = static_cast<unsigned char>(i * 5 + 2);
        px[i * bytes + 2] = static_cast<unsigned char>(i * 7 + 3);
        if (bytes == 4) {
            px[i * bytes + 3] = static_cast<unsigned char>(i * 11 + 4);
        }
    }
    return px;
}

// A type 2 image holding `pixels` (R, G, B[, A] order, converted to B, G, R[, A]).
inline std::string UncompressedTga(unsigned width, unsigned height, unsigned bpp,
                                   const std::vector<unsigned char>& pixels, unsigned descriptor = 0)
{
    std::string s = TgaFileHeader(2) + TgaInfoHeader(width, height, bpp, descriptor);
    const unsigned bytes = bpp / 8;
    for (size_t i = 0; i + bytes <= pixels.size(); i += bytes) {
        s += TgaPixel(pixels[i], pixels[i + 1], pixels[i + 2], bytes == 4 ? pixels[i + 3] : 0, bpp);
    }
    return s;
}

// One RLE packet: a run of `count` copies of pixel 0 of `pixels`, or a raw
// packet of all of `pixels` (R, G, B[, A] order).
struct TgaPacket {
    bool run;
    unsigned count;                    // pixels the packet carries (1 to 128)
    std::vector<unsigned char> pixels; // one pixel for a run, `count` for raw
};

inline std::string CompressedTga(unsigned width, unsigned height, unsigned bpp, const std::vector<TgaPacket>& packets)
{
    std::string s = TgaFileHeader(10) + TgaInfoHeader(width, height, bpp);
    const unsigned bytes = bpp / 8;
    for (const TgaPacket& p : packets) {
        Bytes h;
        h.U8(p.run ? 127 + p.count : p.count - 1);
        s += h.Str();
        for (size_t i = 0; i + bytes <= p.pixels.size(); i += bytes) {
            s += TgaPixel(p.pixels[i], p.pixels[i + 1], p.pixels[i + 2], bytes == 4 ? p.pixels[i + 3] : 0, bpp);
        }
    }
    return s;
}

}  // namespace loadtest
