// The command line of `zarnet`: refused options, the settings hand-over and
// the messages for what can't run. No display and no GL are needed.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/scratch_dir.h"

namespace {

std::vector<std::string> NoDisplay(const ScratchDir& dir)
{
    return EnvironmentWith({"XDG_CONFIG_HOME=" + dir.Path()}, {"DISPLAY", "XSCREENSAVER_WINDOW"});
}

TEST(ZarnetCommandLine, BadOptionsAreRefusedWithUsage)
{
    ScratchDir dir;
    const std::string rec = dir.Join("rec");
    const std::vector<std::vector<std::string>> cases = {
        {"--bogus"},
        {"--window-id"},
        {"--window-id", "0"},
        {"-window-id", "0x12zz"},
        {"--size", "10x10"},
        {"--size", "320"},
        {"--stats"},                     // recording options need --record
        {"--desktop-image", "a.png"},
        {"--record"},
        {"--record", rec, "--fps", "0"},
        {"--record", rec, "--seconds", "-1"},
        {"--record", rec, "--seed", "1.5"},
        {"--record", rec, "--every", "0"},
    };
    for (const auto& args : cases) {
        SCOPED_TRACE(args[0] + (args.size() > 1 ? " " + args[1] : std::string()));
        std::vector<std::string> argv = {BuildProgramPath("zarnet")};
        argv.insert(argv.end(), args.begin(), args.end());
        EXPECT_EQ(RunProgram(argv, NoDisplay(dir), nullptr, 20000), 2);
    }
    std::string out;
    EXPECT_EQ(RunProgram({BuildProgramPath("zarnet"), "--help"}, NoDisplay(dir), &out, 20000), 0);
    EXPECT_NE(out.find("--record DIR"), std::string::npos);
}

TEST(ZarnetCommandLine, WithoutADisplayItSaysSoAndFails)
{
    ScratchDir dir;
    EXPECT_EQ(RunProgram({BuildProgramPath("zarnet")}, NoDisplay(dir), nullptr, 20000), 1);
    // XScreenSaver's window variable alone doesn't make a display either.
    auto env = NoDisplay(dir);
    env.push_back("XSCREENSAVER_WINDOW=0x400001");
    EXPECT_EQ(RunProgram({BuildProgramPath("zarnet")}, env, nullptr, 20000), 1);
    auto badEnv = NoDisplay(dir);
    badEnv.push_back("XSCREENSAVER_WINDOW=junk");
    EXPECT_EQ(RunProgram({BuildProgramPath("zarnet")}, badEnv, nullptr, 20000), 2);
}

TEST(ZarnetCommandLine, RecordRefusesAnUnreadableDesktopImage)
{
    ScratchDir dir;
    ASSERT_TRUE(WriteWholeFile(dir.Join("junk.png"), "not a picture"));
    EXPECT_EQ(RunProgram({BuildProgramPath("zarnet"), "--record", dir.Join("rec"), "--desktop-image",
                          dir.Join("junk.png")},
                         NoDisplay(dir), nullptr, 20000),
              1);
    // A record folder that can't be made.
    ASSERT_TRUE(WriteWholeFile(dir.Join("file"), "x"));
    EXPECT_EQ(RunProgram({BuildProgramPath("zarnet"), "--record", dir.Join("file/sub")}, NoDisplay(dir),
                         nullptr, 20000),
              1);
}

TEST(ZarnetCommandLine, SettingsWithoutTheSettingsProgramExplains)
{
    struct stat st;
    if (stat(BuildProgramPath("zarnet-settings").c_str(), &st) == 0)
        GTEST_SKIP() << "zarnet-settings is built: --settings would start it";
    ScratchDir dir;
    auto env = NoDisplay(dir);
    env.push_back("PATH=" + dir.Path());
    EXPECT_EQ(RunProgram({BuildProgramPath("zarnet"), "--settings"}, env, nullptr, 20000), 1);
}

}  // namespace
