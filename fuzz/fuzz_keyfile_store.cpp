// libFuzzer harness for the preference store: the input is the settings
// file "vmZarnetSS.conf" in a scratch folder. The store opens it, every key
// it holds and every key the saver reads is read in every way the store
// offers, the store is saved back into the same folder and opened again:
// what the second store reads must equal what the first one read (a save
// must never change a setting, nor lose or invent a key).
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "platform/preference_store.h"

namespace {

constexpr const char* kModule = "vmZarnetSS";
// The keys the saver reads and writes.
const char* const kSettingsKeys[] = {"version",    "MainMonitorOnly", "LockInPlace", "PuzzleWidth",
                                     "Percentage", "BGType",          "BGPath",      "BGRes"};

struct Reading {
    std::vector<std::string> keys;
    // Per key: present, the string (when there is one), bool, integer.
    std::vector<std::string> values;

    bool operator==(const Reading& other) const { return keys == other.keys && values == other.values; }
};

Reading ReadAll(const PreferenceStore& store)
{
    Reading r;
    r.keys = store.allKeys();
    std::vector<std::string> asked = r.keys;
    asked.insert(asked.end(), std::begin(kSettingsKeys), std::end(kSettingsKeys));
    for (const std::string& key : asked) {
        std::string text;
        const bool isString = store.stringForKey(key.c_str(), &text);
        r.values.push_back(std::string(store.hasKey(key.c_str()) ? "present " : "absent ") +
                           (isString ? "string " + text : "no string") +
                           (store.boolForKey(key.c_str()) ? " T " : " F ") +
                           std::to_string(store.integerForKey(key.c_str())));
    }
    return r;
}

std::string folder;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    const char* dir = std::getenv("TMPDIR");
    if (access("/dev/shm", W_OK) == 0) {
        dir = "/dev/shm";
    }
    folder = std::string(dir && *dir ? dir : "/tmp") + "/zarnet-fuzz-keyfile-" + std::to_string(getpid());
    mkdir(folder.c_str(), 0700);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string path = folder + "/" + kModule + ".conf";
    unlink((path + ".damaged").c_str());  // kept aside by a save over a damaged file
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        return 0;
    }
    std::fwrite(data, 1, size, file);
    std::fclose(file);

    Reading before;
    {
        PreferenceStore store(kModule, folder.c_str());
        before = ReadAll(store);
        if (!store.synchronize()) {
            std::fprintf(stderr, "fuzz_keyfile_store: the save into a writable folder failed\n");
            __builtin_trap();
        }
    }
    PreferenceStore again(kModule, folder.c_str());
    if (!(ReadAll(again) == before)) {
        std::fprintf(stderr, "fuzz_keyfile_store: the settings read back differ from those saved\n");
        __builtin_trap();
    }
    return 0;
}
