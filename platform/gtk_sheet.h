#pragma once
#include "platform/sheet.h"

// The GTK half of sheet.h, for the settings program and the tests: running
// a sheet attached to a window, and the GTK objects behind the opaque ones
// (as GObject pointers in void*, so callers choose whether to include GTK).

// Shows `window` as a modal sheet over `parentWindow` (a GtkWindow*, may be
// null) and runs the main loop until the sheet ends (SheetEndSheet, or the
// window's close button, which counts as cancelling). The preview and other
// sources keep running meanwhile. Returns the code the sheet ended with;
// kSheetCancelled for a null window.
int SheetRunModal(SheetWindow* window, void* parentWindow);
// Whether a SheetRunModal of `window` is running now.
bool SheetIsRunning(SheetWindow* window);

// The GtkWindow* of a sheet; null for null.
void* SheetWindowWidget(SheetWindow* window);
// The GtkWidget* of a control; null for null.
void* SheetControlWidget(SheetControl* control);
// The GObject* with id `name` in a loaded layout (also objects that are no
// outlet, such as the Defaults button); null when there is none. Valid
// while the layout lives.
void* SheetLayoutObject(SheetLayout* layout, const char* name);
