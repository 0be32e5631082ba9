// What users install: the desktop entries, XScreenSaver's description of the hack and the manual pages pass
// their formats' checkers, and the Debian package holds every file where the screen savers look for it.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>

#include "tests/support/child_process.h"
#include "tests/support/scratch_dir.h"

namespace {

namespace fs = std::filesystem;

const fs::path kSource = ZARNET_SOURCE_DIR;
const fs::path kBuild = fs::path(BuildProgramPath("zarnet")).parent_path().parent_path();

// Runs `argv` to its end; its exit code, everything it printed (stdout and stderr) in `*out`.
int RunToEnd(std::vector<std::string> argv, std::string* out = nullptr)
{
    argv.insert(argv.begin(), {"sh", "-c", "exec \"$0\" \"$@\" 2>&1"});
    return RunProgram(argv, EnvironmentWith({"LC_ALL=C.UTF-8", "MANWIDTH=80"}), out, 600000);
}

TEST(ShippedFiles, PassTheirFormatsCheckers)
{
    ScratchDir dir;
    // The screensaver entry as installed under /usr.
    std::string entry, xml;
    ASSERT_TRUE(ReadWholeFile((kSource / "apps/data/zarnet.desktop.in").string(), &entry));
    ASSERT_TRUE(WriteWholeFile(dir.Join("zarnet.desktop"), std::regex_replace(entry, std::regex("@ZARNET_HACK_PATH@"),
                                                                              "/usr/libexec/xscreensaver/zarnet")));

    const struct {
        std::vector<std::string> checker;
        std::string file;
    } cases[] = {
        // Hints are left out: "Screensaver" is the category the screen savers' menus list, not a main one.
        {{"desktop-file-validate", "--no-hints"}, (kSource / "apps/data/zarnet-settings.desktop").string()},
        {{"desktop-file-validate", "--no-hints"}, dir.Join("zarnet.desktop")},
        {{"xmllint", "--noout"}, (kSource / "apps/data/zarnet.xml").string()},
        {{"man", "--warnings", "-E", "UTF-8", "-l"}, (kBuild / "apps/man/zarnet.1").string()},
        {{"man", "--warnings", "-E", "UTF-8", "-l"}, (kBuild / "apps/man/zarnet-settings.1").string()},
    };
    for (const auto& c : cases) {
        std::string out;
        std::vector<std::string> argv = c.checker;
        argv.push_back(c.file);
        EXPECT_EQ(RunToEnd(argv, &out), 0) << c.checker[0] << " " << c.file << ":\n" << out;
        // man prints the pages themselves; its warnings and the other checkers' findings name the file or line.
        EXPECT_TRUE(c.checker[0] == "man" ? out.find("warning") == std::string::npos : out.empty()) << out;
    }

    // XScreenSaver runs the hack on its own window and shows the description in its settings dialog.
    ASSERT_TRUE(ReadWholeFile((kSource / "apps/data/zarnet.xml").string(), &xml));
    EXPECT_NE(xml.find("<screensaver name=\"zarnet\""), std::string::npos);
    EXPECT_NE(xml.find("<command arg=\"-root\"/>"), std::string::npos);
}

TEST(DebianPackage, HoldsTheHackWhereTheScreenSaversLookAndNamesItsDependencies)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the package is made from the main build";
#endif
    ScratchDir dir;
    std::string out;
    ASSERT_EQ(
        RunToEnd({"cpack", "--config", (kBuild / "CPackConfig.cmake").string(), "-G", "DEB", "-B", dir.Path()}, &out),
        0)
        << out;
    std::string deb;
    for (const auto& entry : fs::directory_iterator(dir.Path()))
        if (entry.path().extension() == ".deb")
            deb = entry.path().string();
    ASSERT_FALSE(deb.empty()) << out;

    std::string info;
    ASSERT_EQ(RunToEnd({"dpkg-deb", "--info", deb}, &info), 0);
    for (const char* field :
         {R"(\n Package: zarnet\n)", R"(\n Version: \d+\.\d+)", R"(\n Architecture: \S+\n)",
          R"(\n Depends: [^\n]*libc6 \(>= )", R"(\n Depends: [^\n]*libx11-6)", R"(\n Depends: [^\n]*libgl1-mesa-dri)",
          R"(\n Depends: [^\n]*libgtk-3-0)", R"(\n Recommends: [^\n]*xscreensaver)", R"(\n Description: \S)"})
        EXPECT_TRUE(std::regex_search(info, std::regex(field))) << field << " in\n" << info;

    std::string files;
    ASSERT_EQ(RunToEnd({"dpkg-deb", "--contents", deb}, &files), 0);
    for (const char* path :
         {"./usr/bin/zarnet", "./usr/bin/zarnet-settings", "./usr/libexec/xscreensaver/zarnet",
          "./usr/share/xscreensaver/config/zarnet.xml", "./usr/share/applications/screensavers/zarnet.desktop",
          "./usr/share/applications/zarnet-settings.desktop", "./usr/share/man/man1/zarnet.1.gz",
          "./usr/share/man/man1/zarnet-settings.1.gz", "./usr/share/zarnet/zar.vnt",
          "./usr/share/zarnet/vantor.morvence", "./usr/share/zarnet/Zarnet.ui",
          "./usr/share/zarnet/zarnet-default.png"})
        EXPECT_NE(files.find(std::string(" ") + path + "\n"), std::string::npos) << path << " not in\n" << files;
    EXPECT_EQ(files.find("/usr/local"), std::string::npos) << files;

    // The screensaver entry names the hack at its packaged path, whatever prefix the build was configured with.
    ASSERT_EQ(RunToEnd({"dpkg-deb", "-x", deb, dir.Join("root")}), 0);
    std::string entry;
    ASSERT_TRUE(ReadWholeFile(dir.Join("root/usr/share/applications/screensavers/zarnet.desktop"), &entry));
    EXPECT_NE(entry.find("\nExec=/usr/libexec/xscreensaver/zarnet -root\n"), std::string::npos) << entry;
    EXPECT_NE(entry.find("\nTryExec=/usr/libexec/xscreensaver/zarnet\n"), std::string::npos) << entry;
    // The packaged program knows its version.
    std::string version;
    EXPECT_EQ(RunToEnd({dir.Join("root/usr/bin/zarnet"), "--version"}, &version), 0);
    EXPECT_TRUE(std::regex_match(version, std::regex(R"(zarnet \d+\.\d+(\.\d+)?\n)"))) << version;
}

}  // namespace
