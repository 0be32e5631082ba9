// The next picture's upload: spread over calls of bounded size, the texture
// equal to the one the loader builds, the fallback in place of a failed
// file, and nothing left behind by a dropped or failed picture. (Made at once,
// as the engine's LoadPic does: picture_change_gl_test.cpp holds its frames
// against these.) The loader's record holds the picture's own size, and a
// failed load leaves it alone.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "loading/Texture.h"
#include "pictures/NextPicture.h"
#include "pictures/Pictures.h"
#include "platform/egl_headless.h"
#include "tests/support/engine_view.h"
#include "tests/support/picture_writers.h"
#include "tests/support/scratch_dir.h"

namespace {

// The loader's own texture of `path`, the picture `width` x `height`.
std::vector<unsigned char> LoaderTexels(const std::string& path, int resolution, unsigned width, unsigned height)
{
    Texture texture;
    if (!loadPicFile(path.c_str(), &texture, resolution))
        return {};
    EXPECT_EQ(texture.width, width);
    EXPECT_EQ(texture.height, height);
    int w = 0, h = 0;
    std::vector<unsigned char> texels = TextureTexels(texture.texID, &w, &h);
    glDeleteTextures(1, &texture.texID);
    return texels;
}

TEST(NextPictureGL, UploadsInSharesOfBoundedSizeTheLoadersTextureOrTheFallback)
{
    HeadlessGLContext gl;
    ASSERT_TRUE(gl.Create(16, 16)) << gl.Error();
    ScratchDir dir;
    // 2000 x 1000 at its own size: a 2048 x 1024 texture, 8 KiB a row.
    ASSERT_TRUE(WriteWholeFile(dir.Join("big.jpg"),
                               testpics::EncodeJpeg(2000, 1000, 3, testpics::PatternPixels(2000, 1000, 3))));
    ASSERT_TRUE(
        WriteWholeFile(dir.Join("small.png"), testpics::EncodePng(50, 30, 2, 8, testpics::PatternPixels(50, 30, 3))));
    ASSERT_TRUE(WriteWholeFile(dir.Join("bad.jpg"), std::string("\xff\xd8\xff junk", 8)));
    const struct {
        const char *path, *fallback;
        int resolution;
        size_t budget;      // bytes a call
        const char* gives;  // null: no picture
        int shares;         // calls that upload, the last one finishing
    } cases[] = {
        {"big.jpg", "small.png", 2, size_t(1) << 20, "big.jpg", 8},  // 128 rows a share
        {"big.jpg", "", 2, size_t(3) << 20, "big.jpg", 3},           // 384, 384, 256 rows
        {"big.jpg", "", 0, 100, "big.jpg", 512},                     // at least one row a call
        {"bad.jpg", "small.png", 1, size_t(64) << 20, "small.png", 1},
        {"", "small.png", 0, size_t(1) << 20, "small.png", 1},
        {"bad.jpg", "", 2, size_t(1) << 20, nullptr, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.path) + " at " + std::to_string(c.budget));
        const std::string path = *c.path ? dir.Join(c.path) : "", fallback = *c.fallback ? dir.Join(c.fallback) : "";
        NextPicture next;
        next.Start(path.c_str(), fallback.c_str(), c.resolution);
        ASSERT_TRUE(next.Pending());
        int shares = 0;  // calls that uploaded rows
        while (!next.Advance(c.budget))
            shares += next.Uploading();
        shares += c.gives != nullptr;  // the finishing call
        unsigned texture = 0;
        int width = -1, height = -1;
        ASSERT_EQ(next.Take(&texture, &width, &height), c.gives != nullptr);
        EXPECT_FALSE(next.Pending());
        EXPECT_EQ(shares, c.shares);
        if (c.gives == nullptr) {
            EXPECT_EQ(std::make_pair(width, height), std::make_pair(-1, -1));  // untouched
            continue;
        }
        const bool big = std::string(c.gives) == "big.jpg";
        EXPECT_EQ(width, big ? 2000 : 50);
        EXPECT_EQ(height, big ? 1000 : 30);
        int tw = 0, th = 0;
        EXPECT_TRUE(TextureTexels(texture, &tw, &th) == LoaderTexels(dir.Join(c.gives), c.resolution, width, height))
            << tw << " x " << th;
        glDeleteTextures(1, &texture);
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    }

    // A texture handed back is filled again by a picture of its size (its
    // storage isn't made anew) and deleted for one of another size; a
    // reserved one serves the first picture already.
    {
        NextPicture next;
        const auto make = [&](const char* file, int resolution) {
            next.Start(dir.Join(file).c_str(), "", resolution);
            while (!next.Advance(size_t(1) << 20)) {}
            unsigned texture = 0;
            int width = 0, height = 0;
            EXPECT_TRUE(next.Take(&texture, &width, &height));
            return texture;
        };
        const unsigned first = make("big.jpg", 2);
        next.Recycle(first);
        const unsigned second = make("big.jpg", 2);
        EXPECT_EQ(second, first);
        int tw = 0, th = 0;
        EXPECT_TRUE(TextureTexels(second, &tw, &th) == LoaderTexels(dir.Join("big.jpg"), 2, 2000, 1000));
        next.Recycle(second);
        const unsigned third = make("small.png", 2);  // 64 x 32: another size, storage made anew
        EXPECT_TRUE(TextureTexels(third, &tw, &th) == LoaderTexels(dir.Join("small.png"), 2, 50, 30));
        EXPECT_EQ(std::make_pair(tw, th), std::make_pair(64, 32));
        next.Reserve(third);
        const unsigned fourth = make("small.png", 2);
        EXPECT_TRUE(glIsTexture(third) && glIsTexture(fourth) && fourth != third);
        EXPECT_TRUE(TextureTexels(fourth, &tw, &th) == LoaderTexels(dir.Join("small.png"), 2, 50, 30));
        glDeleteTextures(1, &third);
        glDeleteTextures(1, &fourth);
        next.Recycle(make("small.png", 0));
    }

    // Dropped while its texture is half filled, or before the worker is
    // done, or destroyed so: no texture is left behind.
    const auto liveTextures = [] {
        std::vector<GLuint> names;
        for (GLuint n = 1; n < 256; ++n)
            if (glIsTexture(n))
                names.push_back(n);
        return names;
    };
    const std::vector<GLuint> before = liveTextures();
    for (int k = 0; k < 3; ++k) {
        SCOPED_TRACE(k);
        NextPicture next;
        next.Start(dir.Join("big.jpg").c_str(), "", 2);
        while (k < 2 && !next.Uploading())
            ASSERT_FALSE(next.Advance(size_t(1) << 20));
        if (k < 2) {
            EXPECT_NE(liveTextures(), before);
        }
        if (k == 0)
            next.Drop();
        else if (k == 2)
            next.Start(dir.Join("small.png").c_str(), "", 0);  // the next one overtakes it
        if (k == 0) {
            EXPECT_EQ(liveTextures(), before);
            EXPECT_FALSE(next.Pending());
        }
    }
    EXPECT_EQ(liveTextures(), before);

    // A failed load leaves the record as it was.
    Texture failed;
    failed.width = 7;
    failed.height = 5;
    EXPECT_FALSE(loadPicFile(dir.Join("bad.jpg").c_str(), &failed, 1));
    EXPECT_TRUE(failed.texID == 0 && failed.imageData == nullptr && failed.width == 7u && failed.height == 5u);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

}  // namespace
