// The desktop grab's scaler against GLU's gluScaleImage, whose box filter it
// reproduces: noise pictures (the hardest case for a filter) scaled down,
// up, both at once and by exactly a half, every byte within one of GLU's.
#include <GL/gl.h>
#include <GL/glu.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "host/DesktopCapture.h"
#include "platform/egl_headless.h"

namespace {

TEST(GrabScale, MatchesGluScaleImage)
{
    HeadlessGLContext gl;
    ASSERT_TRUE(gl.Create(16, 16)) << gl.Error();
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    const struct {
        int width, height, outWidth, outHeight;
    } sizes[] = {{1280, 720, 1024, 512}, {300, 200, 512, 256}, {97, 61, 64, 128}, {256, 128, 128, 64}, {1, 1, 4, 2}};
    std::srand(7);
    for (const auto& s : sizes) {
        SCOPED_TRACE(testing::Message() << s.width << "x" << s.height << " -> " << s.outWidth << "x" << s.outHeight);
        std::vector<uint8_t> in(static_cast<size_t>(s.width) * s.height * 4);
        for (uint8_t& byte : in)
            byte = static_cast<uint8_t>(std::rand() & 0xFF);
        const size_t outBytes = static_cast<size_t>(s.outWidth) * s.outHeight * 4;
        std::vector<uint8_t> ours(outBytes), glu(outBytes);
        ASSERT_TRUE(ScaleRgbaBox(in.data(), s.width, s.height, ours.data(), s.outWidth, s.outHeight));
        ASSERT_EQ(gluScaleImage(GL_RGBA, s.width, s.height, GL_UNSIGNED_BYTE, in.data(), s.outWidth, s.outHeight,
                                GL_UNSIGNED_BYTE, glu.data()),
                  0);
        const auto off =
            std::mismatch(ours.begin(), ours.end(), glu.begin(), [](int a, int b) { return std::abs(a - b) <= 1; });
        EXPECT_TRUE(off.first == ours.end())
            << "byte " << off.first - ours.begin() << ": " << int(*off.first) << " against GLU's " << int(*off.second);
    }
}

}  // namespace
