// The command line of `zarnet`: usage errors, and what can't run without a
// display. No display and no GL are needed.
#include <gtest/gtest.h>

#include <regex>

#include "tests/support/child_process.h"
#include "tests/support/scratch_dir.h"

namespace {

TEST(ZarnetCommandLine, UsageErrorsAndMissingDisplay)
{
    ScratchDir dir;
    const struct {
        std::vector<std::string> args;
        const char* window;  // XSCREENSAVER_WINDOW, when set
        int code;            // 2: usage, 1: can't run
    } cases[] = {
        {{"--bogus"}, nullptr, 2}, {{"--window-id", "0x12zz"}, nullptr, 2},
        {{"--stats"}, nullptr, 2},                    // recording options need --record
        {{}, "junk", 2},           {{}, nullptr, 1},  // no display
    };
    for (const auto& c : cases) {
        std::vector<std::string> argv = {BuildProgramPath("zarnet")};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        std::vector<std::string> set = {"XDG_CONFIG_HOME=" + dir.Path()};
        if (c.window)
            set.push_back(std::string("XSCREENSAVER_WINDOW=") + c.window);
        EXPECT_EQ(RunProgram(argv, EnvironmentWith(set, {"DISPLAY", "XSCREENSAVER_WINDOW"}), nullptr, 20000), c.code)
            << (c.args.empty() ? "no options" : c.args[0]) << " " << (c.window ? c.window : "");
    }
    std::string out;
    EXPECT_EQ(RunProgram({BuildProgramPath("zarnet"), "--help"}, EnvironmentWith({}), &out, 20000), 0);
    EXPECT_NE(out.find("--record DIR"), std::string::npos);
    // --version and its XScreenSaver spelling: the project's version, and nothing needs a display.
    for (const char* option : {"--version", "-version"}) {
        EXPECT_EQ(RunProgram({BuildProgramPath("zarnet"), option}, EnvironmentWith({}, {"DISPLAY"}), &out, 20000), 0);
        EXPECT_TRUE(std::regex_match(out, std::regex(R"(zarnet \d+\.\d+(\.\d+)?\n)"))) << out;
    }
}

}  // namespace
