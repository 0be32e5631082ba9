// loadPicFile and LoadPicture with a real context: the texture's size for
// each resolution code, the picture upright in it, the record left holding
// the picture's own size, and a failed load that leaves the record alone.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "loading/Texture.h"
#include "pictures/Pictures.h"
#include "platform/egl_headless.h"
#include "tests/support/picture_writers.h"
#include "tests/support/scratch_dir.h"

using testpics::Bytes;

namespace {

// Quadrants: top-left red, top-right green, bottom-left blue, bottom-right white.
constexpr unsigned char kQuadrant[2][2][3] = {{{230, 20, 20}, {20, 210, 30}}, {{25, 30, 220}, {240, 240, 240}}};

TEST(PicturesGL, TexturesAreUprightAtEachResolutionAndTheRecordHoldsThePictureSize)
{
    HeadlessGLContext gl;
    ASSERT_TRUE(gl.Create(16, 16)) << gl.Error();
    ScratchDir folder;
    Bytes pixels;
    for (int y = 0; y < 600; ++y) {
        for (int x = 0; x < 800; ++x) {
            pixels.insert(pixels.end(), kQuadrant[y / 300][x / 400], kQuadrant[y / 300][x / 400] + 3);
        }
    }
    ASSERT_TRUE(WriteWholeFile(folder.Join("q.png"), testpics::EncodePng(800, 600, 2, 8, pixels)));
    struct Case {
        int code, width, height;
    } const cases[] = {{0, 512, 512}, {1, 1024, 1024}, {2, 1024, 512}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        Texture texture;
        ASSERT_TRUE(loadPicFile(folder.Join("q.png").c_str(), &texture, c.code));
        EXPECT_EQ(texture.width, 800u);
        EXPECT_EQ(texture.height, 600u);
        EXPECT_EQ(texture.type, unsigned(GL_RGB));
        int w = 0, h = 0;
        glBindTexture(GL_TEXTURE_2D, texture.texID);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &w);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &h);
        ASSERT_EQ(w, c.width);
        ASSERT_EQ(h, c.height);
        std::vector<unsigned char> texels(size_t(w) * size_t(h) * 3);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, texels.data());
        // Row 0 (t = 0) is the picture's bottom.
        for (int qy = 0; qy < 2; ++qy) {
            for (int qx = 0; qx < 2; ++qx) {
                const size_t at = (size_t(qy == 0 ? h - 1 : 0) * size_t(w) + size_t(qx == 0 ? 0 : w - 1)) * 3;
                EXPECT_EQ(std::vector<unsigned char>(texels.begin() + long(at), texels.begin() + long(at) + 3),
                          std::vector<unsigned char>(kQuadrant[qy][qx], kQuadrant[qy][qx] + 3))
                    << qx << "," << qy;
            }
        }
        glDeleteTextures(1, &texture.texID);  // the record's owner deletes its texture
    }
    std::string path = folder.Path() + "/";
    Texture chosen;
    ASSERT_TRUE(LoadPicture(path.data(), &chosen, 2));
    EXPECT_EQ(chosen.width, 800u);
    glDeleteTextures(1, &chosen.texID);

    ASSERT_TRUE(WriteWholeFile(folder.Join("text.png"), "hi"));
    Texture failed;
    failed.width = 7;
    failed.height = 5;
    EXPECT_FALSE(loadPicFile(folder.Join("text.png").c_str(), &failed, 1));
    EXPECT_EQ(failed.texID, 0u);
    EXPECT_EQ(failed.imageData, nullptr);
    EXPECT_EQ(failed.width, 7u);
    EXPECT_EQ(failed.height, 5u);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

}  // namespace
