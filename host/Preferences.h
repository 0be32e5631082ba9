#pragma once
#include <string>

#include "puzzle/SETTINGS.h"

class PreferenceStore;

// The module's preference store and its keys, with their first-run values.
constexpr const char* kPrefsModule = "vmZarnetSS";  // store (module) name
constexpr const char* kPrefsVersion = "1.0.1";      // "version" of the stored keys
constexpr bool kFirstRunMainMonitorOnly = false;    // "MainMonitorOnly"
constexpr bool kFirstRunLockInPlace = true;         // "LockInPlace"
constexpr int kFirstRunPuzzleWidth = 25;            // "PuzzleWidth": pieces
constexpr int kFirstRunPercentage = 75;             // "Percentage": percent
constexpr int kFirstRunBGType = 0;                  // "BGType": desktop grab
constexpr const char* kFirstRunBGPath =
    "/usr/share/backgrounds/";     // "BGPath" when the user has no pictures folder: the system's wallpaper folder
constexpr int kFirstRunBGRes = 1;  // "BGRes": 1024 per side

// What the saver can animate, as the configuration sheet offers it; stored
// numbers outside are pinned to these ends when read.
constexpr int kSheetMinPuzzleWidth = 2;    // pieces
constexpr int kSheetMaxPuzzleWidth = 100;  // pieces
constexpr int kSheetMinPercentage = 0;     // percent
constexpr int kSheetMaxPercentage = 100;   // percent

// The picture folder for a first run: `userPictures` (the desktop's pictures
// folder) when it is an existing folder, else "<home>/Pictures" when that
// is one, else kFirstRunBGPath; always ending in "/". Empty arguments are
// skipped.
std::string FirstRunPictureFolder(const std::string& userPictures, const std::string& home);

// Reads the settings from `store` into `*settings` and `*mainMonitorOnly`,
// as the view does once when it is created. Keys that are missing leave 0,
// false (and `BGPath` as it was). When the stored "version" is missing or
// differs, every key is rewritten with its first-run value ("BGPath":
// `firstRunFolder`), the store is synchronized, and the same values are
// used. Stored values the saver can't use are replaced in memory only (the
// store keeps what it holds): a `BGTYPE` outside 0..2 (negative ones
// included) by 0, a `BGRES` outside 0..2 by 1, `PUZZLEWIDTH` and
// `PERCENTAGE` are pinned to the sheet's ranges, and a "BGPath" of 1024
// bytes or more (no folder the loader could join a name to) gives way to
// `firstRunFolder`.
// A store file that was there but couldn't be used (PreferenceStore::Damage)
// is reported on stderr with what became of it.
// Returns false only when first-run values had to be written and the store
// could not be saved; the in-memory values are set all the same.
bool ReadSettings(PreferenceStore& store, SETTINGS* settings, bool* mainMonitorOnly,
                  const char* firstRunFolder = kFirstRunBGPath);

// Stores the configuration sheet's keys from `settings` and `mainMonitorOnly`
// in the order the sheet saves them ("MainMonitorOnly", "PuzzleWidth",
// "Percentage", "LockInPlace", "BGType", "BGRes", "BGPath"; "version" is not
// touched, but given the current one when the store has none), then
// synchronizes. False when the store could not be saved.
bool WriteSettings(PreferenceStore& store, const SETTINGS& settings, bool mainMonitorOnly);
