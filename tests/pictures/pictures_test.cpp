// Pictures without GL: choosing from a folder, joining paths, the texture
// size, picture files made into bottom-row-first texels, DCT-scaled JPEG, and
// bad files that must fail cleanly (this program also runs under ASan).
#include <gtest/gtest.h>

#include <GL/gl.h>
#include <sys/stat.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "pictures/PictureSteps.h"
#include "pictures/Pictures.h"
#include "tests/support/picture_writers.h"
#include "tests/support/scratch_dir.h"

using testpics::Bytes;

namespace {

TEST(PictureFolder, CountsEachKindFindsNamesAsStoredAndLeaksNoHandle)
{
    ScratchDir folder;
    for (const char* name : {"a.jpg", "B.GIF", "c.Png", "d.jpeg", "e.txt", ".jpg"}) {
        ASSERT_TRUE(WriteWholeFile(folder.Join(name), Bytes{1, 2, 3}));
    }
    std::string path = folder.Path(), missing = folder.Join("gone");
    const int fds = testpics::CountOpenFds();
    struct Case {
        const char* extension;
        const char* name;
    };
    for (Case c :
         {Case{".jpg", "a.jpg"}, {".gif", "B.GIF"}, {".png", "c.Png"}, {".jpeg", "d.jpeg"}, {".txt", "e.txt"}}) {
        SCOPED_TRACE(c.extension);
        std::string extension = c.extension;
        EXPECT_EQ(CountFiles(path.c_str(), c.extension), 1);  // ".jpg" is neither d.jpeg nor the bare ".jpg"
        EXPECT_EQ(CountFiles(missing.c_str(), c.extension), 0);
        char name[1024] = "";
        EXPECT_TRUE(FindNthFile(path.data(), name, extension.data(), 0));
        EXPECT_STREQ(name, c.name);
        EXPECT_FALSE(FindNthFile(path.data(), name, extension.data(), 1));  // n == count
    }
    for (int i = 0; i < 100; ++i) {
        char name[1024] = "";
        ASSERT_TRUE(ChooseRandomImageFile(path.data(), name));
        EXPECT_TRUE(std::string("a.jpg B.GIF c.Png").find(name) != std::string::npos) << name;
        EXPECT_FALSE(ChooseRandomImageFile(missing.data(), name));
    }
    EXPECT_EQ(testpics::CountOpenFds(), fds);
}

TEST(PictureFolder, JoinsFolderAndName)
{
    std::string const f1000 = "/" + std::string(999, 'f'), n23(23, 'n');
    struct Case {
        std::string folder, name;
        bool ok;
        std::string path;
    } const cases[] = {
        {"/tmp/pics", "B.GIF", true, "/tmp/pics/B.GIF"},
        {"/tmp/pics/", "B.GIF", true, "/tmp/pics/B.GIF"},
        {"ab", "a.jpg", true, "ab/a.jpg"},  // short folders get their slash too
        {".", "a.jpg", true, "./a.jpg"},
        {f1000, n23, true, f1000 + "/" + n23},  // 1024 characters
        {f1000, n23 + "n", false, ""},          // 1025
        {f1000 + "/", n23, true, f1000 + "/" + n23},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.folder.substr(0, 12) + " + " + c.name.substr(0, 12));
        char path[kPicturePathSize];
        EXPECT_EQ(JoinPicturePath(c.folder.c_str(), c.name.c_str(), path), c.ok);
        EXPECT_EQ(std::string(path), c.path);
    }
}

TEST(PictureSteps, TextureSizeFollowsTheResolutionCode)
{
    struct Case {
        int resolution, pictureWidth, pictureHeight, maxTextureSize, width, height;
    } const cases[] = {
        {0, 800, 600, 16384, 512, 512},    {1, 800, 600, 16384, 1024, 1024},
        {2, 800, 600, 16384, 1024, 512},   {2, 724, 725, 16384, 512, 1024},  // the change lies at 512 * sqrt(2)
        {2, 6000, 4000, 2048, 2048, 2048},                                   // capped by GL_MAX_TEXTURE_SIZE
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.resolution << ": " << c.pictureWidth << "x" << c.pictureHeight);
        int w = 0, h = 0;
        PictureTextureSize(c.resolution, c.pictureWidth, c.pictureHeight, c.maxTextureSize, &w, &h);
        EXPECT_EQ(w, c.width);
        EXPECT_EQ(h, c.height);
    }
}

// Smooth content that JPEG keeps well, `channels` samples a pixel.
Bytes Smooth(int w, int h, int channels)
{
    Bytes pixels;
    for (int i = 0; i < w * h * channels; ++i) {
        const int x = i / channels % w, y = i / channels / w, k = i % channels;
        pixels.push_back(static_cast<unsigned char>((x * (2 + k) + y * (3 - k) + 40 * k) % 200 + 20));
    }
    return pixels;
}

// A picture file in the folder and what must come of it.
struct FileCase {
    std::string name;
    Bytes file{};
    int width = 0, height = 0;  // the picture when it must load; 0: it must fail
    Bytes pixels{};             // its pixels, top row first, `channels` a pixel
    int channels = 3;
    int tolerance = 0;
};

std::vector<FileCase> FileCases()
{
    const int w = 40, h = 30;
    const Bytes rgb = testpics::PatternPixels(w, h, 3), rgba = testpics::PatternPixels(w, h, 4);
    Bytes paletted = rgb, grey = Smooth(w, h, 1), greyRgb;
    for (unsigned char& v : paletted)
        v &= 0xC0;  // 64 colours
    for (unsigned char v : grey)
        greyRgb.insert(greyRgb.end(), {v, v, v});
    std::string const text = "this is a text file, not a picture\n";
    std::vector<FileCase> cases = {
        {"rgb.png", testpics::EncodePng(w, h, 2, 8, rgb), w, h, rgb},
        {"rgba.png", testpics::EncodePng(w, h, 6, 8, rgba), w, h, rgba, 4},
        {"interlaced.png", testpics::EncodePng(w, h, 6, 8, rgba, true), w, h, rgba, 4},
        {"sixteen.png", testpics::EncodeAs(testpics::Kind::Png16, w, h, rgb), w, h, rgb},
        {"grey.jpg", testpics::EncodeJpeg(w, h, 1, grey), w, h, greyRgb, 3, 8},
        {"palette.gif", testpics::EncodeAs(testpics::Kind::Gif, w, h, paletted), w, h, paletted},
        {"one.png", testpics::EncodePng(1, 1, 2, 8, Bytes{10, 20, 30}), 1, 1, Bytes{10, 20, 30}},
        {"really-a-png.jpg", testpics::EncodePng(w, h, 2, 8, rgb), w, h, rgb},
        {"text.png", Bytes(text.begin(), text.end())},
        {"zero.jpg", {}},
        {"huge.png", testpics::PngHeaderOnly(100000, 100000)},
    };
    // Cut short: refused, not shown half made. (Damage anywhere is the fuzzers' business.)
    for (int n : {0, 4, 5}) {
        const FileCase good = cases[n];
        for (size_t cut : {size_t(20), good.file.size() / 2, good.file.size() * 4 / 5})
            cases.push_back({"cut" + std::to_string(cut) + "-" + good.name,
                             Bytes(good.file.begin(), good.file.begin() + long(cut))});
    }
    return cases;
}

TEST(PictureSteps, FilesBecomeUpsideDownNearestNeighbourTexelsOrFailCleanly)
{
    ScratchDir folder;
    ASSERT_EQ(mkdir(folder.Join("x.jpg").c_str(), 0700), 0);
    const int fds = testpics::CountOpenFds();
    std::vector<FileCase> cases = FileCases();
    cases.push_back({"x.jpg"});  // the folder
    for (const FileCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::string const path = folder.Join(c.name);
        ASSERT_TRUE(c.name == "x.jpg" || WriteWholeFile(path, c.file));
        PictureTexels t;
        ASSERT_EQ(MakePictureTexels(path.c_str(), 2, 16384, &t), c.width > 0);
        if (c.width == 0) {
            EXPECT_EQ(t.texels, nullptr);
            continue;
        }
        int tw = 0, th = 0;
        PictureTextureSize(2, c.width, c.height, 16384, &tw, &th);
        EXPECT_EQ(t.width, tw);
        EXPECT_EQ(t.height, th);
        EXPECT_EQ(t.type, c.channels == 4 ? unsigned(GL_RGBA) : unsigned(GL_RGB));
        EXPECT_EQ(t.pictureWidth, c.width);
        EXPECT_EQ(t.pictureHeight, c.height);
        // Texel (i, j) counted from the picture's top: the nearest pixel, rows stored bottom first.
        const float fx = float(c.width) / float(tw), fy = float(c.height) / float(th);
        int wrong = 0;
        for (int j = 0; j < th; ++j) {
            for (int i = 0; i < tw; ++i) {
                const size_t source =
                    (size_t(fy * float(j)) * size_t(c.width) + size_t(fx * float(i))) * size_t(c.channels);
                const unsigned char* texel =
                    t.texels + (size_t(th - 1 - j) * size_t(tw) + size_t(i)) * size_t(c.channels);
                for (int k = 0; k < c.channels; ++k) {
                    wrong += std::abs(int(texel[k]) - int(c.pixels[source + size_t(k)])) > c.tolerance;
                }
            }
        }
        EXPECT_EQ(wrong, 0);
        std::free(t.texels);
    }
    // The size bound is applied to the header, before anything is allocated.
    const Bytes huge = testpics::PngHeaderOnly(100000, 100000);
    int w = 0, h = 0;
    EXPECT_FALSE(ReadPictureSize(huge.data(), huge.size(), &w, &h));
    EXPECT_EQ(testpics::CountOpenFds(), fds);
}

// A picture of solid 32 x 32 blocks, as JPEG.
Bytes BlockJpeg(int width, int height)
{
    Bytes pixels;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            pixels.insert(pixels.end(), {uint8_t(40 + x / 32 * 37 % 180), uint8_t(40 + y / 32 * 53 % 180),
                                         uint8_t(40 + (x / 32 + y / 32) * 29 % 180)});
    return testpics::EncodeJpeg(width, height, 3, pixels);
}

TEST(PictureSteps, ScaledJpegSamplesLikeTheFullPicture)
{
    struct Case {
        int width, height, resolution, scale;  // scale: the DCT scale expected, of 8
    } const cases[] = {{1600, 1200, 0, 4}, {2000, 900, 0, 5}, {1600, 1200, 1, 7}};
    ScratchDir folder;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " at " << c.resolution);
        const Bytes file = BlockJpeg(c.width, c.height);
        std::string const path = folder.Join("blocks.jpg");
        ASSERT_TRUE(WriteWholeFile(path, file));
        int tw = 0, th = 0;
        PictureTextureSize(c.resolution, c.width, c.height, 16384, &tw, &th);
        DecodedPicture full, scaled;
        ASSERT_TRUE(DecodePicture(file.data(), file.size(), 0, 0, &full));
        ASSERT_TRUE(DecodePicture(file.data(), file.size(), tw, th, &scaled));
        EXPECT_EQ(scaled.scaleNum * 8 / scaled.scaleDenom, c.scale);
        std::vector<unsigned char> want(size_t(tw) * size_t(th) * 3);
        ASSERT_TRUE(ResamplePicture(full, tw, th, want.data()));
        FreeDecodedPicture(&full);
        FreeDecodedPicture(&scaled);

        PictureTexels texels;
        ASSERT_TRUE(MakePictureTexels(path.c_str(), c.resolution, 16384, &texels));
        ASSERT_EQ(texels.width * texels.height, tw * th);
        // Texels sampling within 2 pixels of a block's edge are not judged: the
        // scaled decode blurs edges over more of the picture's pixels.
        const float fx = float(c.width) / float(tw), fy = float(c.height) / float(th);
        long judged = 0, off = 0;
        for (int j = 0; j < th; ++j) {
            for (int i = 0; i < tw; ++i) {
                const int sx = int(fx * float(i)) % 32, sy = int(fy * float(th - 1 - j)) % 32;
                if (sx < 2 || sx > 29 || sy < 2 || sy > 29) {
                    continue;
                }
                ++judged;
                for (size_t k = size_t(j * tw + i) * 3, end = k + 3; k < end; ++k) {
                    off += std::abs(int(texels.texels[k]) - int(want[k])) > 12;
                }
            }
        }
        EXPECT_GT(judged, long(tw) * th / 2);
        EXPECT_EQ(off, 0);
        std::free(texels.texels);
    }
}

}  // namespace
