#pragma once

// An alert for a program with a desktop window: a modal message dialog titled `caption` showing
// `text`, with one "OK" button; returns after the user pressed it. GTK must
// be initialised. `parentWindow` is a GtkWindow* or null.
void GtkShowAlert(void* parentWindow, const char* caption, const char* text);
