// zarnet-overlay-images: draws the overlay's images for "vantor.morvence".
//
//   zarnet-overlay-images [-f FONT] OUTDIR
//
// Writes OUTDIR/overlay0.tga ... overlay5.tga, lump n = overlayn.tga:
//   0  32 x 32   the jigsaw-piece emblem             (pack with alphaMode 1)
//   1  256 x 32  the banner's side strip: emblem and name   (alphaMode 1)
//   2  16 x 16   a small colour ramp, 32 bits, not drawn    (alphaMode 0)
//   3  8 x 8     a small grey ramp, 32 bits, not drawn      (alphaMode 2)
//   4  512 x 32  message: how to open the settings program  (alphaMode 1)
//   5  512 x 32  message: where the settings are in the menu (alphaMode 1)
// The banner draws 1 on a 256 x 32 quad and 4 or 5 on a 512 x 32 quad over
// the puzzle; the title card draws 4 or 5 on a 1024 x 64 quad over black.
//
// The drawn images use the colour-key alpha mode: their first stored pixel
// (bottom left) is pure black and every pure-black pixel becomes fully
// transparent; everything else is opaque. Text and emblem are light with a
// near-black outline two pixels wide, so they read cleanly over any picture.
// Text is rendered with FreeType from DejaVu Sans Bold (fonts-dejavu-core).
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tools/file_io.h"
#include "tools/piece_mesh.h"
#include "tools/tga_writer.h"

namespace {

const char* kDefaultFont = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf";
const char* kMessage4 = "Zarnet settings: run zarnet-settings";
const char* kMessage5 = "Zarnet settings: desktop menu \u203a Zarnet";

struct Rgb {
    double r, g, b;
};

const Rgb kOutline = {14, 16, 24};  // near black, never the key colour

// Coverage canvas, values 0..1, row 0 at the top.
struct Canvas {
    int width;
    int height;
    std::vector<float> a;
    Canvas(int w, int h) : width(w), height(h), a(size_t(w) * size_t(h), 0.0f) {}
    float Get(int x, int y) const
    {
        return (x < 0 || y < 0 || x >= width || y >= height) ? 0.0f : a[size_t(y) * size_t(width) + size_t(x)];
    }
    void Add(int x, int y, float v)
    {
        if (x < 0 || y < 0 || x >= width || y >= height)
            return;
        float& c = a[size_t(y) * size_t(width) + size_t(x)];
        c = std::min(1.0f, c + v);
    }
};

// Decodes UTF-8 into code points (invalid bytes become U+FFFD).
std::vector<unsigned> DecodeUtf8(const char* text)
{
    std::vector<unsigned> out;
    const unsigned char* s = reinterpret_cast<const unsigned char*>(text);
    while (*s) {
        unsigned c = *s++;
        int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
        if (c >= 0x80 && c < 0xC0) {
            out.push_back(0xFFFD);
            continue;
        }
        c &= extra == 3 ? 0x07 : extra == 2 ? 0x0F : extra == 1 ? 0x1F : 0x7F;
        for (int k = 0; k < extra && (*s & 0xC0) == 0x80; ++k)
            c = (c << 6) | (*s++ & 0x3F);
        out.push_back(c);
    }
    return out;
}

struct TextBox {
    int advance = 0;  // pen travel, pixels
    int inkLeft = 0;  // ink extent relative to pen start and baseline (y up)
    int inkRight = 0;
    int inkTop = 0;
    int inkBottom = 0;
};

// Lays `text` out at `pixelSize` with kerning; draws it into `canvas` with
// its pen starting at (x, baseline) when canvas is given. False when a
// glyph can't be rendered.
bool Text(FT_Face face, int pixelSize, const char* text, Canvas* canvas, int x, int baseline, TextBox& box)
{
    if (FT_Set_Pixel_Sizes(face, 0, FT_UInt(pixelSize)))
        return false;
    box = TextBox{};
    bool first = true;
    long pen = 0;  // 26.6 fixed point
    FT_UInt previous = 0;
    for (unsigned cp : DecodeUtf8(text)) {
        FT_UInt glyph = FT_Get_Char_Index(face, cp);
        if (previous && glyph && FT_HAS_KERNING(face)) {
            FT_Vector kern;
            if (!FT_Get_Kerning(face, previous, glyph, FT_KERNING_DEFAULT, &kern))
                pen += kern.x;
        }
        if (FT_Load_Glyph(face, glyph, FT_LOAD_DEFAULT) || FT_Render_Glyph(face->glyph, FT_RENDER_MODE_NORMAL))
            return false;
        const FT_GlyphSlot slot = face->glyph;
        const FT_Bitmap& bm = slot->bitmap;
        int left = int((pen + 32) >> 6) + slot->bitmap_left;
        if (bm.width > 0 && bm.rows > 0) {
            int right = left + int(bm.width), top = slot->bitmap_top, bottom = top - int(bm.rows);
            if (first) {
                box.inkLeft = left;
                box.inkRight = right;
                box.inkTop = top;
                box.inkBottom = bottom;
                first = false;
            }
            box.inkLeft = std::min(box.inkLeft, left);
            box.inkRight = std::max(box.inkRight, right);
            box.inkTop = std::max(box.inkTop, top);
            box.inkBottom = std::min(box.inkBottom, bottom);
            if (canvas) {
                for (unsigned row = 0; row < bm.rows; ++row)
                    for (unsigned col = 0; col < bm.width; ++col) {
                        unsigned char v = bm.buffer[long(row) * bm.pitch + long(col)];
                        canvas->Add(x + left + int(col), baseline - top + int(row), v / 255.0f);
                    }
            }
        }
        pen += slot->advance.x;
        previous = glyph;
    }
    box.advance = int((pen + 32) >> 6);
    return true;
}

// Fills the jigsaw-piece emblem (a piece with knobs on its top and right
// edge) into `canvas`, its body square `size` pixels wide with the lower-left
// body corner at (x, y) (y down the canvas), 4 x 4 samples per pixel.
void Emblem(Canvas& canvas, double x, double y, double size)
{
    piecemesh::Params params;
    std::vector<piecemesh::OutlinePoint> outline = piecemesh::Outline({1, 1, 0, 0}, params);
    std::vector<polytri::P2> poly;
    double scale = size / (2 * params.half);
    for (const auto& q : outline)
        poly.push_back({x + (q.pos.x + params.half) * scale, y - (q.pos.y + params.half) * scale});
    auto inside = [&poly](double px, double py) {
        bool in = false;
        for (size_t i = 0, j = poly.size() - 1; i < poly.size(); j = i++) {
            const auto& a = poly[i];
            const auto& b = poly[j];
            if ((a.y > py) != (b.y > py) && px < (b.x - a.x) * (py - a.y) / (b.y - a.y) + a.x)
                in = !in;
        }
        return in;
    };
    for (int py = 0; py < canvas.height; ++py)
        for (int px = 0; px < canvas.width; ++px) {
            int hits = 0;
            for (int sy = 0; sy < 4; ++sy)
                for (int sx = 0; sx < 4; ++sx)
                    hits += inside(px + (sx + 0.5) / 4, py + (sy + 0.5) / 4);
            if (hits)
                canvas.Add(px, py, hits / 16.0f);
        }
}

// Turns fill coverage into a colour-keyed image: opaque wherever the fill,
// grown by `radius` pixels, covers at least half a pixel; there the colour
// runs from the outline colour to fill(x, y) with the fill's coverage.
// Everything else is pure black (the key).
template <typename Fill> tga::Image Compose(const Canvas& fill, double radius, Fill fillColour)
{
    tga::Image image(fill.width, fill.height);
    int reach = int(std::ceil(radius)) + 1;
    for (int y = 0; y < fill.height; ++y)
        for (int x = 0; x < fill.width; ++x) {
            float f = fill.Get(x, y);
            double grown = f;
            for (int dy = -reach; dy <= reach; ++dy)
                for (int dx = -reach; dx <= reach; ++dx) {
                    double weight = std::clamp(radius + 0.5 - std::hypot(dx, dy), 0.0, 1.0);
                    grown = std::max(grown, weight * fill.Get(x + dx, y + dy));
                }
            uint8_t* p = image.At(x, y);
            if (grown < 0.5)
                continue;  // stays key black, alpha 0
            Rgb c = fillColour(x, y);
            p[0] = uint8_t(std::lround(kOutline.r + (c.r - kOutline.r) * f));
            p[1] = uint8_t(std::lround(kOutline.g + (c.g - kOutline.g) * f));
            p[2] = uint8_t(std::lround(kOutline.b + (c.b - kOutline.b) * f));
            p[3] = 255;
        }
    return image;
}

// Light text colour, a touch warmer towards the bottom of a strip.
Rgb TextColour(int y, int height)
{
    double t = height > 1 ? double(y) / (height - 1) : 0;
    return {255, 252 - 22 * t, 240 - 60 * t};
}

// Emblem colour: amber, lighter at the top left.
Rgb EmblemColour(int x, int y, int size)
{
    double t = std::clamp((x + y) / (2.0 * size), 0.0, 1.0);
    return {250 - 30 * t, 196 - 50 * t, 72 - 30 * t};
}

// Writes one message centred in a 512 x 32 strip, at the largest size up to
// 21 pixels that fits with room for the outline.
bool Message(FT_Face face, const char* text, tga::Image& image)
{
    const int width = 512, height = 32;
    TextBox box;
    int size = 21;
    for (; size >= 10; --size) {
        if (!Text(face, size, text, nullptr, 0, 0, box))
            return false;
        if (box.inkRight - box.inkLeft <= width - 12)
            break;
    }
    if (size < 10)
        return false;
    Canvas fill(width, height);
    int x = (width - (box.inkRight - box.inkLeft)) / 2 - box.inkLeft;
    int baseline = (height + box.inkTop + box.inkBottom) / 2;  // ink centred vertically
    if (!Text(face, size, text, &fill, x, baseline, box))
        return false;
    image = Compose(fill, 2.0, [&](int, int y) { return TextColour(y, height); });
    return true;
}

// The banner's side strip: the emblem followed by the name, centred.
bool SideStrip(FT_Face face, tga::Image& image)
{
    const int width = 256, height = 32, emblem = 18, gap = 8, size = 22;
    const char* name = "Zarnet";
    TextBox box;
    if (!Text(face, size, name, nullptr, 0, 0, box))
        return false;
    // The emblem's knobs stick out by about a third of its body.
    int emblemWidth = int(emblem * (1 + piecemesh::Params{}.headCentre / 40 + piecemesh::Params{}.head / 40));
    int total = emblemWidth + gap + (box.inkRight - box.inkLeft);
    int left = (width - total) / 2;
    Canvas fill(width, height);
    Canvas mark(width, height);
    double bodyBottom = height / 2.0 + emblem / 2.0 + 2;
    Emblem(mark, left, bodyBottom, emblem);
    int baseline = (height + box.inkTop + box.inkBottom) / 2;
    if (!Text(face, size, name, &fill, left + emblemWidth + gap - box.inkLeft, baseline, box))
        return false;
    for (size_t k = 0; k < fill.a.size(); ++k)
        fill.a[k] = std::min(1.0f, fill.a[k] + mark.a[k]);
    image = Compose(fill, 2.0, [&](int x, int y) {
        if (mark.Get(x, y) > 0 && x < left + emblemWidth + gap / 2)
            return EmblemColour(x - left, y - int(bodyBottom) + emblemWidth, emblemWidth);
        return TextColour(y, height);
    });
    return true;
}

tga::Image EmblemImage()
{
    Canvas fill(32, 32);
    Emblem(fill, 4, 28, 19);
    return Compose(fill, 1.5, [](int x, int y) { return EmblemColour(x, y, 32); });
}

tga::Image Ramp(int size, bool colour)
{
    tga::Image image(size, size);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            uint8_t* p = image.At(x, y);
            int v = (x + y) * 255 / (2 * (size - 1));
            p[0] = uint8_t(colour ? 255 - v : v);
            p[1] = uint8_t(colour ? x * 255 / (size - 1) : v);
            p[2] = uint8_t(colour ? y * 255 / (size - 1) : v);
            p[3] = 255;
        }
    return image;
}

bool Save(const std::string& path, const tga::Image& image, int bits, bool runLength)
{
    std::vector<uint8_t> bytes;
    if (!tga::Write(image, bits, runLength, bytes) || !toolio::WriteFile(path, bytes)) {
        std::fprintf(stderr, "zarnet-overlay-images: can't write %s\n", path.c_str());
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    std::string font = kDefaultFont;
    std::string outDir;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-f") == 0 && i + 1 < argc)
            font = argv[++i];
        else if (outDir.empty() && argv[i][0] != '-')
            outDir = argv[i];
        else {
            std::fprintf(stderr, "usage: zarnet-overlay-images [-f FONT] OUTDIR\n");
            return 2;
        }
    }
    if (outDir.empty()) {
        std::fprintf(stderr, "usage: zarnet-overlay-images [-f FONT] OUTDIR\n");
        return 2;
    }
    if (outDir.back() != '/')
        outDir += '/';

    FT_Library library;
    if (FT_Init_FreeType(&library)) {
        std::fprintf(stderr, "zarnet-overlay-images: FreeType won't start\n");
        return 1;
    }
    FT_Face face;
    if (FT_New_Face(library, font.c_str(), 0, &face)) {
        std::fprintf(stderr, "zarnet-overlay-images: can't load the font %s\n", font.c_str());
        FT_Done_FreeType(library);
        return 1;
    }
    tga::Image strip, message4, message5;
    bool ok = SideStrip(face, strip) && Message(face, kMessage4, message4) && Message(face, kMessage5, message5);
    FT_Done_Face(face);
    FT_Done_FreeType(library);
    if (!ok) {
        std::fprintf(stderr, "zarnet-overlay-images: can't render the text with %s\n", font.c_str());
        return 1;
    }
    ok = Save(outDir + "overlay0.tga", EmblemImage(), 24, true) && Save(outDir + "overlay1.tga", strip, 24, true) &&
         Save(outDir + "overlay2.tga", Ramp(16, true), 32, false) &&
         Save(outDir + "overlay3.tga", Ramp(8, false), 32, true) && Save(outDir + "overlay4.tga", message4, 24, true) &&
         Save(outDir + "overlay5.tga", message5, 24, true);
    return ok ? 0 : 1;
}
