#include "loading/MS3D.h"

#include <cstring>
#include <new>

#include "loading/StreamBytes.h"
#include "math/ERRORCLOSE.h"

namespace {

// Record sizes in the file, bytes.
constexpr uint64_t kVertexBytes = 15;
constexpr uint64_t kTriangleBytes = 70;
constexpr uint64_t kGroupHeadBytes = 1 + 32 + 2;          // flags, name, triangle count
constexpr uint64_t kGroupMinBytes = kGroupHeadBytes + 1;  // with no triangle indexes
constexpr uint64_t kMaterialBytes = 361;
constexpr uint64_t kAnimationBytes = 12;
constexpr uint64_t kJointHeadBytes = 1 + 32 + 32 + 12 + 12 + 2 + 2;  // with no keys
constexpr uint64_t kKeyframeBytes = 16;

// The model's stream, read one record at a time. It knows how many bytes
// are left, so a count is checked against them before its array is
// allocated; the first short read makes every later read fail too.
class ModelStream {
public:
    ModelStream(std::istream& stream, uint64_t left) : stream_(stream), left_(left) {}

    bool Bytes(void* out, uint64_t size)
    {
        if (!ok_ || size > left_) {
            return Fail();
        }
        if (!ReadBytes(stream_, out, size)) {
            ok_ = false;
            return false;
        }
        left_ -= size;
        return true;
    }
    bool U16(uint16_t& value)
    {
        unsigned char raw[2];
        if (!Bytes(raw, 2)) {
            return false;
        }
        value = static_cast<uint16_t>(raw[0] | raw[1] << 8);
        return true;
    }
    // Whether `count` records of at least `size` bytes each can still be
    // there. A count that can't is a model that ends early: the stream is
    // left failed, as a read past its end would have left it.
    bool Fits(uint64_t count, uint64_t size)
    {
        if (!ok_ || count * size > left_) {
            return Fail();
        }
        return true;
    }

private:
    bool Fail()
    {
        ok_ = false;
        stream_.setstate(std::ios::failbit);
        return false;
    }

    std::istream& stream_;
    uint64_t left_;  // bytes left in the stream, or UINT64_MAX when unknown
    bool ok_ = true;
};

// Little-endian fields of one record already read into memory.
class RecordFields {
public:
    explicit RecordFields(const unsigned char* bytes) : at_(bytes) {}

    uint8_t U8() { return *at_++; }
    int8_t I8() { return static_cast<int8_t>(*at_++); }
    uint16_t U16()
    {
        const uint16_t v = static_cast<uint16_t>(at_[0] | at_[1] << 8);
        at_ += 2;
        return v;
    }
    uint32_t U32()
    {
        const uint32_t v = static_cast<uint32_t>(at_[0]) | static_cast<uint32_t>(at_[1]) << 8 |
                           static_cast<uint32_t>(at_[2]) << 16 | static_cast<uint32_t>(at_[3]) << 24;
        at_ += 4;
        return v;
    }
    float F32()
    {
        const uint32_t raw = U32();
        float v;
        std::memcpy(&v, &raw, sizeof v);
        return v;
    }
    void Floats(float* out, int count)
    {
        for (int i = 0; i < count; ++i) {
            out[i] = F32();
        }
    }
    void Chars(char* out, size_t count)
    {
        std::memcpy(out, at_, count);
        at_ += count;
    }

private:
    const unsigned char* at_;  // next unread byte of the record
};

// Reads a count, checks that many records of at least `size` bytes can
// follow, and allocates them value-initialised (so nested pointers start
// null). On failure the count is 0 and the array null.
template <typename Record> bool ReadCountAndAllocate(ModelStream& in, uint64_t size, uint16_t& count, Record*& array)
{
    count = 0;
    array = nullptr;
    uint16_t stored = 0;
    if (!in.U16(stored) || !in.Fits(stored, size)) {
        return false;
    }
    array = new (std::nothrow) Record[stored]();
    if (!array) {
        return false;
    }
    count = stored;
    return true;
}

// Allocates and reads `count` key frames into `keys`.
bool ReadKeyframes(ModelStream& in, uint16_t count, uint16_t& keptCount, MS3D_KEYFRAME*& keys)
{
    keys = new (std::nothrow) MS3D_KEYFRAME[count]();
    if (!keys) {
        return false;
    }
    keptCount = count;
    for (uint16_t k = 0; k < count; ++k) {
        unsigned char raw[kKeyframeBytes];
        if (!in.Bytes(raw, sizeof raw)) {
            return false;
        }
        RecordFields f(raw);
        keys[k].time = f.F32();
        f.Floats(keys[k].value, 3);
    }
    return true;
}

}  // namespace

MS3D::MS3D()
    : numVertices(0), vertices(nullptr), numTriangles(0), triangles(nullptr), numGroups(0), groups(nullptr),
      numMaterials(0), materials(nullptr), numJoints(0), joints(nullptr), totalFrames(0), animationFPS(0.0f)
{
}

MS3D::~MS3D()
{
    delete[] vertices;
    delete[] triangles;
    if (groups) {
        for (uint16_t g = 0; g < numGroups; ++g) {
            delete[] groups[g].triangleIndices;
        }
    }
    delete[] groups;
    delete[] materials;
    if (joints) {
        for (uint16_t j = 0; j < numJoints; ++j) {
            delete[] joints[j].rotationKeys;
            delete[] joints[j].translationKeys;
        }
    }
    delete[] joints;
}

bool MS3D::LoadFromFStream(std::istream* stream)
{
    if (!stream) {
        return false;
    }
    char id[10] = {};
    unsigned char versionBytes[4] = {};
    const bool headerRead = ReadBytes(*stream, id, sizeof id) && ReadBytes(*stream, versionBytes, sizeof versionBytes);
    const int32_t version = static_cast<int32_t>(
        static_cast<uint32_t>(versionBytes[0]) | static_cast<uint32_t>(versionBytes[1]) << 8 |
        static_cast<uint32_t>(versionBytes[2]) << 16 | static_cast<uint32_t>(versionBytes[3]) << 24);
    if (!headerRead || std::memcmp(id, "MS3D000000", sizeof id) != 0 || (version != 3 && version != 4)) {
        ERRORCLOSE("Not a valid MS3D file!");
        return false;
    }

    ModelStream in(*stream, BytesLeftInStream(*stream));

    if (!ReadCountAndAllocate(in, kVertexBytes, numVertices, vertices)) {
        return false;
    }
    for (uint16_t i = 0; i < numVertices; ++i) {
        unsigned char raw[kVertexBytes];
        if (!in.Bytes(raw, sizeof raw)) {
            return false;
        }
        RecordFields f(raw);
        MS3D_VERTEX& v = vertices[i];
        v.flags = f.U8();
        f.Floats(v.location, 3);
        v.boneIndex = f.I8();
        v.referenceCount = f.U8();
    }

    if (!ReadCountAndAllocate(in, kTriangleBytes, numTriangles, triangles)) {
        return false;
    }
    for (uint16_t i = 0; i < numTriangles; ++i) {
        unsigned char raw[kTriangleBytes];
        if (!in.Bytes(raw, sizeof raw)) {
            return false;
        }
        RecordFields f(raw);
        MS3D_TRIANGLE& t = triangles[i];
        t.flags = f.U16();
        for (uint16_t& index : t.vertexIndices) {
            index = f.U16();
            if (index >= numVertices) {
                return false;  // a corner that names no vertex
            }
        }
        f.Floats(&t.vertexNormals[0][0], 9);
        f.Floats(t.s, 3);
        f.Floats(t.t, 3);
        t.smoothingGroup = f.U8();
        t.groupIndex = f.U8();
    }

    if (!ReadCountAndAllocate(in, kGroupMinBytes, numGroups, groups)) {
        return false;
    }
    for (uint16_t i = 0; i < numGroups; ++i) {
        unsigned char head[kGroupHeadBytes];
        if (!in.Bytes(head, sizeof head)) {
            return false;
        }
        RecordFields f(head);
        MS3D_GROUP& g = groups[i];
        g.flags = f.U8();
        f.Chars(g.name, sizeof g.name);
        const uint16_t count = f.U16();
        // The indexes and the material byte must follow.
        if (!in.Fits(uint64_t{count} * 2 + 1, 1)) {
            return false;
        }
        g.triangleIndices = new (std::nothrow) uint16_t[count]();
        if (!g.triangleIndices) {
            return false;
        }
        g.numTriangles = count;
        // Straight into the array, then decoded in place.
        if (!in.Bytes(g.triangleIndices, uint64_t{count} * 2)) {
            return false;
        }
        const unsigned char* raw = reinterpret_cast<const unsigned char*>(g.triangleIndices);
        for (uint16_t k = 0; k < count; ++k) {
            const uint16_t index = static_cast<uint16_t>(raw[2 * size_t(k)] | raw[2 * size_t(k) + 1] << 8);
            if (index >= numTriangles) {
                return false;  // a group entry that names no triangle
            }
            g.triangleIndices[k] = index;
        }
        unsigned char material = 0;
        if (!in.Bytes(&material, 1)) {
            return false;
        }
        g.materialIndex = static_cast<int8_t>(material);
    }

    if (!ReadCountAndAllocate(in, kMaterialBytes, numMaterials, materials)) {
        return false;
    }
    for (uint16_t i = 0; i < numMaterials; ++i) {
        unsigned char raw[kMaterialBytes];
        if (!in.Bytes(raw, sizeof raw)) {
            return false;
        }
        RecordFields f(raw);
        MS3D_MATERIAL& m = materials[i];
        f.Chars(m.name, sizeof m.name);
        f.Floats(m.ambient, 4);
        f.Floats(m.diffuse, 4);
        f.Floats(m.specular, 4);
        f.Floats(m.emissive, 4);
        m.shininess = f.F32();
        m.transparency = f.F32();
        m.mode = f.U8();
        f.Chars(m.texture, sizeof m.texture);
        f.Chars(m.alphaMap, sizeof m.alphaMap);
    }

    {
        unsigned char raw[kAnimationBytes];
        if (!in.Bytes(raw, sizeof raw)) {
            return false;
        }
        RecordFields f(raw);
        animationFPS = f.F32();
        f.F32();  // the editor's play position; not kept
        totalFrames = static_cast<int32_t>(f.U32());
    }

    if (!ReadCountAndAllocate(in, kJointHeadBytes, numJoints, joints)) {
        return false;
    }
    for (uint16_t i = 0; i < numJoints; ++i) {
        unsigned char raw[kJointHeadBytes];
        if (!in.Bytes(raw, sizeof raw)) {
            return false;
        }
        RecordFields f(raw);
        MS3D_JOINT& j = joints[i];
        j.flags = f.U8();
        f.Chars(j.name, sizeof j.name);
        f.Chars(j.parentName, sizeof j.parentName);
        f.Floats(j.rotation, 3);
        f.Floats(j.position, 3);
        const uint16_t rotationCount = f.U16();
        const uint16_t translationCount = f.U16();
        if (!in.Fits(uint64_t{rotationCount} + translationCount, kKeyframeBytes) ||
            !ReadKeyframes(in, rotationCount, j.numRotationKeys, j.rotationKeys) ||
            !ReadKeyframes(in, translationCount, j.numTranslationKeys, j.translationKeys)) {
            return false;
        }
    }
    return true;
}

void MS3D::Scale(float factor)
{
    for (uint16_t i = 0; i < numVertices; ++i) {
        for (float& c : vertices[i].location) {
            c *= factor;
        }
    }
    for (uint16_t i = 0; i < numJoints; ++i) {
        MS3D_JOINT& j = joints[i];
        for (float& c : j.position) {
            c *= factor;
        }
        for (uint16_t k = 0; k < j.numTranslationKeys; ++k) {
            for (float& c : j.translationKeys[k].value) {
                c *= factor;
            }
        }
    }
}
