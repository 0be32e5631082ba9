// Pictures without GL: the folder, the texture size, files made into texels
// (also from DCT-scaled JPEG), EXIF orientation, WebP, SVG, files that must
// fail cleanly, and the picture worker (also run under ASan/UBSan).
#include <gtest/gtest.h>

#include <GL/gl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <webp/encode.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "pictures/PictureSteps.h"
#include "pictures/PictureWorker.h"
#include "pictures/Pictures.h"
#include "pictures/picture_decoder.h"
#include "tests/support/child_process.h"
#include "tests/support/picture_writers.h"
#include "tests/support/scratch_dir.h"

using testpics::Bytes;

namespace {

struct Rgb {
    int r, g, b;
};
constexpr Rgb kRed{230, 20, 20}, kGreen{20, 200, 20}, kBlue{20, 20, 230}, kWhite{245, 245, 245};

::testing::AssertionResult Near(Rgb got, Rgb want, int tolerance = 40)
{
    if (std::max({std::abs(got.r - want.r), std::abs(got.g - want.g), std::abs(got.b - want.b)}) <= tolerance)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "(" << got.r << "," << got.g << "," << got.b << ") for (" << want.r << ","
                                         << want.g << "," << want.b << ")";
}

using Size = std::pair<int, int>;
constexpr Size kNoSize{-1, -1};

// The size the header tells, kNoSize when it is refused.
Size SizeOf(const Bytes& file)
{
    int w = 0, h = 0;
    return ReadPictureSize(file.data(), file.size(), &w, &h) ? Size{w, h} : kNoSize;
}

// A decode, freed when it goes; pixel (x, y) counted from the top left.
struct Decoded : DecodedPicture {
    Decoded() : DecodedPicture{} {}
    ~Decoded() { FreeDecodedPicture(this); }
    bool From(const Bytes& file, int minWidth = 0, int minHeight = 0)
    {
        FreeDecodedPicture(this);
        return DecodePicture(file.data(), file.size(), minWidth, minHeight, this);
    }
    Rgb At(int x, int y) const
    {
        const unsigned char* px = pixels + size_t(y) * bytesPerRow + size_t(x) * size_t(bitsPerPixel / 8);
        return {px[0], px[1], px[2]};
    }
};

// The picture loader's texels of a file, freed when they go; texel (i, j)
// counted from the picture's top left (the texture stores the bottom row first).
struct Texels : PictureTexels {
    Texels() : PictureTexels{} {}
    ~Texels() { std::free(texels); }
    Rgb At(int i, int j) const
    {
        const unsigned char* p =
            texels + (size_t(height - 1 - j) * size_t(width) + size_t(i)) * (type == GL_RGBA ? 4 : 3);
        return {p[0], p[1], p[2]};
    }
};

TEST(PictureFolder, ChoosesEveryPictureByItsExtensionOnlyAndLeaksNoHandle)
{
    ScratchDir folder;
    for (const char* name : {"a.jpg", "B.GIF", "c.Png", "d.jpeg", "e.txt", ".jpg"})
        ASSERT_TRUE(WriteWholeFile(folder.Join(name), Bytes{1, 2, 3}));
    std::string path = folder.Path(), missing = folder.Join("gone");
    const int fds = testpics::CountOpenFds();
    std::set<std::string> chosen;
    char name[1024] = "";
    for (int i = 0; i < 100; ++i) {
        ASSERT_TRUE(ChooseRandomImageFile(path.data(), name));
        chosen.insert(name);
    }
    EXPECT_EQ(chosen, (std::set<std::string>{"a.jpg", "B.GIF", "c.Png"}));  // names as stored
    EXPECT_FALSE(ChooseRandomImageFile(missing.data(), name));
    EXPECT_EQ(testpics::CountOpenFds(), fds);
}

TEST(PictureFolder, JoinedPathsStayWithinTheBuffer)
{
    const std::string f1000 = "/" + std::string(999, 'f'), n23(23, 'n');
    const struct {
        std::string folder, name, path;  // path empty: refused
    } cases[] = {{"/tmp/pics", "B.GIF", "/tmp/pics/B.GIF"}, {f1000, n23, f1000 + "/" + n23}, {f1000, n23 + "n", ""}};
    for (const auto& c : cases) {
        char path[kPicturePathSize];
        EXPECT_EQ(JoinPicturePath(c.folder.c_str(), c.name.c_str(), path), !c.path.empty()) << c.path.size();
        EXPECT_EQ(std::string(path), c.path);
    }
}

TEST(PictureSteps, TextureSizeFollowsTheResolutionCode)
{
    const struct {
        int resolution, pictureWidth, pictureHeight, maxTextureSize, width, height;
    } cases[] = {
        {0, 800, 600, 16384, 512, 512},    {1, 800, 600, 16384, 1024, 1024},
        {2, 800, 600, 16384, 1024, 512},   {2, 724, 725, 16384, 512, 1024},  // the change lies at 512 * sqrt(2)
        {2, 6000, 4000, 2048, 2048, 2048},                                   // capped by GL_MAX_TEXTURE_SIZE
    };
    for (const auto& c : cases) {
        int w = 0, h = 0;
        PictureTextureSize(c.resolution, c.pictureWidth, c.pictureHeight, c.maxTextureSize, &w, &h);
        EXPECT_EQ(Size(w, h), Size(c.width, c.height)) << c.resolution << ": " << c.pictureWidth;
    }
}

// Lossless (or quality-95 lossy) WebP of width x height RGB or RGBA samples; empty on failure.
Bytes EncodeWebp(int width, int height, const Bytes& samples, bool alpha, bool lossless = true)
{
    uint8_t* out = nullptr;
    size_t size = 0;
    if (lossless)
        size = alpha ? WebPEncodeLosslessRGBA(samples.data(), width, height, width * 4, &out)
                     : WebPEncodeLosslessRGB(samples.data(), width, height, width * 3, &out);
    else
        size = WebPEncodeRGB(samples.data(), width, height, width * 3, 95.0f, &out);
    Bytes bytes(out, out + size);
    WebPFree(out);
    return bytes;
}

// A picture file and what must come of it.
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
    Bytes paletted = rgb, grey, greyRgb;
    for (unsigned char& v : paletted)
        v &= 0xC0;                     // 64 colours
    for (int i = 0; i < w * h; ++i) {  // smooth, which JPEG keeps well
        grey.push_back(static_cast<unsigned char>((i % w * 2 + i / w * 3) % 200 + 20));
        greyRgb.insert(greyRgb.end(), 3, grey.back());
    }
    const std::string text = "this is a text file, not a picture\n";
    std::vector<FileCase> cases = {
        {"rgb.png", testpics::EncodePng(w, h, 2, 8, rgb), w, h, rgb},
        {"rgba.png", testpics::EncodePng(w, h, 6, 8, rgba), w, h, rgba, 4},
        {"interlaced.png", testpics::EncodePng(w, h, 6, 8, rgba, true), w, h, rgba, 4},
        {"sixteen.png", testpics::EncodeAs(testpics::Kind::Png16, w, h, rgb), w, h, rgb},
        {"grey.jpg", testpics::EncodeJpeg(w, h, 1, grey), w, h, greyRgb, 3, 8},
        {"palette.gif", testpics::EncodeAs(testpics::Kind::Gif, w, h, paletted), w, h, paletted},
        {"rgb.webp", EncodeWebp(w, h, rgb, false), w, h, rgb},
        {"rgba.webp", EncodeWebp(w, h, rgba, true), w, h, rgba, 4},
        {"one.png", testpics::EncodePng(1, 1, 2, 8, Bytes{10, 20, 30}), 1, 1, Bytes{10, 20, 30}},
        {"really-a-png.jpg", testpics::EncodePng(w, h, 2, 8, rgb), w, h, rgb},
        {"text.png", Bytes(text.begin(), text.end())},
        {"zero.jpg", {}},
        {"huge.png", testpics::PngHeaderOnly(100000, 100000)},
    };
    // Cut short: refused, not shown half made. (Damage anywhere is the fuzzers' business.)
    for (int n : {0, 4, 5})
        for (size_t cut : {size_t(20), cases[size_t(n)].file.size() / 2, cases[size_t(n)].file.size() * 4 / 5})
            cases.push_back({"cut" + std::to_string(cut) + "-" + cases[size_t(n)].name,
                             Bytes(cases[size_t(n)].file.begin(), cases[size_t(n)].file.begin() + long(cut))});
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
        const std::string path = folder.Join(c.name);
        ASSERT_TRUE(c.name == "x.jpg" || WriteWholeFile(path, c.file));
        Texels t;
        ASSERT_EQ(MakePictureTexels(path.c_str(), 2, 16384, &t), c.width > 0);
        if (c.width == 0) {
            EXPECT_EQ(t.texels, nullptr);
            continue;
        }
        int tw = 0, th = 0;
        PictureTextureSize(2, c.width, c.height, 16384, &tw, &th);
        ASSERT_EQ(Size(t.width, t.height), Size(tw, th));
        EXPECT_EQ(t.type, c.channels == 4 ? unsigned(GL_RGBA) : unsigned(GL_RGB));
        EXPECT_EQ(Size(t.pictureWidth, t.pictureHeight), Size(c.width, c.height));
        // Texel (i, j) from the top holds the nearest pixel; rows are stored bottom first.
        const float fx = float(c.width) / float(tw), fy = float(c.height) / float(th);
        const size_t n = size_t(c.channels);
        int wrong = 0;
        for (size_t k = 0; k < size_t(tw * th) * n; ++k) {
            const size_t i = k / n % size_t(tw), j = size_t(th) - 1 - k / n / size_t(tw);
            const size_t source = (size_t(fy * float(j)) * size_t(c.width) + size_t(fx * float(i))) * n + k % n;
            wrong += std::abs(int(t.texels[k]) - int(c.pixels[source])) > c.tolerance;
        }
        EXPECT_EQ(wrong, 0);
    }
    EXPECT_EQ(SizeOf(testpics::PngHeaderOnly(100000, 100000)), kNoSize);  // bounded by the header alone
    EXPECT_EQ(testpics::CountOpenFds(), fds);
}

// JPEG decoded at the smallest DCT scale covering the texture gives the
// texels the picture's own pixels would.
TEST(PictureSteps, ScaledJpegSamplesLikeTheFullPicture)
{
    const struct {
        int width, height, resolution, scale;  // scale: the DCT scale expected, of 8
    } cases[] = {{1600, 1200, 0, 4}, {2000, 900, 0, 5}, {1600, 1200, 1, 7}};
    const auto block = [](int x, int y) {  // solid 32 x 32 blocks
        return Rgb{40 + x / 32 * 37 % 180, 40 + y / 32 * 53 % 180, 40 + (x / 32 + y / 32) * 29 % 180};
    };
    ScratchDir folder;
    const std::string path = folder.Join("blocks.jpg");
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " at " << c.resolution);
        Bytes pixels;
        for (int k = 0; k < c.width * c.height; ++k) {
            const Rgb b = block(k % c.width, k / c.width);
            pixels.insert(pixels.end(), {uint8_t(b.r), uint8_t(b.g), uint8_t(b.b)});
        }
        const Bytes file = testpics::EncodeJpeg(c.width, c.height, 3, pixels);
        ASSERT_TRUE(WriteWholeFile(path, file));
        int tw = 0, th = 0;
        PictureTextureSize(c.resolution, c.width, c.height, 16384, &tw, &th);
        Decoded scaled;
        ASSERT_TRUE(scaled.From(file, tw, th));
        EXPECT_EQ(scaled.scaleNum * 8 / scaled.scaleDenom, c.scale);
        Texels t;
        ASSERT_TRUE(MakePictureTexels(path.c_str(), c.resolution, 16384, &t));
        ASSERT_EQ(Size(t.width, t.height), Size(tw, th));
        // Texels sampling within 2 pixels of a block's edge are not judged: the
        // scaled decode blurs edges over more of the picture's pixels.
        const float fx = float(c.width) / float(tw), fy = float(c.height) / float(th);
        long judged = 0, off = 0;
        for (int j = 0; j < th; ++j) {
            for (int i = 0; i < tw; ++i) {
                const int sx = int(fx * float(i)), sy = int(fy * float(j));
                if (sx % 32 < 2 || sx % 32 > 29 || sy % 32 < 2 || sy % 32 > 29)
                    continue;
                ++judged;
                off += !Near(t.At(i, j), block(sx, sy), 12);
            }
        }
        EXPECT_GT(judged, long(tw) * th / 2);
        EXPECT_EQ(off, 0);
    }
}

// width x height RGB in four quadrants, as stored: top left red, top right
// green, bottom left blue, bottom right white.
Bytes Quadrants(int width, int height)
{
    Bytes rgb;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const Rgb c = y < height / 2 ? (x < width / 2 ? kRed : kGreen) : (x < width / 2 ? kBlue : kWhite);
            rgb.insert(rgb.end(), {uint8_t(c.r), uint8_t(c.g), uint8_t(c.b)});
        }
    return rgb;
}

// The colours a viewer shows in the corners (top left, top right, bottom
// left, bottom right) of the quadrant photo for each orientation, from the
// tag's meaning: where the stored first row and first column are shown.
struct OrientationCase {
    unsigned orientation;
    bool sidesSwap;
    Rgb shown[4];
};
const OrientationCase kOrientations[] = {
    {1, false, {kRed, kGreen, kBlue, kWhite}},  // row 0 top,    column 0 left
    {2, false, {kGreen, kRed, kWhite, kBlue}},  // row 0 top,    column 0 right
    {3, false, {kWhite, kBlue, kGreen, kRed}},  // row 0 bottom, column 0 right
    {4, false, {kBlue, kWhite, kRed, kGreen}},  // row 0 bottom, column 0 left
    {5, true, {kRed, kBlue, kGreen, kWhite}},   // row 0 left,   column 0 top
    {6, true, {kBlue, kRed, kWhite, kGreen}},   // row 0 right,  column 0 top
    {7, true, {kWhite, kGreen, kBlue, kRed}},   // row 0 right,  column 0 bottom
    {8, true, {kGreen, kWhite, kRed, kBlue}},   // row 0 left,   column 0 bottom
};
const OrientationCase& kUpright = kOrientations[0];

// The quadrant photo shown as `c` says: each quadrant's outer corner
// (`inset` pixels in) and its middle.
template <class Picture> void ExpectShown(const Picture& p, const OrientationCase& c, int inset)
{
    for (int k = 0; k < 4; ++k) {
        const int right = k % 2, bottom = k / 2;
        const int x = right ? p.width - 1 - inset : inset, y = bottom ? p.height - 1 - inset : inset;
        EXPECT_TRUE(Near(p.At(x, y), c.shown[k])) << "corner " << k;
        EXPECT_TRUE(Near(p.At((1 + 2 * right) * p.width / 4, (1 + 2 * bottom) * p.height / 4), c.shown[k]))
            << "middle of quadrant " << k;
    }
}

// v as n bytes, the most significant first when bigEndian.
void Put(Bytes* out, unsigned v, int n, bool bigEndian = false)
{
    for (int i = 0; i < n; ++i)
        out->push_back(static_cast<unsigned char>(v >> 8 * (bigEndian ? n - 1 - i : i)));
}

// An Exif APP1 payload: the TIFF header, then IFD0 with the given entries.
struct IfdEntry {
    unsigned tag, type, count;
    unsigned value;  // a SHORT in the first two bytes, or a LONG
};
Bytes Exif(bool bigEndian, const std::vector<IfdEntry>& entries, unsigned ifdOffset = 8)
{
    const unsigned char order = bigEndian ? 'M' : 'I';
    Bytes t = {'E', 'x', 'i', 'f', 0, 0, order, order};
    const auto put = [&](unsigned v, int n) { Put(&t, v, n, bigEndian); };
    put(42, 2), put(ifdOffset, 4), put(unsigned(entries.size()), 2);
    for (const IfdEntry& e : entries) {  // a single SHORT is left-justified in the 4 value bytes
        put(e.tag, 2), put(e.type, 2), put(e.count, 4);
        put(e.type == 3 && e.count == 1 && bigEndian ? e.value << 16 : e.value, 4);
    }
    put(0, 4);  // no next IFD
    return t;
}
Bytes Turned(unsigned orientation, bool bigEndian = true)
{
    return Exif(bigEndian, {{0x0112, 3, 1, orientation}});
}

// `jpeg` with an APP1 segment holding `payload` right after its SOI marker.
Bytes WithApp1(const Bytes& jpeg, const Bytes& payload)
{
    Bytes out = {0xFF, 0xD8, 0xFF, 0xE1};
    Put(&out, unsigned(payload.size() + 2), 2, true);
    out.insert(out.end(), payload.begin(), payload.end());
    out.insert(out.end(), jpeg.begin() + 2, jpeg.end());
    return out;
}

TEST(ExifOrientation, EveryOrientationShowsThePhotoAsAViewerDoesAlsoScaledAndAsTexture)
{
    constexpr int kW = 96, kH = 48;  // stored size
    const Bytes plain = testpics::EncodeJpeg(kW, kH, 3, Quadrants(kW, kH));
    ScratchDir dir;
    const std::string path = dir.Join("photo.jpg");
    for (const OrientationCase& c : kOrientations) {
        for (bool bigEndian : {true, false}) {
            SCOPED_TRACE(testing::Message() << "orientation " << c.orientation << (bigEndian ? " MM" : " II"));
            const Bytes file = WithApp1(plain, Turned(c.orientation, bigEndian));
            const Size shown = c.sidesSwap ? Size{kH, kW} : Size{kW, kH};
            EXPECT_EQ(SizeOf(file), shown);
            Decoded full, scaled;
            ASSERT_TRUE(full.From(file));
            EXPECT_EQ(Size(full.width, full.height), shown);
            EXPECT_EQ(Size(full.fullWidth, full.fullHeight), shown);
            ExpectShown(full, c, 2);
            // Half the shown width and an eighth of its height: scale 4/8 whichever way it was stored.
            ASSERT_TRUE(scaled.From(file, shown.first / 2, shown.second / 8));
            EXPECT_EQ(scaled.scaleNum * 8 / scaled.scaleDenom, 4);
            EXPECT_EQ(Size(scaled.width, scaled.height), Size(shown.first / 2, shown.second / 2));
            EXPECT_EQ(Size(scaled.fullWidth, scaled.fullHeight), shown);
            ExpectShown(scaled, c, 1);
            // Through the picture loader the texture holds the photo upright.
            ASSERT_TRUE(WriteWholeFile(path, file));
            Texels t;
            ASSERT_TRUE(MakePictureTexels(path.c_str(), 2, 16384, &t));
            EXPECT_EQ(Size(t.pictureWidth, t.pictureHeight), shown);
            ExpectShown(t, c, 1);
        }
    }
}

TEST(ExifOrientation, DamagedOrStrangeExifLeavesThePhotoAsStored)
{
    const Bytes plain = testpics::EncodeJpeg(64, 32, 3, Quadrants(64, 32));
    auto with = [&](const Bytes& payload) { return WithApp1(plain, payload); };
    Bytes wrongMagic = Turned(6);
    wrongMagic[9] = 43;  // TIFF magic 43 instead of 42
    const struct {
        const char* what;
        Bytes file;
    } cases[] = {
        {"value 9", with(Turned(9))},
        {"a LONG, not a SHORT", with(Exif(true, {{0x0112, 4, 1, 6}}))},
        {"IFD offset past the end", with(Exif(true, {{0x0112, 3, 1, 6}}, 0xFFFFFFF0))},
        {"not TIFF", with(wrongMagic)},
        {"an IFD chain that loops", with(Exif(true, {{0x8769, 4, 1, 8}}))},       // Exif sub-IFD pointing back at IFD0
        {"a turning second Exif segment", WithApp1(with(Turned(6)), Turned(1))},  // only the first counts
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(SizeOf(c.file), Size(64, 32));
        Decoded p;
        ASSERT_TRUE(p.From(c.file));
        ExpectShown(p, kUpright, 2);
    }
}

// RIFF chunk: tag, little-endian size, payload padded to even length.
void PutChunk(Bytes* out, const char* tag, const Bytes& payload)
{
    out->insert(out->end(), tag, tag + 4);
    Put(out, unsigned(payload.size()), 4);
    out->insert(out->end(), payload.begin(), payload.end());
    if (payload.size() % 2)
        out->push_back(0);
}

TEST(WebpPictures, AnimationShowsItsFirstFrame)
{
    constexpr int kW = 16, kH = 8;
    // Two full-canvas frames, each the bitstream chunk of a still.
    Bytes body = {'W', 'E', 'B', 'P'}, vp8x = {0x12, 0, 0, 0};  // animation and alpha
    Put(&vp8x, kW - 1, 3);
    Put(&vp8x, kH - 1, 3);
    PutChunk(&body, "VP8X", vp8x);
    PutChunk(&body, "ANIM", Bytes(6, 0));
    for (Rgb c : {kRed, kBlue}) {
        Bytes anmf, rgba;
        for (int i = 0; i < kW * kH; ++i)
            rgba.insert(rgba.end(), {uint8_t(c.r), uint8_t(c.g), uint8_t(c.b), 255});
        for (unsigned v : {0, 0, kW - 1, kH - 1, 100})  // x, y, width - 1, height - 1, duration
            Put(&anmf, v, 3);
        anmf.push_back(0);
        const Bytes still = EncodeWebp(kW, kH, rgba, true);
        anmf.insert(anmf.end(), still.begin() + 12, still.end());  // the still's chunks after "RIFF....WEBP"
        PutChunk(&body, "ANMF", anmf);
    }
    Bytes file;
    PutChunk(&file, "RIFF", body);

    EXPECT_EQ(SizeOf(file), Size(kW, kH));
    Decoded p;
    ASSERT_TRUE(p.From(file, 4, 4));
    EXPECT_EQ(p.bitsPerPixel, 32);
    EXPECT_EQ(p.width, kW);
    EXPECT_TRUE(Near(p.At(0, 0), kRed, 0));
    EXPECT_TRUE(Near(p.At(kW - 1, kH - 1), kRed, 0));
}

// <svg attributes>body</svg>.
Bytes Svg(const std::string& attributes, const std::string& body = "")
{
    const std::string svg = "<svg xmlns='http://www.w3.org/2000/svg' " + attributes + ">" + body + "</svg>\n";
    return Bytes(svg.begin(), svg.end());
}

// An SVG document with the quadrant colours over its whole viewBox, on an
// opaque ground (the quadrants' shared edges alone would leave seams of alpha).
Bytes QuadrantSvg(const std::string& sizeAttributes, double vbW, double vbH, const std::string& extra = "")
{
    auto rect = [&](double x, double y, const char* fill) {
        return "<rect x='" + std::to_string(x) + "' y='" + std::to_string(y) + "' width='" + std::to_string(vbW / 2) +
               "' height='" + std::to_string(vbH / 2) + "' fill='" + fill + "'/>";
    };
    Bytes svg =
        Svg("xmlns:xlink='http://www.w3.org/1999/xlink' " + sizeAttributes + " viewBox='0 0 " + std::to_string(vbW) +
                " " + std::to_string(vbH) + "'",
            "<rect width='100%' height='100%' fill='#808080'/>" + rect(0, 0, "#e61414") + rect(vbW / 2, 0, "#14c814") +
                rect(0, vbH / 2, "#1414e6") + rect(vbW / 2, vbH / 2, "#f5f5f5") + extra);
    const std::string prolog = "<?xml version='1.0' encoding='UTF-8'?>\n<!-- a wallpaper -->\n";
    svg.insert(svg.begin(), prolog.begin(), prolog.end());
    return svg;
}

// WebP and SVG pictures come out just covering the need (never above their
// own size), aspect kept, their own size and the scale recorded. (WebP's
// exact pixels, with and without alpha: the WebP rows of FileCases.)
TEST(PictureKinds, WebpAndSvgComeAtTheNeededSizeWithTheirAspect)
{
    const Bytes photo = EncodeWebp(800, 600, Quadrants(800, 600), false, false);
    const std::string hd = "width='1920' height='1080'";
    const struct {
        const char* what;
        Bytes file;
        Size own, need, drawn;
    } cases[] = {
        {"WebP", photo, {800, 600}, {512, 512}, {683, 512}},
        {"WebP", photo, {800, 600}, {200, 100}, {200, 150}},
        {"WebP, at its own size", photo, {800, 600}, {0, 0}, {800, 600}},
        {"WebP, never above it", photo, {800, 600}, {1024, 1024}, {800, 600}},
        {"SVG", QuadrantSvg(hd, 1920, 1080), {1920, 1080}, {1024, 1024}, {1821, 1024}},
        {"SVG at its own size", QuadrantSvg(hd, 192, 108), {1920, 1080}, {0, 0}, {1920, 1080}},
        {"SVG never above it", QuadrantSvg(hd, 1920, 1080), {1920, 1080}, {4096, 4096}, {1920, 1080}},
        {"SVG of a viewBox only", QuadrantSvg("", 1600, 1200), {1600, 1200}, {512, 512}, {683, 512}},
        {"SVG in inches", QuadrantSvg("width='2in' height='1in'", 200, 100), {2048, 1024}, {512, 512}, {1024, 512}},
        {"SVG, bounded", QuadrantSvg("width='100000' height='100'", 1000, 1), {16384, 16}, {1024, 1}, {1024, 1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.what << ", need " << c.need.first << "x" << c.need.second);
        EXPECT_EQ(SizeOf(c.file), c.own);
        Decoded p;
        ASSERT_TRUE(p.From(c.file, c.need.first, c.need.second));
        EXPECT_EQ(Size(p.width, p.height), c.drawn);
        EXPECT_EQ(Size(p.fullWidth, p.fullHeight), c.own);
        EXPECT_EQ(p.scaleNum * c.own.first, p.scaleDenom * c.drawn.first);
        EXPECT_EQ(p.bitsPerPixel, 24);  // opaque all over
        if (p.height > 4)
            ExpectShown(p, kUpright, 2);
    }
}

TEST(SvgPictures, TranslucentAndExternalContent)
{
    // Straight (not premultiplied) colour with its alpha.
    Decoded p;
    ASSERT_TRUE(p.From(
        Svg("width='1024' height='1024'", "<rect width='1024' height='1024' fill='#ff8000' fill-opacity='0.5'/>"), 64,
        64));
    ASSERT_EQ(p.bitsPerPixel, 32);
    EXPECT_TRUE(Near(p.At(10, 10), {255, 128, 0}, 3));
    EXPECT_NEAR(p.pixels[10 * p.bytesPerRow + 43], 128, 2);

    // A picture on disk that the document points at is not loaded: the
    // area it would cover stays as the document draws it without.
    ScratchDir dir;
    const std::string outside = dir.Join("secret.png");
    ASSERT_TRUE(WriteWholeFile(outside, testpics::EncodePng(4, 4, 2, 8, Bytes(48, 255))));
    for (const std::string& href : {outside, "file://" + outside}) {
        ASSERT_TRUE(p.From(QuadrantSvg("width='1024' height='1024'", 1024, 1024,
                                       "<image x='0' y='0' width='512' height='512' xlink:href='" + href + "'/>")));
        EXPECT_TRUE(Near(p.At(100, 100), kRed, 10)) << href;
    }
}

TEST(PictureKinds, DamagedFilesFailCleanlyAtAnyNeed)
{
    const Bytes webp = EncodeWebp(40, 30, testpics::PatternPixels(40, 30, 3), false);
    Bytes corrupt = webp;
    for (size_t i = 30; i < corrupt.size(); i += 3)
        corrupt[i] ^= 0x5A;
    const Bytes svg = QuadrantSvg("width='640' height='480'", 640, 480);
    const Bytes plain = testpics::EncodeJpeg(64, 32, 3, Quadrants(64, 32)), exif = WithApp1(plain, Turned(6));
    const std::string html = "<!DOCTYPE html><html><body>svg</body></html>";
    const struct {
        const char* what;
        Bytes bytes;
        bool headerRefused;  // ReadPictureSize fails too
    } cases[] = {
        {"WebP cut in the header", Bytes(webp.begin(), webp.begin() + 20), true},
        {"WebP cut in the data", Bytes(webp.begin(), webp.begin() + long(webp.size() / 2)), false},
        {"WebP scrambled data", corrupt, false},
        {"RIFF of another kind", {'R', 'I', 'F', 'F', 16, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' '}, true},
        {"SVG without size or viewBox", Svg("", "<rect width='5' height='5'/>"), true},
        {"SVG of zero size", Svg("width='0' height='10'"), true},
        {"SVG of negative viewBox", Svg("viewBox='0 0 -10 10'"), true},
        {"SVG cut short", Bytes(svg.begin(), svg.begin() + long(svg.size() / 2)), true},
        {"HTML, not SVG", Bytes(html.begin(), html.end()), true},
        {"JPEG cut short after its Exif segment", Bytes(exif.begin(), exif.end() - long(plain.size()) + 200), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_TRUE(!c.headerRefused || SizeOf(c.bytes) == kNoSize);
        for (int need : {0, 8}) {
            Decoded p;
            EXPECT_FALSE(p.From(c.bytes, need, need)) << need;
            EXPECT_EQ(p.pixels, nullptr);
        }
    }
}

// A picture the saver may not read (mode 000, the saver not root): it is
// refused like a damaged one and the fallback shown, while a readable one
// beside it in the same folder is read. Root reads a file of mode 000 all
// the same, so a root run does this as nobody (65534) in a child.
TEST(UnreadablePicture, IsRefusedForTheFallbackWhileAReadableOneIsRead)
{
    ScratchDir dir;
    const std::string locked = dir.Join("locked.png"), open = dir.Join("open.png");
    const std::string fallback = std::string(ZARNET_BUILD_RESOURCES) + "zarnet-default.png";
    const Bytes png = testpics::EncodeAs(testpics::Kind::Png, 64, 48, Bytes(size_t{64} * 48 * 3, 0x80));
    ASSERT_TRUE(WriteWholeFile(locked, png) && WriteWholeFile(open, png));
    ASSERT_TRUE(chmod(locked.c_str(), 0) == 0 && chmod(dir.Path().c_str(), 0755) == 0);

    const int code = InChild([&] {
        if (getuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
            return 77;
        PicturePixels pixels{};
        if (!MakePicturePixels(open, fallback, 0, 0, &pixels) || pixels.fallback || pixels.pictureWidth != 64)
            return 2;
        FreePicturePixels(&pixels);
        if (!MakePicturePixels(locked, fallback, 0, 0, &pixels) || !pixels.fallback || pixels.rgba == nullptr)
            return 3;
        FreePicturePixels(&pixels);
        return 0;
    });
    if (code == 77)
        GTEST_SKIP() << "running as root and can't become nobody (65534)";
    EXPECT_EQ(code, 0) << "2: the readable picture wasn't read; 3: the locked one wasn't refused for the fallback";
}

// The picture worker (its pixels against the loader's, and the fallback:
// NextPictureGL in pictures_gl_test.cpp): a newer job overtakes an older
// one, dropped or abandoned jobs free what they made (LeakSanitizer), and a
// worker going away doesn't wait for the decode in progress.
TEST(PictureWorker, TheLastJobWinsAndNothingIsLeftBehindOrWaitedFor)
{
    ScratchDir dir;
    const std::string wide = dir.Join("wide.png"), tall = dir.Join("tall.jpg"), large = dir.Join("large.jpg");
    ASSERT_TRUE(WriteWholeFile(wide, testpics::EncodePng(60, 40, 2, 8, testpics::PatternPixels(60, 40, 3))));
    ASSERT_TRUE(WriteWholeFile(tall, testpics::EncodeJpeg(30, 50, 3, testpics::PatternPixels(30, 50, 3))));
    ASSERT_TRUE(WriteWholeFile(large, testpics::EncodeJpeg(3000, 2000, 3, testpics::PatternPixels(3000, 2000, 3))));
    const int fds = testpics::CountOpenFds();
    PictureWorker worker;
    PicturePixels made{};
    EXPECT_FALSE(worker.Wait(&made));  // no job yet
    for (int round = 0; round < 50; ++round) {
        worker.Start(round % 2 ? wide : tall, "", 2, 0);  // overtaken at once
        worker.Start(round % 2 ? tall : wide, "", 2, 0);
        ASSERT_TRUE(worker.Wait(&made));
        EXPECT_EQ(made.pictureWidth, round % 2 ? 30 : 60);
        FreePicturePixels(&made);
        worker.Start(tall, "", 1, 0);  // dropped: nothing comes of it, also once it has finished
        worker.Drop();
        EXPECT_FALSE(worker.Wait(&made) || worker.Take(&made));
    }
    for (int k = 0; k < 3; ++k) {  // dropped while being made: the worker frees what comes of it
        worker.Start(large, "", 0, 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        worker.Drop();
    }
    // Workers going with a job waiting, overtaken, or finished and not taken;
    // the timing below gives the threads left alone time to finish and free.
    for (int k = 0; k < 3; ++k) {
        PictureWorker abandoned;
        abandoned.Start(tall, "", 1, 0);
        if (k == 1)
            abandoned.Start(wide, "", 1, 0);
        if (k == 2)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    using Clock = std::chrono::steady_clock;
    const auto seconds = [](Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since); };
    auto start = Clock::now();  // the large one made through to the end first
    worker.Start(large, "", 2, 0);
    ASSERT_TRUE(worker.Wait(&made));
    const double whole = seconds(start).count();
    FreePicturePixels(&made);
    // Workers going while the large one is being decoded don't wait for it.
    for (int k = 0; k < 3; ++k) {
        auto* abandoned = new PictureWorker;
        abandoned->Start(k == 1 ? wide : large, "", 2, 0);
        if (k == 1)
            abandoned->Start(large, "", 2, 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(10 * k));
        start = Clock::now();
        delete abandoned;
        EXPECT_LT(seconds(start).count(), whole / 2) << k;
    }
    // The threads left alone close the file when done; the tests after this one count open files.
    for (int wait = 0; wait < 1000 && testpics::CountOpenFds() > fds; ++wait)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

}  // namespace
