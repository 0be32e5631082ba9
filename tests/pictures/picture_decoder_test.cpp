// The platform picture decoder: every supported layout comes out as 8-bit
// RGB/RGBA from the top; everything broken is a clean failure.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>

#include <sys/stat.h>

#include "platform/picture_decoder.h"
#include "tests/support/picture_writers.h"

using testpics::Bytes;

namespace {

// RGBA reference of pixel (x, y) of a decoded picture; alpha 255 for RGB.
struct Rgba {
    int r, g, b, a;
};

Rgba PixelAt(DecodedPicture const& picture, int x, int y) {
    unsigned char const* p = picture.pixels + size_t(y) * picture.bytesPerRow +
                             size_t(x) * size_t(picture.bitsPerPixel / 8);
    return Rgba{p[0], p[1], p[2], picture.bitsPerPixel == 32 ? p[3] : 255};
}

// One lossless case: the encoded file and, for each pixel, what must come out.
struct LosslessCase {
    const char* name;
    int width, height;
    int bitsPerPixel;
    std::function<Bytes()> encode;
    std::function<Rgba(int x, int y)> expect;
};

// Packs `count` samples of `bits` each (1, 2, 4, 8 or 16) into PNG row bytes.
Bytes PackRow(const std::vector<int>& samples, int bits) {
    Bytes row;
    if (bits == 16) {
        for (int s : samples) {
            row.push_back(static_cast<unsigned char>(s >> 8));
            row.push_back(static_cast<unsigned char>(s));
        }
        return row;
    }
    int acc = 0, used = 0;
    for (int s : samples) {
        acc = (acc << bits) | s;
        used += bits;
        if (used == 8) {
            row.push_back(static_cast<unsigned char>(acc));
            acc = used = 0;
        }
    }
    if (used > 0) {
        row.push_back(static_cast<unsigned char>(acc << (8 - used)));
    }
    return row;
}

// A PNG whose row y holds samplesOf(x, y) for every x.
Bytes PngFromSamples(int w, int h, int colorType, int bits,
                     std::function<std::vector<int>(int x, int y)> samplesOf, bool interlaced = false,
                     Bytes palette = {}, Bytes trns = {}) {
    Bytes rows;
    for (int y = 0; y < h; ++y) {
        std::vector<int> samples;
        for (int x = 0; x < w; ++x) {
            for (int s : samplesOf(x, y)) {
                samples.push_back(s);
            }
        }
        Bytes row = PackRow(samples, bits);
        rows.insert(rows.end(), row.begin(), row.end());
    }
    return testpics::EncodePng(w, h, colorType, bits, rows, interlaced, palette, trns);
}

int P(int x, int y, int k) { return testpics::PatternSample(x, y, k); }

Bytes Palette16() {
    Bytes palette;
    for (int i = 0; i < 16; ++i) {
        palette.insert(palette.end(), {static_cast<unsigned char>(i * 16), static_cast<unsigned char>(255 - i * 9),
                                       static_cast<unsigned char>(i * 5 + 3)});
    }
    return palette;
}

Rgba PaletteColour(const Bytes& palette, int index, int alpha = 255) {
    return Rgba{palette[3 * index], palette[3 * index + 1], palette[3 * index + 2], alpha};
}

std::vector<LosslessCase> LosslessCases() {
    Bytes const pal = Palette16();
    Bytes const trns = {0, 128, 255, 7};  // entries 0..3; the rest opaque
    auto index = [](int x, int y) { return (x * 3 + y * 5) % 16; };
    auto trnsAlpha = [trns](int i) { return i < 4 ? int(trns[i]) : 255; };
    return {
        {"png rgb 8", 13, 7, 24,
         [] { return PngFromSamples(13, 7, 2, 8, [](int x, int y) { return std::vector<int>{P(x, y, 0), P(x, y, 1), P(x, y, 2)}; }); },
         [](int x, int y) { return Rgba{P(x, y, 0), P(x, y, 1), P(x, y, 2), 255}; }},
        {"png rgba 8", 13, 7, 32,
         [] { return PngFromSamples(13, 7, 6, 8, [](int x, int y) { return std::vector<int>{P(x, y, 0), P(x, y, 1), P(x, y, 2), P(x, y, 3)}; }); },
         [](int x, int y) { return Rgba{P(x, y, 0), P(x, y, 1), P(x, y, 2), P(x, y, 3)}; }},
        {"png grey 8", 9, 5, 24,
         [] { return PngFromSamples(9, 5, 0, 8, [](int x, int y) { return std::vector<int>{P(x, y, 0)}; }); },
         [](int x, int y) { return Rgba{P(x, y, 0), P(x, y, 0), P(x, y, 0), 255}; }},
        {"png grey 1", 11, 3, 24,
         [] { return PngFromSamples(11, 3, 0, 1, [](int x, int y) { return std::vector<int>{(x + y) & 1}; }); },
         [](int x, int y) { int v = ((x + y) & 1) * 255; return Rgba{v, v, v, 255}; }},
        {"png grey 2", 11, 3, 24,
         [] { return PngFromSamples(11, 3, 0, 2, [](int x, int y) { return std::vector<int>{(x + y) & 3}; }); },
         [](int x, int y) { int v = ((x + y) & 3) * 85; return Rgba{v, v, v, 255}; }},
        {"png grey 4", 11, 3, 24,
         [] { return PngFromSamples(11, 3, 0, 4, [](int x, int y) { return std::vector<int>{(x * 3 + y) & 15}; }); },
         [](int x, int y) { int v = ((x * 3 + y) & 15) * 17; return Rgba{v, v, v, 255}; }},
        {"png grey 16", 9, 5, 24,
         [] { return PngFromSamples(9, 5, 0, 16, [](int x, int y) { return std::vector<int>{P(x, y, 1) * 257}; }); },
         [](int x, int y) { return Rgba{P(x, y, 1), P(x, y, 1), P(x, y, 1), 255}; }},
        {"png grey+alpha 8", 9, 5, 32,
         [] { return PngFromSamples(9, 5, 4, 8, [](int x, int y) { return std::vector<int>{P(x, y, 0), P(x, y, 3)}; }); },
         [](int x, int y) { return Rgba{P(x, y, 0), P(x, y, 0), P(x, y, 0), P(x, y, 3)}; }},
        {"png grey+alpha 16", 9, 5, 32,
         [] { return PngFromSamples(9, 5, 4, 16, [](int x, int y) { return std::vector<int>{P(x, y, 0) * 257, P(x, y, 3) * 257}; }); },
         [](int x, int y) { return Rgba{P(x, y, 0), P(x, y, 0), P(x, y, 0), P(x, y, 3)}; }},
        {"png grey with tRNS", 6, 4, 32,
         [] { return PngFromSamples(6, 4, 0, 8, [](int x, int) { return std::vector<int>{x * 40}; }, false, {}, {0, 80}); },
         [](int x, int) { return Rgba{x * 40, x * 40, x * 40, x * 40 == 80 ? 0 : 255}; }},
        {"png rgb 16", 10, 6, 24,
         [] { return PngFromSamples(10, 6, 2, 16, [](int x, int y) { return std::vector<int>{P(x, y, 0) * 257, P(x, y, 1) * 257, P(x, y, 2) * 257}; }); },
         [](int x, int y) { return Rgba{P(x, y, 0), P(x, y, 1), P(x, y, 2), 255}; }},
        {"png rgba 16", 10, 6, 32,
         [] { return PngFromSamples(10, 6, 6, 16, [](int x, int y) { return std::vector<int>{P(x, y, 0) * 257, P(x, y, 1) * 257, P(x, y, 2) * 257, P(x, y, 3) * 257}; }); },
         [](int x, int y) { return Rgba{P(x, y, 0), P(x, y, 1), P(x, y, 2), P(x, y, 3)}; }},
        {"png palette 8", 12, 9, 24,
         [pal, index] { return PngFromSamples(12, 9, 3, 8, [index](int x, int y) { return std::vector<int>{index(x, y)}; }, false, pal); },
         [pal, index](int x, int y) { return PaletteColour(pal, index(x, y)); }},
        {"png palette 4 with tRNS", 12, 9, 32,
         [pal, index, trns] { return PngFromSamples(12, 9, 3, 4, [index](int x, int y) { return std::vector<int>{index(x, y)}; }, false, pal, trns); },
         [pal, index, trnsAlpha](int x, int y) { return PaletteColour(pal, index(x, y), trnsAlpha(index(x, y))); }},
        {"png rgb interlaced", 37, 29, 24,
         [] { return PngFromSamples(37, 29, 2, 8, [](int x, int y) { return std::vector<int>{P(x, y, 0), P(x, y, 1), P(x, y, 2)}; }, true); },
         [](int x, int y) { return Rgba{P(x, y, 0), P(x, y, 1), P(x, y, 2), 255}; }},
        {"png palette 2 interlaced", 19, 23, 24,
         [pal] { return PngFromSamples(19, 23, 3, 2, [](int x, int y) { return std::vector<int>{(x + 2 * y) & 3}; }, true, Bytes(pal.begin(), pal.begin() + 12)); },
         [pal](int x, int y) { return PaletteColour(pal, (x + 2 * y) & 3); }},
        {"png 1x1", 1, 1, 24,
         [] { return PngFromSamples(1, 1, 2, 8, [](int, int) { return std::vector<int>{10, 20, 30}; }); },
         [](int, int) { return Rgba{10, 20, 30, 255}; }},
        {"gif palette", 12, 9, 24,
         [pal, index] { Bytes ix; for (int y = 0; y < 9; ++y) for (int x = 0; x < 12; ++x) ix.push_back(static_cast<unsigned char>(index(x, y)));
                        return testpics::EncodeGif(12, 9, 0, 0, 12, 9, pal, ix); },
         [pal, index](int x, int y) { return PaletteColour(pal, index(x, y)); }},
        {"gif transparent", 12, 9, 32,
         [pal, index] { Bytes ix; for (int y = 0; y < 9; ++y) for (int x = 0; x < 12; ++x) ix.push_back(static_cast<unsigned char>(index(x, y)));
                        return testpics::EncodeGif(12, 9, 0, 0, 12, 9, pal, ix, 5); },
         [pal, index](int x, int y) { return index(x, y) == 5 ? Rgba{0, 0, 0, 0} : PaletteColour(pal, index(x, y)); }},
        {"gif interlaced", 7, 21, 24,
         [pal] { Bytes ix; for (int y = 0; y < 21; ++y) for (int x = 0; x < 7; ++x) ix.push_back(static_cast<unsigned char>((y * 7 + x) % 16));
                 return testpics::EncodeGif(7, 21, 0, 0, 7, 21, pal, ix, -1, true); },
         [pal](int x, int y) { return PaletteColour(pal, (y * 7 + x) % 16); }},
        {"gif image offset on a larger screen", 10, 8, 32,
         [pal] { Bytes ix(4 * 3, 2); return testpics::EncodeGif(10, 8, 5, 3, 4, 3, pal, ix); },
         [pal](int x, int y) { bool in = x >= 5 && x < 9 && y >= 3 && y < 6; return in ? PaletteColour(pal, 2) : Rgba{0, 0, 0, 0}; }},
        {"gif image reaching past the screen", 6, 5, 32,
         [pal] { Bytes ix(8 * 8, 7); return testpics::EncodeGif(6, 5, 2, 1, 8, 8, pal, ix); },
         [pal](int x, int y) { return x >= 2 && y >= 1 ? PaletteColour(pal, 7) : Rgba{0, 0, 0, 0}; }},
        {"gif 1x1", 1, 1, 24,
         [pal] { return testpics::EncodeGif(1, 1, 0, 0, 1, 1, pal, Bytes{9}); },
         [pal](int, int) { return PaletteColour(pal, 9); }},
    };
}

TEST(PictureDecoder, LosslessLayoutsComeOutAsRgbOrRgbaFromTheTop) {
    for (LosslessCase const& c : LosslessCases()) {
        SCOPED_TRACE(c.name);
        Bytes const file = c.encode();
        ASSERT_FALSE(file.empty());
        int w = 0, h = 0;
        ASSERT_TRUE(ReadPictureSize(file.data(), file.size(), &w, &h));
        EXPECT_EQ(w, c.width);
        EXPECT_EQ(h, c.height);
        DecodedPicture picture;
        ASSERT_TRUE(DecodePicture(file.data(), file.size(), 0, 0, &picture));
        EXPECT_EQ(picture.width, c.width);
        EXPECT_EQ(picture.height, c.height);
        EXPECT_EQ(picture.fullWidth, c.width);
        EXPECT_EQ(picture.fullHeight, c.height);
        EXPECT_EQ(picture.scaleNum, picture.scaleDenom);
        ASSERT_EQ(picture.bitsPerPixel, c.bitsPerPixel);
        EXPECT_GE(picture.bytesPerRow, size_t(c.width) * size_t(c.bitsPerPixel / 8));
        int wrong = 0;
        for (int y = 0; y < c.height; ++y) {
            for (int x = 0; x < c.width; ++x) {
                Rgba const got = PixelAt(picture, x, y);
                Rgba const want = c.expect(x, y);
                if (got.r != want.r || got.g != want.g || got.b != want.b || got.a != want.a) {
                    if (++wrong <= 3) {
                        ADD_FAILURE() << "pixel " << x << "," << y << " is " << got.r << " " << got.g
                                      << " " << got.b << " " << got.a << ", want " << want.r << " "
                                      << want.g << " " << want.b << " " << want.a;
                    }
                }
            }
        }
        EXPECT_EQ(wrong, 0);
        FreeDecodedPicture(&picture);
        FreeDecodedPicture(&picture);  // safe twice
        EXPECT_EQ(picture.pixels, nullptr);
    }
}

// Smooth content that JPEG keeps well.
Bytes Smooth(int w, int h, int channels) {
    Bytes pixels;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            for (int k = 0; k < channels; ++k) {
                pixels.push_back(static_cast<unsigned char>((x * (2 + k) + y * (3 - k) + 40 * k) % 200 + 20));
            }
        }
    }
    return pixels;
}

struct JpegCase {
    const char* name;
    int components;
    bool progressive;
    std::function<Rgba(const Bytes& source, size_t pixel)> expect;
};

TEST(PictureDecoder, JpegColourGreyAndCmykComeOutAsRgb) {
    auto const rgb = [](const Bytes& s, size_t i) { return Rgba{s[3 * i], s[3 * i + 1], s[3 * i + 2], 255}; };
    std::vector<JpegCase> const cases = {
        {"rgb", 3, false, rgb},
        {"rgb progressive", 3, true, rgb},
        {"grey", 1, false, [](const Bytes& s, size_t i) { return Rgba{s[i], s[i], s[i], 255}; }},
        // Written with an Adobe marker, so read as Adobe's inverted CMYK.
        {"cmyk", 4, false, [](const Bytes& s, size_t i) {
             int const k = s[4 * i + 3];
             return Rgba{s[4 * i] * k / 255, s[4 * i + 1] * k / 255, s[4 * i + 2] * k / 255, 255};
         }},
    };
    int const w = 64, h = 48;
    for (JpegCase const& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes const source = Smooth(w, h, c.components);
        Bytes const file = testpics::EncodeJpeg(w, h, c.components, source, 95, c.progressive);
        ASSERT_FALSE(file.empty());
        DecodedPicture picture;
        ASSERT_TRUE(DecodePicture(file.data(), file.size(), 0, 0, &picture));
        ASSERT_EQ(picture.bitsPerPixel, 24);
        ASSERT_EQ(picture.width, w);
        ASSERT_EQ(picture.height, h);
        double error = 0;
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                Rgba const got = PixelAt(picture, x, y);
                Rgba const want = c.expect(source, size_t(y) * w + x);
                error += std::abs(got.r - want.r) + std::abs(got.g - want.g) + std::abs(got.b - want.b);
                if (c.components == 1) {
                    EXPECT_TRUE(got.r == got.g && got.g == got.b) << x << "," << y;
                }
            }
        }
        EXPECT_LT(error / (3.0 * w * h), 8.0);  // a wrong conversion is off by tens
        FreeDecodedPicture(&picture);
    }
}

TEST(PictureDecoder, JpegDecodesAtTheSmallestDctScaleThatCoversTheNeed) {
    struct Case {
        int minWidth, minHeight;
        int width, height;     // decoded
        int num, denom;        // reported scale
    };
    // 800 x 600: M/8 gives ceil(800 M / 8) x ceil(600 M / 8).
    Case const cases[] = {
        {0, 0, 800, 600, 1, 1},         // no need given: full size
        {512, 512, 700, 525, 7, 8},     // 600 M / 8 >= 512 needs M = 7
        {1024, 1024, 800, 600, 1, 1},   // larger than the picture: full size
        {100, 100, 200, 150, 2, 8},
        {100, 75, 100, 75, 1, 8},
        {400, 1, 400, 300, 4, 8},
    };
    Bytes const file = testpics::EncodeJpeg(800, 600, 3, Smooth(800, 600, 3), 90);
    for (Case const& c : cases) {
        SCOPED_TRACE(testing::Message() << c.minWidth << "x" << c.minHeight);
        DecodedPicture picture;
        ASSERT_TRUE(DecodePicture(file.data(), file.size(), c.minWidth, c.minHeight, &picture));
        EXPECT_EQ(picture.width, c.width);
        EXPECT_EQ(picture.height, c.height);
        EXPECT_EQ(picture.fullWidth, 800);
        EXPECT_EQ(picture.fullHeight, 600);
        EXPECT_EQ(picture.scaleNum, c.num);
        EXPECT_EQ(picture.scaleDenom, c.denom);
        EXPECT_EQ(picture.bytesPerRow, size_t(c.width) * 3);
        FreeDecodedPicture(&picture);
    }
}

TEST(PictureDecoder, OtherKindsIgnoreTheScaleRequest) {
    Bytes const png = testpics::EncodePngRgb(300, 200, testpics::PatternPixels(300, 200, 3), 3);
    DecodedPicture picture;
    ASSERT_TRUE(DecodePicture(png.data(), png.size(), 10, 10, &picture));
    EXPECT_EQ(picture.width, 300);
    EXPECT_EQ(picture.height, 200);
    EXPECT_EQ(picture.scaleNum, 1);
    EXPECT_EQ(picture.scaleDenom, 1);
    FreeDecodedPicture(&picture);
}

// Every kind, as small valid files for the damage tests.
std::vector<std::pair<const char*, Bytes>> ValidFiles() {
    Bytes ix(40 * 30);
    for (size_t i = 0; i < ix.size(); ++i) {
        ix[i] = static_cast<unsigned char>(i * 7 % 16);
    }
    return {
        {"png", testpics::EncodePngRgb(40, 30, testpics::PatternPixels(40, 30, 3), 3)},
        {"png interlaced", testpics::EncodePng(40, 30, 6, 8, testpics::PatternPixels(40, 30, 4), true)},
        {"jpeg", testpics::EncodeJpeg(40, 30, 3, Smooth(40, 30, 3), 90)},
        {"jpeg progressive", testpics::EncodeJpeg(40, 30, 3, Smooth(40, 30, 3), 90, true)},
        {"gif", testpics::EncodeGif(40, 30, 0, 0, 40, 30, Palette16(), ix)},
    };
}

bool SamePixels(DecodedPicture const& a, DecodedPicture const& b) {
    if (a.width != b.width || a.height != b.height || a.bitsPerPixel != b.bitsPerPixel) {
        return false;
    }
    for (int y = 0; y < a.height; ++y) {
        if (std::memcmp(a.pixels + y * a.bytesPerRow, b.pixels + y * b.bytesPerRow,
                        size_t(a.width) * size_t(a.bitsPerPixel / 8)) != 0) {
            return false;
        }
    }
    return true;
}

TEST(PictureDecoder, TruncatedFilesFailAtEveryLength) {
    for (auto const& [name, file] : ValidFiles()) {
        SCOPED_TRACE(name);
        ASSERT_FALSE(file.empty());
        DecodedPicture whole;
        ASSERT_TRUE(DecodePicture(file.data(), file.size(), 0, 0, &whole));
        bool const gif = std::strcmp(name, "gif") == 0;
        for (size_t length = 0; length < file.size(); ++length) {
            // A copy of exactly `length` bytes, so that ASan sees any overread.
            Bytes const cut(file.begin(), file.begin() + std::ptrdiff_t(length));
            DecodedPicture picture;
            bool const ok = DecodePicture(cut.data(), cut.size(), 0, 0, &picture);
            if (ok) {
                // Only a GIF's trailer may go missing: everything before it is the picture.
                EXPECT_TRUE(gif) << "cut at " << length << " of " << file.size();
                EXPECT_TRUE(SamePixels(picture, whole)) << "cut at " << length;
                FreeDecodedPicture(&picture);
            } else {
                EXPECT_EQ(picture.pixels, nullptr);
            }
        }
        FreeDecodedPicture(&whole);
    }
}

TEST(PictureDecoder, DamagedFilesDecodeOrFailCleanly) {
    std::srand(1234);
    for (auto const& [name, file] : ValidFiles()) {
        SCOPED_TRACE(name);
        for (int trial = 0; trial < 300; ++trial) {
            Bytes damaged = file;
            int const flips = 1 + trial % 4;
            for (int f = 0; f < flips; ++f) {
                damaged[size_t(std::rand()) % damaged.size()] ^= static_cast<unsigned char>(1 + std::rand() % 255);
            }
            int w = 0, h = 0;
            bool const sized = ReadPictureSize(damaged.data(), damaged.size(), &w, &h);
            DecodedPicture picture;
            if (DecodePicture(damaged.data(), damaged.size(), 0, 0, &picture)) {
                EXPECT_TRUE(sized);
                EXPECT_EQ(picture.width, w);
                EXPECT_EQ(picture.height, h);
                EXPECT_TRUE(picture.bitsPerPixel == 24 || picture.bitsPerPixel == 32);
                // Touch every byte so that ASan checks the buffer's extent.
                unsigned sum = 0;
                for (int y = 0; y < picture.height; ++y) {
                    for (size_t i = 0; i < size_t(picture.width) * size_t(picture.bitsPerPixel / 8); ++i) {
                        sum += picture.pixels[size_t(y) * picture.bytesPerRow + i];
                    }
                }
                (void)sum;
                FreeDecodedPicture(&picture);
            }
        }
    }
}

TEST(PictureDecoder, NotAPictureFails) {
    struct Case {
        const char* name;
        Bytes bytes;
    };
    std::string const text = "this is a text file, not a picture\n";
    Case const cases[] = {
        {"empty", {}},
        {"text", Bytes(text.begin(), text.end())},
        {"jpeg signature only", {0xFF, 0xD8, 0xFF}},
        {"png signature only", {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A}},
        {"gif signature only", {'G', 'I', 'F', '8', '9', 'a'}},
        {"gif without an image", {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0, 0x3B}},
        {"bmp", {'B', 'M', 0, 0, 0, 0}},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.name);
        int w = -1, h = -1;
        EXPECT_FALSE(ReadPictureSize(c.bytes.data(), c.bytes.size(), &w, &h));
        EXPECT_EQ(w, -1);
        DecodedPicture picture;
        EXPECT_FALSE(DecodePicture(c.bytes.data(), c.bytes.size(), 0, 0, &picture));
        EXPECT_EQ(picture.pixels, nullptr);
    }
    DecodedPicture picture;
    EXPECT_FALSE(DecodePicture(nullptr, 0, 0, 0, &picture));
}

// Rewrites the first SOF marker's height and width in a JPEG.
Bytes WithJpegSize(Bytes file, unsigned width, unsigned height) {
    for (size_t i = 2; i + 9 < file.size(); ++i) {
        if (file[i] == 0xFF && (file[i + 1] == 0xC0 || file[i + 1] == 0xC2)) {
            file[i + 5] = static_cast<unsigned char>(height >> 8);
            file[i + 6] = static_cast<unsigned char>(height);
            file[i + 7] = static_cast<unsigned char>(width >> 8);
            file[i + 8] = static_cast<unsigned char>(width);
            return file;
        }
    }
    return {};
}

// Rewrites a GIF's screen size and its first image's size (at byte 13 + 768
// + 1 for a 256-colour global map; the writer here uses 16 colours).
Bytes WithGifSize(Bytes file, unsigned width, unsigned height) {
    file[6] = static_cast<unsigned char>(width);
    file[7] = static_cast<unsigned char>(width >> 8);
    file[8] = static_cast<unsigned char>(height);
    file[9] = static_cast<unsigned char>(height >> 8);
    for (size_t i = 13; i + 9 < file.size(); ++i) {
        if (file[i] == 0x2C) {
            file[i + 5] = static_cast<unsigned char>(width);
            file[i + 6] = static_cast<unsigned char>(width >> 8);
            file[i + 7] = static_cast<unsigned char>(height);
            file[i + 8] = static_cast<unsigned char>(height >> 8);
            return file;
        }
    }
    return {};
}

TEST(PictureDecoder, PicturesBeyondTheSizeBoundAreRefusedBeforeDecoding) {
    Bytes const jpeg = testpics::EncodeJpeg(16, 16, 3, Smooth(16, 16, 3), 90);
    Bytes const gif = testpics::EncodeGif(4, 4, 0, 0, 4, 4, Palette16(), Bytes(16, 1));
    struct Case {
        const char* name;
        Bytes bytes;
    };
    Case const cases[] = {
        {"png 100000 x 100000", testpics::PngHeaderOnly(100000, 100000)},
        {"png 16385 x 1", testpics::PngHeaderOnly(16385, 1)},
        {"png 8193 x 8193 (over 64 Mpixel)", testpics::PngHeaderOnly(8193, 8193)},
        {"png 2^31 x 1", testpics::PngHeaderOnly(0x80000000u, 1)},
        {"png 0 x 10", testpics::PngHeaderOnly(0, 10)},
        {"jpeg 60000 x 60000", WithJpegSize(jpeg, 60000, 60000)},
        {"jpeg 20000 x 100", WithJpegSize(jpeg, 20000, 100)},
        {"gif 65535 x 65535", WithGifSize(gif, 65535, 65535)},
        {"gif 16385 x 2", WithGifSize(gif, 16385, 2)},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_FALSE(c.bytes.empty());
        int w = -1, h = -1;
        EXPECT_FALSE(ReadPictureSize(c.bytes.data(), c.bytes.size(), &w, &h));
        DecodedPicture picture;
        EXPECT_FALSE(DecodePicture(c.bytes.data(), c.bytes.size(), 0, 0, &picture));
        EXPECT_FALSE(DecodePicture(c.bytes.data(), c.bytes.size(), 512, 512, &picture));
        EXPECT_EQ(picture.pixels, nullptr);
    }
}

TEST(PictureDecoder, LongestAcceptedSideDecodes) {
    Bytes const png = testpics::EncodePngRgb(kPictureMaxSide, 1, testpics::PatternPixels(kPictureMaxSide, 1, 3), 3);
    DecodedPicture picture;
    ASSERT_TRUE(DecodePicture(png.data(), png.size(), 0, 0, &picture));
    EXPECT_EQ(picture.width, kPictureMaxSide);
    FreeDecodedPicture(&picture);
}

TEST(PictureDecoder, FilesThatAreNotRegularOrNotThereFailToRead) {
    testpics::TempFolder folder;
    ASSERT_FALSE(folder.Path().empty());
    ASSERT_TRUE(testpics::WriteFileBytes(folder.Join("empty.png"), {}));
    std::string const sub = folder.Join("x.jpg");
    ASSERT_EQ(mkdir(sub.c_str(), 0700), 0);
    for (std::string const& path : {folder.Join("missing.png"), folder.Join("empty.png"), sub,
                                    std::string("/proc/self/mem")}) {
        SCOPED_TRACE(path);
        PictureFile file;
        EXPECT_FALSE(ReadPictureFile(path.c_str(), &file));
        EXPECT_EQ(file.data, nullptr);
        DecodedPicture picture;
        EXPECT_FALSE(DecodePictureFile(path.c_str(), 0, 0, &picture));
    }
    PictureFile file;
    EXPECT_FALSE(ReadPictureFile(nullptr, &file));
}

TEST(PictureDecoder, KindIsToldByContentNotName) {
    testpics::TempFolder folder;
    Bytes const png = testpics::EncodePngRgb(5, 4, testpics::PatternPixels(5, 4, 3), 3);
    ASSERT_TRUE(testpics::WriteFileBytes(folder.Join("really-a-png.jpg"), png));
    DecodedPicture picture;
    ASSERT_TRUE(DecodePictureFile(folder.Join("really-a-png.jpg").c_str(), 0, 0, &picture));
    EXPECT_EQ(picture.width, 5);
    EXPECT_EQ(picture.height, 4);
    FreeDecodedPicture(&picture);
}

}  // namespace
