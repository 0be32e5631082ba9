// The puzzle's set-up builds its 64 shapes from "zar.vnt" into display lists:
// what the lists hold (positions and texture coordinates, read back through
// GL feedback), how set-up fails, and how the shipped shapes look lit by a
// light at the eye: an assembled block shows no gap and visible relief.
// Renders go to <build>/test-renders/ for a person to look at.
#include <GL/gl.h>
#include <GL/glu.h>
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/egl_headless.h"
#include "platform/png_writer.h"
#include "puzzle/ONEPUZZLE.h"
#include "puzzle/ppInfo.h"
#include "tests/shapes/shape_models.h"
#include "tests/support/scratch_dir.h"
#include "tools/ms3d_writer.h"
#include "tools/vanf_writer.h"

namespace {

SETTINGS DefaultSettings()
{
    SETTINGS s{};
    s.PERCENTAGE = 75;
    s.PUZZLEWIDTH = 25;
    s.LOCKINPLACE = true;
    return s;
}

bool SetupFrom(ONEPUZZLE& puzzle, const std::string& directory)
{
    SETTINGS settings = DefaultSettings();
    std::vector<char> path(directory.begin(), directory.end());
    path.push_back('\0');
    return puzzle.Setup(&settings, path.data());
}

std::string RenderDir()
{
    std::string dir = std::string(ZARNET_BUILD_RESOURCES) + "../test-renders/";
    std::error_code ignored;
    std::filesystem::create_directories(dir, ignored);
    return dir;
}

// A model that pins down the set-up's conversion: corner (40, -20, 4) and
// the corners (20, 20), (-20, -20) and (0, 0) of the texture mapping.
std::vector<uint8_t> ProbeModel()
{
    ms3dw::Mesh mesh;
    mesh.positions = {{40, -20, 4}, {20, 20, 0}, {-20, -20, 0}, {0, 0, -2}};
    mesh.groups = {"probe"};
    ms3dw::Triangle first;
    first.v = {0, 1, 2};
    first.s = {9, 9, 9};  // stored coordinates are replaced by set-up
    first.t = {9, 9, 9};
    first.n = {{{0, 0, 1}, {0, 0, 1}, {0, 0, 1}}};
    ms3dw::Triangle second = first;
    second.v = {1, 2, 3};
    mesh.triangles = {first, second};
    std::vector<uint8_t> bytes;
    ms3dw::Write(mesh, bytes);
    return bytes;
}

// Writes a container of `count` lumps of `model` (lump `broken` replaced by
// junk) as <dir>/zar.vnt.
bool WritePieceFile(const ScratchDir& dir, int count, const std::vector<uint8_t>& model, int broken = -1)
{
    std::vector<vanf::Lump> lumps(count);
    for (int i = 0; i < count; ++i)
        lumps[i].data = (i == broken) ? std::vector<uint8_t>{'M', 'S', '3', 'D'} : model;
    std::vector<uint8_t> bytes;
    return vanf::Pack(lumps, bytes) &&
           WriteWholeFile(dir.Join("zar.vnt"), std::string(bytes.begin(), bytes.end()));
}

class PieceShapes : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(gl_.Create(256, 256)) << gl_.Error(); }
    HeadlessGLContext gl_;
};

}  // namespace

TEST_F(PieceShapes, SetupCompilesSixtyFourListsAndASecondSetupMakesNewOnes)
{
    ONEPUZZLE puzzle;
    ASSERT_TRUE(SetupFrom(puzzle, ZARNET_BUILD_RESOURCES));
    std::array<unsigned, 64> first;
    for (int i = 0; i < 64; ++i) {
        first[i] = puzzle.modelLists[i];
        EXPECT_NE(first[i], 0u);
        EXPECT_TRUE(glIsList(first[i]));
        for (int k = 0; k < i; ++k)
            EXPECT_NE(first[k], first[i]);
    }
    ASSERT_TRUE(SetupFrom(puzzle, ZARNET_BUILD_RESOURCES));
    for (int i = 0; i < 64; ++i) {
        EXPECT_NE(puzzle.modelLists[i], first[i]);
        EXPECT_TRUE(glIsList(first[i])) << "the old lists stay in the context";
    }
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(PieceShapes, SetupFailsWithoutSixtyFourReadableModels)
{
    std::vector<uint8_t> model = ProbeModel();
    struct Case {
        const char* name;
        int lumps;
        int broken;     // lump replaced by junk, -1 none
        bool expected;
    };
    const Case cases[] = {
        {"64 models", 64, -1, true},
        {"65 models: the extra one is never read", 65, 64, true},
        {"63 models", 63, -1, false},
        {"no lumps", 0, -1, false},
        {"first model broken", 64, 0, false},
        {"last model broken", 64, 63, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchDir dir;
        ASSERT_TRUE(WritePieceFile(dir, c.lumps, model, c.broken));
        ONEPUZZLE puzzle;
        EXPECT_EQ(SetupFrom(puzzle, dir.Path() + "/"), c.expected);
    }
    ScratchDir empty;
    ONEPUZZLE puzzle;
    EXPECT_FALSE(SetupFrom(puzzle, empty.Path() + "/")) << "no zar.vnt";
    EXPECT_FALSE(SetupFrom(puzzle, std::string(1100, 'x') + "/")) << "a path that doesn't fit";
    SETTINGS settings = DefaultSettings();
    EXPECT_FALSE(puzzle.Setup(&settings, nullptr));
}

TEST_F(PieceShapes, ListsHoldScaledPositionsAndPositionTextureCoordinates)
{
    ScratchDir dir;
    ASSERT_TRUE(WritePieceFile(dir, 64, ProbeModel()));
    ONEPUZZLE puzzle;
    ASSERT_TRUE(SetupFrom(puzzle, dir.Path() + "/"));

    // Feedback with an orthographic view of [-2, 2]^3 on a 4 x 4 viewport:
    // window x = x + 2, y = y + 2, depth = 0.5 - z/4.
    glViewport(0, 0, 4, 4);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-2, 2, -2, 2, -2, 2);
    glMatrixMode(GL_TEXTURE);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_CULL_FACE);
    std::vector<GLfloat> buffer(256);
    glFeedbackBuffer(GLsizei(buffer.size()), GL_3D_COLOR_TEXTURE, buffer.data());
    glRenderMode(GL_FEEDBACK);
    glCallList(puzzle.modelLists[17]);
    GLint used = glRenderMode(GL_RENDER);
    ASSERT_GT(used, 0);

    struct Corner {
        double x, y, z, s, t;
    };
    std::vector<Corner> corners;
    for (GLint at = 0; at < used;) {
        ASSERT_EQ(GLint(buffer[at]), GLint(GL_POLYGON_TOKEN));
        int n = int(buffer[at + 1]);
        at += 2;
        for (int k = 0; k < n; ++k, at += 11)  // x y z, r g b a, s t r q
            corners.push_back({buffer[at] - 2.0, buffer[at + 1] - 2.0, (0.5 - buffer[at + 2]) * 4.0,
                               buffer[at + 7] / buffer[at + 10], buffer[at + 8] / buffer[at + 10]});
    }
    ASSERT_EQ(corners.size(), 6u);
    struct Expected {
        double x, y, z;  // in the compiled shape
        double s, t;     // texture coordinate handed to GL
    };
    const Expected expected[] = {
        {1.0, -0.5, 0.1, 3.0, 2.0},  // (40, -20, 4): (40/20 + 1, 1 - (-20)/20)
        {0.5, 0.5, 0.0, 2.0, 0.0},   // (20, 20)
        {-0.5, -0.5, 0.0, 0.0, 2.0}, // (-20, -20)
        {0.0, 0.0, -0.05, 1.0, 1.0}, // the centre
    };
    for (const Expected& e : expected) {
        bool found = false;
        for (const Corner& c : corners) {
            if (std::fabs(c.x - e.x) < 1e-4 && std::fabs(c.y - e.y) < 1e-4 && std::fabs(c.z - e.z) < 1e-4) {
                found = true;
                EXPECT_NEAR(c.s, e.s, 1e-5) << "at (" << e.x << ", " << e.y << ")";
                EXPECT_NEAR(c.t, e.t, 1e-5) << "at (" << e.x << ", " << e.y << ")";
            }
        }
        EXPECT_TRUE(found) << "no corner at (" << e.x << ", " << e.y << ", " << e.z << ")";
    }
}

namespace {

// The engine's drawing state: smooth shading, depth test, colour material,
// light 0 a point light at the eye; a 45-degree perspective.
void EngineLikeState(int width, int height)
{
    glViewport(0, 0, width, height);
    glShadeModel(GL_SMOOTH);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glEnable(GL_COLOR_MATERIAL);
    glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(45.0, double(width) / height, 1.0, 120.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    const GLfloat ambient[] = {0, 0, 0, 0}, diffuse[] = {1, 1, 1, 1}, specular[] = {0.3f, 0.3f, 0.3f, 1},
                  position[] = {0, 0, 0, 1};
    glLightfv(GL_LIGHT0, GL_AMBIENT, ambient);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, diffuse);
    glLightfv(GL_LIGHT0, GL_SPECULAR, specular);
    glLightfv(GL_LIGHT0, GL_POSITION, position);
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    glColor4f(1, 1, 1, 1);
}

int ShapeWith(int top, int right, int bottom, int left)
{
    for (int i = 0; i < 64; ++i)
        if (ppInfo[i][0] == top && ppInfo[i][1] == right && ppInfo[i][2] == bottom && ppInfo[i][3] == left)
            return i;
    return -1;
}

// A 4 x 4 block: the shape of each cell (array row j = 0 at the top), border
// edges straight and a fixed mix of knob directions inside.
std::array<std::array<int, 4>, 4> BlockShapes()
{
    // right[j][i]: code on the right edge of cell (i, j); down[j][i]: code on its bottom edge.
    const int right[4][3] = {{1, -1, 1}, {-1, 1, 1}, {1, 1, -1}, {-1, -1, 1}};
    const int down[3][4] = {{1, -1, -1, 1}, {-1, 1, 1, -1}, {1, -1, 1, 1}};
    std::array<std::array<int, 4>, 4> shapes{};
    for (int j = 0; j < 4; ++j)
        for (int i = 0; i < 4; ++i)
            shapes[j][i] = ShapeWith(j == 0 ? 0 : -down[j - 1][i], i == 3 ? 0 : right[j][i],
                                     j == 3 ? 0 : down[j][i], i == 0 ? 0 : -right[j][i - 1]);
    return shapes;
}

// Draws the block centred at the origin of the current model-view, with the
// per-piece texture matrix of the puzzle's drawing; `shift` moves one piece.
void DrawBlock(const ONEPUZZLE& puzzle, float shift = 0.0f)
{
    auto shapes = BlockShapes();
    for (int j = 0; j < 4; ++j)
        for (int i = 0; i < 4; ++i) {
            glMatrixMode(GL_TEXTURE);
            glLoadIdentity();
            glTranslatef(i * 0.25f, -(j * 0.25f), 0);
            glScalef(0.125f, -0.125f, 1);
            glMatrixMode(GL_MODELVIEW);
            glPushMatrix();
            float dx = (i == 1 && j == 1) ? shift : 0.0f;
            glTranslatef(i - 1.5f + dx, (3 - j) - 1.5f, 0);
            glCallList(puzzle.modelLists[shapes[j][i]]);
            glPopMatrix();
        }
    glMatrixMode(GL_TEXTURE);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
}

// A picture for the look: hues across, light to dark down, a faint grid of
// the 4 x 4 cells so the mapping can be judged. Row 0 is the bottom.
unsigned PictureTexture()
{
    const int size = 256;
    std::vector<uint8_t> rgba(size * size * 4);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            uint8_t* p = &rgba[(size_t(y) * size + x) * 4];
            double h = x / double(size), v = 0.45 + 0.55 * y / double(size);
            p[0] = uint8_t(255 * v * (0.5 + 0.5 * std::cos(6.2832 * h)));
            p[1] = uint8_t(255 * v * (0.5 + 0.5 * std::cos(6.2832 * (h - 0.33))));
            p[2] = uint8_t(255 * v * (0.5 + 0.5 * std::cos(6.2832 * (h - 0.67))));
            if ((x / 16 + y / 16) % 2 == 0)
                for (int k = 0; k < 3; ++k)
                    p[k] = uint8_t(p[k] * 0.85);
            p[3] = 255;
        }
    unsigned tex = 0;
    glGenTextures(1, &tex);
    glBindTexture(GL_TEXTURE_2D, tex);
    glTexImage2D(GL_TEXTURE_2D, 0, 4, size, size, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    return tex;
}

// Background pixels inside the projection of the square [-e, e]^2 (z = 0)
// of the current model-view: holes in what should be solid.
int BackgroundInside(const std::vector<uint8_t>& rgba, int width, int height, double e)
{
    GLdouble model[16], projection[16];
    GLint viewport[4];
    glGetDoublev(GL_MODELVIEW_MATRIX, model);
    glGetDoublev(GL_PROJECTION_MATRIX, projection);
    glGetIntegerv(GL_VIEWPORT, viewport);
    double quad[4][2];
    const double corners[4][2] = {{-e, -e}, {e, -e}, {e, e}, {-e, e}};
    for (int k = 0; k < 4; ++k) {
        GLdouble wx, wy, wz;
        gluProject(corners[k][0], corners[k][1], 0, model, projection, viewport, &wx, &wy, &wz);
        quad[k][0] = wx;
        quad[k][1] = height - wy;  // read-back rows run top first
    }
    int holes = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            double px = x + 0.5, py = y + 0.5;
            bool inside = true;
            for (int k = 0; k < 4 && inside; ++k) {
                const double* a = quad[k];
                const double* b = quad[(k + 1) % 4];
                inside = (b[0] - a[0]) * (py - a[1]) - (b[1] - a[1]) * (px - a[0]) <= 0;  // clockwise on screen
            }
            const uint8_t* p = &rgba[(size_t(y) * width + x) * 4];
            if (inside && p[2] > p[0] + 64 && p[2] > p[1] + 64)
                ++holes;
        }
    return holes;
}

}  // namespace

TEST_F(PieceShapes, AssembledBlockHasNoGapsAndShowsItsSeams)
{
    ONEPUZZLE puzzle;
    ASSERT_TRUE(SetupFrom(puzzle, ZARNET_BUILD_RESOURCES));
    const int size = 256;
    EngineLikeState(size, size);
    glClearColor(0, 0, 1, 1);  // pure blue: anything blue inside the block is a hole

    struct View {
        const char* name;
        float tiltX, tiltY;  // degrees
        float shift;         // one piece moved sideways, cells
        bool gaps;
    };
    const View views[] = {
        {"face on", 0, 0, 0, false},
        {"tilted", -28, 18, 0, false},
        {"steeply tilted", 50, -10, 0, false},
        {"face on, one piece 6% out of place", 0, 0, 0.06f, true},
    };
    for (const View& v : views) {
        SCOPED_TRACE(v.name);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glLoadIdentity();
        glTranslatef(0, 0, -6.5f);
        glRotatef(v.tiltX, 1, 0, 0);
        glRotatef(v.tiltY, 0, 1, 0);
        DrawBlock(puzzle, v.shift);
        std::vector<uint8_t> rgba = gl_.ReadPixels();
        int holes = BackgroundInside(rgba, size, size, 1.95);
        if (v.gaps)
            EXPECT_GT(holes, 20);
        else
            EXPECT_EQ(holes, 0);
        if (v.tiltX == 0 && v.shift == 0) {
            // Relief: along a line through the upper part of a row (clear of
            // the knobs), each inner seam is clearly darker than the faces.
            GLdouble model[16], projection[16];
            GLint viewport[4];
            glGetDoublev(GL_MODELVIEW_MATRIX, model);
            glGetDoublev(GL_PROJECTION_MATRIX, projection);
            glGetIntegerv(GL_VIEWPORT, viewport);
            auto luma = [&](double bx, double by) {
                GLdouble wx, wy, wz;
                gluProject(bx, by, 0.05, model, projection, viewport, &wx, &wy, &wz);
                const uint8_t* p = &rgba[(size_t(size - 1 - int(wy)) * size + int(wx)) * 4];
                return (p[0] * 299 + p[1] * 587 + p[2] * 114) / 1000;
            };
            for (double seam : {-1.0, 0.0, 1.0}) {
                double face = std::min(luma(seam - 0.3, 0.82), luma(seam + 0.3, 0.82));
                int darkest = 255;
                for (double d = -0.06; d <= 0.06; d += 0.004)
                    darkest = std::min(darkest, luma(seam + d, 0.82));
                EXPECT_LT(darkest, face * 0.8) << "seam at x = " << seam;
            }
        }
    }
}

TEST_F(PieceShapes, RendersOfAPieceAndABlockForTheEye)
{
    ONEPUZZLE puzzle;
    ASSERT_TRUE(SetupFrom(puzzle, ZARNET_BUILD_RESOURCES));
    const int size = 400;
    ASSERT_TRUE(gl_.Resize(size, size));
    gl_.MakeCurrent();
    EngineLikeState(size, size);
    unsigned tex = PictureTexture();
    glEnable(GL_TEXTURE_2D);
    glClearColor(0.05f, 0.05f, 0.12f, 1);
    std::string dir = RenderDir();

    // One piece with knobs and holes, turned to show its rim and thickness.
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glLoadIdentity();
    glTranslatef(0, 0, -2.4f);
    glRotatef(-38, 1, 0, 0);
    glRotatef(24, 0, 1, 0);
    glMatrixMode(GL_TEXTURE);
    glLoadIdentity();
    glTranslatef(0.25f, -0.25f, 0);
    glScalef(0.125f, -0.125f, 1);
    glMatrixMode(GL_MODELVIEW);
    glCallList(puzzle.modelLists[ShapeWith(1, -1, -1, 1)]);
    glMatrixMode(GL_TEXTURE);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    std::vector<uint8_t> piece = gl_.ReadPixels();
    EXPECT_TRUE(WritePNG((dir + "shapes_piece.png").c_str(), size, size, piece.data()));

    // The assembled block, slightly turned.
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glLoadIdentity();
    glTranslatef(0, 0, -6.2f);
    glRotatef(-20, 1, 0, 0);
    glRotatef(12, 0, 1, 0);
    DrawBlock(puzzle);
    std::vector<uint8_t> block = gl_.ReadPixels();
    EXPECT_TRUE(WritePNG((dir + "shapes_block.png").c_str(), size, size, block.data()));

    // Something was drawn in both.
    for (const auto* image : {&piece, &block}) {
        int lit = 0;
        for (size_t k = 0; k < image->size(); k += 4)
            lit += (*image)[k] + (*image)[k + 1] > 120;
        EXPECT_GT(lit, size * size / 10);
    }
    glDeleteTextures(1, &tex);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}
