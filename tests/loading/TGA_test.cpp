// The TGA reader: both decoders, RLE packet boundaries, every refusal with
// its exact message and caption, and truncation at every byte.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "loading/Textures.h"
#include "platform/alert.h"
#include "tests/loading/loading_test_files.h"

namespace {

using loadtest::CompressedTga;
using loadtest::TgaPacket;
using loadtest::TgaPattern;
using loadtest::UncompressedTga;

struct Alert {
    std::string caption, text;
};

class TgaTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        AlertSetRecorder([this](const char* caption, const char* text) { alerts_.push_back({caption, text}); });
    }
    void TearDown() override { AlertUseStderr(); }

    bool Decode(Texture& texture, const std::string& bytes)
    {
        alerts_.clear();
        std::istringstream in(bytes);
        return LoadTGA2(&texture, &in);
    }
    std::vector<unsigned char> Pixels(const Texture& t) const
    {
        const size_t n = static_cast<size_t>(t.width) * t.height * (t.type == GL_RGBA ? 4 : 3);
        const unsigned char* p = reinterpret_cast<const unsigned char*>(t.imageData);
        return std::vector<unsigned char>(p, p + n);
    }
    // Exactly one alert, with this text and caption.
    void ExpectAlert(const std::string& text, const std::string& caption, const std::string& what)
    {
        ASSERT_EQ(alerts_.size(), 1u) << what;
        EXPECT_EQ(alerts_[0].text, text) << what;
        EXPECT_EQ(alerts_[0].caption, caption) << what;
    }

    std::vector<Alert> alerts_;
};

TEST_F(TgaTest, DecodesUncompressedImagesWithoutFlippingRows)
{
    for (unsigned bpp : {24u, 32u}) {
        // Descriptor 0x20 declares a top-left origin: the stored row order is kept anyway.
        for (unsigned descriptor : {0u, 0x20u, 0x08u}) {
            const std::vector<unsigned char> pattern = TgaPattern(5, 3, bpp);
            Texture t;
            ASSERT_TRUE(Decode(t, UncompressedTga(5, 3, bpp, pattern, descriptor))) << bpp;
            EXPECT_TRUE(alerts_.empty());
            EXPECT_EQ(t.width, 5u);
            EXPECT_EQ(t.height, 3u);
            EXPECT_EQ(t.bpp, bpp);
            EXPECT_EQ(t.type, bpp == 24 ? static_cast<unsigned>(GL_RGB) : static_cast<unsigned>(GL_RGBA));
            EXPECT_EQ(Pixels(t), pattern) << bpp << " descriptor " << descriptor;
        }
    }
}

// Packets of every boundary size, runs and raw packets crossing row ends.
TEST_F(TgaTest, DecodesRunLengthPacketsAcrossRows)
{
    for (unsigned bpp : {24u, 32u}) {
        const unsigned bytes = bpp / 8;
        const std::vector<unsigned char> pattern = TgaPattern(16, 20, bpp);  // 320 pixels
        auto pixel = [&](size_t i) {
            return std::vector<unsigned char>(pattern.begin() + i * bytes, pattern.begin() + (i + 1) * bytes);
        };
        auto pixels = [&](size_t from, size_t n) {
            return std::vector<unsigned char>(pattern.begin() + from * bytes, pattern.begin() + (from + n) * bytes);
        };
        // 128 raw (0x7F), 128-run (0xFF), 1-run (0x80), 1 raw (0x00), 62 raw: 320 pixels.
        const std::vector<TgaPacket> packets = {
            {false, 128, pixels(0, 128)}, {true, 128, pixel(128)}, {true, 1, pixel(256)},
            {false, 1, pixels(257, 1)}, {false, 62, pixels(258, 62)}};
        std::vector<unsigned char> expected = pixels(0, 128);
        for (int i = 0; i < 128; ++i) {
            const auto p = pixel(128);
            expected.insert(expected.end(), p.begin(), p.end());
        }
        const auto tail = pixels(256, 64);
        expected.insert(expected.end(), tail.begin(), tail.end());

        const std::string file = CompressedTga(16, 20, bpp, packets);
        EXPECT_EQ(static_cast<unsigned char>(file[18]), 0x7F);
        EXPECT_EQ(static_cast<unsigned char>(file[18 + 1 + 128 * bytes]), 0xFF);
        EXPECT_EQ(static_cast<unsigned char>(file[18 + 1 + 128 * bytes + 1 + bytes]), 0x80);
        Texture t;
        ASSERT_TRUE(Decode(t, file)) << bpp;
        EXPECT_EQ(t.type, bpp == 24 ? static_cast<unsigned>(GL_RGB) : static_cast<unsigned>(GL_RGBA));
        EXPECT_EQ(Pixels(t), expected) << bpp;
    }
}

// A packet that would carry even one pixel past the image is refused
// before anything of it is written (ASan watches the buffer's end).
TEST_F(TgaTest, RefusesAPacketBeyondTheImage)
{
    const std::vector<unsigned char> red = {255, 0, 0};
    const struct {
        const char* what;
        std::vector<TgaPacket> packets;
    } cases[] = {
        {"run one too long", {{true, 5, red}}},
        {"raw one too long", {{false, 5, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}}}},
        {"last run one too long", {{true, 3, red}, {true, 2, red}}},
        {"128-run into a tiny image", {{true, 128, red}}},
    };
    for (const auto& c : cases) {
        Texture t;
        EXPECT_FALSE(Decode(t, CompressedTga(2, 2, 24, c.packets))) << c.what;
        ExpectAlert("Too many pixels read", "ERROR", c.what);
        EXPECT_EQ(t.imageData, nullptr) << c.what;
    }
}

TEST_F(TgaTest, RefusesOtherKindsOfTga)
{
    const std::string info = loadtest::TgaInfoHeader(2, 2, 24) + std::string(12, '\x40');
    const struct {
        const char* what;
        std::string header;
    } cases[] = {
        {"image ID field", loadtest::TgaFileHeader(2, 1)},
        {"colour map", loadtest::TgaFileHeader(2, 0, 1)},
        {"x origin", loadtest::TgaFileHeader(2, 0, 0, 1)},
        {"y origin", loadtest::TgaFileHeader(10, 0, 0, 0, 7)},
        {"type 1 (colour-mapped)", loadtest::TgaFileHeader(1)},
        {"type 3 (grey)", loadtest::TgaFileHeader(3)},
        {"type 9 (RLE colour-mapped)", loadtest::TgaFileHeader(9)},
        {"type 11 (RLE grey)", loadtest::TgaFileHeader(11)},
        {"type 0 (no image)", loadtest::TgaFileHeader(0)},
    };
    for (const auto& c : cases) {
        Texture t;
        EXPECT_FALSE(Decode(t, c.header + info)) << c.what;
        ExpectAlert("TGA file be type 2 or type 10 ", "Invalid Image", c.what);
        EXPECT_EQ(t.imageData, nullptr);
    }
}

TEST_F(TgaTest, RefusesBadImageInformation)
{
    const struct {
        const char* what;
        unsigned type, width, height, bpp;
    } cases[] = {
        {"16-bit type 2", 2, 2, 2, 16},
        {"8-bit type 10", 10, 2, 2, 8},
        {"zero width", 2, 0, 2, 24},
        {"zero height", 10, 2, 0, 32},
        {"33 bits", 2, 2, 2, 33},
        {"too large to size safely (65535 x 65535 x 32)", 2, 65535, 65535, 32},
        {"too large to size safely, RLE", 10, 65535, 20000, 24},
    };
    for (const auto& c : cases) {
        Texture t;
        EXPECT_FALSE(Decode(t, loadtest::TgaFileHeader(c.type) + loadtest::TgaInfoHeader(c.width, c.height, c.bpp) +
                                   std::string(64, '\x10')))
            << c.what;
        ExpectAlert("Invalid texture information", "ERROR", c.what);
        EXPECT_EQ(t.imageData, nullptr);
    }
}

// A large uncompressed image whose pixels aren't there is known to be short
// before its buffer is allocated.
TEST_F(TgaTest, ShortUncompressedImageIsRefusedBeforeAllocating)
{
    std::istringstream in(loadtest::TgaFileHeader(2) + loadtest::TgaInfoHeader(16000, 16000, 32) + "abc");
    Texture t;
    alerts_.clear();
    EXPECT_FALSE(LoadTGA2(&t, &in));
    ExpectAlert("Could not read image data", "ERROR", "16000 x 16000, 3 bytes");
    EXPECT_TRUE(in.fail());
}

TEST_F(TgaTest, RefusesAMissingOrClosedStream)
{
    Texture t;
    alerts_.clear();
    EXPECT_FALSE(LoadTGA2(&t, nullptr));
    ExpectAlert("Could not open texture file", "ERROR", "null stream");
    alerts_.clear();
    std::ifstream closed;
    EXPECT_FALSE(LoadTGA2(&t, &closed));
    ExpectAlert("Could not open texture file", "ERROR", "closed file");
}

// Truncation at every byte: each prefix fails with the message for the
// part that was cut, and leaves no pixels behind.
TEST_F(TgaTest, EveryTruncationOfAnUncompressedImageFails)
{
    const std::string good = UncompressedTga(3, 2, 32, TgaPattern(3, 2, 32));
    for (size_t length = 0; length < good.size(); ++length) {
        Texture t;
        const std::string what = "length " + std::to_string(length);
        EXPECT_FALSE(Decode(t, good.substr(0, length))) << what;
        const char* expected = length < 12   ? "Could not read file header"
                               : length < 18 ? "Could not read info header"
                                             : "Could not read image data";
        ExpectAlert(expected, "ERROR", what);
        EXPECT_EQ(t.imageData, nullptr) << what;
    }
}

TEST_F(TgaTest, EveryTruncationOfARunLengthImageFails)
{
    // 4 x 2 pixels, 24-bit: a raw packet of 3, a run of 4, a raw packet of 1.
    const std::vector<TgaPacket> packets = {
        {false, 3, {1, 2, 3, 4, 5, 6, 7, 8, 9}}, {true, 4, {10, 11, 12}}, {false, 1, {13, 14, 15}}};
    const std::string good = CompressedTga(4, 2, 24, packets);
    // What the reader is in the middle of at each byte of the pixel data.
    std::vector<const char*> atByte;
    for (const TgaPacket& p : packets) {
        atByte.push_back("Could not read RLE header");
        const size_t pixelBytes = p.pixels.size();
        for (size_t i = 0; i < pixelBytes; ++i) {
            atByte.push_back(p.run ? "Could not read from file" : "Could not read image data");
        }
    }
    ASSERT_EQ(18 + atByte.size(), good.size());
    for (size_t length = 0; length < good.size(); ++length) {
        Texture t;
        const std::string what = "length " + std::to_string(length);
        EXPECT_FALSE(Decode(t, good.substr(0, length))) << what;
        const char* expected = length < 12   ? "Could not read file header"
                               : length < 18 ? "Could not read info header"
                                             : atByte[length - 18];
        ExpectAlert(expected, "ERROR", what);
        EXPECT_EQ(t.imageData, nullptr) << what;
    }
    Texture whole;
    EXPECT_TRUE(Decode(whole, good));
}

// The reader is used many times in one process; each load starts afresh
// and a record that already held pixels doesn't leak them.
TEST_F(TgaTest, ReusedRecordReleasesItsOldPixels)
{
    Texture t;
    ASSERT_TRUE(Decode(t, UncompressedTga(2, 2, 24, TgaPattern(2, 2, 24))));
    ASSERT_TRUE(Decode(t, CompressedTga(1, 1, 32, {{true, 1, {9, 8, 7, 6}}})));
    EXPECT_EQ(t.width, 1u);
    EXPECT_EQ(Pixels(t), (std::vector<unsigned char>{9, 8, 7, 6}));
    EXPECT_FALSE(Decode(t, "garbage that is no TGA"));
    EXPECT_EQ(t.imageData, nullptr);
}

}  // namespace
