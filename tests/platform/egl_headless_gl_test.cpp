// The headless context: a real fixed-function pipeline, read back top row first.
#include <GL/gl.h>
#include <GL/glu.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/egl_headless.h"
#include "platform/png_writer.h"

namespace {

const uint8_t* PixelAt(const std::vector<uint8_t>& rgba, int width, int x, int y)
{
    return rgba.data() + (static_cast<size_t>(y) * width + x) * 4;
}

TEST(HeadlessGLContext, ClearsAndReadsBackEveryPixel)
{
    HeadlessGLContext gl;
    ASSERT_TRUE(gl.Create(37, 21)) << gl.Error();  // odd sizes: no row padding sneaks in
    EXPECT_EQ(gl.Width(), 37);
    EXPECT_EQ(gl.Height(), 21);
    glClearColor(0.2f, 0.4f, 0.6f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    std::vector<uint8_t> rgba = gl.ReadPixels();
    ASSERT_EQ(rgba.size(), 37u * 21u * 4u);
    for (size_t i = 0; i < rgba.size(); i += 4) {
        ASSERT_NEAR(rgba[i + 0], 51, 1);
        ASSERT_NEAR(rgba[i + 1], 102, 1);
        ASSERT_NEAR(rgba[i + 2], 153, 1);
        ASSERT_EQ(rgba[i + 3], 255);
    }
}

TEST(HeadlessGLContext, OffersDepthAndCompatibilityProfile)
{
    HeadlessGLContext gl;
    ASSERT_TRUE(gl.Create(8, 8)) << gl.Error();
    GLint depthBits = 0;
    glGetIntegerv(GL_DEPTH_BITS, &depthBits);
    EXPECT_GE(depthBits, 16);
    // Immediate mode and the matrix stacks exist only in a compatibility context.
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glBegin(GL_TRIANGLES);
    glEnd();
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST(HeadlessGLContext, TopRowComesFirst)
{
    HeadlessGLContext gl;
    ASSERT_TRUE(gl.Create(16, 16)) << gl.Error();
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, 16, 0, 16, -1, 1);  // y up: y = 12..16 is the top of the image
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glColor3f(1, 0, 0);
    glRectf(0, 12, 16, 16);
    std::vector<uint8_t> rgba = gl.ReadPixels();
    EXPECT_EQ(PixelAt(rgba, 16, 5, 0)[0], 255);
    EXPECT_EQ(PixelAt(rgba, 16, 5, 15)[0], 0);
}

TEST(HeadlessGLContext, DrawsALitQuadInPerspectiveWithDepth)
{
    HeadlessGLContext gl;
    ASSERT_TRUE(gl.Create(64, 48)) << gl.Error();
    glClearColor(0, 0, 0.5f, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_DEPTH_TEST);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(45.0, 64.0 / 48.0, 1.0, 100.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    const GLfloat lightPos[] = {0, 0, 1, 0};
    glLightfv(GL_LIGHT0, GL_POSITION, lightPos);
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    glEnable(GL_COLOR_MATERIAL);

    // A far green quad covering the view, then a nearer yellow one in the middle,
    // and a red one behind the green that the depth test must hide.
    glColor3f(0, 1, 0);
    glBegin(GL_QUADS);
    glNormal3f(0, 0, 1);
    glVertex3f(-1, -1, -5); glVertex3f(1, -1, -5); glVertex3f(1, 1, -5); glVertex3f(-1, 1, -5);
    glColor3f(1, 1, 0);
    glVertex3f(-0.5f, -0.5f, -4); glVertex3f(0.5f, -0.5f, -4); glVertex3f(0.5f, 0.5f, -4); glVertex3f(-0.5f, 0.5f, -4);
    glColor3f(1, 0, 0);
    glVertex3f(-2, -2, -6); glVertex3f(2, -2, -6); glVertex3f(2, 2, -6); glVertex3f(-2, 2, -6);
    glEnd();
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));

    std::vector<uint8_t> rgba = gl.ReadPixels();
    const uint8_t* centre = PixelAt(rgba, 64, 32, 24);
    EXPECT_GT(centre[0], 150);  // yellow, lit head-on
    EXPECT_GT(centre[1], 150);
    EXPECT_LT(centre[2], 30);
    const uint8_t* side = PixelAt(rgba, 64, 20, 24);
    EXPECT_LT(side[0], 30);     // green: the red quad behind it stays hidden
    EXPECT_GT(side[1], 150);
    const uint8_t* corner = PixelAt(rgba, 64, 0, 0);
    EXPECT_LT(corner[0], 30);   // background beyond the red frame
    EXPECT_GT(corner[0] + corner[2], 100);

    const char* dir = std::getenv("ZARNET_TEST_PNG_DIR");
    if (dir) {
        std::string path = std::string(dir) + "/egl_headless_quad.png";
        EXPECT_TRUE(WritePNG(path.c_str(), 64, 48, rgba.data()));
    }
}

TEST(HeadlessGLContext, ResizeKeepsTheContextAndChangesTheTarget)
{
    HeadlessGLContext gl;
    ASSERT_TRUE(gl.Create(8, 8)) << gl.Error();
    GLuint tex = 0;
    glGenTextures(1, &tex);
    glBindTexture(GL_TEXTURE_2D, tex);  // a name becomes a texture when first bound
    ASSERT_TRUE(gl.Resize(20, 10)) << gl.Error();
    EXPECT_TRUE(glIsTexture(tex));  // same context: its objects survive
    glClearColor(1, 1, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    std::vector<uint8_t> rgba = gl.ReadPixels();
    ASSERT_EQ(rgba.size(), 20u * 10u * 4u);
    EXPECT_EQ(rgba.back(), 255);
    glDeleteTextures(1, &tex);
}

TEST(HeadlessGLContext, TwoContextsInOneProcessAndDestroyTwice)
{
    HeadlessGLContext a, b;
    ASSERT_TRUE(a.Create(4, 4)) << a.Error();
    ASSERT_TRUE(b.Create(4, 4)) << b.Error();
    b.MakeCurrent();
    glClearColor(0, 1, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    a.MakeCurrent();
    glClearColor(1, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    b.Destroy();
    b.Destroy();
    // a must survive b's destruction.
    std::vector<uint8_t> rgba = a.ReadPixels();
    ASSERT_EQ(rgba.size(), 64u);
    EXPECT_EQ(rgba[0], 255);
    EXPECT_EQ(rgba[1], 0);
    EXPECT_TRUE(b.ReadPixels().empty());
    EXPECT_FALSE(b.Resize(4, 4));
}

TEST(HeadlessGLContext, RefusesAnEmptyTarget)
{
    HeadlessGLContext gl;
    EXPECT_FALSE(gl.Create(0, 10));
    EXPECT_FALSE(gl.Error().empty());
}

}  // namespace
