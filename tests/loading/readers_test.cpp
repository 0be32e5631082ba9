// The file readers on inputs built byte by byte: what they accept, every
// refusal that matters, and truncation at every offset (under ASan/UBSan).
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <sstream>

#include "loading/MS3D.h"
#include "loading/RESFILE.h"
#include "loading/Textures.h"
#include "tests/loading/loading_test_files.h"
#include "tests/support/scratch_dir.h"

using namespace loadtest;

namespace {

const std::vector<Lump> kLumps = {{"first lump", 1, 0}, {"2nd", 7, 2}, {"the third and last lump", 1, 1}};

bool Open(RESFILE& res, const std::string& bytes)
{
    static ScratchDir dir;
    static int files = 0;
    const std::string path = dir.Join(std::to_string(++files));
    EXPECT_TRUE(WriteWholeFile(path, bytes));
    return res.Open(path.c_str());
}

TEST(Resfile, SeeksToEachLumpAndNoFurther)
{
    RESFILE res, empty;
    ASSERT_TRUE(Open(res, MakeContainer(kLumps)) && Open(empty, MakeContainer({})));
    for (int i : {2, 0, 1}) {
        ASSERT_TRUE(res.SeekLump(i)) << i;
        std::string bytes(kLumps[size_t(i)].bytes.size(), '\0');
        EXPECT_TRUE(res.stream.read(bytes.data(), std::streamsize(bytes.size())) && bytes == kLumps[size_t(i)].bytes);
    }
    EXPECT_FALSE(res.SeekLump(3) || empty.SeekLump(0));
}

// Each fails without allocating a directory it can't fill (ASan would abort
// on the huge ones); so does every prefix of a valid container, as it is and
// with its size check made to match.
TEST(Resfile, RefusesBadHeadersAndEveryTruncation)
{
    const std::string good = MakeContainer(kLumps);
    // Magic, size check, directory offset (the last beyond the end), lump count (28 x the last wraps to 24).
    std::vector<std::string> cases = {"vANF" + good.substr(4),
                                      good + '\0',
                                      With(good, 16, uint32_t(good.size())),
                                      With(good, 20, uint32_t(good.size()) - 27),
                                      With(good, 20, 0xFFFFFFF0u),
                                      With(good, 12, 4),
                                      With(good, 12, 0xFFFFFFFFu),
                                      With(good, 12, 0x0924924Au)};
    for (size_t length = 0; length < good.size(); ++length) {
        cases.push_back(good.substr(0, length));
        if (length >= 20)
            cases.push_back(With(good, 16, ~uint32_t(length)).substr(0, length));
    }
    for (size_t c = 0; c < cases.size(); ++c) {
        RESFILE res;
        EXPECT_FALSE(Open(res, cases[c])) << "case " << c;
        EXPECT_TRUE(res.directory == nullptr && !res.SeekLump(0)) << "case " << c;
    }
}

bool Load(MS3D& model, const std::string& bytes)
{
    std::istringstream in(bytes);
    return model.LoadFromFStream(&in);
}

// Counts and arrays agree, whatever happened.
bool Consistent(const MS3D& m)
{
    return (m.numVertices == 0 || m.vertices) && (m.numTriangles == 0 || m.triangles) &&
           (m.numGroups == 0 || m.groups) && (m.numMaterials == 0 || m.materials) && (m.numJoints == 0 || m.joints);
}

// Wrong identifiers and versions; vertex and triangle indexes out of range.
TEST(MS3D, RefusesBadModels)
{
    std::vector<Model> cases(18, SmallModel());
    for (int i = 0; i < 10; ++i)
        ++cases[i].id[i];
    cases[10].version = 0, cases[11].version = 2, cases[12].version = 5, cases[13].version = -1;
    cases[14].triangles[1].v[2] = 4, cases[15].triangles[0].v[0] = 65535;              // vertex == count, 65535
    cases[16].groups[1].triangles = {0, 2}, cases[17].groups[0].triangles[0] = 65535;  // triangle == count, 65535
    for (size_t c = 0; c < cases.size(); ++c) {
        MS3D m;
        EXPECT_FALSE(Load(m, WriteModel(cases[c]))) << "case " << c;
        EXPECT_TRUE(c >= 14 ? Consistent(m) : m.vertices == nullptr) << "case " << c;
    }
}

// Every prefix of a valid model fails cleanly; the whole of it loads, in
// versions 3 and 4. A count larger than what is left is refused before its
// array is allocated.
TEST(MS3D, ReadsVersions3And4AndRefusesEveryTruncation)
{
    for (int version : {3, 4}) {
        Model source = SmallModel();
        source.version = version;
        source.materials = 2;
        source.joints.push_back(source.joints[0]);
        const std::string good = WriteModel(source);
        for (size_t length = 0; length < good.size(); ++length) {
            MS3D m;
            EXPECT_FALSE(Load(m, good.substr(0, length))) << "length " << length;
            EXPECT_TRUE(Consistent(m)) << "length " << length;
        }
        MS3D m, huge;
        ASSERT_TRUE(Load(m, good)) << version;
        ASSERT_TRUE(m.numVertices == 4 && m.numTriangles == 2 && m.numGroups == 2 && m.numMaterials == 2 &&
                    m.numJoints == 2 && m.joints[1].numTranslationKeys == 2);
        EXPECT_TRUE(m.vertices[0].location[1] == -20 && m.vertices[2].boneIndex == 2 &&
                    m.vertices[2].referenceCount == 7);
        EXPECT_TRUE(m.triangles[0].vertexIndices[1] == 2 && m.triangles[0].vertexNormals[2][0] == 0.6f &&
                    m.triangles[0].t[0] == 0.25f);
        EXPECT_TRUE(m.groups[1].triangleIndices[0] == 1 && m.groups[1].materialIndex == -1);
        EXPECT_STREQ(m.materials[1].texture, "skin.tga");
        EXPECT_FLOAT_EQ(m.joints[1].translationKeys[1].time, 1.0f);
        EXPECT_FALSE(Load(huge, good.substr(0, 14 + 2 + 4 * 15) + "\xFF\xFF"));  // 65535 triangles, none there
        EXPECT_EQ(huge.triangles, nullptr);
    }
}

using Pixels = std::vector<unsigned char>;
std::vector<std::pair<std::string, std::string>> alerts;  // caption, text of the reason the last decode gave

bool Decode(Texture& texture, const std::string& bytes)
{
    alerts.clear();
    std::istringstream in(bytes);
    LoadFailure failure{"stale", "stale"};  // a success must empty it
    const bool ok = LoadTGA2(&texture, &in, &failure);
    if (failure)
        alerts.push_back({failure.caption, failure.text});
    return ok;
}

Pixels Of(const Texture& t)
{
    const auto* p = reinterpret_cast<const unsigned char*>(t.imageData);
    return Pixels(p, p + size_t(t.width) * t.height * (t.type == GL_RGBA ? 4 : 3));
}

// Refused with exactly this one alert, and no pixels left behind.
void ExpectRefused(const std::string& bytes, const std::string& text, const std::string& caption)
{
    Texture t;
    EXPECT_TRUE(!Decode(t, bytes) && t.imageData == nullptr) << text;
    EXPECT_EQ(alerts, (decltype(alerts){{caption, text}})) << "image type " << int(bytes[2]) << ", " << bytes.size();
}

// 320 pixels in packets of every boundary size, crossing row ends: 128 raw
// (0x7F), a 128-run (0xFF), a 1-run (0x80), 63 raw; rows kept in stored order.
TEST(Tga, DecodesBothKinds)
{
    for (unsigned bpp : {24u, 32u}) {
        const Pixels pattern = TgaPattern(16, 20, bpp);
        Texture raw, rle;
        ASSERT_TRUE(Decode(raw, UncompressedTga(16, 20, bpp, pattern)));
        EXPECT_TRUE(raw.width == 16 && raw.height == 20 && raw.type == unsigned(bpp == 24 ? GL_RGB : GL_RGBA));
        EXPECT_EQ(Of(raw), pattern);
        const std::vector<TgaPacket> packets = {{false, 128, TgaPattern(128, 1, bpp)},
                                                {true, 128, Pixels(bpp / 8, 200)},
                                                {true, 1, Pixels(bpp / 8, 100)},
                                                {false, 63, TgaPattern(63, 1, bpp)}};
        Pixels expected;
        for (const TgaPacket& p : packets)
            for (unsigned k = 0; k < (p.run ? p.count : 1); ++k)
                expected.insert(expected.end(), p.pixels.begin(), p.pixels.end());
        ASSERT_TRUE(Decode(rle, CompressedTga(16, 20, bpp, packets))) << bpp;
        EXPECT_EQ(Of(rle), expected) << bpp;
    }
}

TEST(Tga, RefusesOtherKindsBadInformationAndPacketsBeyondTheImage)
{
    const std::array<int, 3> kinds[] = {{2, 1, 0}, {2, 0, 1}, {1, 0, 0}, {3, 0, 0}, {9, 0, 0}, {11, 0, 0}};
    for (auto [type, id, map] : kinds)  // an image ID, a colour map, types 1, 3, 9 and 11
        ExpectRefused(TgaHeaders(type, 2, 2, 24, id, map) + std::string(12, 'x'), "TGA file be type 2 or type 10 ",
                      "Invalid Image");
    const std::array<int, 4> infos[] = {{2, 2, 2, 16},
                                        {10, 2, 2, 8},
                                        {2, 0, 2, 24},
                                        {2, 65535, 65535, 32},
                                        {10, 65535, 20000, 24}};  // the last two too large to size safely
    for (auto [type, width, height, bpp] : infos)
        ExpectRefused(TgaHeaders(type, width, height, bpp) + std::string(64, 'x'), "Invalid texture information",
                      "ERROR");
    // Refused before any of the packet is written (ASan watches the buffer's end).
    const Pixels red = {255, 0, 0};
    const std::vector<TgaPacket> beyond[] = {
        {{true, 5, red}}, {{false, 5, TgaPattern(5, 1, 24)}}, {{true, 3, red}, {true, 2, red}}, {{true, 128, red}}};
    for (const auto& packets : beyond)
        ExpectRefused(CompressedTga(2, 2, 24, packets), "Too many pixels read", "ERROR");
}

TEST(Tga, EveryTruncationFails)
{
    for (const std::string& good :
         {UncompressedTga(3, 2, 32, TgaPattern(3, 2, 32)),
          CompressedTga(4, 2, 24, {{false, 3, TgaPattern(3, 1, 24)}, {true, 4, {1, 2, 3}}, {false, 1, {4, 5, 6}}})}) {
        for (size_t length = 0; length < good.size(); ++length) {
            Texture t;
            EXPECT_FALSE(Decode(t, good.substr(0, length))) << length;
            EXPECT_TRUE(alerts.size() == 1 && alerts[0].first == "ERROR" && t.imageData == nullptr) << length;
        }
        Texture whole;
        EXPECT_TRUE(Decode(whole, good) && alerts.empty());
    }
}

}  // namespace
