#pragma once
#include "host/SETTINGS.h"

class PreferenceStore;

// The module's preference store and its keys, with their first-run values.
constexpr const char* kPrefsModule = "vmZarnetSS";          // store (module) name
constexpr const char* kPrefsVersion = "1.0.1";              // "version" of the stored keys
constexpr bool kFirstRunMainMonitorOnly = false;            // "MainMonitorOnly"
constexpr bool kFirstRunLockInPlace = true;                 // "LockInPlace"
constexpr int kFirstRunPuzzleWidth = 25;                    // "PuzzleWidth": pieces
constexpr int kFirstRunPercentage = 75;                     // "Percentage": percent
constexpr int kFirstRunBGType = 0;                          // "BGType": desktop grab
constexpr const char* kFirstRunBGPath = "/usr/share/backgrounds/";  // "BGPath": the system's wallpaper folder
constexpr int kFirstRunBGRes = 1;                           // "BGRes": 1024 per side

// Reads the settings from `store` into `*settings` and `*mainMonitorOnly`,
// as the view does once when it is created. Keys that are missing leave 0,
// false (and `BGPath` as it was). When the stored "version" is missing or
// differs, every key is rewritten with its first-run value, the store is
// synchronized, and the same values are used. A `BGTYPE` outside 0..2
// (negative ones included) is used as 0; the store keeps what it holds.
// A stored "BGPath" longer than 1023 bytes is cut to 1023.
// Returns false only when first-run values had to be written and the store
// could not be saved; the in-memory values are set all the same.
bool ReadSettings(PreferenceStore& store, SETTINGS* settings, bool* mainMonitorOnly);

// Stores the configuration sheet's keys from `settings` and `mainMonitorOnly`
// in the order the sheet saves them ("MainMonitorOnly", "PuzzleWidth",
// "Percentage", "LockInPlace", "BGType", "BGRes", "BGPath"; "version" is not
// touched), then synchronizes. False when the store could not be saved.
bool WriteSettings(PreferenceStore& store, const SETTINGS& settings, bool mainMonitorOnly);
