// The scoped X error trap: it sees the errors of its own stretch only (an
// inner trap's are the inner one's), and gives the program's handler back.
#include <gtest/gtest.h>

#include "platform/x11_error_trap.h"
#include "tests/support/xvfb_server.h"

namespace {

int g_programErrors = 0;  // errors that reached the program's own handler

TEST(X11ErrorTrap, CountsItsOwnStretchInnermostFirstAndRestoresTheHandler)
{
    XvfbServer server;
    ASSERT_TRUE(server.Start(64, 48, 24)) << server.Error();
    Display* d = XOpenDisplay(server.DisplayName().c_str());
    ASSERT_NE(d, nullptr);
    XSetErrorHandler([](Display*, XErrorEvent*) { return ++g_programErrors, 0; });
    const Window gone = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 8, 8, 0, 0, 0);
    XDestroyWindow(d, gone);
    {
        X11ErrorTrap outer(d);
        {
            X11ErrorTrap inner(d);
            EXPECT_FALSE(inner.Failed());
            XMapWindow(d, gone);
            EXPECT_TRUE(inner.Failed());
        }
        EXPECT_FALSE(outer.Failed()) << "the inner trap's error";
        XUnmapWindow(d, gone);
        EXPECT_TRUE(outer.Failed());
        outer.Release();
        XMapWindow(d, gone);
        XSync(d, False);
        EXPECT_EQ(g_programErrors, 1) << "after Release";
    }
    XMapWindow(d, gone);
    XSync(d, False);
    EXPECT_EQ(g_programErrors, 2);
    XCloseDisplay(d);
}

}  // namespace
