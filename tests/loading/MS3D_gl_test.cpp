// MS3D::Render, observed through GL feedback mode: which triangles reach
// GL, with which texture coordinates.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <sstream>
#include <vector>

#include "loading/MS3D.h"
#include "platform/egl_headless.h"
#include "tests/loading/loading_test_files.h"

namespace {

struct Corner {
    float x, y;     // window coordinates
    float s, t;     // texture coordinates issued
};

// Renders `model` in feedback mode under an orthographic view of
// [-50, 50]^2 onto a 100 x 100 window; returns the triangles' corners.
std::vector<std::vector<Corner>> Feedback(MS3D& model)
{
    glViewport(0, 0, 100, 100);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-50, 50, -50, 50, -100, 100);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    std::vector<GLfloat> buffer(4096);
    glFeedbackBuffer(static_cast<GLsizei>(buffer.size()), GL_3D_COLOR_TEXTURE, buffer.data());
    glRenderMode(GL_FEEDBACK);
    model.Render();
    const GLint used = glRenderMode(GL_RENDER);
    std::vector<std::vector<Corner>> triangles;
    // Token, count, then per vertex x, y, z, RGBA, texture s, t, r, q.
    for (GLint i = 0; i < used;) {
        EXPECT_EQ(buffer[i], static_cast<GLfloat>(GL_POLYGON_TOKEN));
        const int n = static_cast<int>(buffer[i + 1]);
        i += 2;
        std::vector<Corner> corners;
        for (int k = 0; k < n; ++k, i += 11) {
            corners.push_back({buffer[i], buffer[i + 1], buffer[i + 7], buffer[i + 8]});
        }
        triangles.push_back(corners);
    }
    return triangles;
}

bool Load(MS3D& model, const loadtest::Model& source)
{
    std::istringstream in(loadtest::WriteModel(source));
    return model.LoadFromFStream(&in);
}

class MS3DRenderTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(gl_.Create(16, 16)) << gl_.Error(); }
    HeadlessGLContext gl_;
};

TEST_F(MS3DRenderTest, DrawsEachGroupsTrianglesWithFlippedT)
{
    MS3D model;
    ASSERT_TRUE(Load(model, loadtest::SmallModel()));
    const auto triangles = Feedback(model);
    // Group 0 holds triangles 0 and 1, group 1 triangle 1 again: three drawn.
    ASSERT_EQ(triangles.size(), 3u);
    ASSERT_EQ(triangles[0].size(), 3u);
    // Triangle 0, corner 0: vertex (40, -20), s = 1, stored t = 0.25 issued as 0.75.
    EXPECT_NEAR(triangles[0][0].x, 90, 1e-3);
    EXPECT_NEAR(triangles[0][0].y, 30, 1e-3);
    EXPECT_FLOAT_EQ(triangles[0][0].s, 1);
    EXPECT_FLOAT_EQ(triangles[0][0].t, 0.75f);
    EXPECT_FLOAT_EQ(triangles[0][1].t, 0.0f);    // stored 1
    EXPECT_NEAR(triangles[0][1].x, 10, 1e-3);   // corner 1 is vertex 2 (-40, 20)
    EXPECT_NEAR(triangles[0][1].y, 70, 1e-3);
    EXPECT_NEAR(triangles[1][1].x, triangles[2][1].x, 1e-6);  // the same triangle twice
}

TEST_F(MS3DRenderTest, ScaledModelAndModelsWithoutGroups)
{
    MS3D scaled;
    ASSERT_TRUE(Load(scaled, loadtest::SmallModel()));
    scaled.Scale(0.5f);
    const auto triangles = Feedback(scaled);
    ASSERT_FALSE(triangles.empty());
    EXPECT_NEAR(triangles[0][0].x, 70, 1e-3);  // (20, -10) after scaling

    loadtest::Model source = loadtest::SmallModel();
    source.groups.clear();
    MS3D ungrouped;
    ASSERT_TRUE(Load(ungrouped, source));
    EXPECT_TRUE(Feedback(ungrouped).empty());
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(MS3DRenderTest, CompilesIntoADisplayList)
{
    MS3D model;
    ASSERT_TRUE(Load(model, loadtest::SmallModel()));
    const GLuint list = glGenLists(1);
    glNewList(list, GL_COMPILE);
    model.Render();
    glEndList();
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-50, 50, -50, 50, -100, 100);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glColor3f(1, 1, 1);
    glCallList(list);
    const std::vector<uint8_t> rgba = gl_.ReadPixels();
    EXPECT_EQ(rgba[(8 * 16 + 8) * 4], 255);  // the centre lies inside the quad
    EXPECT_EQ(rgba[0], 0);                   // a corner doesn't
    glDeleteLists(list, 1);
}

}  // namespace
