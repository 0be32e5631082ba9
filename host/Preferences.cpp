#include "host/Preferences.h"
#include "platform/preference_store.h"

#include <cstdint>
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

void CopyPath(char (&dest)[1024], const char* src)
{
    size_t n = std::strlen(src);
    if (n > sizeof dest - 1)
        n = sizeof dest - 1;
    std::memcpy(dest, src, n);
    dest[n] = '\0';
}

}  // namespace

bool ReadSettings(PreferenceStore& store, SETTINGS* settings, bool* mainMonitorOnly)
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
        CopyPath(settings->BGPath, path.c_str());
    settings->BGRES = ToInt32(store.integerForKey("BGRes"));

    bool saved = true;
    if (!haveVersion || version != kPrefsVersion) {
        store.setObject(kPrefsVersion, "version");
        store.setBool(kFirstRunMainMonitorOnly, "MainMonitorOnly");
        store.setInteger(kFirstRunPuzzleWidth, "PuzzleWidth");
        store.setInteger(kFirstRunPercentage, "Percentage");
        store.setBool(kFirstRunLockInPlace, "LockInPlace");
        store.setInteger(kFirstRunBGType, "BGType");
        store.setObject(kFirstRunBGPath, "BGPath");
        store.setInteger(kFirstRunBGRes, "BGRes");
        saved = store.synchronize();

        *mainMonitorOnly = kFirstRunMainMonitorOnly;
        settings->LOCKINPLACE = kFirstRunLockInPlace;
        settings->PUZZLEWIDTH = kFirstRunPuzzleWidth;
        settings->PERCENTAGE = kFirstRunPercentage;
        settings->BGTYPE = kFirstRunBGType;
        CopyPath(settings->BGPath, kFirstRunBGPath);
        settings->BGRES = kFirstRunBGRes;
    }

    if (static_cast<unsigned>(settings->BGTYPE) > 2)
        settings->BGTYPE = 0;
    return saved;
}

bool WriteSettings(PreferenceStore& store, const SETTINGS& settings, bool mainMonitorOnly)
{
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
