#pragma once
#include <cstdint>
#include <string>
#include <vector>

// The per-module preference store: a small typed key-value store that
// persists the user's settings of one module between runs.
//
// On Linux it is a key file "<directory>/<module>.conf" with one group named
// after the module. The directory is "$XDG_CONFIG_HOME/zarnet" (or
// "~/.config/zarnet" when XDG_CONFIG_HOME is unset or not absolute), unless
// the constructor is given another one.
//
// The file is read once, when the store is opened. Setters change the store
// in memory at once (getters see the new values); only synchronize() writes
// the file. A missing, damaged or unreadable file opens as an empty store, so
// the first synchronize() replaces it with whatever was set since; a damaged
// or unreadable file (not a key file, too large, not readable) is first moved
// to "<file>.damaged", replacing an earlier one there.
// One thread only.
class PreferenceStore {
public:
    // Opens the store of `moduleName` ("vmZarnetSS") in `directory`, or in
    // the user's configuration directory when `directory` is null.
    explicit PreferenceStore(const char* moduleName, const char* directory = nullptr);
    ~PreferenceStore();
    PreferenceStore(const PreferenceStore&) = delete;
    PreferenceStore& operator=(const PreferenceStore&) = delete;

    // The string stored under `key` into `*value`; false (and `*value`
    // untouched) when the key is missing.
    bool stringForKey(const char* key, std::string* value) const;
    // The boolean under `key`; false when missing or not a boolean.
    bool boolForKey(const char* key) const;
    // The integer under `key`; 0 when missing or not an integer.
    int64_t integerForKey(const char* key) const;
    // True when the store holds `key` at all.
    bool hasKey(const char* key) const;
    // Every key the store holds, in file order.
    std::vector<std::string> allKeys() const;

    void setObject(const char* value, const char* key);  // stores a string
    void setBool(bool value, const char* key);
    void setInteger(int64_t value, const char* key);

    // Writes the store to its file now, atomically (a temporary file in the
    // same directory renamed over the old one), creating the directory when
    // needed. False when the directory can't be made or the file can't be
    // written; the old file is then left as it was.
    bool synchronize();

    // The file the store reads and writes.
    const std::string& FilePath() const;
    // Why the file found there when the store was opened couldn't be used,
    // as words following its name ("is not a settings file", "is
    // larger than 1 MiB", "is not a file", "can't be read"); empty when it
    // was read or there was none.
    const std::string& Damage() const;
    // Where synchronize() moved that file; empty until it did.
    const std::string& DamagedFileKeptAs() const;

private:
    struct State;
    State* state_;  // the parsed key file and its paths; owned
};
