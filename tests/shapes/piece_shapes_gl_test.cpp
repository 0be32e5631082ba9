// The shape half of ONEPUZZLE::Setup in a headless context: 64 display lists
// from "zar.vnt", what a list holds (read back through GL feedback), and an
// assembled 4 x 4 block of the shipped shapes drawn without gaps (saved as
// <build>/test-renders/shapes_block.png for a person to look at).
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <set>

#include "pictures/png_writer.h"
#include "platform/egl_headless.h"
#include "puzzle/ONEPUZZLE.h"
#include "puzzle/ppInfo.h"
#include "tests/support/scratch_dir.h"
#include "tools/ms3d_writer.h"
#include "tools/vanf_writer.h"

namespace {

bool SetupFrom(ONEPUZZLE& puzzle, std::string directory)
{
    SETTINGS settings{};  // the shapes don't depend on it
    return puzzle.Setup(&settings, directory.data());
}

class PieceShapes : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(gl_.Create(256, 256)) << gl_.Error(); }
    HeadlessGLContext gl_;
};

TEST_F(PieceShapes, SetupNeedsSixtyFourModelsAndMapsTheTextureFromPositions)
{
    // Corner (40, -20, 4), the texture mapping's corners (20, 20) and
    // (-20, -20), and the centre; the stored coordinates (9) are replaced.
    ms3dw::Mesh mesh;
    mesh.positions = {{40, -20, 4}, {20, 20, 0}, {-20, -20, 0}, {0, 0, -2}};
    mesh.groups = {"probe"};
    mesh.triangles.resize(2);
    for (auto& triangle : mesh.triangles)
        triangle.s = triangle.t = {9, 9, 9}, triangle.n = {{{0, 0, 1}, {0, 0, 1}, {0, 0, 1}}};
    mesh.triangles[0].v = {0, 1, 2};
    mesh.triangles[1].v = {1, 2, 3};
    std::vector<vanf::Lump> lumps(63);
    ASSERT_TRUE(ms3dw::Write(mesh, lumps[0].data));
    ScratchDir dir;
    ONEPUZZLE puzzle;
    // 128 lumps, the last one damaged: a light set that can't be read whole
    // is dropped, and the full shapes are drawn at every size.
    for (size_t count : {63, 128, 64}) {
        lumps.resize(count, lumps[0]);
        if (count == 128)
            lumps[127].data.assign(8, 0xff);
        std::vector<uint8_t> bytes;
        ASSERT_TRUE(vanf::Pack(lumps, bytes) && WriteWholeFile(dir.Join("zar.vnt"), bytes));
        ASSERT_EQ(SetupFrom(puzzle, dir.Path() + "/"), count != 63) << count << " lumps";
        if (count == 128) {
            EXPECT_FALSE(glIsList(puzzle.modelLists[63] + 1)) << "the light lists made are deleted";
        }
        EXPECT_TRUE(count == 63 || std::equal(puzzle.lightLists, puzzle.lightLists + 64, puzzle.modelLists));
    }
    // An orthographic view of [-2, 2]^3 on a 4 x 4 viewport: window x, y =
    // x + 2, y + 2, depth = (2 - z) / 4.
    glViewport(0, 0, 4, 4);
    glMatrixMode(GL_PROJECTION);
    glOrtho(-2, 2, -2, 2, -2, 2);
    std::vector<GLfloat> buffer(256);
    glFeedbackBuffer(GLsizei(buffer.size()), GL_3D_COLOR_TEXTURE, buffer.data());
    glRenderMode(GL_FEEDBACK);
    glCallList(puzzle.modelLists[17]);
    ASSERT_EQ(glRenderMode(GL_RENDER), 2 * 35);  // per triangle a token, 3, then x y z, r g b a, s t r q per corner
    const double expected[4][5] = {              // x, y, z in the list; s, t handed to GL
                                   {1, -0.5, 0.1, 3, 2},
                                   {0.5, 0.5, 0, 2, 0},
                                   {-0.5, -0.5, 0, 0, 2},
                                   {0, 0, -0.05, 1, 1}};
    for (const auto& e : expected) {
        int found = 0;
        for (int corner = 0; corner < 6; ++corner) {
            const GLfloat* f = &buffer[corner / 3 * 35 + 2 + corner % 3 * 11];
            bool here = std::fabs(f[0] - 2 - e[0]) + std::fabs(f[1] - 2 - e[1]) + std::fabs(2 - 4 * f[2] - e[2]) < 1e-4;
            found += here;
            EXPECT_TRUE(!here || std::fabs(f[7] / f[10] - e[3]) + std::fabs(f[8] / f[10] - e[4]) < 1e-5)
                << "at (" << e[0] << ", " << e[1] << "): s, t = " << f[7] / f[10] << ", " << f[8] / f[10];
        }
        EXPECT_GT(found, 0) << "no corner at (" << e[0] << ", " << e[1] << ", " << e[2] << ")";
    }
}

// The shape of cell (i, j) of a 4 x 4 block (row j = 0 at the top): straight
// outer edges, knobs and holes mixed inside.
int BlockShape(int i, int j)
{
    auto right = [](int x, int y) { return x < 0 || x > 2 ? 0 : (x + 2 * y) % 3 ? 1 : -1; };  // code on the right edge
    auto down = [](int x, int y) { return y < 0 || y > 2 ? 0 : (2 * x + y) % 3 ? -1 : 1; };   // on the bottom edge
    const int codes[4] = {-down(i, j - 1), right(i, j), down(i, j), -right(i - 1, j)};
    auto matches = [&codes](const int* shape) { return std::equal(codes, codes + 4, shape); };
    return int(std::find_if(ppInfo, ppInfo + 64, matches) - ppInfo);
}

TEST_F(PieceShapes, ShippedShapesMakeSixtyFourListsAndABlockWithoutGaps)
{
    ONEPUZZLE puzzle;
    ASSERT_TRUE(SetupFrom(puzzle, ZARNET_BUILD_RESOURCES));
    std::set<unsigned> lists(puzzle.modelLists, puzzle.modelLists + 64);
    lists.insert(puzzle.lightLists, puzzle.lightLists + 64);
    EXPECT_TRUE(lists.size() == 128 && !lists.count(0) && glIsList(*lists.begin()) && glIsList(*lists.rbegin()));
    const int size = 256;
    glMatrixMode(GL_PROJECTION);
    glOrtho(-2.5, 2.5, -2.5, 2.5, -10, 10);
    glMatrixMode(GL_MODELVIEW);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);  // white, shining from the eye
    glEnable(GL_COLOR_MATERIAL);
    glClearColor(0, 0, 1, 1);  // pure blue: anything blue inside the block is a hole
    const struct {
        float tilt, shift;  // degrees about x; cells one piece is moved by
        int holes;          // at least
    } views[] = {{0, 0.06f, 20}, {0, 0, 0}, {35, 0, 0}};
    std::vector<uint8_t> rgba;
    for (const auto& v : views) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glLoadIdentity();
        glRotatef(v.tilt, 1, 0, 0);
        for (int j = 0; j < 4; ++j)
            for (int i = 0; i < 4; ++i) {
                glPushMatrix();
                glTranslatef(i - 1.5f + (i == 1 && j == 1 ? v.shift : 0), 1.5f - j, 0);
                glCallList(puzzle.modelLists[BlockShape(i, j)]);
                glPopMatrix();
            }
        rgba = gl_.ReadPixels();
        const double halfX = 1.95 / 5 * size, halfY = halfX * std::cos(v.tilt * M_PI / 180);
        int holes = 0;
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x) {
                const uint8_t* p = &rgba[(size_t(y) * size + x) * 4];
                holes += std::fabs(x + 0.5 - size / 2.0) < halfX && std::fabs(y + 0.5 - size / 2.0) < halfY &&
                         p[2] > p[0] + 64 && p[2] > p[1] + 64;
            }
        EXPECT_TRUE(v.holes ? holes > v.holes : holes == 0) << holes << " holes, view " << &v - views;
    }
    const std::string renders = std::string(ZARNET_BUILD_RESOURCES) + "../test-renders/";
    std::filesystem::create_directories(renders);
    EXPECT_TRUE(WritePNG((renders + "shapes_block.png").c_str(), size, size, rgba.data()));  // the tilted view
}

}  // namespace
