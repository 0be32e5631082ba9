// The shipped overlay images as the overlay draws them: uploaded by the
// texture loader with their lumps' alpha modes and blended over a scene on
// the banner's quads and the title card's. Renders go to <build>/test-renders/.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "loading/Textures.h"
#include "platform/egl_headless.h"
#include "platform/png_writer.h"

namespace {

const int kWidth = 1024;
const int kHeight = 256;

// A busy scene: diagonal bands of light and dark colours, so an image that
// relied on a light or a dark ground alone would vanish somewhere.
void DrawScene()
{
    glDisable(GL_TEXTURE_2D);
    glBegin(GL_QUADS);
    for (int k = -8; k < 40; ++k) {
        float x = k * 40.0f;
        bool light = k % 2 == 0;
        glColor3f(light ? 0.95f : 0.1f, light ? 0.9f : 0.15f, light ? 0.7f : 0.35f);
        glVertex2f(x, 0);
        glVertex2f(x + 40, 0);
        glVertex2f(x + 40 + kHeight, float(kHeight));
        glVertex2f(x + kHeight, float(kHeight));
    }
    glEnd();
    glColor4f(1, 1, 1, 1);
    glEnable(GL_TEXTURE_2D);
}

void TexturedQuad(unsigned texture, float x, float y, float w, float h)
{
    glBindTexture(GL_TEXTURE_2D, texture);
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0);
    glVertex2f(x, y);
    glTexCoord2f(1, 0);
    glVertex2f(x + w, y);
    glTexCoord2f(1, 1);
    glVertex2f(x + w, y + h);
    glTexCoord2f(0, 1);
    glVertex2f(x, y + h);
    glEnd();
}

// Share of pixels in the rectangle (x, y, w, h; y up) that differ from the scene alone.
double Changed(const std::vector<uint8_t>& with, const std::vector<uint8_t>& without, int x, int y, int w, int h)
{
    int changed = 0;
    for (int row = y; row < y + h; ++row)
        for (int col = x; col < x + w; ++col) {
            size_t at = (size_t(kHeight - 1 - row) * kWidth + col) * 4;
            changed += std::abs(with[at] - without[at]) + std::abs(with[at + 1] - without[at + 1]) +
                           std::abs(with[at + 2] - without[at + 2]) > 24;
        }
    return double(changed) / (w * h);
}

}  // namespace

TEST(OverlayImagesDrawn, BannerAndTitleCardShowTheirTextOverAnyGround)
{
    HeadlessGLContext gl;
    ASSERT_TRUE(gl.Create(kWidth, kHeight)) << gl.Error();
    std::string path = std::string(ZARNET_BUILD_RESOURCES) + "vantor.morvence";
    std::vector<char> pathBuffer(path.c_str(), path.c_str() + path.size() + 1);
    Texture* textures = nullptr;
    int count = 0;
    ASSERT_TRUE(LoadTexturesFromDataFile(pathBuffer.data(), &textures, &count));
    ASSERT_GE(count, 6);
    for (int index : {1, 4, 5})
        ASSERT_NE(textures[index].texID, 0u) << "lump " << index;

    glViewport(0, 0, kWidth, kHeight);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, kWidth, 0, kHeight, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_LIGHTING);
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_TEXTURE_2D);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);

    glClear(GL_COLOR_BUFFER_BIT);
    DrawScene();
    std::vector<uint8_t> scene = gl.ReadPixels();

    // The banner resting at the bottom (side strip at the left edge, the
    // message centred), a second one at the top with the other message, and
    // the title card's message at full width between them (2x its size).
    glEnable(GL_BLEND);
    TexturedQuad(textures[1].texID, 0, 5, 256, 32);
    TexturedQuad(textures[4].texID, kWidth * 0.5f - 256, 5, 512, 32);
    TexturedQuad(textures[1].texID, kWidth - 256, kHeight - 40, 256, 32);
    TexturedQuad(textures[5].texID, kWidth * 0.5f - 256, kHeight - 40, 512, 32);
    TexturedQuad(textures[5].texID, 0, 96, 1024, 64);
    glDisable(GL_BLEND);
    std::vector<uint8_t> banner = gl.ReadPixels();

    std::string dir = std::string(ZARNET_BUILD_RESOURCES) + "../test-renders/";
    std::error_code ignored;
    std::filesystem::create_directories(dir, ignored);
    EXPECT_TRUE(WritePNG((dir + "overlay_images.png").c_str(), kWidth, kHeight, banner.data()));

    struct Area {
        const char* name;
        int x, y, w, h;
    };
    const Area areas[] = {
        {"side strip", 0, 5, 256, 32},
        {"message", kWidth / 2 - 256, 5, 512, 32},
        {"title card message", 0, 96, 1024, 64},
    };
    for (const Area& a : areas) {
        double changed = Changed(banner, scene, a.x, a.y, a.w, a.h);
        EXPECT_GT(changed, 0.05) << a.name << ": nothing to read";
        EXPECT_LT(changed, 0.8) << a.name << ": hides the scene behind it";
    }
    // Outside the quads the scene is untouched.
    EXPECT_LT(Changed(banner, scene, 0, 50, kWidth, 40), 0.001);
    delete[] textures;
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}
