#include "host/Preferences.h"
#include "platform/preference_store.h"

#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

// Integers are stored 64-bit wide; the record's fields are 32-bit. Values
// beyond that range are pinned to its ends rather than wrapped.
int32_t ToInt32(int64_t v)
{
    if (v > INT32_MAX)
        return INT32_MAX;
    if (v < INT32_MIN)
        return INT32_MIN;
    return static_cast<int32_t>(v);
}

int32_t Pin(int32_t v, int32_t low, int32_t high)
{
    return v < low ? low : (v > high ? high : v);
}

bool IsFolder(const std::string& path)
{
    struct stat st;
    return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

void CopyPath(char (&dest)[1024], const char* src)
{
    size_t n = std::strlen(src);
    if (n > sizeof dest - 1)
        n = sizeof dest - 1;
    std::memcpy(dest, src, n);
    dest[n] = '\0';
}

}  // namespace

std::string FirstRunPictureFolder(const std::string& userPictures, const std::string& home)
{
    std::string folder = kFirstRunBGPath;
    if (IsFolder(userPictures))
        folder = userPictures;
    else if (!home.empty() && IsFolder(home + "/Pictures"))
        folder = home + "/Pictures";
    if (folder.back() != '/')
        folder += '/';
    return folder;
}

bool ReadSettings(PreferenceStore& store, SETTINGS* settings, bool* mainMonitorOnly, const char* firstRunFolder)
{
    std::string version;
    bool haveVersion = store.stringForKey("version", &version);
    *mainMonitorOnly = store.boolForKey("MainMonitorOnly");
    settings->LOCKINPLACE = store.boolForKey("LockInPlace");
    settings->PUZZLEWIDTH = ToInt32(store.integerForKey("PuzzleWidth"));
    settings->PERCENTAGE = ToInt32(store.integerForKey("Percentage"));
    settings->BGTYPE = ToInt32(store.integerForKey("BGType"));
    std::string path;
    if (store.stringForKey("BGPath", &path))
        CopyPath(settings->BGPath, path.size() < sizeof settings->BGPath ? path.c_str() : firstRunFolder);
    settings->BGRES = ToInt32(store.integerForKey("BGRes"));

    bool saved = true;
    if (!haveVersion || version != kPrefsVersion) {
        store.setObject(kPrefsVersion, "version");
        store.setBool(kFirstRunMainMonitorOnly, "MainMonitorOnly");
        store.setInteger(kFirstRunPuzzleWidth, "PuzzleWidth");
        store.setInteger(kFirstRunPercentage, "Percentage");
        store.setBool(kFirstRunLockInPlace, "LockInPlace");
        store.setInteger(kFirstRunBGType, "BGType");
        store.setObject(firstRunFolder, "BGPath");
        store.setInteger(kFirstRunBGRes, "BGRes");
        saved = store.synchronize();

        *mainMonitorOnly = kFirstRunMainMonitorOnly;
        settings->LOCKINPLACE = kFirstRunLockInPlace;
        settings->PUZZLEWIDTH = kFirstRunPuzzleWidth;
        settings->PERCENTAGE = kFirstRunPercentage;
        settings->BGTYPE = kFirstRunBGType;
        CopyPath(settings->BGPath, firstRunFolder);
        settings->BGRES = kFirstRunBGRes;

        // A file that was there and couldn't be used is the one thing the
        // user should hear about: the settings they had are not the ones
        // used. (Pinned numbers below are silent: the sheet shows them.)
        if (const std::string& damage = store.Damage(); !damage.empty()) {
            const std::string& kept = store.DamagedFileKeptAs();
            const std::string done = !saved         ? "the first-run settings are used but can't be saved"
                                     : kept.empty() ? "the first-run settings are used and saved in its place"
                                                    : "it was moved to " + kept + ", the first-run settings saved";
            std::fprintf(stderr, "zarnet: the settings file %s %s; %s\n", store.FilePath().c_str(), damage.c_str(),
                         done.c_str());
        }
    }

    // The store takes any number; the saver takes what the sheet offers. A
    // width of 1000 would cut a board of over half a million pieces.
    if (static_cast<unsigned>(settings->BGTYPE) > 2)
        settings->BGTYPE = 0;
    if (static_cast<unsigned>(settings->BGRES) > 2)
        settings->BGRES = kFirstRunBGRes;
    settings->PUZZLEWIDTH = Pin(settings->PUZZLEWIDTH, kSheetMinPuzzleWidth, kSheetMaxPuzzleWidth);
    settings->PERCENTAGE = Pin(settings->PERCENTAGE, kSheetMinPercentage, kSheetMaxPercentage);
    return saved;
}

bool WriteSettings(PreferenceStore& store, const SETTINGS& settings, bool mainMonitorOnly)
{
    // A store without a version (its first-run save failed, or it was
    // damaged) gets this one: without it the next start would take the
    // saved keys for another version's and write the first-run values
    // over them.
    if (!store.hasKey("version"))
        store.setObject(kPrefsVersion, "version");
    store.setBool(mainMonitorOnly, "MainMonitorOnly");
    store.setInteger(settings.PUZZLEWIDTH, "PuzzleWidth");
    store.setInteger(settings.PERCENTAGE, "Percentage");
    store.setBool(settings.LOCKINPLACE, "LockInPlace");
    store.setInteger(settings.BGTYPE, "BGType");
    store.setInteger(settings.BGRES, "BGRes");
    // The record's path is NUL-terminated within its 1024 bytes.
    char path[1024];
    std::memcpy(path, settings.BGPath, sizeof path);
    path[sizeof path - 1] = '\0';
    store.setObject(path, "BGPath");
    return store.synchronize();
}
