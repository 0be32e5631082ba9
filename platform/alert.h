#pragma once
#include <functional>

// Where the few messages meant for the user go (the TGA reader's errors).
// One process-wide choice, made by the program at start-up or by a test:
//  - stderr (the default): "zarnet: <caption>: <text>" on one line. Under a
//    screen-saver host a modal window would hang the saver; XScreenSaver
//    shows a hack's stderr on screen instead.
//  - a modal GTK message dialog with one "OK" button, for a program that
//    owns a desktop window (the settings app); it must have initialised GTK.
//  - a recorder, for tests.
// Main thread only, like everything that shows an alert.

// Receives the caption and the text of each alert; both are valid only
// during the call.
using AlertRecorder = std::function<void(const char* caption, const char* text)>;

// Alerts go to stderr (the default).
void AlertUseStderr();
// Alerts open a modal GTK dialog, transient for `parentWindow` (a GtkWindow*,
// or null for none), and return when the user presses "OK".
void AlertUseDialog(void* parentWindow);
// Alerts go to `recorder`; an empty recorder means stderr again.
void AlertSetRecorder(AlertRecorder recorder);

// Shows `text` under `caption` where the current choice says; returns once
// it has been shown (for the dialog: after "OK"). Null strings show as "".
void ShowAlert(const char* caption, const char* text);
