// XScreenSaver's "may hacks show the desktop" setting, as its settings file spells it.
#include <gtest/gtest.h>

#include "platform/screen_grab.h"

namespace {

TEST(XScreenSaverSettings, DesktopGrabIsAllowedUnlessGrabDesktopImagesIsFalse)
{
    const struct {
        const char* text;
        bool allowed;
    } cases[] = {
        {"", true},
        {"mode:\t\tone\nlock:\t\tFalse\n", true},
        {"grabDesktopImages:\tTrue\n", true},
        {"grabDesktopImages:\tFalse\n", false},
        {"grabDesktopImages: false", false},  // no newline at the end
        {"grabDesktopImages:\tOff\r\n", false},
        {"grabDesktopImages:  no  \n", false},
        {"*grabDesktopImages:\tFalse\n", false},                                    // X resource form
        {"grabDesktopImages:\tFalse\ngrabDesktopImages:\tTrue\n", true},            // the last one counts
        {"grabVideoFrames:\tFalse\nchooseRandomImages:\tFalse\n", true},            // other sources
        {"programs:\t\\\n  zarnet --root grabDesktopImages: False \\n\\\n", true},  // not a setting's name
        {"grabDesktopImagesX:\tFalse\n", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(XScreenSaverAllowsDesktopGrab(c.text), c.allowed) << c.text;
}

}  // namespace
