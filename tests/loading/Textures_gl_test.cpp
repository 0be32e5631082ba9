// The texture container in a real (headless) context: only lumps of
// lumpType 1 are read, each uploaded with its entry's alpha mode.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include "loading/Textures.h"
#include "platform/egl_headless.h"
#include "tests/loading/loading_test_files.h"
#include "tests/support/scratch_dir.h"

TEST(Textures, ContainerUploadsTypeOneLumpsWithTheirAlphaModes)
{
    HeadlessGLContext gl;
    ASSERT_TRUE(gl.Create(8, 8)) << gl.Error();
    // A 32-bit image whose stored alpha (7, 77, ...) must never reach a texture.
    const std::vector<unsigned char> rgba = {20, 30, 40, 7,   10, 200, 30, 77, 0,   0, 0, 99,
                                             20, 30, 40, 255, 20, 30,  41, 0,  250, 5, 5, 128};
    const std::string tga = loadtest::UncompressedTga(3, 2, 32, rgba);
    ScratchDir dir;
    const std::string container = loadtest::MakeContainer(
        {{tga, 1, 0}, {tga, 1, 1}, {tga, 1, 2}, {tga, 1, 3}, {tga, 0, 1}, {"no TGA", 2, 0}});  // the last two unread
    ASSERT_TRUE(WriteWholeFile(dir.Join("t"), container));
    Texture* textures = nullptr;
    int count = 0;
    ASSERT_TRUE(LoadTexturesFromDataFile(dir.Join("t").c_str(), &textures, &count));
    ASSERT_EQ(count, 6);
    const std::vector<unsigned char> alphas[] = {
        {255, 255, 255, 255, 255, 255},   // 0: opaque
        {0, 255, 255, 0, 255, 255},       // 1: the first pixel's colour is transparent, wherever it recurs
        {40, 200, 0, 40, 41, 250},        // 2: brightness, the largest of R, G, B
        {255, 255, 255, 255, 255, 255}};  // anything else: opaque
    for (int mode = 0; mode < 4; ++mode) {
        std::vector<unsigned char> texels(24);
        glBindTexture(GL_TEXTURE_2D, textures[mode].texID);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
        for (size_t i = 0; i < 24; ++i)
            EXPECT_EQ(texels[i], i % 4 == 3 ? alphas[mode][i / 4] : rgba[i]) << "mode " << mode << ", byte " << i;
    }
    EXPECT_TRUE(textures[4].texID == 0 && textures[5].texID == 0) << "lumps of another type were read";
    for (int i = 0; i < count; ++i)  // the names are the caller's to delete
        glDeleteTextures(1, &textures[i].texID);
    delete[] textures;
}
