// The headless context: a real fixed-function pipeline with depth, read back
// top row first without row padding.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include "platform/egl_headless.h"

namespace {

TEST(HeadlessGLContext, DrawsWithDepthAndReadsBackTopRowFirst)
{
    HeadlessGLContext gl;
    ASSERT_TRUE(gl.Create(37, 21)) << gl.Error();  // odd sizes: no row padding sneaks in
    glClearColor(0.2f, 0.4f, 0.6f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_DEPTH_TEST);
    glMatrixMode(GL_PROJECTION);  // matrix stacks and immediate mode: a compatibility context
    glLoadIdentity();
    glOrtho(0, 37, 0, 21, -10, 10);  // y up: y = 16..21 is the top of the image
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glBegin(GL_QUADS);
    glColor3f(1, 0, 0);  // red across the top band, near
    glVertex3f(0, 16, 1);
    glVertex3f(37, 16, 1);
    glVertex3f(37, 21, 1);
    glVertex3f(0, 21, 1);
    glColor3f(0, 1, 0);  // green over all of it, farther: hidden under the red
    glVertex3f(0, 11, -1);
    glVertex3f(37, 11, -1);
    glVertex3f(37, 21, -1);
    glVertex3f(0, 21, -1);
    glEnd();
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    const std::vector<uint8_t> rgba = gl.ReadPixels();
    ASSERT_EQ(rgba.size(), 37u * 21u * 4u);
    auto at = [&](int x, int y) { return &rgba[(static_cast<size_t>(y) * 37 + x) * 4]; };
    EXPECT_EQ(at(36, 0)[0], 255);  // top row: red
    EXPECT_EQ(at(36, 0)[1], 0);
    EXPECT_EQ(at(5, 7)[1], 255);  // below it: green
    const uint8_t* bottom = at(36, 20);
    EXPECT_NEAR(bottom[0], 51, 1);  // bottom row: the clear colour
    EXPECT_NEAR(bottom[1], 102, 1);
    EXPECT_NEAR(bottom[2], 153, 1);
    EXPECT_EQ(bottom[3], 255);
}

}  // namespace
