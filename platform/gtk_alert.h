#pragma once

// The GTK half of alert.h: a modal message dialog titled `caption` showing
// `text`, with one "OK" button; returns after the user pressed it. GTK must
// be initialised. `parentWindow` is a GtkWindow* or null.
void GtkShowAlert(void* parentWindow, const char* caption, const char* text);
