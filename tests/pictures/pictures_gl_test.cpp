// loadPicFile and LoadPicture with a real context: the texture's size, the
// picture upright on a textured quad, the record's final size, and failed
// loads that leave the record alone.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <string>

#include "loading/Texture.h"
#include "pictures/Pictures.h"
#include "platform/egl_headless.h"
#include "platform/png_writer.h"
#include "tests/support/picture_writers.h"

using testpics::Bytes;

namespace {

struct Colour {
    int r, g, b;
};

// Quadrants of a picture: top-left red, top-right green, bottom-left blue,
// bottom-right white.
constexpr Colour kQuadrant[2][2] = {{{230, 20, 20}, {20, 210, 30}}, {{25, 30, 220}, {240, 240, 240}}};

Colour QuadrantAt(int x, int y, int w, int h) { return kQuadrant[y * 2 / h][x * 2 / w]; }

Bytes QuadrantPixels(int w, int h, int channels) {
    Bytes pixels;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            Colour const c = QuadrantAt(x, y, w, h);
            pixels.insert(pixels.end(), {static_cast<unsigned char>(c.r), static_cast<unsigned char>(c.g),
                                         static_cast<unsigned char>(c.b)});
            if (channels == 4) {
                pixels.push_back(static_cast<unsigned char>(x % 2 ? 0 : 128));  // must not show
            }
        }
    }
    return pixels;
}

Bytes QuadrantGif(int w, int h) {
    Bytes palette(16 * 3, 0);
    for (int i = 0; i < 4; ++i) {
        Colour const c = kQuadrant[i / 2][i % 2];
        palette[3 * i] = static_cast<unsigned char>(c.r);
        palette[3 * i + 1] = static_cast<unsigned char>(c.g);
        palette[3 * i + 2] = static_cast<unsigned char>(c.b);
    }
    Bytes indices;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            indices.push_back(static_cast<unsigned char>((y * 2 / h) * 2 + x * 2 / w));
        }
    }
    return testpics::EncodeGif(w, h, 0, 0, w, h, palette, indices);
}

Bytes Quadrant16BitPng(int w, int h) {
    Bytes const eight = QuadrantPixels(w, h, 3);
    Bytes sixteen;
    for (unsigned char v : eight) {
        sixteen.push_back(v);
        sixteen.push_back(v);
    }
    return testpics::EncodePng(w, h, 2, 16, sixteen);
}

class PicturesGL : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(gl_.Create(64, 48)) << gl_.Error();
        ASSERT_FALSE(folder_.Path().empty());
        mkdir("pictures_frames", 0755);
    }

    // Draws the texture over the whole target and reads it back, top row first.
    std::vector<uint8_t> DrawTexture(unsigned texID, const std::string& frameName) {
        glViewport(0, 0, gl_.Width(), gl_.Height());
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(0, 1, 0, 1, -1, 1);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glDisable(GL_LIGHTING);
        glDisable(GL_DEPTH_TEST);
        glEnable(GL_TEXTURE_2D);
        glBindTexture(GL_TEXTURE_2D, texID);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
        glBegin(GL_QUADS);
        glTexCoord2f(0, 0);
        glVertex2f(0, 0);
        glTexCoord2f(1, 0);
        glVertex2f(1, 0);
        glTexCoord2f(1, 1);
        glVertex2f(1, 1);
        glTexCoord2f(0, 1);
        glVertex2f(0, 1);
        glEnd();
        glDisable(GL_TEXTURE_2D);
        std::vector<uint8_t> rgba = gl_.ReadPixels();
        WritePNG(("pictures_frames/" + frameName + ".png").c_str(), gl_.Width(), gl_.Height(), rgba.data());
        return rgba;
    }

    void ExpectUprightQuadrants(const std::vector<uint8_t>& rgba, int tolerance) {
        int const w = gl_.Width(), h = gl_.Height();
        for (int qy = 0; qy < 2; ++qy) {
            for (int qx = 0; qx < 2; ++qx) {
                int const x = w / 4 + qx * w / 2, y = h / 4 + qy * h / 2;
                const uint8_t* p = rgba.data() + (size_t(y) * w + x) * 4;
                Colour const want = kQuadrant[qy][qx];
                EXPECT_NEAR(p[0], want.r, tolerance) << "quadrant " << qx << "," << qy;
                EXPECT_NEAR(p[1], want.g, tolerance) << "quadrant " << qx << "," << qy;
                EXPECT_NEAR(p[2], want.b, tolerance) << "quadrant " << qx << "," << qy;
                EXPECT_EQ(p[3], 255);
            }
        }
    }

    static void TextureSize(unsigned texID, int* w, int* h) {
        glBindTexture(GL_TEXTURE_2D, texID);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, w);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, h);
    }

    HeadlessGLContext gl_;
    testpics::TempFolder folder_;
};

TEST_F(PicturesGL, PicturesLoadUprightAtEveryResolution) {
    struct Kind {
        const char* name;
        Bytes file;
        unsigned type;
        int tolerance;
    };
    Kind const kinds[] = {
        {"quadrants.png", testpics::EncodePngRgb(800, 600, QuadrantPixels(800, 600, 3), 3), GL_RGB, 0},
        {"quadrants-rgba.png", testpics::EncodePngRgb(800, 600, QuadrantPixels(800, 600, 4), 4), GL_RGBA, 0},
        {"quadrants-16.png", Quadrant16BitPng(800, 600), GL_RGB, 0},
        {"quadrants.jpg", testpics::EncodeJpeg(800, 600, 3, QuadrantPixels(800, 600, 3), 90), GL_RGB, 12},
        {"quadrants.gif", QuadrantGif(800, 600), GL_RGB, 0},
    };
    struct Resolution {
        int code, width, height;
    };
    Resolution const resolutions[] = {{0, 512, 512}, {1, 1024, 1024}, {2, 1024, 512}};
    for (Kind const& kind : kinds) {
        ASSERT_TRUE(testpics::WriteFileBytes(folder_.Join(kind.name), kind.file));
        for (Resolution const& res : resolutions) {
            SCOPED_TRACE(testing::Message() << kind.name << " at " << res.code);
            Texture texture;
            ASSERT_TRUE(loadPicFile(folder_.Join(kind.name).c_str(), &texture, res.code));
            EXPECT_NE(texture.texID, 0u);
            EXPECT_EQ(texture.imageData, nullptr);  // handed over and freed by the upload
            EXPECT_EQ(texture.width, 800u);
            EXPECT_EQ(texture.height, 600u);
            EXPECT_EQ(texture.type, kind.type);
            int w = 0, h = 0;
            TextureSize(texture.texID, &w, &h);
            EXPECT_EQ(w, res.width);
            EXPECT_EQ(h, res.height);
            ExpectUprightQuadrants(DrawTexture(texture.texID, std::string(kind.name) + "-" + std::to_string(res.code)),
                                   kind.tolerance);
            EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
        }
    }
}

TEST_F(PicturesGL, FolderPictureIsChosenJoinedAndLoaded) {
    ASSERT_TRUE(testpics::WriteFileBytes(folder_.Join("B.GIF"), QuadrantGif(120, 90)));
    ASSERT_TRUE(testpics::WriteFileBytes(folder_.Join("notes.txt"), {'h', 'i'}));
    for (std::string folder : {folder_.Path(), folder_.Path() + "/"}) {
        SCOPED_TRACE(folder);
        Texture texture;
        ASSERT_TRUE(LoadPicture(folder.data(), &texture, 2));
        EXPECT_EQ(texture.width, 120u);
        EXPECT_EQ(texture.height, 90u);
        int w = 0, h = 0;
        TextureSize(texture.texID, &w, &h);
        EXPECT_EQ(w, 128);
        EXPECT_EQ(h, 64);
        ExpectUprightQuadrants(DrawTexture(texture.texID, "folder-gif"), 0);
    }
}

TEST_F(PicturesGL, OddPicturesLoad) {
    struct Case {
        const char* name;
        Bytes file;
        unsigned width, height;
        Colour centre;
    };
    Bytes grey(90 * 60);
    for (size_t i = 0; i < grey.size(); ++i) {
        grey[i] = 100;
    }
    Case const cases[] = {
        {"one.png", testpics::EncodePngRgb(1, 1, Bytes{200, 100, 50}, 3), 1, 1, {200, 100, 50}},
        {"one.gif", testpics::EncodeGif(1, 1, 0, 0, 1, 1, Bytes{9, 8, 7, 60, 70, 80}, Bytes{1}), 1, 1, {60, 70, 80}},
        {"grey.jpg", testpics::EncodeJpeg(90, 60, 1, grey, 90), 90, 60, {100, 100, 100}},
        {"sixteen.png", testpics::EncodePng(3, 2, 2, 16, Bytes(3 * 2 * 6, 0x40)), 3, 2, {0x40, 0x40, 0x40}},
    };
    for (Case const& c : cases) {
        for (int resolution : {0, 2}) {
            SCOPED_TRACE(testing::Message() << c.name << " at " << resolution);
            ASSERT_TRUE(testpics::WriteFileBytes(folder_.Join(c.name), c.file));
            Texture texture;
            ASSERT_TRUE(loadPicFile(folder_.Join(c.name).c_str(), &texture, resolution));
            EXPECT_EQ(texture.width, c.width);
            EXPECT_EQ(texture.height, c.height);
            std::vector<uint8_t> const rgba = DrawTexture(texture.texID, c.name);
            const uint8_t* p = rgba.data() + (size_t(gl_.Height() / 2) * gl_.Width() + gl_.Width() / 2) * 4;
            EXPECT_NEAR(p[0], c.centre.r, 2);
            EXPECT_NEAR(p[1], c.centre.g, 2);
            EXPECT_NEAR(p[2], c.centre.b, 2);
        }
    }
}

TEST_F(PicturesGL, FailedLoadsLeaveTheRecordAlone) {
    std::string const text = "just some text";
    Bytes const good = testpics::EncodePngRgb(16, 16, QuadrantPixels(16, 16, 3), 3);
    ASSERT_TRUE(testpics::WriteFileBytes(folder_.Join("text.png"), Bytes(text.begin(), text.end())));
    ASSERT_TRUE(testpics::WriteFileBytes(folder_.Join("zero.gif"), {}));
    ASSERT_TRUE(testpics::WriteFileBytes(folder_.Join("cut.png"), Bytes(good.begin(), good.end() - 13)));
    ASSERT_TRUE(testpics::WriteFileBytes(folder_.Join("huge.png"), testpics::PngHeaderOnly(100000, 100000)));
    ASSERT_EQ(mkdir(folder_.Join("x.jpg").c_str(), 0700), 0);
    for (const char* name : {"text.png", "zero.gif", "cut.png", "huge.png", "x.jpg", "missing.png"}) {
        SCOPED_TRACE(name);
        Texture texture;
        texture.width = 7;
        texture.height = 5;
        texture.type = 0;
        EXPECT_FALSE(loadPicFile(folder_.Join(name).c_str(), &texture, 1));
        EXPECT_EQ(texture.texID, 0u);
        EXPECT_EQ(texture.imageData, nullptr);
        EXPECT_EQ(texture.width, 7u);
        EXPECT_EQ(texture.height, 5u);
        EXPECT_EQ(texture.type, 0u);
    }
    // A folder holding only a sub-folder named like a picture: chosen, fails to load.
    std::string sub = folder_.Join("only");
    ASSERT_EQ(mkdir(sub.c_str(), 0700), 0);
    ASSERT_EQ(mkdir((sub + "/y.png").c_str(), 0700), 0);
    Texture texture;
    EXPECT_FALSE(LoadPicture(sub.data(), &texture, 0));
    EXPECT_EQ(texture.texID, 0u);
    std::string empty = folder_.Join("empty");
    ASSERT_EQ(mkdir(empty.c_str(), 0700), 0);
    EXPECT_FALSE(LoadPicture(empty.data(), &texture, 0));
}

TEST_F(PicturesGL, RepeatedFolderLoadsLeakNoHandles) {
    ASSERT_TRUE(testpics::WriteFileBytes(folder_.Join("a.png"), testpics::EncodePngRgb(8, 8, QuadrantPixels(8, 8, 3), 3)));
    ASSERT_TRUE(testpics::WriteFileBytes(folder_.Join("b.jpg"), {'n', 'o'}));
    ASSERT_TRUE(testpics::WriteFileBytes(folder_.Join("c.gif"), QuadrantGif(8, 8)));
    std::string folder = folder_.Path();
    int const before = testpics::CountOpenFds();
    for (int i = 0; i < 150; ++i) {
        Texture texture;
        LoadPicture(folder.data(), &texture, i % 3);
    }
    EXPECT_EQ(testpics::CountOpenFds(), before);
}

}  // namespace
