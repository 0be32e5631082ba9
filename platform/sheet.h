#pragma once
#include <functional>
#include <string>
#include <vector>

// The configuration sheet as the view sees it: a window made from a layout
// file, its controls, the folder chooser and the web-page launcher. Plain
// C++ on opaque objects; the GTK side is platform/gtk_sheet.cpp.
//
// Every operation on a control takes a null control as a control that
// isn't there: setters do nothing, getters answer 0, false or "" (so a view
// whose layout didn't load just fills nothing). Main thread only.

class SheetLayout;     // a loaded layout: owns its window, controls and folder chooser
class SheetWindow;     // the sheet's window
class SheetControl;    // one control: check box, number field, pop-up menu or button
class SheetOpenPanel;  // the folder chooser

// What an outlet of the layout must be.
enum class SheetControlKind {
    CheckBox,      // on/off state (GtkCheckButton)
    IntegerField,  // integer value within the layout's range (GtkSpinButton)
    PopUpMenu,     // selected item index (GtkComboBox)
    PushButton,    // title, enabled state (GtkButton)
};

// An object of the layout that the owner keeps a pointer to.
struct SheetOutlet {
    const char* name;       // the object's id in the layout
    SheetControlKind kind;  // what it has to be
    SheetControl** slot;    // receives the control once the whole layout has loaded
};

// An action of the owner, bound to every signal of the layout whose handler
// carries its name.
struct SheetAction {
    const char* handler;                                // handler name in the layout
    std::function<void(SheetControl* sender)> perform;  // the owner's operation; sender = the emitting object
};

// Return codes of a sheet's end.
constexpr int kSheetCancelled = 0;  // closed without saving
constexpr int kSheetSaved = 1;      // closed after a successful save

// Loads the layout file at `path`: the window `windowName`, every outlet
// (each must exist and be of its kind) and every signal handler (each must
// name one of `actions`); makes a folder chooser for `*openPanel`. On
// success the slots are filled and the returned layout owns all of it
// (release it with SheetLayoutRelease). Null, with every slot untouched,
// when there is no display, the file can't be read or parsed, an object is
// missing or of the wrong kind, or a handler is unknown.
SheetLayout* SheetLayoutLoad(const std::string& path, const char* windowName, SheetWindow** window,
                             const std::vector<SheetOutlet>& outlets, std::vector<SheetAction> actions,
                             SheetOpenPanel** openPanel);

// Destroys a layout's window and objects; a null layout is ignored. The
// owner's pointers into it are dangling afterwards.
struct SheetLayoutRelease {
    void operator()(SheetLayout* layout) const;
};

// Check boxes: on = 1, off = 0.
void SheetSetState(SheetControl* control, int state);
int SheetState(SheetControl* control);
// Integer fields. The value is kept within the field's range; reading takes
// what the user typed but hasn't confirmed yet.
void SheetSetIntValue(SheetControl* control, int value);
int SheetIntValue(SheetControl* control);
// Pop-up menus: the selected item by index; -1 when none is selected (also
// after selecting an index the menu doesn't have).
void SheetSelectItemAtIndex(SheetControl* control, int index);
int SheetIndexOfSelectedItem(SheetControl* control);
// Buttons: the title (shown shortened in the middle when long; read back
// whole).
void SheetSetTitle(SheetControl* control, const char* title);
std::string SheetTitle(SheetControl* control);
// Any control: whether the user can use it.
void SheetSetEnabled(SheetControl* control, bool enabled);
bool SheetIsEnabled(SheetControl* control);

// Ends the sheet: hides its window and hands `returnCode` to whoever runs it
// (kSheetSaved, kSheetCancelled).
void SheetEndSheet(SheetWindow* window, int returnCode);
// Whether the sheet's window is shown.
bool SheetIsVisible(SheetWindow* window);

// What the folder chooser is asked for.
struct SheetFolderRequest {
    std::string title;                   // the chooser's title
    std::string directory;               // folder it starts in
    std::vector<std::string> fileTypes;  // extensions of the files it shows (without the dot)
    bool canChooseFiles = false;         // files can be chosen
    bool canChooseDirectories = true;    // folders can be chosen
    bool allowsMultipleSelection = false;
};

// Runs the chooser as a modal dialog over `sheet` (may be null). True, with
// the chosen folder's local path in `*folder`, when the user confirmed one;
// false, `*folder` untouched, for any other answer.
bool SheetRunOpenPanel(SheetOpenPanel* panel, SheetWindow* sheet, const SheetFolderRequest& request,
                       std::string* folder);

// Stands in for the dialog: `chooser` answers every later SheetRunOpenPanel
// of `panel` instead (an empty function brings the dialog back). For tests.
using SheetFolderChooser = std::function<bool(const SheetFolderRequest& request, std::string* folder)>;
void SheetSetFolderChooser(SheetOpenPanel* panel, SheetFolderChooser chooser);

// Opens `url` in the user's browser: "xdg-open URL" started without a
// shell; the child is reaped by the main loop. False when it couldn't be
// started (nobody is told: the caller ignores it).
bool SheetOpenURL(const char* url);
