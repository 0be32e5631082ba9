// The shipped "vantor.morvence", read through RESFILE and the TGA reader: the
// overlay's strip and message images, sized for their quads, with an alpha
// that gives light text a dark outline and a transparent surround.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "loading/RESFILE.h"
#include "loading/Textures.h"
#include "platform/alert.h"
#include "tests/shapes/shape_models.h"

namespace {

struct Decoded {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;    // 3 bytes per pixel, stored row order (row 0 = bottom)
    std::vector<uint8_t> alpha;  // as BuildTexture makes it for the lump's alpha mode
    uint32_t lumpType = 0, alphaMode = 0;
    bool loaded = false;
};

// Decodes every lump of type 1 and derives its alpha the way the texture
// upload does (1: first pixel's colour transparent, 2: brightness, else opaque).
bool ReadOverlayFile(std::vector<Decoded>& lumps, std::vector<std::string>& alerts)
{
    AlertSetRecorder([&](const char* caption, const char* text) { alerts.push_back(std::string(caption) + ": " + text); });
    RESFILE container;
    bool ok = container.Open(shapes_test::ResourcePath("vantor.morvence").c_str());
    for (uint32_t i = 0; ok && i < container.header.lumpCount; ++i) {
        Decoded d;
        d.lumpType = container.directory[i].lumpType;
        d.alphaMode = container.directory[i].alphaMode;
        if (d.lumpType == 1) {
            Texture texture;
            if (!container.SeekLump(int(i)) || !LoadTGA2(&texture, &container.stream)) {
                ok = false;
                break;
            }
            d.loaded = true;
            d.width = int(texture.width);
            d.height = int(texture.height);
            int bytes = texture.bpp / 8;
            const uint8_t* px = reinterpret_cast<const uint8_t*>(texture.imageData);
            for (int k = 0; k < d.width * d.height; ++k) {
                const uint8_t* p = px + size_t(k) * bytes;
                d.rgb.insert(d.rgb.end(), p, p + 3);
                uint8_t a = 255;
                if (d.alphaMode == 1)
                    a = (p[0] == px[0] && p[1] == px[1] && p[2] == px[2]) ? 0 : 255;
                else if (d.alphaMode == 2)
                    a = std::max({p[0], p[1], p[2]});
                d.alpha.push_back(a);
            }
        }
        lumps.push_back(std::move(d));
    }
    AlertSetRecorder(nullptr);
    return ok;
}

bool PowerOfTwo(int v) { return v > 0 && (v & (v - 1)) == 0; }

}  // namespace

TEST(OverlayImages, EveryTextureLumpDecodesAtAnUploadableSize)
{
    std::vector<Decoded> lumps;
    std::vector<std::string> alerts;
    ASSERT_TRUE(ReadOverlayFile(lumps, alerts));
    EXPECT_TRUE(alerts.empty()) << alerts.front();
    ASSERT_GE(lumps.size(), 6u);
    for (size_t i = 0; i < lumps.size(); ++i) {
        if (!lumps[i].loaded)
            continue;
        EXPECT_TRUE(PowerOfTwo(lumps[i].width) && PowerOfTwo(lumps[i].height)) << "lump " << i;
        EXPECT_LE(lumps[i].alphaMode, 2u) << "lump " << i;
    }
    struct Drawn {
        int lump, width, height;
    };
    for (Drawn d : {Drawn{1, 256, 32}, Drawn{4, 512, 32}, Drawn{5, 512, 32}}) {
        EXPECT_EQ(lumps[d.lump].lumpType, 1u) << "lump " << d.lump;
        EXPECT_EQ(lumps[d.lump].width, d.width) << "lump " << d.lump;
        EXPECT_EQ(lumps[d.lump].height, d.height) << "lump " << d.lump;
    }
    EXPECT_NE(lumps[4].rgb, lumps[5].rgb) << "the two messages should differ";
}

TEST(OverlayImages, DrawnImagesAreOutlinedLightShapesOnATransparentGround)
{
    std::vector<Decoded> lumps;
    std::vector<std::string> alerts;
    ASSERT_TRUE(ReadOverlayFile(lumps, alerts));
    ASSERT_GE(lumps.size(), 6u);
    for (int index : {1, 4, 5}) {
        SCOPED_TRACE("lump " + std::to_string(index));
        const Decoded& d = lumps[index];
        ASSERT_TRUE(d.loaded);
        auto alphaAt = [&](int x, int y) {
            return (x < 0 || y < 0 || x >= d.width || y >= d.height) ? 0 : d.alpha[size_t(y) * d.width + x];
        };
        auto lumaAt = [&](int x, int y) {
            const uint8_t* p = &d.rgb[(size_t(y) * d.width + x) * 3];
            return (p[0] * 299 + p[1] * 587 + p[2] * 114) / 1000;
        };
        int opaque = 0, light = 0, dark = 0, unframedLight = 0, lowRow = d.height, highRow = -1;
        for (int y = 0; y < d.height; ++y)
            for (int x = 0; x < d.width; ++x) {
                if (alphaAt(x, y) < 128)
                    continue;
                ++opaque;
                lowRow = std::min(lowRow, y);
                highRow = std::max(highRow, y);
                int luma = lumaAt(x, y);
                dark += luma <= 60;
                if (luma < 160)
                    continue;
                ++light;
                // A light pixel must be framed: nothing see-through right beside it.
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx)
                        if (alphaAt(x + dx, y + dy) < 128) {
                            ++unframedLight;
                            dy = dx = 2;
                        }
            }
        int total = d.width * d.height;
        EXPECT_GT(opaque, total / 20) << "too little to see";
        EXPECT_LT(opaque, total * 4 / 5) << "the scene should show around it";
        EXPECT_GT(light, opaque / 5);
        EXPECT_GT(dark, opaque / 10) << "no dark outline";
        EXPECT_EQ(unframedLight, 0) << "light pixels touching the transparent ground";
        EXPECT_GE(highRow - lowRow + 1, 14) << "text too small to read";
        // Nothing is cut off at the image's border.
        for (int x = 0; x < d.width; ++x)
            EXPECT_TRUE(alphaAt(x, 0) == 0 && alphaAt(x, d.height - 1) == 0) << "column " << x;
        for (int y = 0; y < d.height; ++y)
            EXPECT_TRUE(alphaAt(0, y) == 0 && alphaAt(d.width - 1, y) == 0) << "row " << y;
    }
}
