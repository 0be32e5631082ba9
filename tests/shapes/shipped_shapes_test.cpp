// The shipped "zar.vnt", read through RESFILE and MS3D: 64 closed, well-formed
// piece meshes whose edges follow the shape table and interlock exactly.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <map>
#include <set>

#include "puzzle/ppInfo.h"
#include "tests/shapes/shape_models.h"
#include "tools/ms3d_writer.h"
#include "tools/piece_mesh.h"
#include "tools/vanf_writer.h"

using shapes_test::Model;

namespace {

class ShippedShapes : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        models_ = new std::vector<Model>;
        loaded_ = shapes_test::LoadModels(shapes_test::ResourcePath("zar.vnt"), *models_, &why_);
    }
    static void TearDownTestSuite()
    {
        delete models_;
        models_ = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(loaded_) << why_; }

    static std::vector<Model>* models_;
    static bool loaded_;
    static std::string why_;
};

std::vector<Model>* ShippedShapes::models_ = nullptr;
bool ShippedShapes::loaded_ = false;
std::string ShippedShapes::why_;

// A side of the body square: outward direction and the direction along it.
struct Side {
    const char* name;
    double ox, oy;  // outward unit vector
    double ax, ay;  // along the edge
};
// In ppInfo's order: top, right, bottom, left.
const Side kSides[4] = {
    {"top", 0, 1, 1, 0}, {"right", 1, 0, 0, 1}, {"bottom", 0, -1, 1, 0}, {"left", -1, 0, 0, 1}};

const int kOpposite[4] = {2, 3, 0, 1};

// Distance beyond the side's edge line (negative inside the square) and the
// position along it.
double Beyond(const Side& s, double x, double y) { return x * s.ox + y * s.oy - 20.0; }
double Along(const Side& s, double x, double y) { return x * s.ax + y * s.ay; }

}  // namespace

TEST(ShapeTable, GeneratorTableIsTheGameTable)
{
    auto table = piecemesh::ShapeTable();
    for (int i = 0; i < 64; ++i)
        for (int e = 0; e < 4; ++e)
            EXPECT_EQ(table[i][e], ppInfo[i][e]) << "shape " << i << " edge " << e;
}

TEST_F(ShippedShapes, EveryMeshIsClosedOrientedAndWithinBudget)
{
    for (size_t i = 0; i < models_->size(); ++i) {
        SCOPED_TRACE("shape " + std::to_string(i));
        const Model& m = (*models_)[i];
        ASSERT_GT(m.triangles.size(), 0u);
        EXPECT_LE(m.triangles.size(), 1000u);

        // Distinct positions, so closure by index is closure in space.
        std::set<std::array<double, 3>> unique(m.positions.begin(), m.positions.end());
        EXPECT_EQ(unique.size(), m.positions.size());

        // Every directed edge once, its reverse once: closed and consistently turned.
        std::map<std::pair<int, int>, int> edges;
        double volume = 0;
        for (size_t t = 0; t < m.triangles.size(); ++t) {
            const auto& v = m.triangles[t];
            ASSERT_TRUE(v[0] != v[1] && v[1] != v[2] && v[0] != v[2]);
            double area = 0;
            std::array<double, 3> face = shapes_test::FaceNormal(m, t, &area);
            EXPECT_GT(area, 1e-3) << "degenerate triangle " << t;
            for (int k = 0; k < 3; ++k) {
                ++edges[{v[k], v[(k + 1) % 3]}];
                const auto& n = m.normals[t][k];
                double len = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
                EXPECT_NEAR(len, 1.0, 1e-3) << "triangle " << t << " corner " << k;
                EXPECT_GT(n[0] * face[0] + n[1] * face[1] + n[2] * face[2], 0.2)
                    << "corner normal turned away from triangle " << t;
            }
            const auto& a = m.positions[v[0]];
            const auto& b = m.positions[v[1]];
            const auto& c = m.positions[v[2]];
            volume += (a[0] * (b[1] * c[2] - b[2] * c[1]) - a[1] * (b[0] * c[2] - b[2] * c[0]) +
                       a[2] * (b[0] * c[1] - b[1] * c[0])) / 6.0;
        }
        int open = 0;
        for (const auto& [edge, count] : edges) {
            auto reverse = edges.find({edge.second, edge.first});
            if (count != 1 || reverse == edges.end() || reverse->second != 1)
                ++open;
        }
        EXPECT_EQ(open, 0) << "edges not shared by exactly two opposite triangles";
        // Outward faces enclose a positive volume: about the body square times the thickness.
        EXPECT_GT(volume, 0.6 * 40 * 40 * 4);
        EXPECT_LT(volume, 1.4 * 40 * 40 * 4);

        // Every triangle is drawn exactly once: in one group.
        std::vector<int> membership(m.triangles.size(), 0);
        for (const auto& group : m.groups)
            for (uint16_t t : group)
                ++membership[t];
        EXPECT_EQ(std::count(membership.begin(), membership.end(), 1), long(m.triangles.size()));

        // Real thickness, front towards +z.
        double zMin = 1e9, zMax = -1e9;
        for (const auto& p : m.positions) {
            zMin = std::min(zMin, p[2]);
            zMax = std::max(zMax, p[2]);
        }
        EXPECT_NEAR(zMax - zMin, 4.0, 0.5);
        EXPECT_NEAR(zMax + zMin, 0.0, 0.5);
    }
}

TEST_F(ShippedShapes, BodiesStayInTheirCellAndEdgesFollowTheTable)
{
    for (size_t i = 0; i < models_->size(); ++i) {
        SCOPED_TRACE("shape " + std::to_string(i));
        const Model& m = (*models_)[i];
        // Only a knob leaves the cell, and only across the middle of its edge.
        for (const auto& p : m.positions) {
            int outside = 0;
            for (int e = 0; e < 4; ++e) {
                double beyond = Beyond(kSides[e], p[0], p[1]);
                if (beyond <= 1e-9)
                    continue;
                ++outside;
                EXPECT_EQ(ppInfo[i][e], 1) << "vertex beyond the " << kSides[e].name << " edge";
                EXPECT_LT(beyond, 20.0);
                EXPECT_LT(std::fabs(Along(kSides[e], p[0], p[1])), 10.0);
            }
            EXPECT_LE(outside, 1);
        }
        // Each edge's form read back from the outline: a knob, a hole, or straight.
        std::vector<std::array<double, 2>> outline = shapes_test::Outline(m);
        for (int e = 0; e < 4; ++e) {
            bool knob = false, hole = false;
            for (const auto& q : outline) {
                double beyond = Beyond(kSides[e], q[0], q[1]);
                double along = std::fabs(Along(kSides[e], q[0], q[1]));
                knob |= beyond > 5.0 && along < 3.0;
                hole |= beyond < -5.0 && beyond > -19.0 && along < 3.0;
            }
            int code = knob ? 1 : hole ? -1 : 0;
            EXPECT_EQ(code, ppInfo[i][e]) << kSides[e].name << " edge";
            EXPECT_FALSE(knob && hole);
        }
    }
}

TEST_F(ShippedShapes, KnobOutlineIsTheNeighboursHoleOutline)
{
    // For every pair of shapes that can meet across an edge with a knob on
    // one side, the knob's outline moved one cell over is the hole's outline.
    std::vector<std::vector<std::array<double, 2>>> outlines;
    for (const Model& m : *models_)
        outlines.push_back(shapes_test::Outline(m));
    int pairs = 0;
    for (int k = 0; k < 64; ++k)
        for (int e = 0; e < 4; ++e) {
            if (ppInfo[k][e] != 1)
                continue;
            const Side& s = kSides[e];
            // The knob: outline points on or beyond the edge line, away from the corners.
            std::vector<std::array<double, 2>> knob;
            double maxAlong = 0, maxBeyond = 0;
            for (const auto& q : outlines[k]) {
                double beyond = Beyond(s, q[0], q[1]);
                double along = Along(s, q[0], q[1]);
                if (beyond > -1e-9 && std::fabs(along) < 19.0) {
                    knob.push_back({q[0] - 40 * s.ox, q[1] - 40 * s.oy});  // into the neighbour's frame
                    maxAlong = std::max(maxAlong, std::fabs(along));
                    maxBeyond = std::max(maxBeyond, beyond);
                }
            }
            ASSERT_GE(knob.size(), 8u) << "shape " << k << " " << s.name;
            const Side& o = kSides[kOpposite[e]];
            for (int h = 0; h < 64; ++h) {
                if (ppInfo[h][kOpposite[e]] != -1)
                    continue;
                ++pairs;
                // The hole: the neighbour's outline points inside the knob's reach.
                std::vector<std::array<double, 2>> hole;
                for (const auto& q : outlines[h]) {
                    double inside = -Beyond(o, q[0], q[1]);
                    if (inside > -1e-9 && inside <= maxBeyond + 1e-6 &&
                        std::fabs(Along(o, q[0], q[1])) <= maxAlong + 1e-6)
                        hole.push_back(q);
                }
                ASSERT_EQ(hole.size(), knob.size()) << "knob " << k << " " << s.name << ", hole " << h;
                for (const auto& p : knob) {
                    bool found = false;
                    for (const auto& q : hole)
                        found |= std::fabs(p[0] - q[0]) < 1e-4 && std::fabs(p[1] - q[1]) < 1e-4;
                    ASSERT_TRUE(found) << "knob " << k << " " << s.name << " point (" << p[0] << ", "
                                       << p[1] << ") missing from hole " << h;
                }
            }
        }
    EXPECT_GT(pairs, 64 * 4);
}

TEST(ShippedFiles, PieceContainerIsExactlyTheGeneratorsOutput)
{
    // The build makes zar.vnt with zarnet-pieces and zarnet-pack; making it
    // again here must give the same bytes (no time, path or state leaks in).
    piecemesh::Params params;
    auto table = piecemesh::ShapeTable();
    std::vector<vanf::Lump> lumps(64);
    for (int i = 0; i < 64; ++i) {
        ms3dw::Mesh mesh;
        std::string why;
        ASSERT_TRUE(piecemesh::BuildPiece(table[i], params, mesh, &why)) << i << ": " << why;
        ASSERT_TRUE(ms3dw::Write(mesh, lumps[i].data));
    }
    std::vector<uint8_t> expected;
    ASSERT_TRUE(vanf::Pack(lumps, expected));
    std::ifstream file(shapes_test::ResourcePath("zar.vnt"), std::ios::binary);
    std::vector<uint8_t> shipped((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    ASSERT_EQ(shipped.size(), expected.size());
    EXPECT_TRUE(shipped == expected);
}
