// The shipped data files, read through the system's own readers: the piece
// shapes of both sets are closed, stay in their cells but for their knobs and
// interlock exactly; "zar.vnt" is what the tools make; the overlay images
// have the sizes the overlay draws them at.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <set>

#include "loading/MS3D.h"
#include "loading/RESFILE.h"
#include "loading/Textures.h"
#include "puzzle/ppInfo.h"
#include "tests/support/scratch_dir.h"
#include "tools/ms3d_writer.h"
#include "tools/piece_mesh.h"
#include "tools/vanf_writer.h"

namespace {

using V3 = std::array<double, 3>;
using P2 = std::array<double, 2>;

std::string Resource(const char* name)
{
    return std::string(ZARNET_BUILD_RESOURCES) + name;
}

constexpr size_t kModels = 128;  // the full set, then the light set
MS3D models[kModels];            // lumps 0 to 127 of "zar.vnt"

// How many of them load, one after another (read once).
size_t Loaded()
{
    static const size_t loaded = [] {
        RESFILE container;
        size_t n = 0;
        if (container.Open(Resource("zar.vnt").c_str()))
            while (n < kModels && container.SeekLump(int(n)) && models[n].LoadFromFStream(&container.stream))
                ++n;
        return n;
    }();
    return loaded;
}

const auto Cross = [](V3 u, V3 v) -> V3 {
    return {u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]};
};
const auto Dot = [](V3 u, V3 v) { return u[0] * v[0] + u[1] * v[1] + u[2] * v[2]; };
const auto Of = [](const float* f) { return V3{f[0], f[1], f[2]}; };
const auto At = [](const MS3D& m, int t, int k) { return Of(m.vertices[m.triangles[t].vertexIndices[k]].location); };

// The piece's outline: (x, y) of every corner between the front and back
// faces' rings (the side wall's, or where the rim meets the chamfer).
std::vector<P2> Outline(const MS3D& m)
{
    std::set<P2> points;
    for (int v = 0; v < m.numVertices; ++v)
        if (std::fabs(m.vertices[v].location[2]) < 1.9f)
            points.insert({m.vertices[v].location[0], m.vertices[v].location[1]});
    return {points.begin(), points.end()};
}

// A point in the frame of side `e` (ppInfo's order: top, right, bottom,
// left): its place along the side, and how far beyond the side's edge line
// it lies (> 0 outside the cell).
P2 Local(const P2& p, int e)
{
    const double out[4][2] = {{0, 1}, {1, 0}, {0, -1}, {-1, 0}};
    return {e % 2 ? p[1] : p[0], p[0] * out[e][0] + p[1] * out[e][1] - 20.0};
}

// Closed, well formed, and in their cells but for the knobs.
TEST(ShippedShapes, TwiceSixtyFourClosedWellFormedModels)
{
    ASSERT_EQ(Loaded(), kModels);
    EXPECT_LT(models[64 + 62].numTriangles, models[62].numTriangles);  // the light set is lighter
    for (size_t i = 0; i < kModels; ++i) {
        SCOPED_TRACE("shape " + std::to_string(i));
        const MS3D& m = models[i];
        ASSERT_GT(m.numTriangles, 0);
        EXPECT_LE(m.numTriangles, 1000);
        std::set<V3> positions;  // all distinct, so closed by index is closed in space
        for (int v = 0; v < m.numVertices; ++v)
            positions.insert(Of(m.vertices[v].location));
        EXPECT_EQ(positions.size(), size_t(m.numVertices));
        for (int v = 0; v < m.numVertices; ++v)  // only a knob leaves the cell, across the middle of its edge
            for (int e = 0, outside = 0; e < 4; ++e) {
                const P2 q = Local({m.vertices[v].location[0], m.vertices[v].location[1]}, e);
                outside += q[1] > 1e-9;
                EXPECT_TRUE(q[1] <= 1e-9 ||
                            (ppInfo[i % 64][e] == 1 && q[1] < 20 && std::fabs(q[0]) < 10 && outside < 2))
                    << "vertex " << v << " beyond edge " << e;
            }
        std::map<std::pair<int, int>, int> edges;
        std::vector<int> groups(m.numTriangles);
        double volume = 0;
        for (int t = 0; t < m.numTriangles; ++t) {
            const V3 a = At(m, t, 0), b = At(m, t, 1), c = At(m, t, 2);
            const V3 face = Cross({b[0] - a[0], b[1] - a[1], b[2] - a[2]}, {c[0] - a[0], c[1] - a[1], c[2] - a[2]});
            EXPECT_GT(std::sqrt(Dot(face, face)), 2e-3) << "degenerate triangle " << t;
            for (int k = 0; k < 3; ++k) {
                ++edges[{m.triangles[t].vertexIndices[k], m.triangles[t].vertexIndices[(k + 1) % 3]}];
                const float* n = m.triangles[t].vertexNormals[k];
                EXPECT_NEAR(std::sqrt(Dot(Of(n), Of(n))), 1.0, 1e-3) << t;
                EXPECT_GT(Dot(Of(n), face), 0.2 * std::sqrt(Dot(face, face))) << "normal turned away " << t;
            }
            volume += Dot(a, Cross(b, c)) / 6;
        }
        // Watertight and consistently turned: every directed edge once, and its reverse once.
        int open = 0;
        for (const auto& [edge, count] : edges) {
            const auto reverse = edges.find({edge.second, edge.first});
            open += count != 1 || reverse == edges.end() || reverse->second != 1;
        }
        EXPECT_EQ(open, 0);
        EXPECT_GT(volume, 0.55 * 40 * 40 * 4);  // faces outward, about the body square times the thickness
        EXPECT_LT(volume, 1.4 * 40 * 40 * 4);
        for (int g = 0; g < m.numGroups; ++g)
            for (int k = 0; k < m.groups[g].numTriangles; ++k)
                ++groups[m.groups[g].triangleIndices[k]];
        EXPECT_EQ(std::count(groups.begin(), groups.end(), 1), m.numTriangles) << "each triangle in one group";
    }
}

// For every knob and every hole of the same set that can meet it, the knob's
// outline moved one cell over is the hole's outline.
TEST(ShippedShapes, KnobOutlinesAreTheHoleOutlines)
{
    ASSERT_EQ(Loaded(), kModels);
    std::vector<std::vector<P2>> outlines;
    for (const MS3D& m : models)
        outlines.push_back(Outline(m));
    int pairs = 0;
    for (int k = 0; k < int(kModels); ++k)
        for (int e = 0; e < 4; ++e) {
            const int set = k / 64 * 64;
            std::vector<P2> knob;  // in the frame of the neighbour's opposite side
            double reach = 0, halfWidth = 0;
            for (const P2& p : outlines[k]) {
                const P2 q = Local(p, e);
                if (ppInfo[k % 64][e] != 1 || q[1] < -1e-9 || std::fabs(q[0]) >= 19)
                    continue;
                knob.push_back({q[0], -q[1]});
                reach = std::max(reach, q[1]);
                halfWidth = std::max(halfWidth, std::fabs(q[0]));
            }
            for (int h = set; h < set + 64 && !knob.empty(); ++h) {
                if (ppInfo[h % 64][(e + 2) % 4] != -1)
                    continue;
                ++pairs;
                std::vector<P2> hole;
                for (const P2& p : outlines[h]) {
                    const P2 q = Local(p, (e + 2) % 4);
                    if (q[1] < 1e-9 && q[1] > -reach - 1e-6 && std::fabs(q[0]) <= halfWidth + 1e-6)
                        hole.push_back(q);
                }
                ASSERT_EQ(hole.size(), knob.size()) << "knob " << k << " edge " << e << ", hole " << h;
                for (const P2& p : knob)
                    ASSERT_TRUE(std::any_of(
                        hole.begin(), hole.end(),
                        [&p](const P2& q) { return std::fabs(p[0] - q[0]) < 1e-4 && std::fabs(p[1] - q[1]) < 1e-4; }))
                        << "knob " << k << " edge " << e << ", hole " << h << ": (" << p[0] << ", " << p[1] << ")";
            }
        }
    EXPECT_GT(pairs, 2 * 64 * 4);
}

TEST(ShippedFiles, PieceContainerIsWhatTheToolsMake)
{
    std::vector<vanf::Lump> lumps(kModels);
    for (size_t i = 0; i < kModels; ++i) {
        ms3dw::Mesh mesh;
        const piecemesh::Params params = i < 64 ? piecemesh::Params{} : piecemesh::LightParams();
        ASSERT_TRUE(piecemesh::BuildPiece(piecemesh::ShapeTable()[i % 64], params, mesh, nullptr)) << i;
        ASSERT_TRUE(ms3dw::Write(mesh, lumps[i].data));
    }
    std::vector<uint8_t> made;
    ASSERT_TRUE(vanf::Pack(lumps, made));
    std::string shipped;
    ASSERT_TRUE(ReadWholeFile(Resource("zar.vnt"), &shipped));
    EXPECT_TRUE(shipped == std::string(made.begin(), made.end()));
}

// The banner's side strip and the two messages, with an alpha that outlines them.
TEST(ShippedFiles, OverlayImagesHaveTheirSizes)
{
    RESFILE container;
    ASSERT_TRUE(container.Open(Resource("vantor.morvence").c_str()));
    ASSERT_GE(container.header.lumpCount, 6u);
    const std::pair<int, unsigned> images[] = {{1, 256}, {4, 512}, {5, 512}};
    for (auto [lump, width] : images) {
        Texture image;
        EXPECT_TRUE(container.directory[lump].lumpType == 1 && container.directory[lump].alphaMode != 0) << lump;
        ASSERT_TRUE(container.SeekLump(lump) && LoadTGA2(&image, &container.stream)) << lump;
        EXPECT_TRUE(image.width == width && image.height == 32) << lump;
    }
}

}  // namespace
