// The picture decoder's newer kinds: JPEG photos turned upright by their EXIF
// orientation (also at a reduced DCT scale), WebP and SVG, and damaged or
// hostile files of each that must fail or fall back cleanly (this program also
// runs under ASan/UBSan).
#include <gtest/gtest.h>

#include <GL/gl.h>
#include <webp/encode.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "pictures/PictureSteps.h"
#include "pictures/picture_decoder.h"
#include "tests/support/picture_writers.h"
#include "tests/support/scratch_dir.h"

using testpics::Bytes;

namespace {

struct Rgb {
    int r, g, b;
};
constexpr Rgb kRed{230, 20, 20}, kGreen{20, 200, 20}, kBlue{20, 20, 230}, kWhite{245, 245, 245};

// The decoded pixel at (x, y), counted from the top left.
Rgb PixelAt(const DecodedPicture& p, int x, int y)
{
    const unsigned char* px = p.pixels + size_t(y) * p.bytesPerRow + size_t(x) * size_t(p.bitsPerPixel / 8);
    return {px[0], px[1], px[2]};
}

::testing::AssertionResult Near(Rgb got, Rgb want, int tolerance = 40)
{
    if (std::abs(got.r - want.r) <= tolerance && std::abs(got.g - want.g) <= tolerance &&
        std::abs(got.b - want.b) <= tolerance)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "got (" << got.r << "," << got.g << "," << got.b << ") want (" << want.r
                                         << "," << want.g << "," << want.b << ")";
}

// width x height RGB in four quadrants, as stored: top left red, top right
// green, bottom left blue, bottom right white.
Bytes Quadrants(int width, int height)
{
    Bytes rgb;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const Rgb c = y < height / 2 ? (x < width / 2 ? kRed : kGreen) : (x < width / 2 ? kBlue : kWhite);
            rgb.insert(rgb.end(), {static_cast<unsigned char>(c.r), static_cast<unsigned char>(c.g),
                                   static_cast<unsigned char>(c.b)});
        }
    return rgb;
}

// A TIFF structure for an Exif APP1: header, then IFD0 with the given
// entries (tag, type, count, 4 value bytes as the byte order writes them).
struct IfdEntry {
    unsigned tag, type, count;
    unsigned value;  // a SHORT in the first two bytes, or a LONG
};
Bytes Tiff(bool bigEndian, const std::vector<IfdEntry>& entries, unsigned ifdOffset = 8)
{
    Bytes t;
    auto u16 = [&](unsigned v) {
        if (bigEndian)
            t.insert(t.end(), {static_cast<unsigned char>(v >> 8), static_cast<unsigned char>(v)});
        else
            t.insert(t.end(), {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8)});
    };
    auto u32 = [&](unsigned v) {
        if (bigEndian) {
            u16(v >> 16);
            u16(v & 0xFFFF);
        } else {
            u16(v & 0xFFFF);
            u16(v >> 16);
        }
    };
    t.insert(t.end(), bigEndian ? std::initializer_list<unsigned char>{'M', 'M'}
                                : std::initializer_list<unsigned char>{'I', 'I'});
    u16(42);
    u32(ifdOffset);
    u16(static_cast<unsigned>(entries.size()));
    for (const IfdEntry& e : entries) {
        u16(e.tag);
        u16(e.type);
        u32(e.count);
        if (e.type == 3 && e.count == 1) {
            u16(e.value);
            u16(0);
        } else {
            u32(e.value);
        }
    }
    u32(0);  // no next IFD
    return t;
}

IfdEntry Orientation(unsigned value)
{
    return {0x0112, 3, 1, value};
}

// `jpeg` with an APP1 segment holding `payload` right after its SOI marker.
Bytes WithApp1(const Bytes& jpeg, const Bytes& payload)
{
    const size_t length = payload.size() + 2;
    Bytes out(jpeg.begin(), jpeg.begin() + 2);
    out.insert(out.end(), {0xFF, 0xE1, static_cast<unsigned char>(length >> 8), static_cast<unsigned char>(length)});
    out.insert(out.end(), payload.begin(), payload.end());
    out.insert(out.end(), jpeg.begin() + 2, jpeg.end());
    return out;
}

Bytes ExifPayload(const Bytes& tiff)
{
    Bytes p = {'E', 'x', 'i', 'f', 0, 0};
    p.insert(p.end(), tiff.begin(), tiff.end());
    return p;
}

// The colours a viewer shows in the corners (top left, top right, bottom
// left, bottom right) of the quadrant photo for each orientation, from the
// tag's meaning: where the stored first row and first column are shown.
struct OrientationCase {
    unsigned orientation;
    bool sidesSwap;
    Rgb topLeft, topRight, bottomLeft, bottomRight;
};
const OrientationCase kOrientations[] = {
    {1, false, kRed, kGreen, kBlue, kWhite},  // row 0 top,    column 0 left
    {2, false, kGreen, kRed, kWhite, kBlue},  // row 0 top,    column 0 right
    {3, false, kWhite, kBlue, kGreen, kRed},  // row 0 bottom, column 0 right
    {4, false, kBlue, kWhite, kRed, kGreen},  // row 0 bottom, column 0 left
    {5, true, kRed, kBlue, kGreen, kWhite},   // row 0 left,   column 0 top
    {6, true, kBlue, kRed, kWhite, kGreen},   // row 0 right,  column 0 top
    {7, true, kWhite, kGreen, kBlue, kRed},   // row 0 right,  column 0 bottom
    {8, true, kGreen, kWhite, kRed, kBlue},   // row 0 left,   column 0 bottom
};

void ExpectCorners(const DecodedPicture& p, const OrientationCase& c, int inset)
{
    const int r = p.width - 1 - inset, b = p.height - 1 - inset;
    EXPECT_TRUE(Near(PixelAt(p, inset, inset), c.topLeft)) << "top left";
    EXPECT_TRUE(Near(PixelAt(p, r, inset), c.topRight)) << "top right";
    EXPECT_TRUE(Near(PixelAt(p, inset, b), c.bottomLeft)) << "bottom left";
    EXPECT_TRUE(Near(PixelAt(p, r, b), c.bottomRight)) << "bottom right";
}

TEST(ExifOrientation, EveryOrientationShowsThePhotoAsAViewerDoes)
{
    constexpr int kW = 96, kH = 48;  // stored size
    const Bytes plain = testpics::EncodeJpeg(kW, kH, 3, Quadrants(kW, kH));
    ASSERT_FALSE(plain.empty());
    for (const OrientationCase& c : kOrientations) {
        for (bool bigEndian : {true, false}) {
            SCOPED_TRACE(testing::Message() << "orientation " << c.orientation << (bigEndian ? " MM" : " II"));
            const Bytes file = WithApp1(plain, ExifPayload(Tiff(bigEndian, {Orientation(c.orientation)})));
            const int shownW = c.sidesSwap ? kH : kW, shownH = c.sidesSwap ? kW : kH;
            int w = 0, h = 0;
            ASSERT_TRUE(ReadPictureSize(file.data(), file.size(), &w, &h));
            EXPECT_EQ(w, shownW);
            EXPECT_EQ(h, shownH);

            DecodedPicture full;
            ASSERT_TRUE(DecodePicture(file.data(), file.size(), 0, 0, &full));
            EXPECT_EQ(full.width, shownW);
            EXPECT_EQ(full.height, shownH);
            EXPECT_EQ(full.fullWidth, shownW);
            EXPECT_EQ(full.fullHeight, shownH);
            ExpectCorners(full, c, 2);
            FreeDecodedPicture(&full);

            // A need of half the shown width and an eighth of its height:
            // scale 4/8 whichever way the photo was stored.
            DecodedPicture scaled;
            ASSERT_TRUE(DecodePicture(file.data(), file.size(), shownW / 2, shownH / 8, &scaled));
            EXPECT_EQ(scaled.scaleNum * 8 / scaled.scaleDenom, 4);
            EXPECT_EQ(scaled.width, shownW / 2);
            EXPECT_EQ(scaled.height, shownH / 2);
            EXPECT_EQ(scaled.fullWidth, shownW);
            EXPECT_EQ(scaled.fullHeight, shownH);
            ExpectCorners(scaled, c, 1);
            FreeDecodedPicture(&scaled);
        }
    }
}

TEST(ExifOrientation, TextureHoldsThePhotoUpright)
{
    // Through the picture loader: the shown top-left corner lands in the
    // texture's last row, first column.
    ScratchDir dir;
    const Bytes plain = testpics::EncodeJpeg(96, 48, 3, Quadrants(96, 48));
    for (const OrientationCase& c : kOrientations) {
        SCOPED_TRACE(c.orientation);
        const std::string path = dir.Join("photo.jpg");
        ASSERT_TRUE(WriteWholeFile(path, WithApp1(plain, ExifPayload(Tiff(true, {Orientation(c.orientation)})))));
        PictureTexels t;
        ASSERT_TRUE(MakePictureTexels(path.c_str(), 2, 16384, &t));
        EXPECT_EQ(t.pictureWidth, c.sidesSwap ? 48 : 96);
        EXPECT_EQ(t.pictureHeight, c.sidesSwap ? 96 : 48);
        auto texel = [&](int i, int j) {
            const unsigned char* p = t.texels + (size_t(j) * size_t(t.width) + size_t(i)) * 3;
            return Rgb{p[0], p[1], p[2]};
        };
        EXPECT_TRUE(Near(texel(1, t.height - 2), c.topLeft));
        EXPECT_TRUE(Near(texel(t.width - 2, t.height - 2), c.topRight));
        EXPECT_TRUE(Near(texel(1, 1), c.bottomLeft));
        EXPECT_TRUE(Near(texel(t.width - 2, 1), c.bottomRight));
        std::free(t.texels);
    }
}

TEST(ExifOrientation, DamagedOrStrangeExifLeavesThePhotoAsStored)
{
    const Bytes plain = testpics::EncodeJpeg(64, 32, 3, Quadrants(64, 32));
    const Bytes turned = ExifPayload(Tiff(true, {Orientation(6)}));
    Bytes truncated(turned.begin(), turned.begin() + 16);
    Bytes wrongMagic = turned;
    wrongMagic[9] = 43;  // TIFF magic 43 instead of 42
    struct Case {
        const char* what;
        Bytes payload;
    } const cases[] = {
        {"value 0", ExifPayload(Tiff(true, {Orientation(0)}))},
        {"value 9", ExifPayload(Tiff(true, {Orientation(9)}))},
        {"value 65535", ExifPayload(Tiff(false, {Orientation(65535)}))},
        {"a LONG, not a SHORT", ExifPayload(Tiff(true, {{0x0112, 4, 1, 6}}))},
        {"no components", ExifPayload(Tiff(true, {{0x0112, 3, 0, 6}}))},
        {"a million components far outside", ExifPayload(Tiff(true, {{0x0112, 3, 1000000, 0x7FFFFFF0}}))},
        {"IFD offset past the end", ExifPayload(Tiff(true, {Orientation(6)}, 0xFFFFFFF0))},
        {"IFD offset into the header", ExifPayload(Tiff(true, {Orientation(6)}, 2))},
        {"cut in the IFD", truncated},
        {"not TIFF", wrongMagic},
        {"header only", Bytes{'E', 'x', 'i', 'f', 0, 0}},
        {"XMP, not Exif", Bytes{'h', 't', 't', 'p', ':', '/', '/', 'n', 's', 0, 6, 6, 6}},
        {"an IFD chain that loops",
         [] {
             Bytes t = Tiff(true, {{0x8769, 4, 1, 8}});  // Exif sub-IFD pointing back at IFD0
             return ExifPayload(t);
         }()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Bytes file = WithApp1(plain, c.payload);
        int w = 0, h = 0;
        ASSERT_TRUE(ReadPictureSize(file.data(), file.size(), &w, &h));
        EXPECT_EQ(w, 64);
        EXPECT_EQ(h, 32);
        DecodedPicture p;
        ASSERT_TRUE(DecodePicture(file.data(), file.size(), 0, 0, &p));
        ExpectCorners(p, kOrientations[0], 2);
        FreeDecodedPicture(&p);
    }
    // Only the first Exif segment counts; a second, turning one, is ignored.
    const Bytes two =
        WithApp1(WithApp1(plain, ExifPayload(Tiff(true, {Orientation(6)}))), ExifPayload(Tiff(true, {Orientation(1)})));
    int w = 0, h = 0;
    ASSERT_TRUE(ReadPictureSize(two.data(), two.size(), &w, &h));
    EXPECT_EQ(w, 64);
    // A photo cut short after its Exif segment still fails as a damaged JPEG.
    const Bytes whole = WithApp1(plain, turned);
    const Bytes cut(whole.begin(), whole.begin() + long(turned.size() + 200));
    DecodedPicture p;
    EXPECT_FALSE(DecodePicture(cut.data(), cut.size(), 0, 0, &p));
    EXPECT_EQ(p.pixels, nullptr);
}

// Lossless WebP of width x height RGB or RGBA samples; empty on failure.
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

TEST(WebpPictures, DecodeExactlyWithAlphaAndScaledToTheNeed)
{
    const Bytes rgb = testpics::PatternPixels(40, 30, 3);
    Bytes rgba = testpics::PatternPixels(40, 30, 4);
    const Bytes opaque = EncodeWebp(40, 30, rgb, false), translucent = EncodeWebp(40, 30, rgba, true);
    ASSERT_FALSE(opaque.empty());
    ASSERT_FALSE(translucent.empty());
    struct Case {
        const Bytes* file;
        const Bytes* samples;
        int bitsPerPixel;
    } const cases[] = {{&opaque, &rgb, 24}, {&translucent, &rgba, 32}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bitsPerPixel);
        int w = 0, h = 0;
        ASSERT_TRUE(ReadPictureSize(c.file->data(), c.file->size(), &w, &h));
        EXPECT_EQ(w, 40);
        EXPECT_EQ(h, 30);
        DecodedPicture p;
        ASSERT_TRUE(DecodePicture(c.file->data(), c.file->size(), 0, 0, &p));
        ASSERT_EQ(p.bitsPerPixel, c.bitsPerPixel);
        ASSERT_EQ(p.width, 40);
        ASSERT_EQ(p.height, 30);
        const size_t row = size_t(40) * size_t(c.bitsPerPixel / 8);
        for (int y = 0; y < 30; ++y)
            ASSERT_EQ(Bytes(p.pixels + y * p.bytesPerRow, p.pixels + y * p.bytesPerRow + row),
                      Bytes(c.samples->begin() + long(y * row), c.samples->begin() + long((y + 1) * row)))
                << "row " << y;
        FreeDecodedPicture(&p);
    }
    // A big photo needed at texture size comes out just covering the need,
    // aspect kept, its own size and the scale recorded.
    const Bytes photo = EncodeWebp(800, 600, Quadrants(800, 600), false, false);
    struct Need {
        int minW, minH, w, h;
    } const needs[] = {{512, 512, 683, 512}, {200, 100, 200, 150}, {0, 0, 800, 600}, {1024, 1024, 800, 600}};
    for (const Need& n : needs) {
        SCOPED_TRACE(testing::Message() << "need " << n.minW << "x" << n.minH);
        DecodedPicture p;
        ASSERT_TRUE(DecodePicture(photo.data(), photo.size(), n.minW, n.minH, &p));
        EXPECT_EQ(p.width, n.w);
        EXPECT_EQ(p.height, n.h);
        EXPECT_EQ(p.fullWidth, 800);
        EXPECT_EQ(p.fullHeight, 600);
        EXPECT_EQ(p.scaleNum * 800, p.scaleDenom * n.w);
        ExpectCorners(p, kOrientations[0], 2);
        FreeDecodedPicture(&p);
    }
}

// RIFF chunk: tag, little-endian size, payload padded to even length.
void PutChunk(Bytes* out, const char* tag, const Bytes& payload)
{
    out->insert(out->end(), tag, tag + 4);
    for (int i = 0; i < 4; ++i)
        out->push_back(static_cast<unsigned char>(payload.size() >> (8 * i)));
    out->insert(out->end(), payload.begin(), payload.end());
    if (payload.size() % 2)
        out->push_back(0);
}
void Put24(Bytes* out, unsigned v)
{
    out->insert(out->end(), {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8),
                             static_cast<unsigned char>(v >> 16)});
}

// An animation of two full-canvas frames, each the bitstream chunk of a still.
Bytes AnimatedWebp(int width, int height, const Bytes& first, const Bytes& second)
{
    Bytes body = {'W', 'E', 'B', 'P'};
    Bytes vp8x = {0x12, 0, 0, 0};  // animation and alpha
    Put24(&vp8x, unsigned(width - 1));
    Put24(&vp8x, unsigned(height - 1));
    PutChunk(&body, "VP8X", vp8x);
    PutChunk(&body, "ANIM", Bytes{0, 0, 0, 0, 0, 0});
    for (const Bytes* still : {&first, &second}) {
        Bytes anmf;
        Put24(&anmf, 0);
        Put24(&anmf, 0);
        Put24(&anmf, unsigned(width - 1));
        Put24(&anmf, unsigned(height - 1));
        Put24(&anmf, 100);
        anmf.push_back(0);
        anmf.insert(anmf.end(), still->begin() + 12, still->end());  // the still's chunks after "RIFF....WEBP"
        PutChunk(&body, "ANMF", anmf);
    }
    Bytes riff;
    PutChunk(&riff, "RIFF", body);
    return riff;
}

TEST(WebpPictures, AnimationShowsItsFirstFrame)
{
    Bytes red, blue;
    for (int i = 0; i < 16 * 8; ++i) {
        red.insert(red.end(), {230, 20, 20, 255});
        blue.insert(blue.end(), {20, 20, 230, 255});
    }
    const Bytes file = AnimatedWebp(16, 8, EncodeWebp(16, 8, red, true), EncodeWebp(16, 8, blue, true));
    int w = 0, h = 0;
    ASSERT_TRUE(ReadPictureSize(file.data(), file.size(), &w, &h));
    EXPECT_EQ(w, 16);
    EXPECT_EQ(h, 8);
    DecodedPicture p;
    ASSERT_TRUE(DecodePicture(file.data(), file.size(), 4, 4, &p));
    EXPECT_EQ(p.bitsPerPixel, 32);
    EXPECT_EQ(p.width, 16);
    EXPECT_TRUE(Near(PixelAt(p, 0, 0), kRed, 0));
    EXPECT_TRUE(Near(PixelAt(p, 15, 7), kRed, 0));
    FreeDecodedPicture(&p);
}

// An SVG document with the quadrant colours over its whole viewBox, on an
// opaque ground (the quadrants' shared edges alone would leave seams of alpha).
std::string QuadrantSvg(const std::string& sizeAttributes, double vbW, double vbH, const std::string& extra = "")
{
    auto rect = [&](double x, double y, const char* fill) {
        return "<rect x='" + std::to_string(x) + "' y='" + std::to_string(y) + "' width='" + std::to_string(vbW / 2) +
               "' height='" + std::to_string(vbH / 2) + "' fill='" + fill + "'/>";
    };
    return "<?xml version='1.0' encoding='UTF-8'?>\n<!-- a wallpaper -->\n<svg xmlns='http://www.w3.org/2000/svg' "
           "xmlns:xlink='http://www.w3.org/1999/xlink' " +
           sizeAttributes + " viewBox='0 0 " + std::to_string(vbW) + " " + std::to_string(vbH) +
           "'><rect width='100%' height='100%' fill='#808080'/>" + rect(0, 0, "#e61414") + rect(vbW / 2, 0, "#14c814") +
           rect(0, vbH / 2, "#1414e6") + rect(vbW / 2, vbH / 2, "#f5f5f5") + extra + "</svg>\n";
}

Bytes AsBytes(const std::string& s)
{
    return Bytes(s.begin(), s.end());
}

TEST(SvgPictures, DrawnAtTheNeededSizeWithTheirAspect)
{
    struct Case {
        const char* what;
        std::string svg;
        int ownW, ownH;  // the SVG's own size in pixels
        int needW, needH;
        int w, h;  // as drawn
    } const cases[] = {
        {"1920 x 1080 wallpaper at 1024 x 1024", QuadrantSvg("width='1920' height='1080'", 1920, 1080), 1920, 1080,
         1024, 1024, 1821, 1024},
        {"at its own size", QuadrantSvg("width='1920' height='1080'", 192, 108), 1920, 1080, 0, 0, 1920, 1080},
        {"need beyond its size", QuadrantSvg("width='1920' height='1080'", 1920, 1080), 1920, 1080, 4096, 4096, 1920,
         1080},
        {"viewBox only", QuadrantSvg("", 1600, 1200), 1600, 1200, 512, 512, 683, 512},
        {"small, in inches, enlarged", QuadrantSvg("width='2in' height='1in'", 200, 100), 2048, 1024, 512, 512, 1024,
         512},
        {"sliver fitted into the bound", QuadrantSvg("width='100000' height='100'", 1000, 1), 16384, 16, 1024, 1, 1024,
         1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Bytes file = AsBytes(c.svg);
        int w = 0, h = 0;
        ASSERT_TRUE(ReadPictureSize(file.data(), file.size(), &w, &h));
        EXPECT_EQ(w, c.ownW);
        EXPECT_EQ(h, c.ownH);
        DecodedPicture p;
        ASSERT_TRUE(DecodePicture(file.data(), file.size(), c.needW, c.needH, &p));
        EXPECT_EQ(p.width, c.w);
        EXPECT_EQ(p.height, c.h);
        EXPECT_EQ(p.fullWidth, c.ownW);
        EXPECT_EQ(p.fullHeight, c.ownH);
        EXPECT_EQ(p.bitsPerPixel, 24);  // opaque all over
        if (p.height > 4)
            ExpectCorners(p, kOrientations[0], 1);
        FreeDecodedPicture(&p);
    }
}

TEST(SvgPictures, TranslucentExternalAndDamagedDocuments)
{
    ScratchDir dir;
    // Straight (not premultiplied) colour with its alpha.
    const Bytes half = AsBytes("<svg xmlns='http://www.w3.org/2000/svg' width='1024' height='1024'>"
                               "<rect width='1024' height='1024' fill='#ff8000' fill-opacity='0.5'/></svg>");
    DecodedPicture p;
    ASSERT_TRUE(DecodePicture(half.data(), half.size(), 64, 64, &p));
    ASSERT_EQ(p.bitsPerPixel, 32);
    const unsigned char* px = p.pixels + 10 * p.bytesPerRow + 40;
    EXPECT_TRUE(Near({px[0], px[1], px[2]}, {255, 128, 0}, 3));
    EXPECT_NEAR(px[3], 128, 2);
    FreeDecodedPicture(&p);

    // A picture on disk that the document points at is not loaded: the
    // area it would cover stays as the document draws it without.
    const std::string outside = dir.Join("secret.png");
    ASSERT_TRUE(WriteWholeFile(outside, testpics::EncodePng(4, 4, 2, 8, Bytes(48, 255))));
    for (const std::string& href : {outside, "file://" + outside}) {
        SCOPED_TRACE(href);
        const Bytes external =
            AsBytes(QuadrantSvg("width='1024' height='1024'", 1024, 1024,
                                "<image x='0' y='0' width='512' height='512' xlink:href='" + href + "'/>"));
        ASSERT_TRUE(DecodePicture(external.data(), external.size(), 0, 0, &p));
        EXPECT_TRUE(Near(PixelAt(p, 100, 100), kRed, 10));
        FreeDecodedPicture(&p);
    }

    const std::string ok = QuadrantSvg("width='640' height='480'", 640, 480);
    struct Case {
        const char* what;
        std::string text;
    } const bad[] = {
        {"no size and no viewBox", "<svg xmlns='http://www.w3.org/2000/svg'><rect width='5' height='5'/></svg>"},
        {"zero size", "<svg xmlns='http://www.w3.org/2000/svg' width='0' height='10'/>"},
        {"negative viewBox", "<svg xmlns='http://www.w3.org/2000/svg' viewBox='0 0 -10 10'/>"},
        {"cut short", ok.substr(0, ok.size() / 2)},
        {"not well-formed", "<svg xmlns='http://www.w3.org/2000/svg' width='10' height='10'><rect></svg>"},
        {"HTML, not SVG", "<!DOCTYPE html><html><body>svg</body></html>"},
    };
    for (const Case& c : bad) {
        SCOPED_TRACE(c.what);
        const Bytes file = AsBytes(c.text);
        int w = -1, h = -1;
        EXPECT_FALSE(ReadPictureSize(file.data(), file.size(), &w, &h));
        EXPECT_FALSE(DecodePicture(file.data(), file.size(), 0, 0, &p));
        EXPECT_EQ(p.pixels, nullptr);
    }
}

TEST(PictureKinds, ReducedDecodesFillTheTextureLikeTheFullPicture)
{
    // The picture loader maps texels to the picture's own pixels and from
    // there to the reduced decode: each quadrant's middle must keep its colour.
    ScratchDir dir;
    struct Case {
        const char* name;
        Bytes bytes;
    } const cases[] = {
        {"photo.webp", EncodeWebp(800, 600, Quadrants(800, 600), false, false)},
        {"wide.svg", AsBytes(QuadrantSvg("width='1920' height='1080'", 1920, 1080))},
        {"tall.svg", AsBytes(QuadrantSvg("", 600, 1800))},
    };
    for (const Case& c : cases) {
        const std::string path = dir.Join(c.name);
        ASSERT_TRUE(WriteWholeFile(path, c.bytes));
        for (int resolution : {0, 1, 2}) {
            SCOPED_TRACE(testing::Message() << c.name << " at " << resolution);
            PictureTexels t;
            ASSERT_TRUE(MakePictureTexels(path.c_str(), resolution, 16384, &t));
            const size_t px = t.type == GL_RGBA ? 4 : 3;
            auto texel = [&](int i, int j) {  // j counted from the picture's top
                const unsigned char* p = t.texels + (size_t(t.height - 1 - j) * size_t(t.width) + size_t(i)) * px;
                return Rgb{p[0], p[1], p[2]};
            };
            const int w = t.width, h = t.height;
            EXPECT_TRUE(Near(texel(w / 4, h / 4), kRed));
            EXPECT_TRUE(Near(texel(3 * w / 4, h / 4), kGreen));
            EXPECT_TRUE(Near(texel(w / 4, 3 * h / 4), kBlue));
            EXPECT_TRUE(Near(texel(3 * w / 4, 3 * h / 4), kWhite));
            EXPECT_TRUE(Near(texel(w - 1, h - 1), kWhite));
            std::free(t.texels);
        }
    }
}

TEST(PictureKinds, DamagedWebpAndFilesOnDiskFailCleanly)
{
    const Bytes webp = EncodeWebp(40, 30, testpics::PatternPixels(40, 30, 3), false);
    Bytes wrongSize = webp;
    wrongSize[4] = 0xFF;  // RIFF size beyond the data
    Bytes corrupt = webp;
    for (size_t i = 30; i < corrupt.size(); i += 3)
        corrupt[i] ^= 0x5A;
    struct Case {
        const char* what;
        Bytes bytes;
    } const cases[] = {
        {"cut in the header", Bytes(webp.begin(), webp.begin() + 20)},
        {"cut in the data", Bytes(webp.begin(), webp.begin() + long(webp.size() / 2))},
        {"RIFF size too big", wrongSize},
        {"scrambled data", corrupt},
        {"RIFF of another kind", Bytes{'R', 'I', 'F', 'F', 16, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' '}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DecodedPicture p;
        EXPECT_FALSE(DecodePicture(c.bytes.data(), c.bytes.size(), 0, 0, &p));
        EXPECT_EQ(p.pixels, nullptr);
        EXPECT_FALSE(DecodePicture(c.bytes.data(), c.bytes.size(), 8, 8, &p));
    }
    // By content, not by name: a WebP and an SVG named .jpg decode.
    ScratchDir dir;
    ASSERT_TRUE(WriteWholeFile(dir.Join("a.jpg"), webp));
    ASSERT_TRUE(WriteWholeFile(dir.Join("b.jpg"), QuadrantSvg("width='300' height='200'", 300, 200)));
    for (const char* name : {"a.jpg", "b.jpg"}) {
        DecodedPicture p;
        EXPECT_TRUE(DecodePictureFile(dir.Join(name).c_str(), 0, 0, &p)) << name;
        FreeDecodedPicture(&p);
    }
}

}  // namespace
