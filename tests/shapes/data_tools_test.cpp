// The data-file tools' building blocks, checked against the system's own
// readers where there is one: the triangulator, the container packer and
// the TGA writer.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <map>
#include <random>

#include "loading/RESFILE.h"
#include "loading/Textures.h"
#include "platform/alert.h"
#include "tests/support/scratch_dir.h"
#include "tools/piece_mesh.h"
#include "tools/tga_writer.h"
#include "tools/triangulate.h"
#include "tools/vanf_writer.h"

using polytri::P2;

namespace {

// Checks a triangulation of `poly`: n - 2 counter-clockwise triangles of
// positive area whose areas add up to the polygon's, every polygon edge used
// once in its own direction, every other edge twice in opposite directions.
void ExpectValidTriangulation(const std::vector<P2>& poly, const std::vector<std::array<int, 3>>& tris)
{
    ASSERT_EQ(tris.size(), poly.size() - 2);
    double area = 0;
    std::map<std::pair<int, int>, int> edges;
    for (const auto& t : tris) {
        double a = 0.5 * polytri::Cross(poly[t[0]], poly[t[1]], poly[t[2]]);
        EXPECT_GT(a, 0.0);
        area += a;
        for (int k = 0; k < 3; ++k)
            ++edges[{t[k], t[(k + 1) % 3]}];
    }
    EXPECT_NEAR(area, polytri::SignedArea(poly), 1e-9 * std::fabs(polytri::SignedArea(poly)) + 1e-12);
    int n = int(poly.size());
    for (const auto& [edge, count] : edges) {
        EXPECT_EQ(count, 1);
        bool boundary = edge.second == (edge.first + 1) % n;
        bool reverseBoundary = edge.first == (edge.second + 1) % n;
        EXPECT_FALSE(reverseBoundary) << "boundary edge used against its direction";
        if (!boundary) {
            EXPECT_EQ(edges.count({edge.second, edge.first}), 1u) << "interior edge used once";
        }
    }
    for (int i = 0; i < n; ++i)
        EXPECT_EQ(edges.count({i, (i + 1) % n}), 1u) << "boundary edge " << i << " unused";
}

std::vector<P2> Comb(int teeth)
{
    // A base bar with `teeth` narrow teeth standing up: deeply non-convex.
    std::vector<P2> p = {{0, 0}, {double(2 * teeth), 0}};
    for (int k = teeth - 1; k >= 0; --k) {
        p.push_back({2.0 * k + 1.6, 1});
        p.push_back({2.0 * k + 1.6, 6});
        p.push_back({2.0 * k + 0.4, 6});
        p.push_back({2.0 * k + 0.4, 1});
    }
    p.back() = {0.4, 1};
    p.push_back({0, 1});
    return p;
}

std::vector<P2> Star(unsigned seed, int points)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> radius(0.2, 5.0);
    std::vector<P2> p;
    for (int k = 0; k < points; ++k) {
        double a = 2 * 3.14159265358979323846 * k / points;
        double r = radius(rng);
        p.push_back({r * std::cos(a), r * std::sin(a)});
    }
    return p;
}

std::vector<P2> Spiral()
{
    // A thick spiral strip: every ear but a few is blocked by another turn.
    std::vector<P2> outer, inner;
    for (int k = 0; k <= 60; ++k) {
        double a = k * 0.2, r = 1 + 0.35 * a;
        outer.push_back({(r + 0.3) * std::cos(a), (r + 0.3) * std::sin(a)});
        inner.push_back({r * std::cos(a), r * std::sin(a)});
    }
    std::vector<P2> p(outer.begin(), outer.end());
    p.insert(p.end(), inner.rbegin(), inner.rend());
    return p;
}

}  // namespace

TEST(Triangulate, CutsSimplePolygonsCompletely)
{
    struct Case {
        const char* name;
        std::vector<P2> poly;
    };
    std::vector<Case> cases = {
        {"triangle", {{0, 0}, {1, 0}, {0, 1}}},
        {"square with a point on one side", {{0, 0}, {1, 0}, {2, 0}, {2, 2}, {0, 2}}},
        {"L shape", {{0, 0}, {3, 0}, {3, 1}, {1, 1}, {1, 3}, {0, 3}}},
        {"comb", Comb(12)},
        {"spiral", Spiral()},
    };
    for (unsigned seed = 1; seed <= 20; ++seed)
        cases.push_back({"random star", Star(seed, 40 + int(seed))});
    // Every piece outline and its front face (the outline moved inward by the rim).
    piecemesh::Params params;
    auto table = piecemesh::ShapeTable();
    for (int i = 0; i < 64; i += 7) {
        std::vector<P2> outline;
        for (const auto& q : piecemesh::Outline(table[i], params))
            outline.push_back(q.pos);
        cases.push_back({"piece outline", outline});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(polytri::IsSimple(c.poly));
        std::vector<std::array<int, 3>> tris;
        ASSERT_TRUE(polytri::Triangulate(c.poly, tris));
        ExpectValidTriangulation(c.poly, tris);
    }
}

TEST(Triangulate, RefusesWhatIsNotASimpleCounterClockwisePolygon)
{
    enum { kNo, kYes, kEither };
    struct Case {
        const char* name;
        std::vector<P2> poly;
        bool simple;
        int triangulates;
    };
    const Case cases[] = {
        {"clockwise square", {{0, 0}, {0, 1}, {1, 1}, {1, 0}}, true, kNo},
        {"bow tie", {{0, 0}, {1, 1}, {1, 0}, {0, 1}}, false, kNo},
        {"two points", {{0, 0}, {1, 0}}, false, kNo},
        {"all on a line", {{0, 0}, {1, 0}, {2, 0}}, false, kNo},
        {"repeated corner", {{0, 0}, {1, 0}, {1, 0}, {0, 1}}, false, kEither},
        {"crossing edges", {{0, 0}, {2, 0}, {2, 1}, {-1, 1}, {-1, 2}, {0, 2}}, false, kEither},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(polytri::IsSimple(c.poly), c.simple);
        std::vector<std::array<int, 3>> tris = {{7, 7, 7}};
        if (c.triangulates == kNo) {
            EXPECT_FALSE(polytri::Triangulate(c.poly, tris));
            EXPECT_EQ(tris.size(), 1u);  // untouched on failure
        }
    }
}

TEST(ContainerPacker, RoundTripsThroughTheContainerReader)
{
    ScratchDir dir;
    ASSERT_FALSE(dir.Path().empty());
    struct Case {
        const char* name;
        std::vector<size_t> sizes;
    };
    const Case cases[] = {
        {"no lumps", {}},
        {"one empty lump", {0}},
        {"odd sizes", {1, 3, 5, 4, 0, 1027}},
        {"many", std::vector<size_t>(70, 9)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<vanf::Lump> lumps;
        for (size_t i = 0; i < c.sizes.size(); ++i) {
            vanf::Lump lump;
            for (size_t k = 0; k < c.sizes[i]; ++k)
                lump.data.push_back(uint8_t(i * 31 + k * 7));
            lump.lumpType = uint32_t(i % 3);
            lump.alphaMode = uint32_t((i + 1) % 3);
            lumps.push_back(lump);
        }
        std::vector<uint8_t> bytes;
        ASSERT_TRUE(vanf::Pack(lumps, bytes));
        std::string path = dir.Join("c.vnt");
        ASSERT_TRUE(WriteWholeFile(path, std::string(bytes.begin(), bytes.end())));

        RESFILE container;
        ASSERT_TRUE(container.Open(path.c_str()));
        EXPECT_EQ(container.header.sizeCheck, ~uint32_t(bytes.size()));
        ASSERT_EQ(container.header.lumpCount, lumps.size());
        for (size_t i = 0; i < lumps.size(); ++i) {
            EXPECT_EQ(container.directory[i].offset % 4, 0u);
            EXPECT_EQ(container.directory[i].size, lumps[i].data.size());
            EXPECT_EQ(container.directory[i].lumpType, lumps[i].lumpType);
            EXPECT_EQ(container.directory[i].alphaMode, lumps[i].alphaMode);
            ASSERT_TRUE(container.SeekLump(int(i)));
            std::vector<char> back(lumps[i].data.size());
            if (!back.empty()) {
                ASSERT_TRUE(container.stream.read(back.data(), long(back.size())));
            }
            EXPECT_TRUE(std::equal(back.begin(), back.end(), lumps[i].data.begin(),
                                   [](char a, uint8_t b) { return uint8_t(a) == b; }));
        }
        EXPECT_FALSE(container.SeekLump(int(lumps.size())));
    }
}

TEST(TgaWriter, ImagesDecodeToTheirPixelsThroughTheTextureReader)
{
    ScratchDir dir;
    ASSERT_FALSE(dir.Path().empty());
    std::vector<std::pair<std::string, std::string>> alerts;
    AlertSetRecorder([&](const char* caption, const char* text) { alerts.push_back({caption, text}); });

    // Long runs (more than one packet), raw stretches, and a single pixel.
    struct Case {
        int width, height, bits;
        bool runLength;
    };
    const Case cases[] = {{300, 3, 24, true}, {300, 3, 32, true}, {17, 9, 24, false},
                          {17, 9, 32, false}, {1, 1, 24, true},   {256, 2, 24, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) + " " +
                     std::to_string(c.bits) + (c.runLength ? " rle" : " raw"));
        tga::Image image(c.width, c.height);
        for (int y = 0; y < c.height; ++y)
            for (int x = 0; x < c.width; ++x) {
                uint8_t* p = image.At(x, y);
                bool run = x < 140 || y == 1;  // runs on some rows, noise on others
                p[0] = uint8_t(run ? 10 * y : x * 13 + y);
                p[1] = uint8_t(run ? 20 : x * 7);
                p[2] = uint8_t(run ? 30 + y : x ^ y);
                p[3] = uint8_t(run ? 255 : x * 3);
            }
        std::vector<uint8_t> bytes;
        ASSERT_TRUE(tga::Write(image, c.bits, c.runLength, bytes));
        std::string path = dir.Join("i.tga");
        ASSERT_TRUE(WriteWholeFile(path, std::string(bytes.begin(), bytes.end())));
        std::ifstream in(path, std::ios::binary);
        Texture texture;
        ASSERT_TRUE(LoadTGA2(&texture, &in));
        ASSERT_EQ(texture.width, unsigned(c.width));
        ASSERT_EQ(texture.height, unsigned(c.height));
        int bytesPer = c.bits / 8;
        // The reader keeps the stored order: its row 0 is the image's bottom row.
        int mismatches = 0;
        for (int y = 0; y < c.height; ++y)
            for (int x = 0; x < c.width; ++x) {
                const uint8_t* want = image.At(x, c.height - 1 - y);
                const uint8_t* got =
                    reinterpret_cast<const uint8_t*>(texture.imageData) + (size_t(y) * c.width + x) * bytesPer;
                for (int k = 0; k < bytesPer; ++k)
                    mismatches += got[k] != want[k];
            }
        EXPECT_EQ(mismatches, 0);
    }
    EXPECT_TRUE(alerts.empty());
    AlertSetRecorder(nullptr);
}
