// Hostile things in the picture folder, each met by the whole program
// (`zarnet --record` with the folder source and a picture change every few
// seconds): decompression bombs, pictures at the largest side the decoder
// allows, a cut-off progressive JPEG, a FIFO, a symlink loop, an unreadable
// file, a GIF of 500 frames, names no text encoding likes, and a folder of
// 20,000 pictures. In every case the program keeps drawing, ends normally
// and stays within its memory bound; what it shows is the bundled picture
// or the good picture beside the bad one.
#include <gif_lib.h>
#include <gtest/gtest.h>
#include <jpeglib.h>
#include <png.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "host/Preferences.h"
#include "pictures/Pictures.h"
#include "tests/soak/soak_report.h"
#include "tests/support/child_process.h"
#include "tests/support/engine_view.h"
#include "tests/support/picture_writers.h"
#include "tests/support/scratch_dir.h"

namespace {

// --- Pictures written straight to a file, a row at a time, so that even
// --- 16384 x 16384 takes no memory to make.

// A JPEG of `width` x `height` of one colour (a gentle ramp across), baseline
// or progressive.
bool WriteJpeg(const std::string& path, int width, int height, bool progressive)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    jpeg_compress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, f);
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 80, TRUE);
    if (progressive)
        jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<JSAMPLE> row(static_cast<size_t>(width) * 3);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            JSAMPLE* px = &row[static_cast<size_t>(x) * 3];
            px[0] = static_cast<JSAMPLE>(40 + x * 160 / width);
            px[1] = static_cast<JSAMPLE>(progressive ? (x ^ y) & 0xFF : 120);
            px[2] = static_cast<JSAMPLE>(40 + y * 160 / height);
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return std::fclose(f) == 0;
}

// A PNG of zero samples, fastest compression: 8-bit RGB, or 16-bit RGBA.
bool WritePng(const std::string& path, int width, int height, bool deep)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(f);
        return false;
    }
    png_init_io(png, f);
    png_set_compression_level(png, 1);
    png_set_user_limits(png, 0x7fffffff, 0x7fffffff);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), deep ? 16 : 8,
                 deep ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_set_filter(png, 0, PNG_FILTER_NONE);
    png_write_info(png, info);
    std::vector<png_byte> row(static_cast<size_t>(width) * (deep ? 8 : 3), 0);
    for (int y = 0; y < height; ++y)
        png_write_row(png, row.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return std::fclose(f) == 0;
}

uint32_t Crc32(const std::string& bytes)
{
    uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char c : bytes) {
        crc ^= c;
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void PutBig32(std::string* out, uint32_t v)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out->push_back(static_cast<char>((v >> shift) & 0xFF));
}

void PutChunk(std::string* png, const char* type, const std::string& data)
{
    PutBig32(png, static_cast<uint32_t>(data.size()));
    const std::string body = type + data;
    *png += body;
    PutBig32(png, Crc32(body));
}

// A 16 x 16 grey PNG whose one IDAT inflates to `inflated` bytes of zeros,
// far more than its rows: a zlib stream of one fixed-Huffman block that
// copies 258 bytes at distance 1 again and again (13 bits each).
std::string InflatingPng(uint64_t inflated)
{
    std::string z = "\x78\x01";
    uint64_t bits = 0;
    int count = 0;
    auto put = [&](uint32_t value, int n) {  // LSB first
        bits |= static_cast<uint64_t>(value) << count;
        count += n;
        while (count >= 8) {
            z.push_back(static_cast<char>(bits & 0xFF));
            bits >>= 8;
            count -= 8;
        }
    };
    auto putCode = [&](uint32_t code, int n) {  // Huffman codes go MSB first
        for (int i = n - 1; i >= 0; --i)
            put((code >> i) & 1u, 1);
    };
    put(1, 1);         // final block
    put(1, 2);         // fixed Huffman
    putCode(0x30, 8);  // literal 0
    for (uint64_t made = 1; made + 258 <= inflated; made += 258) {
        putCode(0xC5, 8);  // length 258
        putCode(0, 5);     // distance 1
    }
    putCode(0, 7);  // end of block
    if (count > 0)
        put(0, 8 - count);
    const uint64_t length = 1 + (inflated - 1) / 258 * 258;
    PutBig32(&z, static_cast<uint32_t>(((length % 65521) << 16) | 1));  // Adler-32 of zeros

    std::string png = "\x89PNG\r\n\x1a\n";
    std::string ihdr;
    PutBig32(&ihdr, 16);
    PutBig32(&ihdr, 16);
    ihdr += std::string("\x08\x00\x00\x00\x00", 5);  // 8-bit grey
    PutChunk(&png, "IHDR", ihdr);
    PutChunk(&png, "IDAT", z);
    PutChunk(&png, "IEND", "");
    return png;
}

// A small JPEG whose frame header claims `width` x `height`.
std::string JpegClaiming(int width, int height)
{
    const testpics::Bytes small = testpics::EncodeJpeg(16, 16, 3, testpics::PatternPixels(16, 16, 3));
    std::string bytes(small.begin(), small.end());
    for (size_t i = 2; i + 9 < bytes.size(); ++i)
        if (static_cast<unsigned char>(bytes[i]) == 0xFF && static_cast<unsigned char>(bytes[i + 1]) == 0xC0) {
            bytes[i + 5] = static_cast<char>(height >> 8);
            bytes[i + 6] = static_cast<char>(height & 0xFF);
            bytes[i + 7] = static_cast<char>(width >> 8);
            bytes[i + 8] = static_cast<char>(width & 0xFF);
            return bytes;
        }
    return std::string();
}

// A GIF of `frames` images of 100 x 100, each a different colour.
bool WriteManyFrameGif(const std::string& path, int frames)
{
    int error = 0;
    GifFileType* gif = EGifOpenFileName(path.c_str(), false, &error);
    if (!gif)
        return false;
    GifColorType colours[256];
    for (int i = 0; i < 256; ++i)
        colours[i] = GifColorType{static_cast<GifByteType>(i), static_cast<GifByteType>(255 - i),
                                  static_cast<GifByteType>(i / 2)};
    ColorMapObject* map = GifMakeMapObject(256, colours);
    bool ok = map && EGifPutScreenDesc(gif, 100, 100, 8, 0, map) != GIF_ERROR;
    std::vector<GifPixelType> line(100);
    for (int f = 0; ok && f < frames; ++f) {
        const unsigned char delay[4] = {0, 5, 0, 0};  // 50 ms, no transparency
        ok = EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, delay) != GIF_ERROR &&
             EGifPutImageDesc(gif, 0, 0, 100, 100, false, nullptr) != GIF_ERROR;
        for (int y = 0; ok && y < 100; ++y) {
            for (int x = 0; x < 100; ++x)
                line[x] = static_cast<GifPixelType>((f + x / 10) & 0xFF);
            ok = EGifPutLine(gif, line.data(), 100) != GIF_ERROR;
        }
    }
    GifFreeMapObject(map);
    return EGifCloseFile(gif, &error) != GIF_ERROR && ok;
}

// One solid colour, as a PNG.
testpics::Bytes SolidPng(int width, int height, unsigned char r, unsigned char g, unsigned char b)
{
    testpics::Bytes rgb;
    for (int i = 0; i < width * height; ++i)
        rgb.insert(rgb.end(), {r, g, b});
    return testpics::EncodePng(width, height, 2, 8, rgb);
}

// --- Running the program over a folder.

struct FolderRun {
    int exitCode = -1;
    double wallMs = 0.0;
    SoakSample end;  // the soak report's summary
    Frame first;     // the first frame drawn
};

// A configuration folder whose settings take pictures from `pictures`, in
// the size of their own (texture code 2), on a board seven pieces across.
std::string PrefsFolder(const ScratchDir& dir, const std::string& pictures)
{
    mkdir(dir.Join("config").c_str(), 0700);
    mkdir(dir.Join("config/zarnet").c_str(), 0700);
    WriteWholeFile(dir.Join("config/zarnet/vmZarnetSS.conf"),
                   std::string("[vmZarnetSS]\nversion=") + kPrefsVersion +
                       "\nMainMonitorOnly=false\nLockInPlace=true\nPuzzleWidth=7\nPercentage=5\n"
                       "BGType=2\nBGPath=" +
                       pictures + "/\nBGRes=2\n");
    return dir.Join("config");
}

// 24 simulated seconds at 10 frames a second, a picture change asked for
// every 4: six choices from the folder. While a picture is made, ticks
// follow the real clock, as on a display.
FolderRun RunOverFolder(const std::string& pictures, const std::string& name)
{
    ScratchDir dir;
    FolderRun run;
    const std::string config = PrefsFolder(dir, pictures);
    const auto start = std::chrono::steady_clock::now();
    run.exitCode = RunProgram({BuildProgramPath("zarnet"),
                               "--record",
                               dir.Join("frames"),
                               "--size",
                               "160x100",
                               "--seconds",
                               "24",
                               "--fps",
                               "10",
                               "--seed",
                               "5",
                               "--every",
                               "1000000",
                               "--picture-change-every",
                               "4",
                               "--sample-every",
                               "10",
                               "--wait-real-time",
                               "--soak-report",
                               dir.Join("soak.jsonl")},
                              EnvironmentWith({"XDG_CONFIG_HOME=" + config}), nullptr, 300000);
    run.wallMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    const SoakReport report = ReadSoakReport(dir.Join("soak.jsonl"));
    run.end = report.end;
    run.first = LoadFrame(dir.Join("frames/frame-000000.png"));
    if (run.first.width == 0)
        run.first = LoadFrame(dir.Join("frames/frame-000001.png"));
    std::printf("| %s | exit %d | %.1f s | frames %.0f, changes %.0f | peak %.0f MB | first frame %.0f ms | "
                "frames: median %.2f ms, p99.9 %.2f ms, max %.2f ms, over 2x median %.0f |\n",
                name.c_str(), run.exitCode, run.wallMs / 1000.0,
                report.end.count("frames") ? report.end.at("frames") : -1,
                report.end.count("forcedChanges") ? report.end.at("forcedChanges") : -1,
                report.end.count("hwmKb") ? report.end.at("hwmKb") / 1024.0 : -1,
                report.end.count("firstFrameMs") ? report.end.at("firstFrameMs") : -1,
                report.end.count("medianFrameMs") ? report.end.at("medianFrameMs") : -1,
                report.end.count("p999FrameMs") ? report.end.at("p999FrameMs") : -1,
                report.end.count("maxFrameMs") ? report.end.at("maxFrameMs") : -1,
                report.end.count("framesOver2xMedian") ? report.end.at("framesOver2xMedian") : -1);
    std::fflush(stdout);
    return run;
}

bool SameFrame(const Frame& a, const Frame& b)
{
    return a.width > 0 && a.width == b.width && a.height == b.height && a.rgba == b.rgba;
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
    // Puts the hostile thing into the folder; false when it can't be made
    // here (the reason in *skip).
    std::function<bool(const std::string& folder, std::string* skip)> make;
};

// The run went on through every tick and answered picture changes, no
// frame stood for long, memory stayed under its bound.
void ExpectCarriedOn(const FolderRun& run, double peakMb = 256)
{
    ASSERT_TRUE(run.end.count("frames")) << "no summary";
    EXPECT_GE(run.end.at("frames"), 230);
    // Changes are asked for only while none is pending: a picture change
    // that never ended would leave the first one asked for ever.
    EXPECT_GE(run.end.at("forcedChanges"), 2);
    EXPECT_LT(run.end.at("maxFrameMs"), kLongestFrameMs);
    EXPECT_LT(run.end.at("hwmKb") / 1024.0, peakMb * kMemoryScale);
}

const Case kCases[] = {
    {"JPEG claiming 60000 x 60000", false, 256,
     [](const std::string& f, std::string*) { return WriteWholeFile(f + "/huge.jpg", JpegClaiming(60000, 60000)); }},
    {"PNG header claiming 60000 x 60000", false, 256,
     [](const std::string& f, std::string*) {
         return WriteWholeFile(f + "/huge.png", testpics::PngHeaderOnly(60000, 60000));
     }},
    {"16 x 16 PNG inflating to 1 GiB", true, 256,
     [](const std::string& f, std::string*) {
         return WriteWholeFile(f + "/bomb.png", InflatingPng(uint64_t(1) << 30));
     }},
    {"8000 x 8000 16-bit RGBA PNG (512 MB inflated)", true, 1280,
     [](const std::string& f, std::string*) { return WritePng(f + "/deep.png", 8000, 8000, true); }},
    {"16384 x 16384 JPEG", false, 256,
     [](const std::string& f, std::string*) { return WriteJpeg(f + "/big.jpg", 16384, 16384, false); }},
    {"16384 x 16384 PNG", false, 256,
     [](const std::string& f, std::string*) { return WritePng(f + "/big.png", 16384, 16384, false); }},
    {"progressive JPEG cut at 40 %", false, 256,
     [](const std::string& f, std::string*) {
         std::string whole;
         if (!WriteJpeg(f + "/whole.tmp", 1600, 1200, true) || !ReadWholeFile(f + "/whole.tmp", &whole))
             return false;
         unlink((f + "/whole.tmp").c_str());
         return WriteWholeFile(f + "/cut.jpg", whole.substr(0, whole.size() * 2 / 5));
     }},
    {"FIFO named like a JPEG", false, 256,
     [](const std::string& f, std::string*) { return mkfifo((f + "/pipe.jpg").c_str(), 0644) == 0; }},
    {"symlink loop", false, 256,
     [](const std::string& f, std::string*) {
         return symlink("b.png", (f + "/a.png").c_str()) == 0 && symlink("a.png", (f + "/b.png").c_str()) == 0;
     }},
    {"unreadable file (mode 000)", false, 256,
     [](const std::string& f, std::string* skip) {
         if (geteuid() == 0) {
             *skip = "running as root, which reads a file of mode 000 all the same";
             return false;
         }
         return WriteWholeFile(f + "/locked.png", SolidPng(64, 48, 30, 200, 30)) &&
                chmod((f + "/locked.png").c_str(), 0) == 0;
     }},
    {"GIF of 500 frames", true, 256,
     [](const std::string& f, std::string*) { return WriteManyFrameGif(f + "/many.gif", 500); }},
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

TEST(HostileFolder, EachBadFileAloneGivesTheBundledPictureAndTheRunCarriesOn)
{
    ASSERT_GT(BundledFirstFrame().width, 0);
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        ScratchDir dir;
        std::string skip;
        if (!c.make(dir.Path(), &skip)) {
            ASSERT_FALSE(skip.empty()) << "couldn't make the case";
            std::printf("| %s | not tested: %s |\n", c.name, skip.c_str());
            continue;
        }
        const FolderRun run = RunOverFolder(dir.Path(), c.name);
        ASSERT_EQ(run.exitCode, 0);
        ExpectCarriedOn(run, c.peakMb);
        EXPECT_EQ(SameFrame(run.first, BundledFirstFrame()), !c.picture) << "the bundled picture: " << !c.picture;
    }
}

// Every bad file together with one good picture: a name with a newline and
// one that isn't UTF-8. The good picture is shown whenever it is chosen.
TEST(HostileFolder, GoodPicturesBesideBadOnesAreShown)
{
    struct Named {
        const char* name;
        const char* file;
    };
    for (const Named& n :
         {Named{"name with a newline", "line\nbreak.png"}, Named{"name not UTF-8", "caf\xe9-\xff.PNG"}}) {
        SCOPED_TRACE(n.name);
        ScratchDir dir;
        ASSERT_TRUE(WriteWholeFile(dir.Join(n.file), SolidPng(64, 48, 30, 200, 30)));
        const FolderRun run = RunOverFolder(dir.Path(), n.name);
        ASSERT_EQ(run.exitCode, 0);
        ExpectCarriedOn(run);
        // The assembled first board: green all over the middle.
        const Rgb middle = run.first.MeanAround(80, 50, 6);
        EXPECT_GT(middle.g, middle.r + 80) << int(middle.r) << " " << int(middle.g) << " " << int(middle.b);
        EXPECT_GT(middle.g, middle.b + 80);
    }

    // Every file that gives no picture at once, beside one good picture.
    // (The large pictures that do decode stay out: a picture of a new
    // texture size after another costs the software renderer a long frame
    // to make the texture's storage, over a second for 8192 x 8192.)
    ScratchDir dir;
    for (const Case& c : kCases) {
        std::string skip;
        if (!c.picture)
            c.make(dir.Path(), &skip);
    }
    ASSERT_TRUE(WriteWholeFile(dir.Join("good.png"), SolidPng(64, 48, 30, 200, 30)));
    const FolderRun run = RunOverFolder(dir.Path(), "every bad file and one good picture");
    ASSERT_EQ(run.exitCode, 0);
    ExpectCarriedOn(run);
}

// One choice among 20,000 pictures: counting and finding walk the folder
// a few times; it must stay far below a frame's worth of a long pause.
TEST(HostileFolder, ChoosingAmongTwentyThousandPicturesIsQuick)
{
    ScratchDir dir;
    const testpics::Bytes tiny = SolidPng(4, 4, 30, 200, 30);
    const char* kinds[] = {".jpg", ".gif", ".png"};
    for (int i = 0; i < 20000; ++i)
        ASSERT_TRUE(WriteWholeFile(dir.Join("picture-" + std::to_string(i) + kinds[i % 3]), tiny));
    char folder[1024];
    std::snprintf(folder, sizeof folder, "%s/", dir.Path().c_str());
    char name[1024];
    std::srand(7);
    ASSERT_TRUE(ChooseRandomImageFile(folder, name));  // the folder in the page cache
    std::vector<double> ms;
    for (int i = 0; i < 20; ++i) {
        const auto start = std::chrono::steady_clock::now();
        ASSERT_TRUE(ChooseRandomImageFile(folder, name));
        ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(ms.begin(), ms.end());
    std::printf("| 20,000 pictures | one choice: median %.1f ms, longest %.1f ms |\n", ms[ms.size() / 2], ms.back());
    // About 20 ms on a quiet machine (the folder is walked five times); the
    // bound leaves room for a busy one.
    EXPECT_LT(ms[ms.size() / 2], 150.0);

    // And the whole program over it.
    const FolderRun run = RunOverFolder(dir.Path(), "20,000 pictures");
    ASSERT_EQ(run.exitCode, 0);
    ExpectCarriedOn(run);
}

}  // namespace
