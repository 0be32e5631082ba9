// The MS3D reader: what it accepts, what it refuses, and that no input can
// make it read or write outside its arrays.
#include "loading/MS3D.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "loading/RESFILE.h"
#include "tests/loading/loading_test_files.h"
#include "tests/support/scratch_dir.h"

namespace {

using loadtest::Model;
using loadtest::SmallModel;
using loadtest::WriteModel;

bool Load(MS3D& model, const std::string& bytes)
{
    std::istringstream in(bytes);
    return model.LoadFromFStream(&in);
}

// Counts and arrays agree, whatever happened.
void ExpectConsistent(const MS3D& m, const std::string& what)
{
    EXPECT_EQ(m.numVertices == 0 || m.vertices != nullptr, true) << what;
    EXPECT_EQ(m.numTriangles == 0 || m.triangles != nullptr, true) << what;
    EXPECT_EQ(m.numGroups == 0 || m.groups != nullptr, true) << what;
    EXPECT_EQ(m.numMaterials == 0 || m.materials != nullptr, true) << what;
    EXPECT_EQ(m.numJoints == 0 || m.joints != nullptr, true) << what;
}

TEST(MS3D, ReadsEverySectionOfVersions3And4)
{
    for (int version : {3, 4}) {
        Model source = SmallModel();
        source.version = version;
        MS3D m;
        ASSERT_TRUE(Load(m, WriteModel(source))) << version;

        ASSERT_EQ(m.numVertices, 4);
        EXPECT_FLOAT_EQ(m.vertices[0].location[0], 40);
        EXPECT_FLOAT_EQ(m.vertices[0].location[1], -20);
        EXPECT_FLOAT_EQ(m.vertices[0].location[2], 4);
        EXPECT_EQ(m.vertices[0].boneIndex, 0);       // file order: flags, location, bone, refs
        EXPECT_EQ(m.vertices[0].referenceCount, 2);
        EXPECT_EQ(m.vertices[1].boneIndex, -1);
        EXPECT_EQ(m.vertices[2].referenceCount, 7);

        ASSERT_EQ(m.numTriangles, 2);
        EXPECT_EQ(m.triangles[0].vertexIndices[1], 2);
        EXPECT_FLOAT_EQ(m.triangles[0].vertexNormals[1][1], 0.6f);
        EXPECT_FLOAT_EQ(m.triangles[0].vertexNormals[2][0], 0.6f);
        EXPECT_FLOAT_EQ(m.triangles[0].s[0], 1);
        EXPECT_FLOAT_EQ(m.triangles[0].t[0], 0.25f);
        EXPECT_EQ(m.triangles[0].smoothingGroup, 1);

        ASSERT_EQ(m.numGroups, 2);
        EXPECT_STREQ(m.groups[0].name, "front");
        ASSERT_EQ(m.groups[0].numTriangles, 2);
        EXPECT_EQ(m.groups[0].triangleIndices[1], 1);
        EXPECT_EQ(m.groups[0].materialIndex, 0);
        EXPECT_EQ(m.groups[1].materialIndex, -1);

        ASSERT_EQ(m.numMaterials, 1);
        EXPECT_STREQ(m.materials[0].name, "material0");
        EXPECT_FLOAT_EQ(m.materials[0].diffuse[0], 0.2f);
        EXPECT_FLOAT_EQ(m.materials[0].transparency, 0.85f);
        EXPECT_EQ(m.materials[0].mode, 3);
        EXPECT_STREQ(m.materials[0].texture, "skin.tga");

        EXPECT_FLOAT_EQ(m.animationFPS, 24);
        EXPECT_EQ(m.totalFrames, 30);

        ASSERT_EQ(m.numJoints, 1);
        EXPECT_STREQ(m.joints[0].name, "root");
        EXPECT_FLOAT_EQ(m.joints[0].rotation[2], 0.3f);
        ASSERT_EQ(m.joints[0].numRotationKeys, 1);
        ASSERT_EQ(m.joints[0].numTranslationKeys, 2);
        EXPECT_FLOAT_EQ(m.joints[0].rotationKeys[0].value[2], 3);
        EXPECT_FLOAT_EQ(m.joints[0].translationKeys[1].time, 1);
    }
}

TEST(MS3D, RefusesOtherVersionsAndIdentifiers)
{
    std::vector<std::pair<std::string, Model>> cases;
    for (int version : {0, 1, 2, 5, -1, 0x7FFFFFFF}) {
        Model m = SmallModel();
        m.version = version;
        cases.push_back({"version " + std::to_string(version), m});
    }
    for (size_t i = 0; i < 10; ++i) {
        Model m = SmallModel();
        m.id[i] = static_cast<char>(m.id[i] + 1);
        cases.push_back({"identifier byte " + std::to_string(i), m});
    }
    {
        Model m = SmallModel();
        m.id = "ms3d000000";
        cases.push_back({"lower-case identifier", m});
    }
    for (const auto& [what, source] : cases) {
        MS3D m;
        EXPECT_FALSE(Load(m, WriteModel(source))) << what;
        EXPECT_EQ(m.numVertices, 0) << what;
        EXPECT_EQ(m.vertices, nullptr) << what;
        EXPECT_EQ(m.joints, nullptr) << what;
    }
    MS3D none;
    EXPECT_FALSE(none.LoadFromFStream(nullptr));
}

TEST(MS3D, EmptySectionsLoad)
{
    Model source = SmallModel();
    source.groups.clear();
    source.materials = 0;
    source.joints.clear();
    MS3D m;
    ASSERT_TRUE(Load(m, WriteModel(source)));
    EXPECT_EQ(m.numGroups, 0);
    EXPECT_EQ(m.numMaterials, 0);
    EXPECT_EQ(m.numJoints, 0);
    EXPECT_EQ(m.numTriangles, 2);

    Model nothing;  // no vertices, no triangles, nothing
    MS3D empty;
    EXPECT_TRUE(Load(empty, WriteModel(nothing)));
}

TEST(MS3D, ScaleMovesPositionsOnly)
{
    MS3D m;
    ASSERT_TRUE(Load(m, WriteModel(SmallModel())));
    m.Scale(0.025f);
    EXPECT_FLOAT_EQ(m.vertices[0].location[0], 1.0f);
    EXPECT_FLOAT_EQ(m.vertices[0].location[1], -0.5f);
    EXPECT_FLOAT_EQ(m.vertices[0].location[2], 0.1f);
    EXPECT_FLOAT_EQ(m.triangles[0].vertexNormals[1][1], 0.6f);
    EXPECT_FLOAT_EQ(m.triangles[0].s[0], 1.0f);
    EXPECT_FLOAT_EQ(m.triangles[0].t[0], 0.25f);
    const MS3D_JOINT& j = m.joints[0];
    EXPECT_FLOAT_EQ(j.position[0], 1.0f);
    EXPECT_FLOAT_EQ(j.position[2], -3.0f);
    EXPECT_FLOAT_EQ(j.rotation[0], 0.1f);
    EXPECT_FLOAT_EQ(j.rotationKeys[0].value[0], 1.0f);       // rotation keys unchanged
    EXPECT_FLOAT_EQ(j.translationKeys[0].value[0], 1.0f);    // translation keys scaled
    EXPECT_FLOAT_EQ(j.translationKeys[0].value[2], 0.1f);
    EXPECT_FLOAT_EQ(j.translationKeys[0].time, 0.5f);        // times unchanged
}

TEST(MS3D, RefusesIndexesOutOfRange)
{
    struct Case {
        const char* what;
        void (*edit)(Model&);
    };
    const Case cases[] = {
        {"corner names vertex == count", [](Model& m) { m.triangles[1].v[2] = 4; }},
        {"corner names vertex 65535", [](Model& m) { m.triangles[0].v[0] = 65535; }},
        {"triangle with no vertices to name", [](Model& m) { m.vertices.clear(); }},
        {"group names triangle == count", [](Model& m) { m.groups[1].triangles = {0, 2}; }},
        {"group names triangle 65535", [](Model& m) { m.groups[0].triangles[0] = 65535; }},
        {"group with no triangles to name", [](Model& m) { m.triangles.clear(); }},
    };
    for (const Case& c : cases) {
        Model source = SmallModel();
        c.edit(source);
        MS3D m;
        EXPECT_FALSE(Load(m, WriteModel(source))) << c.what;
        ExpectConsistent(m, c.what);
    }
}

// Counts that promise more records than the stream holds are refused before
// their array is allocated.
TEST(MS3D, RefusesCountsLargerThanWhatIsLeft)
{
    struct Case {
        const char* what;
        size_t countAt;  // byte position of a u16 count to overwrite with 65535
    };
    const Model source = SmallModel();
    const std::string good = WriteModel(source);
    const size_t vertexCount = 14;
    const size_t triangleCount = vertexCount + 2 + 4 * 15;
    const Case cases[] = {{"vertex count", vertexCount}, {"triangle count", triangleCount}};
    for (const Case& c : cases) {
        std::string bytes = good;
        bytes[c.countAt] = '\xFF';
        bytes[c.countAt + 1] = '\xFF';
        MS3D m;
        std::istringstream in(bytes);
        EXPECT_FALSE(m.LoadFromFStream(&in)) << c.what;
        EXPECT_TRUE(in.fail()) << c.what;  // as if it had read past the end
        ExpectConsistent(m, c.what);
    }
    // A triangle count of 65535 with nothing after it must not allocate 4.5 MB.
    std::string shortModel = good.substr(0, triangleCount) + "\xFF\xFF";
    MS3D m;
    EXPECT_FALSE(Load(m, shortModel));
    EXPECT_EQ(m.triangles, nullptr);
    EXPECT_EQ(m.numTriangles, 0);
}

// Every prefix of a valid model fails cleanly; ASan and UBSan watch for
// reads or writes outside the arrays and for leaks.
TEST(MS3D, EveryTruncationFails)
{
    Model source = SmallModel();
    source.materials = 2;
    source.joints.push_back(source.joints[0]);
    const std::string good = WriteModel(source);
    for (size_t length = 0; length < good.size(); ++length) {
        MS3D m;
        const std::string what = "length " + std::to_string(length);
        EXPECT_FALSE(Load(m, good.substr(0, length))) << what;
        ExpectConsistent(m, what);
    }
    MS3D whole;
    EXPECT_TRUE(Load(whole, good));
}

// A version-4 model's later sections stay unread; the container's seek to
// the next lump makes that harmless.
TEST(MS3D, UnreadTailDoesNotDisturbTheNextLump)
{
    Model first = SmallModel();
    first.tail = std::string("\x01\x00\x00\x00subversion-data", 19);
    Model second = SmallModel();
    second.vertices[0].x = 99;
    const std::string container =
        loadtest::MakeContainer({{WriteModel(first), 0, 0}, {WriteModel(second), 0, 0}});
    ScratchDir dir;
    const std::string path = dir.Join("models.vnt");
    ASSERT_TRUE(WriteWholeFile(path, container));

    RESFILE res;
    ASSERT_TRUE(res.Open(path.c_str()));
    MS3D a, b;
    ASSERT_TRUE(res.SeekLump(0));
    ASSERT_TRUE(a.LoadFromFStream(&res.stream));
    ASSERT_TRUE(res.SeekLump(1));
    ASSERT_TRUE(b.LoadFromFStream(&res.stream));
    EXPECT_FLOAT_EQ(a.vertices[0].location[0], 40);
    EXPECT_FLOAT_EQ(b.vertices[0].location[0], 99);
}

// A model cut short inside the container leaves the stream failed, so the
// rest of the pass stops too.
TEST(MS3D, TruncatedLumpInAContainerPoisonsLaterSeeks)
{
    const std::string model = WriteModel(SmallModel());
    const std::string container = loadtest::MakeContainer({{WriteModel(SmallModel()), 0, 0}, {model.substr(0, 100), 0, 0}});
    ScratchDir dir;
    const std::string path = dir.Join("models.vnt");
    ASSERT_TRUE(WriteWholeFile(path, container));
    RESFILE res;
    ASSERT_TRUE(res.Open(path.c_str()));
    ASSERT_TRUE(res.SeekLump(1));
    MS3D cut;
    // The directory follows the lump, so the reader runs into it and fails
    // somewhere later; either way the model is refused.
    EXPECT_FALSE(cut.LoadFromFStream(&res.stream));
    EXPECT_FALSE(res.SeekLump(0));
}

}  // namespace
