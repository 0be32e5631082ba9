// A picture the saver may not read (mode 000, the saver not root): it is
// refused like a damaged one and the fallback shown, while a readable one
// beside it in the same folder is read. Root reads a file of mode 000 all
// the same, so a root run does this as nobody (65534) in a child.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "pictures/PictureWorker.h"
#include "tests/support/child_process.h"
#include "tests/support/picture_writers.h"
#include "tests/support/scratch_dir.h"

namespace {

TEST(UnreadablePicture, IsRefusedForTheFallbackWhileAReadableOneIsRead)
{
    ScratchDir dir;
    const std::string locked = dir.Join("locked.png"), open = dir.Join("open.png");
    const std::string fallback = std::string(ZARNET_BUILD_RESOURCES) + "zarnet-default.png";
    const testpics::Bytes rgb(size_t{64} * 48 * 3, 0x80);
    ASSERT_TRUE(WriteWholeFile(locked, testpics::EncodeAs(testpics::Kind::Png, 64, 48, rgb)));
    ASSERT_TRUE(WriteWholeFile(open, testpics::EncodeAs(testpics::Kind::Png, 64, 48, rgb)));
    ASSERT_TRUE(chmod(locked.c_str(), 0) == 0 && chmod(dir.Path().c_str(), 0755) == 0);

    const int code = InChild([&] {
        if (getuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
            return 77;
        PicturePixels pixels{};
        // The readable one: its own size, not the fallback.
        if (!MakePicturePixels(open, fallback, 0, 0, &pixels) || pixels.fallback || pixels.pictureWidth != 64)
            return 2;
        FreePicturePixels(&pixels);
        // The locked one: the fallback, whole.
        if (!MakePicturePixels(locked, fallback, 0, 0, &pixels) || !pixels.fallback || pixels.rgba == nullptr)
            return 3;
        FreePicturePixels(&pixels);
        return 0;
    });
    if (code == 77)
        GTEST_SKIP() << "running as root and can't become nobody (65534)";
    EXPECT_EQ(code, 0) << "2: the readable picture wasn't read; 3: the locked one wasn't refused for the fallback";
}

}  // namespace
