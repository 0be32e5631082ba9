// Pictures with GL: the next picture's upload in bounded shares, equal to
// the loader's texture, leaving nothing behind; and hostile things in the
// picture folder, each met by the whole program (`zarnet --record`), which
// must keep drawing within its memory bound and show the bundled or the
// good picture (an unreadable file: pictures_test.cpp).
#include <GL/gl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "loading/Texture.h"
#include "pictures/NextPicture.h"
#include "pictures/Pictures.h"
#include "platform/egl_headless.h"
#include "tests/soak/soak_report.h"
#include "tests/support/engine_view.h"
#include "tests/support/picture_writers.h"

using testpics::Bytes;

namespace {

// The loader's own texture of `path`, the picture `width` x `height`.
std::vector<unsigned char> LoaderTexels(const std::string& path, int resolution, unsigned width, unsigned height)
{
    Texture texture;
    if (!loadPicFile(path.c_str(), &texture, resolution))
        return {};
    EXPECT_EQ(std::make_pair(texture.width, texture.height), std::make_pair(width, height));
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
        {"bad.jpg", "", 2, size_t(1) << 20, nullptr, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.path) + " at " + std::to_string(c.budget));
        const std::string path = *c.path ? dir.Join(c.path) : "", fallback = *c.fallback ? dir.Join(c.fallback) : "";
        NextPicture next;
        next.Start(path.c_str(), fallback.c_str(), c.resolution);
        int shares = c.gives != nullptr;  // the finishing call, then every call that uploaded rows before it
        while (!next.Advance(c.budget))
            shares += next.Uploading();
        unsigned texture = 0;
        int width = -1, height = -1;
        ASSERT_EQ(next.Take(&texture, &width, &height), c.gives != nullptr);
        EXPECT_EQ(shares, c.shares);
        if (c.gives == nullptr)
            continue;
        const bool big = std::string(c.gives) == "big.jpg";
        EXPECT_EQ(std::make_pair(width, height), std::make_pair(big ? 2000 : 50, big ? 1000 : 30));
        int tw = 0, th = 0;
        EXPECT_TRUE(TextureTexels(texture, &tw, &th) == LoaderTexels(dir.Join(c.gives), c.resolution, width, height));
        glDeleteTextures(1, &texture);
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    }

    // A texture handed back is filled again by a picture of its size and
    // deleted for one of another size; a reserved one serves the first picture.
    NextPicture next;
    const auto make = [&](const char* file) {
        next.Start(dir.Join(file).c_str(), "", 2);
        while (!next.Advance(size_t(1) << 20)) {}
        unsigned texture = 0;
        int width = 0, height = 0;
        EXPECT_TRUE(next.Take(&texture, &width, &height));
        return texture;
    };
    int tw = 0, th = 0;
    const unsigned first = make("big.jpg");
    next.Recycle(first);
    EXPECT_EQ(make("big.jpg"), first);  // its storage not made anew
    EXPECT_TRUE(TextureTexels(first, &tw, &th) == LoaderTexels(dir.Join("big.jpg"), 2, 2000, 1000));
    next.Recycle(first);
    const unsigned third = make("small.png");  // 64 x 32
    EXPECT_TRUE(TextureTexels(third, &tw, &th) == LoaderTexels(dir.Join("small.png"), 2, 50, 30));
    next.Reserve(third);
    const unsigned fourth = make("small.png");
    EXPECT_TRUE(glIsTexture(third) && glIsTexture(fourth) && fourth != third);
    EXPECT_TRUE(TextureTexels(fourth, &tw, &th) == LoaderTexels(dir.Join("small.png"), 2, 50, 30));
    glDeleteTextures(1, &third);
    glDeleteTextures(1, &fourth);

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
        NextPicture dropped;
        dropped.Start(dir.Join("big.jpg").c_str(), "", 2);
        while (k < 2 && !dropped.Uploading())
            ASSERT_FALSE(dropped.Advance(size_t(1) << 20));
        EXPECT_TRUE(k == 2 || liveTextures() != before);  // a texture is being filled
        if (k == 0)
            dropped.Drop();
        if (k == 2)
            dropped.Start(dir.Join("small.png").c_str(), "", 0);  // the next one overtakes it
        EXPECT_TRUE(k != 0 || liveTextures() == before);
    }
    EXPECT_EQ(liveTextures(), before);
}

// A 16 x 16 grey PNG whose one IDAT inflates to `inflated` bytes of zeros,
// far more than its rows: a zlib stream of one fixed-Huffman block that
// copies 258 bytes at distance 1 again and again (13 bits each).
Bytes InflatingPng(uint64_t inflated)
{
    Bytes z = {0x78, 0x01};
    uint64_t bits = 0;
    int count = 0;
    auto put = [&](uint32_t value, int n) {  // LSB first
        for (bits |= uint64_t(value) << count, count += n; count >= 8; bits >>= 8, count -= 8)
            z.push_back(static_cast<unsigned char>(bits & 0xFF));
    };
    auto putCode = [&](uint32_t code, int n) {  // Huffman codes go MSB first
        for (int i = n - 1; i >= 0; --i)
            put((code >> i) & 1u, 1);
    };
    put(3, 3);         // final block, fixed Huffman
    putCode(0x30, 8);  // literal 0
    for (uint64_t made = 1; made + 258 <= inflated; made += 258)
        putCode(0xC5 << 5, 13);  // length 258, distance 1
    putCode(0, 7);               // end of block
    put(0, (8 - count) % 8);
    const uint64_t adler = ((1 + (inflated - 1) / 258 * 258) % 65521) << 16 | 1;  // Adler-32 of the zeros
    for (int shift = 24; shift >= 0; shift -= 8)
        z.push_back(static_cast<unsigned char>(adler >> shift));
    return testpics::PngHeaderOnly(16, 16, 0, z);
}

// A small JPEG whose frame header claims `width` x `height`.
Bytes JpegClaiming(int width, int height)
{
    Bytes bytes = testpics::EncodeJpeg(16, 16, 3, testpics::PatternPixels(16, 16, 3));
    for (size_t i = 2; i + 9 < bytes.size(); ++i)
        if (bytes[i] == 0xFF && bytes[i + 1] == 0xC0) {
            const unsigned char size[4] = {uint8_t(height >> 8), uint8_t(height), uint8_t(width >> 8), uint8_t(width)};
            std::copy(size, size + 4, bytes.begin() + long(i) + 5);
            return bytes;
        }
    return {};
}

// A 100 x 100 GIF of `frames` frames, each a different colour.
Bytes ManyFrameGif(int frames)
{
    Bytes palette, indices;
    for (int i = 0; i < 256; ++i)
        palette.insert(palette.end(), {uint8_t(i), uint8_t(255 - i), uint8_t(i / 2)});
    for (int f = 0; f < frames; ++f)
        for (int k = 0; k < 100 * 100; ++k)
            indices.push_back(uint8_t(f + k % 100 / 10));
    return testpics::EncodeGif(100, 100, palette, indices);
}

Bytes SmallPng()
{
    return testpics::EncodePng(4, 4, 2, 8, testpics::PatternPixels(4, 4, 3));
}

struct FolderRun {
    int exitCode = -1;
    double wallMs = 0.0;
    SoakSample end;  // the soak report's summary
    Frame first;     // the first frame drawn
};

// `seconds` simulated seconds (24: six choices from the folder) at 10 frames
// a second, a picture change asked for every 4, on a board seven pieces across.
FolderRun RunOverFolder(const std::string& pictures, const std::string& name, int seconds = 24)
{
    ScratchDir dir;
    FolderRun run;
    WriteFolderSettings(dir.Join("config"), pictures, 7, 5);
    const auto start = std::chrono::steady_clock::now();
    run.exitCode = RunRecorder(dir.Join("frames"),
                               "--size 160x100 --seconds " + std::to_string(seconds) +
                                   " --fps 10 --seed 5 --every 1000000 --picture-change-every 4 --sample-every 10",
                               dir.Join("soak.jsonl"), dir.Join("config"), 300000);
    run.wallMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    ReadSoakReport(dir.Join("soak.jsonl"), &run.end);
    run.first = LoadFrame(dir.Join("frames/frame-000000.png"));
    if (run.first.width == 0)
        run.first = LoadFrame(dir.Join("frames/frame-000001.png"));
    const auto at = [&run](const char* key) { return run.end.count(key) ? run.end.at(key) : -1; };
    std::printf("| %s | exit %d | %.1f s | frames %.0f, changes %.0f | peak %.0f MB | first frame %.0f ms | "
                "frames: median %.2f ms, p99.9 %.2f ms, max %.2f ms, over 2x median %.0f |\n",
                name.c_str(), run.exitCode, run.wallMs / 1000.0, at("frames"), at("forcedChanges"),
                run.end.count("hwmKb") ? at("hwmKb") / 1024.0 : -1, at("firstFrameMs"), at("medianFrameMs"),
                at("p999FrameMs"), at("maxFrameMs"), at("framesOver2xMedian"));
    std::fflush(stdout);
    return run;
}

// Resident memory counts several times over under AddressSanitizer.
#if defined(__SANITIZE_ADDRESS__)
constexpr double kMemoryScale = 3.0;
#else
constexpr double kMemoryScale = 1.0;
#endif
// No frame may stand longer than this (the first, which builds the
// engine, aside): half a second is a visible stall even under a sanitizer.
constexpr double kLongestFrameMs = 500;

struct Case {
    const char* name;
    bool picture;   // a good picture after all: shown, where the others give the bundled one
    double peakMb;  // bound of resident memory
    std::function<bool(const std::string& folder)> make;  // puts the hostile thing into the folder
    int seconds = 24;  // of the run: time enough for two pictures made, also on a busy machine
};

const Case kCases[] = {
    {"JPEG claiming 60000 x 60000", false, 256,
     [](const std::string& f) { return WriteWholeFile(f + "/huge.jpg", JpegClaiming(60000, 60000)); }},
    {"16 x 16 PNG inflating to 1 GiB", true, 256,
     [](const std::string& f) { return WriteWholeFile(f + "/bomb.png", InflatingPng(uint64_t(1) << 30)); }},
    {"8000 x 8000 16-bit RGBA PNG (512 MB inflated)", true, 1280,
     [](const std::string& f) {
         return testpics::WritePngFile(f + "/deep.png", 8000, 8000, true, [](int, unsigned char*) {});
     },
     60},
    {"16384 x 16384 JPEG", false, 256,
     [](const std::string& f) {
         return testpics::WriteJpegFile(f + "/big.jpg", 16384, 16384, false, [](int, unsigned char*) {});
     }},
    {"16384 x 16384 PNG", false, 256,
     [](const std::string& f) {
         return testpics::WritePngFile(f + "/big.png", 16384, 16384, false, [](int, unsigned char*) {});
     }},
    {"progressive JPEG cut at 40 %", false, 256,
     [](const std::string& f) {
         std::string whole;
         const auto busy = [](int y, unsigned char* row) {  // slow to compress, so that 40 % is within the scans
             for (int x = 0; x < 1600 * 3; ++x)
                 row[x] = uint8_t(x / 3 ^ y ^ x % 3 * 85);
         };
         if (!testpics::WriteJpegFile(f + "/whole.tmp", 1600, 1200, true, busy) ||
             !ReadWholeFile(f + "/whole.tmp", &whole))
             return false;
         unlink((f + "/whole.tmp").c_str());
         return WriteWholeFile(f + "/cut.jpg", whole.substr(0, whole.size() * 2 / 5));
     }},
    {"FIFO named like a JPEG", false, 256,
     [](const std::string& f) { return mkfifo((f + "/pipe.jpg").c_str(), 0644) == 0; }},
    {"symlink loop", false, 256,
     [](const std::string& f) {
         return symlink("b.png", (f + "/a.png").c_str()) == 0 && symlink("a.png", (f + "/b.png").c_str()) == 0;
     }},
    {"GIF of 500 frames", true, 256,
     [](const std::string& f) { return WriteWholeFile(f + "/many.gif", ManyFrameGif(500)); }},
    {"good picture, its name with a newline", true, 256,
     [](const std::string& f) { return WriteWholeFile(f + "/line\nbreak.png", SmallPng()); }},
    {"good picture, its name not UTF-8", true, 256,
     [](const std::string& f) { return WriteWholeFile(f + "/caf\xe9-\xff.PNG", SmallPng()); }},
};

// The first frame over a folder that gives no picture: the bundled one.
const Frame& BundledFirstFrame()
{
    static const Frame frame = [] {
        ScratchDir empty;
        return RunOverFolder(empty.Path(), "empty folder (the bundled picture)").first;
    }();
    return frame;
}

TEST(HostileFolder, EachThingAloneGivesItsPictureOrTheBundledOneAndTheRunCarriesOn)
{
    const Frame& bundled = BundledFirstFrame();
    ASSERT_GT(bundled.width, 0);
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        ScratchDir dir;
        ASSERT_TRUE(c.make(dir.Path()));
        const FolderRun run = RunOverFolder(dir.Path(), c.name, c.seconds);
        ASSERT_EQ(run.exitCode, 0);
        // The run went on through every tick and answered picture changes (asked for only while none is
        // pending: one that never ended would leave the first asked for ever), no frame stood for long,
        // memory stayed under its bound.
        ASSERT_TRUE(run.end.count("frames")) << "no summary";
        EXPECT_GE(run.end.at("frames"), c.seconds * 10 - 10);
        EXPECT_GE(run.end.at("forcedChanges"), 2);
        EXPECT_LT(run.end.at("maxFrameMs"), kLongestFrameMs);
        EXPECT_LT(run.end.at("hwmKb") / 1024.0, c.peakMb * kMemoryScale);
        const bool same =
            run.first.width == bundled.width && run.first.height == bundled.height && run.first.rgba == bundled.rgba;
        EXPECT_EQ(same, !c.picture) << "the bundled picture: " << !c.picture;
    }
}

// One choice among 20,000 pictures: counting and finding walk the folder
// a few times; it must stay far below a long pause (the frame bound above).
TEST(HostileFolder, ChoosingAmongTwentyThousandPicturesIsQuick)
{
    ScratchDir dir;
    const Bytes tiny = SmallPng();
    const char* kinds[] = {".jpg", ".gif", ".png"};
    for (int i = 0; i < 20000; ++i)
        ASSERT_TRUE(WriteWholeFile(dir.Join("picture-" + std::to_string(i) + kinds[i % 3]), tiny));
    std::string folder = dir.Path() + "/";
    char name[1024];
    std::srand(7);
    std::vector<double> ms;
    for (int i = 0; i <= 20; ++i) {  // the first one puts the folder in the page cache
        const auto start = std::chrono::steady_clock::now();
        ASSERT_TRUE(ChooseRandomImageFile(folder.data(), name));
        ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(ms.begin() + 1, ms.end());
    std::printf("| 20,000 pictures | one choice: median %.1f ms, longest %.1f ms |\n", ms[11], ms.back());
    // About 20 ms on a quiet machine (the folder is walked five times); the
    // bound leaves room for a busy one.
    EXPECT_LT(ms[11], 150.0);
}

}  // namespace
