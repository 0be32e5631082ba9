// Texture upload and the texture container, in a real (headless) context.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "loading/Textures.h"
#include "platform/alert.h"
#include "platform/egl_headless.h"
#include "tests/loading/loading_test_files.h"
#include "tests/support/scratch_dir.h"

namespace {

using loadtest::CompressedTga;
using loadtest::Lump;
using loadtest::UncompressedTga;

class TexturesGLTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(gl_.Create(8, 8)) << gl_.Error();
        AlertSetRecorder([this](const char* caption, const char* text) {
            alerts_.push_back(std::string(caption) + "|" + text);
        });
    }
    void TearDown() override { AlertUseStderr(); }

    // A decoded record holding a copy of `pixels` (malloc'd, as the reader makes them).
    static void Fill(Texture& t, unsigned width, unsigned height, unsigned type, const std::vector<unsigned char>& pixels)
    {
        t.width = width;
        t.height = height;
        t.type = type;
        t.bpp = type == GL_RGBA ? 32 : 24;
        t.imageData = static_cast<char*>(std::malloc(pixels.size()));
        std::memcpy(t.imageData, pixels.data(), pixels.size());
    }
    // The texture's level 0 as RGBA bytes.
    static std::vector<unsigned char> ReadBack(const Texture& t)
    {
        std::vector<unsigned char> rgba(static_cast<size_t>(t.width) * t.height * 4);
        glBindTexture(GL_TEXTURE_2D, t.texID);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
        return rgba;
    }
    static std::vector<unsigned char> Alphas(const std::vector<unsigned char>& rgba)
    {
        std::vector<unsigned char> a;
        for (size_t i = 3; i < rgba.size(); i += 4) {
            a.push_back(rgba[i]);
        }
        return a;
    }

    HeadlessGLContext gl_;
    std::vector<std::string> alerts_;
};

TEST_F(TexturesGLTest, AlphaModesMakeTheAlphaChannel)
{
    // A 32-bit image whose stored alpha (7, 77, ...) must never reach the texture.
    const std::vector<unsigned char> image = {
        20, 30, 40, 7,     10, 200, 30, 77,   0, 0, 0, 99,
        20, 30, 40, 255,   20, 30, 41, 0,     250, 5, 5, 128};
    const struct {
        int mode;
        std::vector<unsigned char> alpha;
    } cases[] = {
        {0, {255, 255, 255, 255, 255, 255}},
        {1, {0, 255, 255, 0, 255, 255}},       // key = first pixel's colour, wherever it recurs
        {2, {40, 200, 0, 40, 41, 250}},        // largest of R, G, B; black is see-through
        {3, {255, 255, 255, 255, 255, 255}},   // any other mode is opaque
        {-1, {255, 255, 255, 255, 255, 255}},
    };
    for (const auto& c : cases) {
        Texture t;
        Fill(t, 3, 2, GL_RGBA, image);
        ASSERT_TRUE(BuildTexture(&t, c.mode)) << c.mode;
        EXPECT_NE(t.texID, 0u);
        EXPECT_EQ(t.imageData, nullptr);
        GLint bound = 0;
        glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
        EXPECT_EQ(static_cast<unsigned>(bound), t.texID);  // left bound
        const std::vector<unsigned char> rgba = ReadBack(t);
        EXPECT_EQ(Alphas(rgba), c.alpha) << "mode " << c.mode;
        for (size_t p = 0; p < 6; ++p) {
            EXPECT_EQ(rgba[p * 4 + 0], image[p * 4 + 0]);
            EXPECT_EQ(rgba[p * 4 + 1], image[p * 4 + 1]);
            EXPECT_EQ(rgba[p * 4 + 2], image[p * 4 + 2]);
        }
    }
}

TEST_F(TexturesGLTest, UploadsRgbRowsInStoredOrderWithItsParameters)
{
    // Odd width: 3-byte pixels pack without row padding.
    const std::vector<unsigned char> image = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15,
                                              16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30};
    Texture t;
    Fill(t, 5, 2, GL_RGB, image);
    ASSERT_TRUE(BuildTexture(&t, 0));
    const std::vector<unsigned char> rgba = ReadBack(t);
    ASSERT_EQ(rgba.size(), 40u);
    EXPECT_EQ(rgba[0], 1);      // first stored row is texture row 0
    EXPECT_EQ(rgba[20], 16);
    EXPECT_EQ(rgba[39], 255);
    GLint value = 0;
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, &value);
    EXPECT_EQ(value, GL_REPEAT);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, &value);
    EXPECT_EQ(value, GL_REPEAT);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &value);
    EXPECT_EQ(value, GL_LINEAR);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &value);
    EXPECT_EQ(value, GL_LINEAR);
    GLint width = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 1, GL_TEXTURE_WIDTH, &width);
    EXPECT_EQ(width, 0);  // no mipmaps
}

TEST_F(TexturesGLTest, SingleColourImageWithColourKeyIsFullyTransparent)
{
    Texture t;
    Fill(t, 2, 2, GL_RGB, std::vector<unsigned char>(12, 90));
    ASSERT_TRUE(BuildTexture(&t, 1));
    EXPECT_EQ(Alphas(ReadBack(t)), (std::vector<unsigned char>{0, 0, 0, 0}));
}

TEST_F(TexturesGLTest, NothingToUploadFailsWithoutMakingAName)
{
    Texture empty;
    EXPECT_FALSE(BuildTexture(&empty, 0));
    EXPECT_EQ(empty.texID, 0u);
    EXPECT_FALSE(BuildTexture(nullptr, 0));
}

TEST_F(TexturesGLTest, DestructorDeletesTheTexture)
{
    GLuint name = 0;
    {
        Texture t;
        Fill(t, 1, 1, GL_RGB, {1, 2, 3});
        ASSERT_TRUE(BuildTexture(&t, 0));
        name = t.texID;
        EXPECT_TRUE(glIsTexture(name));
    }
    EXPECT_FALSE(glIsTexture(name));
}

class TextureContainerTest : public TexturesGLTest {
protected:
    std::string Write(const std::vector<Lump>& lumps)
    {
        const std::string path = dir_.Join("vantor.morvence");
        EXPECT_TRUE(WriteWholeFile(path, loadtest::MakeContainer(lumps)));
        return path;
    }
    ScratchDir dir_;
};

TEST_F(TextureContainerTest, LoadsTypeOneLumpsAndSkipsTheRest)
{
    const std::string keyed = UncompressedTga(2, 1, 24, {9, 9, 9, 200, 100, 50});
    const std::string bright = CompressedTga(2, 2, 32, {{true, 4, {10, 200, 30, 1}}});
    const std::vector<Lump> lumps = {
        {keyed, 1, 1},
        {keyed, 0, 0},                     // a valid TGA, but not a texture lump: never read
        {"not a TGA at all", 2, 0},        // never read either
        {bright, 1, 2},
    };
    Texture* textures = nullptr;
    int count = -1;
    ASSERT_TRUE(LoadTexturesFromDataFile(Write(lumps).c_str(), &textures, &count));
    ASSERT_EQ(count, 4);
    ASSERT_NE(textures, nullptr);
    EXPECT_TRUE(alerts_.empty());

    EXPECT_NE(textures[0].texID, 0u);
    EXPECT_EQ(textures[0].width, 2u);
    EXPECT_EQ(Alphas(ReadBack(textures[0])), (std::vector<unsigned char>{0, 255}));
    for (int skipped : {1, 2}) {
        EXPECT_EQ(textures[skipped].texID, 0u) << skipped;
        EXPECT_EQ(textures[skipped].imageData, nullptr) << skipped;
    }
    EXPECT_EQ(Alphas(ReadBack(textures[3])), (std::vector<unsigned char>{200, 200, 200, 200}));
    delete[] textures;
}

TEST_F(TextureContainerTest, NoTextureLumpsGivesEmptyRecords)
{
    Texture* textures = nullptr;
    int count = -1;
    ASSERT_TRUE(LoadTexturesFromDataFile(Write({{"a", 0, 0}, {"b", 5, 1}}).c_str(), &textures, &count));
    ASSERT_EQ(count, 2);
    EXPECT_EQ(textures[0].texID, 0u);
    EXPECT_EQ(textures[1].texID, 0u);
    delete[] textures;

    ASSERT_TRUE(LoadTexturesFromDataFile(Write({}).c_str(), &textures, &count));
    EXPECT_EQ(count, 0);
    delete[] textures;
}

// The first bad texture lump stops the pass: what came before stays built,
// the failing record and everything after stay empty.
TEST_F(TextureContainerTest, StopsAtTheFirstBadTexture)
{
    const std::string good = UncompressedTga(1, 1, 24, {1, 2, 3});
    const std::string sixteenBit = loadtest::TgaFileHeader(2) + loadtest::TgaInfoHeader(1, 1, 16) + "xx";
    Texture* textures = nullptr;
    int count = -1;
    EXPECT_FALSE(LoadTexturesFromDataFile(Write({{good, 1, 0}, {sixteenBit, 1, 0}, {good, 1, 0}}).c_str(),
                                          &textures, &count));
    ASSERT_EQ(count, 3);
    ASSERT_NE(textures, nullptr);
    EXPECT_NE(textures[0].texID, 0u);
    EXPECT_TRUE(glIsTexture(textures[0].texID));
    EXPECT_EQ(textures[1].texID, 0u);
    EXPECT_EQ(textures[1].imageData, nullptr);
    EXPECT_EQ(textures[2].texID, 0u);
    EXPECT_EQ(alerts_, (std::vector<std::string>{"ERROR|Invalid texture information"}));
    delete[] textures;
}

TEST_F(TextureContainerTest, MissingOrBrokenContainerFailsSilently)
{
    Texture* textures = nullptr;
    int count = -1;
    EXPECT_FALSE(LoadTexturesFromDataFile(dir_.Join("missing").c_str(), &textures, &count));
    EXPECT_EQ(textures, nullptr);
    std::string broken = loadtest::MakeContainer({{"x", 1, 0}});
    broken[0] = 'W';
    const std::string path = dir_.Join("broken");
    ASSERT_TRUE(WriteWholeFile(path, broken));
    EXPECT_FALSE(LoadTexturesFromDataFile(path.c_str(), &textures, &count));
    EXPECT_EQ(textures, nullptr);
    EXPECT_TRUE(alerts_.empty());
}

// A texture lump whose image runs past the end of the file.
TEST_F(TextureContainerTest, TruncatedTextureLumpFails)
{
    const std::string image = UncompressedTga(4, 4, 24, loadtest::TgaPattern(4, 4, 24));
    std::string bytes = loadtest::MakeContainer({{image, 1, 0}});
    // Point the lump near the end so its pixels run off the file.
    loadtest::PutU32(bytes, bytes.size() - 28 + 4, static_cast<uint32_t>(bytes.size() - 40));
    const std::string path = dir_.Join("cut");
    ASSERT_TRUE(WriteWholeFile(path, bytes));
    Texture* textures = nullptr;
    int count = -1;
    EXPECT_FALSE(LoadTexturesFromDataFile(path.c_str(), &textures, &count));
    ASSERT_EQ(count, 1);
    EXPECT_EQ(textures[0].texID, 0u);
    EXPECT_EQ(alerts_.size(), 1u);
    delete[] textures;
}

}  // namespace
