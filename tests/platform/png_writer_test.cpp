// The PNG writer round-trips through libpng's own reader.
#include <gtest/gtest.h>
#include <png.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/png_writer.h"

namespace {

TEST(WritePNG, RoundTripsTopRowFirst)
{
    const int w = 3, h = 2;
    std::vector<uint8_t> rgba(w * h * 4);
    for (size_t i = 0; i < rgba.size(); ++i) {
        rgba[i] = static_cast<uint8_t>(i * 7 + 1);
    }
    std::string path = ::testing::TempDir() + "zarnet_png_writer_" + std::to_string(getpid()) + ".png";
    ASSERT_TRUE(WritePNG(path.c_str(), w, h, rgba.data()));

    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&image, path.c_str()));
    EXPECT_EQ(image.width, static_cast<png_uint_32>(w));
    EXPECT_EQ(image.height, static_cast<png_uint_32>(h));
    image.format = PNG_FORMAT_RGBA;
    std::vector<uint8_t> back(PNG_IMAGE_SIZE(image));
    ASSERT_TRUE(png_image_finish_read(&image, nullptr, back.data(), 0, nullptr));
    EXPECT_EQ(back, rgba);
    std::remove(path.c_str());
}

TEST(WritePNG, FailsOnUnwritablePathOrBadArguments)
{
    uint8_t pixel[4] = {1, 2, 3, 4};
    EXPECT_FALSE(WritePNG("/nonexistent-dir/x.png", 1, 1, pixel));
    std::string path = ::testing::TempDir() + "zarnet_png_writer_bad.png";
    EXPECT_FALSE(WritePNG(path.c_str(), 0, 1, pixel));
    EXPECT_FALSE(WritePNG(path.c_str(), 1, 1, nullptr));
}

}  // namespace
