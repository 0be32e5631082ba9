// zarnet: the screen saver. As an XScreenSaver hack it draws into the window
// XScreenSaver gives it; alone it opens a window (or one per monitor);
// headless it records frames to PNG files. See ZarnetUsage().
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "apps/zarnet_drivers.h"
#include "apps/zarnet_options.h"

namespace {

// The settings program: beside this one first, then on PATH.
int RunSettingsProgram(char* self)
{
    char* argv[] = {const_cast<char*>("zarnet-settings"), nullptr};
    char exe[4096];
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n > 0) {
        exe[n] = '\0';
        std::string sibling(exe);
        sibling = sibling.substr(0, sibling.find_last_of('/') + 1) + "zarnet-settings";
        execv(sibling.c_str(), argv);
    }
    execvp("zarnet-settings", argv);
    std::fprintf(stderr,
                 "%s: the settings program zarnet-settings isn't installed; the settings live in "
                 "$XDG_CONFIG_HOME/zarnet/vmZarnetSS.conf\n",
                 self);
    return 1;
}

}  // namespace

int main(int argc, char** argv)
{
    ZarnetOptions options;
    std::string error;
    if (!ParseZarnetOptions(argc, argv, std::getenv("XSCREENSAVER_WINDOW"), &options, &error)) {
        std::fprintf(stderr, "zarnet: %s (zarnet --help lists the options)\n", error.c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(ZarnetUsage(), stdout);
        return 0;
    }
    if (options.version) {
        std::printf("zarnet %s\n", ZARNET_VERSION);
        return 0;
    }
    if (options.settings)
        return RunSettingsProgram(argv[0]);
    if (!options.recordDir.empty())
        return RunRecord(options);
    return RunOnDisplay(options);
}
