// libFuzzer harness for the desktop wallpaper look-up: the settings files of
// XFCE, KDE Plasma, LXQt, LXDE, feh and nitrogen and the GNOME background
// description, read by ReadDesktopBackground as it reads them on a desktop
// (inputs laid out as fuzz/wallpaper_inputs.h says). GSettings is pointed
// at an empty schema folder, so no user's settings are ever read.
//
// Checked, as the look-up promises: every entry is "default" or the number
// of a listed screen and names an existing regular file; the path handed to
// the view fits its buffer.
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz/wallpaper_inputs.h"
#include "platform/desktop_background.h"
#include "platform/screens.h"

namespace {

const std::string root = kWallpaperRoot;

void MakeFolders(const std::string& path)
{
    for (size_t at = 1; at != std::string::npos;) {
        at = path.find('/', at + 1);
        mkdir(path.substr(0, at).c_str(), 0700);
    }
}

void WriteFile(const std::string& path, const std::string& bytes)
{
    MakeFolders(path.substr(0, path.rfind('/')));
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
}

bool IsRegularFile(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

void Fail(const char* what, const std::string& detail)
{
    std::fprintf(stderr, "fuzz_wallpaper: %s: %s\n", what, detail.c_str());
    __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    MakeFolders(root + "/home");
    MakeFolders(root + "/config");
    MakeFolders(root + "/no-schemas");
    MakeFolders(root + "/pkg/contents/images");
    for (const char* picture : {"/a.png", "/b.jpg", "/pkg/contents/images/1920x1080.png",
                                "/pkg/contents/images/1280x1024.png", "/pkg/contents/images/640x480.jpg"}) {
        WriteFile(root + picture, "not decoded here");
    }
    setenv("HOME", (root + "/home").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (root + "/config").c_str(), 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1 || size > (1u << 16)) {
        return 0;
    }
    const WallpaperSource& source = kSources[(data[0] & 7) % (sizeof kSources / sizeof kSources[0])];
    const bool twoScreens = data[0] & 8;
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);

    // Every file a part can go to is written or removed, so that no input
    // sees what an earlier one left.
    const std::string files[] = {root + source.file, root + "/bg.xml", root + "/config/plasmashellrc",
                                 root + "/config/kactivitymanagerdrc"};
    size_t start = 0;
    for (const std::string& file : files) {
        if (start == std::string::npos) {
            unlink(file.c_str());
            continue;
        }
        const size_t end = text.find(kPartSeparator, start);
        WriteFile(file, text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        start = end == std::string::npos ? end : end + std::string(kPartSeparator).size();
    }

    ScreenList screens = twoScreens ? MakeVirtualScreens({{0, 0, 1280, 1024}, {1280, 0, 1920, 1080}}, 1)
                                    : MakeVirtualScreens({{0, 0, 1920, 1080}}, 0);
    screens.screens[0].name = "HDMI-1";
    if (twoScreens) {
        screens.screens[1].name = "DP-2";
    }
    DesktopBackgroundSources sources;
    const std::string schemas = root + "/no-schemas";
    sources.schemaDir = schemas.c_str();
    sources.currentDesktop = source.desktop;
    const DesktopBackground background = ReadDesktopBackground(screens, sources);

    for (const auto& [key, path] : background.imageFilePath) {
        bool known = key == "default";
        for (const ScreenInfo& s : screens.screens) {
            known = known || key == std::to_string(s.number);
        }
        if (!known) {
            Fail("an entry for no listed screen", key);
        }
        if (!IsRegularFile(path)) {
            Fail("an entry names no existing file", path);
        }
    }
    for (int number = -1; number < 3; ++number) {
        char path[1024];
        DesktopPicturePath(background, number, "fallback.png", path);
    }
    // The source files of this input go; the next input writes its own.
    for (const std::string& file : files) {
        unlink(file.c_str());
    }
    return 0;
}
