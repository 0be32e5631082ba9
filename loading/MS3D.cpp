#include "loading/MS3D.h"

#include <cstring>
#include <new>

#include "loading/StreamBytes.h"
#include "math/ERRORCLOSE.h"

namespace {

// Record sizes in the file, bytes.
constexpr uint64_t kVertexBytes = 15;
constexpr uint64_t kTriangleBytes = 70;
constexpr uint64_t kGroupMinBytes = 1 + 32 + 2 + 1;  // with no triangle indexes
constexpr uint64_t kMaterialBytes = 361;
constexpr uint64_t kJointMinBytes = 1 + 32 + 32 + 12 + 12 + 2 + 2;  // with no keys
constexpr uint64_t kKeyframeBytes = 16;

// Little-endian field reader over the model's stream. It knows how many
// bytes are left, so a count is checked against them before its array is
// allocated; the first short read makes every later read fail too.
class FieldReader {
public:
    FieldReader(std::istream& stream, uint64_t left) : stream_(stream), left_(left) {}

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
    bool U8(uint8_t& value) { return Bytes(&value, 1); }
    bool I8(int8_t& value)
    {
        uint8_t raw = 0;
        if (!U8(raw)) {
            return false;
        }
        value = static_cast<int8_t>(raw);
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
    bool U32(uint32_t& value)
    {
        unsigned char raw[4];
        if (!Bytes(raw, 4)) {
            return false;
        }
        value = static_cast<uint32_t>(raw[0]) | static_cast<uint32_t>(raw[1]) << 8 |
                static_cast<uint32_t>(raw[2]) << 16 | static_cast<uint32_t>(raw[3]) << 24;
        return true;
    }
    bool I32(int& value)
    {
        uint32_t raw = 0;
        if (!U32(raw)) {
            return false;
        }
        value = static_cast<int32_t>(raw);
        return true;
    }
    bool F32(float& value)
    {
        uint32_t raw = 0;
        if (!U32(raw)) {
            return false;
        }
        std::memcpy(&value, &raw, sizeof value);
        return true;
    }
    bool Floats(float* values, int count)
    {
        for (int i = 0; i < count; ++i) {
            if (!F32(values[i])) {
                return false;
            }
        }
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

// Reads a count, checks that many records of at least `size` bytes can
// follow, and allocates them value-initialised (so nested pointers start
// null). On failure the count is 0 and the array null.
template <typename Record>
bool ReadCountAndAllocate(FieldReader& in, uint64_t size, uint16_t& count, Record*& array)
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

bool ReadKeyframes(FieldReader& in, uint16_t count, MS3D_KEYFRAME* keys)
{
    for (uint16_t k = 0; k < count; ++k) {
        if (!in.F32(keys[k].time) || !in.Floats(keys[k].value, 3)) {
            return false;
        }
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
    const int32_t version = static_cast<int32_t>(static_cast<uint32_t>(versionBytes[0]) |
                                                 static_cast<uint32_t>(versionBytes[1]) << 8 |
                                                 static_cast<uint32_t>(versionBytes[2]) << 16 |
                                                 static_cast<uint32_t>(versionBytes[3]) << 24);
    if (!headerRead || std::memcmp(id, "MS3D000000", sizeof id) != 0 || (version != 3 && version != 4)) {
        ERRORCLOSE("Not a valid MS3D file!");
        return false;
    }

    FieldReader in(*stream, BytesLeftInStream(*stream));

    if (!ReadCountAndAllocate(in, kVertexBytes, numVertices, vertices)) {
        return false;
    }
    for (uint16_t i = 0; i < numVertices; ++i) {
        MS3D_VERTEX& v = vertices[i];
        if (!in.U8(v.flags) || !in.Floats(v.location, 3) || !in.I8(v.boneIndex) || !in.U8(v.referenceCount)) {
            return false;
        }
    }

    if (!ReadCountAndAllocate(in, kTriangleBytes, numTriangles, triangles)) {
        return false;
    }
    for (uint16_t i = 0; i < numTriangles; ++i) {
        MS3D_TRIANGLE& t = triangles[i];
        if (!in.U16(t.flags)) {
            return false;
        }
        for (int j = 0; j < 3; ++j) {
            if (!in.U16(t.vertexIndices[j])) {
                return false;
            }
            if (t.vertexIndices[j] >= numVertices) {
                return false;  // a corner that names no vertex
            }
        }
        if (!in.Floats(&t.vertexNormals[0][0], 9) || !in.Floats(t.s, 3) || !in.Floats(t.t, 3) ||
            !in.U8(t.smoothingGroup) || !in.U8(t.groupIndex)) {
            return false;
        }
    }

    if (!ReadCountAndAllocate(in, kGroupMinBytes, numGroups, groups)) {
        return false;
    }
    for (uint16_t i = 0; i < numGroups; ++i) {
        MS3D_GROUP& g = groups[i];
        if (!in.U8(g.flags) || !in.Bytes(g.name, sizeof g.name) ||
            !ReadCountAndAllocate(in, 2, g.numTriangles, g.triangleIndices)) {
            return false;
        }
        for (uint16_t k = 0; k < g.numTriangles; ++k) {
            if (!in.U16(g.triangleIndices[k])) {
                return false;
            }
            if (g.triangleIndices[k] >= numTriangles) {
                return false;  // a group entry that names no triangle
            }
        }
        if (!in.I8(g.materialIndex)) {
            return false;
        }
    }

    if (!ReadCountAndAllocate(in, kMaterialBytes, numMaterials, materials)) {
        return false;
    }
    for (uint16_t i = 0; i < numMaterials; ++i) {
        MS3D_MATERIAL& m = materials[i];
        if (!in.Bytes(m.name, sizeof m.name) || !in.Floats(m.ambient, 4) || !in.Floats(m.diffuse, 4) ||
            !in.Floats(m.specular, 4) || !in.Floats(m.emissive, 4) || !in.F32(m.shininess) ||
            !in.F32(m.transparency) || !in.U8(m.mode) || !in.Bytes(m.texture, sizeof m.texture) ||
            !in.Bytes(m.alphaMap, sizeof m.alphaMap)) {
            return false;
        }
    }

    float currentTime = 0.0f;  // the editor's play position; not kept
    if (!in.F32(animationFPS) || !in.F32(currentTime) || !in.I32(totalFrames)) {
        return false;
    }

    if (!ReadCountAndAllocate(in, kJointMinBytes, numJoints, joints)) {
        return false;
    }
    for (uint16_t i = 0; i < numJoints; ++i) {
        MS3D_JOINT& j = joints[i];
        if (!in.U8(j.flags) || !in.Bytes(j.name, sizeof j.name) || !in.Bytes(j.parentName, sizeof j.parentName) ||
            !in.Floats(j.rotation, 3) || !in.Floats(j.position, 3)) {
            return false;
        }
        uint16_t rotationCount = 0, translationCount = 0;
        if (!in.U16(rotationCount) || !in.U16(translationCount) ||
            !in.Fits(static_cast<uint64_t>(rotationCount) + translationCount, kKeyframeBytes)) {
            return false;
        }
        j.rotationKeys = new (std::nothrow) MS3D_KEYFRAME[rotationCount]();
        if (!j.rotationKeys) {
            return false;
        }
        j.numRotationKeys = rotationCount;
        j.translationKeys = new (std::nothrow) MS3D_KEYFRAME[translationCount]();
        if (!j.translationKeys) {
            return false;
        }
        j.numTranslationKeys = translationCount;
        if (!ReadKeyframes(in, j.numRotationKeys, j.rotationKeys) ||
            !ReadKeyframes(in, j.numTranslationKeys, j.translationKeys)) {
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
