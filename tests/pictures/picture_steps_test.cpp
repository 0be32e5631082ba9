// The GL-free half of loadPicFile: texture size, nearest-neighbour resample
// with the flip, DCT-scaled JPEG sampled like the full picture, whole files.
#include <gtest/gtest.h>

#include <GL/gl.h>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "pictures/PictureSteps.h"
#include "tests/support/picture_writers.h"

using testpics::Bytes;

namespace {

TEST(PictureSteps, TextureSizeFollowsTheResolutionCode) {
    struct Case {
        int resolution, pictureWidth, pictureHeight, maxTextureSize;
        int width, height;
    };
    Case const cases[] = {
        {0, 800, 600, 16384, 512, 512},
        {1, 800, 600, 16384, 1024, 1024},
        {2, 800, 600, 16384, 1024, 512},
        {0, 1, 1, 16384, 512, 512},
        {1, 100, 5000, 16384, 1024, 1024},
        {2, 724, 725, 16384, 512, 1024},     // the change lies at 512 * sqrt(2)
        {2, 1, 2, 16384, 1, 2},
        {2, 3, 5, 16384, 4, 4},              // 3 -> 2^1.58 -> 4; 5 -> 2^2.32 -> 4
        {2, 6000, 4000, 16384, 8192, 4096},
        {2, 6000, 4000, 2048, 2048, 2048},   // capped by GL_MAX_TEXTURE_SIZE
        {2, 16384, 1, 8192, 8192, 1},
        {7, 800, 600, 16384, 1024, 512},     // any other value behaves as 2
        {-1, 800, 600, 16384, 1024, 512},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(testing::Message() << "resolution " << c.resolution << ", " << c.pictureWidth
                                        << "x" << c.pictureHeight << ", max " << c.maxTextureSize);
        int w = 0, h = 0;
        PictureTextureSize(c.resolution, c.pictureWidth, c.pictureHeight, c.maxTextureSize, &w, &h);
        EXPECT_EQ(w, c.width);
        EXPECT_EQ(h, c.height);
    }
}

// A full-size decode of a lossless picture.
DecodedPicture Decoded(const Bytes& file) {
    DecodedPicture picture;
    EXPECT_TRUE(DecodePicture(file.data(), file.size(), 0, 0, &picture));
    return picture;
}

// The texel (i, row) of a bottom-row-first buffer.
const unsigned char* Texel(const std::vector<unsigned char>& texels, int width, int c, int i, int row) {
    return texels.data() + (size_t(row) * size_t(width) + size_t(i)) * size_t(c);
}

TEST(PictureSteps, ResampleFlipsAndSamplesNearestNeighbour) {
    struct Case {
        int pictureWidth, pictureHeight, channels, width, height;
    };
    Case const cases[] = {
        {800, 600, 3, 512, 512}, {800, 600, 3, 1024, 512}, {100, 100, 3, 1024, 1024},
        {37, 23, 4, 64, 16},     {1, 1, 3, 512, 512},       {1, 1, 4, 1, 1},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(testing::Message() << c.pictureWidth << "x" << c.pictureHeight << "x" << c.channels
                                        << " -> " << c.width << "x" << c.height);
        DecodedPicture picture = Decoded(testpics::EncodePngRgb(
            c.pictureWidth, c.pictureHeight, testpics::PatternPixels(c.pictureWidth, c.pictureHeight, c.channels),
            c.channels));
        ASSERT_EQ(picture.bitsPerPixel, 8 * c.channels);
        std::vector<unsigned char> texels(size_t(c.width) * size_t(c.height) * size_t(c.channels));
        ASSERT_TRUE(ResamplePicture(picture, c.width, c.height, texels.data()));
        // Corners: the picture's top-left pixel lands in the last row, first column.
        for (int k = 0; k < c.channels; ++k) {
            EXPECT_EQ(Texel(texels, c.width, c.channels, 0, c.height - 1)[k], testpics::PatternSample(0, 0, k));
        }
        float const fx = float(c.pictureWidth) / float(c.width);
        float const fy = float(c.pictureHeight) / float(c.height);
        int wrong = 0;
        for (int j = 0; j < c.height; ++j) {
            for (int i = 0; i < c.width; ++i) {
                int const sx = int(fx * float(i)), sy = int(fy * float(j));
                const unsigned char* t = Texel(texels, c.width, c.channels, i, c.height - 1 - j);
                for (int k = 0; k < 3; ++k) {
                    wrong += t[k] != testpics::PatternSample(sx, sy, k);
                }
            }
        }
        EXPECT_EQ(wrong, 0);
        FreeDecodedPicture(&picture);
    }
}

TEST(PictureSteps, EnlargingRepeatsSourcePixelsWithoutFiltering) {
    // 100 x 100 to 1024 x 1024: every source column fills a run of 10 or 11 texels.
    DecodedPicture picture = Decoded(testpics::EncodePngRgb(100, 100, testpics::PatternPixels(100, 100, 3), 3));
    std::vector<unsigned char> texels(1024 * 1024 * 3);
    ASSERT_TRUE(ResamplePicture(picture, 1024, 1024, texels.data()));
    for (int row : {0, 511, 1023}) {
        int runs = 0, length = 0;
        for (int i = 0; i < 1024; ++i) {
            bool const same = i > 0 && std::memcmp(Texel(texels, 1024, 3, i, row), Texel(texels, 1024, 3, i - 1, row), 3) == 0;
            if (!same) {
                if (i > 0) {
                    EXPECT_TRUE(length == 10 || length == 11) << "run of " << length;
                }
                ++runs;
                length = 0;
            }
            ++length;
        }
        EXPECT_EQ(runs, 100);
    }
    FreeDecodedPicture(&picture);
}

// Colour channel k of the solid 32 x 32 block holding picture pixel (x, y).
int BlockColour(int x, int y, int k) {
    int const bx = x / 32, by = y / 32;
    int const v[3] = {(bx * 37) % 180, (by * 53) % 180, ((bx + by) * 29) % 180};
    return 40 + v[k];
}

Bytes BlockJpeg(int width, int height) {
    Bytes pixels;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            for (int k = 0; k < 3; ++k) {
                pixels.push_back(static_cast<unsigned char>(BlockColour(x, y, k)));
            }
        }
    }
    return testpics::EncodeJpeg(width, height, 3, pixels, 95);
}

TEST(PictureSteps, ScaledJpegSamplesLikeTheFullPicture) {
    struct Case {
        int width, height, resolution;
        int scaleNum;  // expected DCT scale, of 8
    };
    Case const cases[] = {
        {1600, 1200, 0, 4},  // 800 x 600 covers 512 x 512
        {800, 600, 0, 7},    // 700 x 525
        {1600, 1200, 1, 7},  // 1400 x 1050 covers 1024 x 1024
        {2000, 900, 0, 5},   // 1250 x 563
        {2048, 1024, 1, 8},  // nothing smaller covers 1024 rows: full size
    };
    testpics::TempFolder folder;
    for (Case const& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " at " << c.resolution);
        Bytes const file = BlockJpeg(c.width, c.height);
        std::string const path = folder.Join("blocks.jpg");
        ASSERT_TRUE(testpics::WriteFileBytes(path, file));
        int tw = 0, th = 0;
        PictureTextureSize(c.resolution, c.width, c.height, 16384, &tw, &th);
        DecodedPicture scaled;
        ASSERT_TRUE(DecodePicture(file.data(), file.size(), tw, th, &scaled));
        EXPECT_EQ(scaled.scaleNum * 8 / scaled.scaleDenom, c.scaleNum);
        FreeDecodedPicture(&scaled);

        PictureTexels texels;
        ASSERT_TRUE(MakePictureTexels(path.c_str(), c.resolution, 16384, &texels));
        ASSERT_EQ(texels.width, tw);
        ASSERT_EQ(texels.height, th);
        EXPECT_EQ(texels.pictureWidth, c.width);
        EXPECT_EQ(texels.pictureHeight, c.height);
        // Each texel shows the block of the picture pixel that nearest-neighbour
        // sampling of the whole picture picks (JPEG blurs the blocks' edges, so
        // texels sampling within 2 pixels of an edge are not judged).
        float const fx = float(c.width) / float(tw), fy = float(c.height) / float(th);
        long wrong = 0, judged = 0;
        for (int j = 0; j < th; ++j) {
            int const sy = int(fy * float(j));
            for (int i = 0; i < tw; ++i) {
                int const sx = int(fx * float(i));
                if (sx % 32 < 2 || sx % 32 > 29 || sy % 32 < 2 || sy % 32 > 29) {
                    continue;
                }
                ++judged;
                const unsigned char* t = texels.texels + (size_t(th - 1 - j) * size_t(tw) + size_t(i)) * 3;
                for (int k = 0; k < 3; ++k) {
                    wrong += std::abs(int(t[k]) - BlockColour(sx, sy, k)) > 12;
                }
            }
        }
        EXPECT_GT(judged, long(tw) * th / 2);
        EXPECT_EQ(wrong, 0);
        std::free(texels.texels);
    }
}

TEST(PictureSteps, ScaledDecodeSamplesThePixelCoveringTheNearestPicturePixel) {
    // A made-up 7/8 decode of a 1000 x 9 picture: decoded column k holds k.
    int const decodedWidth = 875;
    std::vector<unsigned char> pixels(size_t(decodedWidth) * 3 * 8);
    for (int y = 0; y < 8; ++y) {
        for (int k = 0; k < decodedWidth; ++k) {
            pixels[(size_t(y) * decodedWidth + k) * 3] = static_cast<unsigned char>(k & 255);
            pixels[(size_t(y) * decodedWidth + k) * 3 + 1] = static_cast<unsigned char>(k >> 8);
            pixels[(size_t(y) * decodedWidth + k) * 3 + 2] = static_cast<unsigned char>(y);
        }
    }
    DecodedPicture picture{pixels.data(), size_t(decodedWidth) * 3, 24, decodedWidth, 8, 1000, 9, 7, 8};
    for (int width : {512, 1024, 999}) {
        SCOPED_TRACE(width);
        std::vector<unsigned char> texels(size_t(width) * 4 * 3);
        ASSERT_TRUE(ResamplePicture(picture, width, 4, texels.data()));
        float const fx = 1000.0f / float(width);
        for (int i = 0; i < width; ++i) {
            int const sx = int(fx * float(i));
            int const k = texels[size_t(i) * 3] | texels[size_t(i) * 3 + 1] << 8;
            // Decoded column k covers picture columns [8k/7, 8(k+1)/7).
            EXPECT_LE(k * 8, sx * 7) << i;
            EXPECT_GT((k + 1) * 8, sx * 7) << i;
        }
        // Rows: 9 picture rows in 8 decoded ones; texture row 0 holds the picture's bottom.
        EXPECT_EQ(texels[2], int(float(9.0f / 4.0f) * 3.0f) * 7 / 8);
        EXPECT_EQ(texels[size_t(width) * 3 * 3 + 2], 0);
    }
}

TEST(PictureSteps, FilesBecomeTexelsOfTheRightLayout) {
    testpics::TempFolder folder;
    Bytes ix(30 * 20, 3);
    Bytes palette(16 * 3, 90);
    struct Case {
        const char* name;
        Bytes file;
        int resolution;
        int width, height;
        unsigned type;
        int pictureWidth, pictureHeight;
    };
    Bytes const rgb800 = testpics::EncodePngRgb(800, 600, testpics::PatternPixels(800, 600, 3), 3);
    Case const cases[] = {
        {"p800.png", rgb800, 0, 512, 512, GL_RGB, 800, 600},
        {"p800.png", rgb800, 1, 1024, 1024, GL_RGB, 800, 600},
        {"p800.png", rgb800, 2, 1024, 512, GL_RGB, 800, 600},
        {"rgba.png", testpics::EncodePngRgb(64, 32, testpics::PatternPixels(64, 32, 4), 4), 2, 64, 32, GL_RGBA, 64, 32},
        {"grey.jpg", testpics::EncodeJpeg(90, 60, 1, Bytes(90 * 60, 128), 90), 2, 64, 64, GL_RGB, 90, 60},
        {"pal.gif", testpics::EncodeGif(30, 20, 0, 0, 30, 20, palette, ix), 2, 32, 16, GL_RGB, 30, 20},
        {"one.png", testpics::EncodePngRgb(1, 1, Bytes{1, 2, 3}, 3), 2, 1, 1, GL_RGB, 1, 1},
        {"one.png", testpics::EncodePngRgb(1, 1, Bytes{1, 2, 3}, 3), 0, 512, 512, GL_RGB, 1, 1},
        {"sixteen.png", testpics::EncodePng(4, 4, 2, 16, Bytes(4 * 4 * 6, 0x80)), 2, 4, 4, GL_RGB, 4, 4},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(testing::Message() << c.name << " at " << c.resolution);
        ASSERT_TRUE(testpics::WriteFileBytes(folder.Join(c.name), c.file));
        PictureTexels texels;
        ASSERT_TRUE(MakePictureTexels(folder.Join(c.name).c_str(), c.resolution, 16384, &texels));
        EXPECT_EQ(texels.width, c.width);
        EXPECT_EQ(texels.height, c.height);
        EXPECT_EQ(texels.type, c.type);
        EXPECT_EQ(texels.pictureWidth, c.pictureWidth);
        EXPECT_EQ(texels.pictureHeight, c.pictureHeight);
        size_t const bytes = size_t(c.width) * size_t(c.height) * (c.type == GL_RGBA ? 4 : 3);
        ASSERT_NE(texels.texels, nullptr);
        EXPECT_EQ(texels.texels[bytes - 1], texels.texels[bytes - 1]);  // ASan: the whole buffer exists
        std::free(texels.texels);
    }
}

TEST(PictureSteps, BadFilesGiveNoTexels) {
    testpics::TempFolder folder;
    std::string const text = "not a picture at all";
    Bytes const good = testpics::EncodePngRgb(20, 20, testpics::PatternPixels(20, 20, 3), 3);
    ASSERT_TRUE(testpics::WriteFileBytes(folder.Join("text.png"), Bytes(text.begin(), text.end())));
    ASSERT_TRUE(testpics::WriteFileBytes(folder.Join("zero.jpg"), {}));
    ASSERT_TRUE(testpics::WriteFileBytes(folder.Join("cut.png"), Bytes(good.begin(), good.begin() + 60)));
    ASSERT_TRUE(testpics::WriteFileBytes(folder.Join("huge.png"), testpics::PngHeaderOnly(100000, 100000)));
    ASSERT_EQ(mkdir(folder.Join("x.jpg").c_str(), 0700), 0);
    for (const char* name : {"text.png", "zero.jpg", "cut.png", "huge.png", "x.jpg", "missing.gif"}) {
        SCOPED_TRACE(name);
        PictureTexels texels;
        EXPECT_FALSE(MakePictureTexels(folder.Join(name).c_str(), 2, 16384, &texels));
        EXPECT_EQ(texels.texels, nullptr);
    }
}

TEST(PictureSteps, ManyLoadsLeaveNoFileOpen) {
    testpics::TempFolder folder;
    ASSERT_TRUE(testpics::WriteFileBytes(folder.Join("a.png"), testpics::EncodePngRgb(8, 8, testpics::PatternPixels(8, 8, 3), 3)));
    ASSERT_TRUE(testpics::WriteFileBytes(folder.Join("b.jpg"), testpics::EncodeJpeg(8, 8, 3, testpics::PatternPixels(8, 8, 3))));
    ASSERT_TRUE(testpics::WriteFileBytes(folder.Join("c.gif"), testpics::EncodeGif(8, 8, 0, 0, 8, 8, Bytes(6, 0), Bytes(64, 1))));
    ASSERT_TRUE(testpics::WriteFileBytes(folder.Join("d.png"), {'x'}));
    int const before = testpics::CountOpenFds();
    for (int i = 0; i < 100; ++i) {
        for (const char* name : {"a.png", "b.jpg", "c.gif", "d.png", "none.png"}) {
            PictureTexels texels;
            if (MakePictureTexels(folder.Join(name).c_str(), 2, 16384, &texels)) {
                std::free(texels.texels);
            }
        }
    }
    EXPECT_EQ(testpics::CountOpenFds(), before);
}

}  // namespace
