// The configuration sheet of the view: loading the layout "Zarnet.ui",
// filling its controls from memory, and its actions.
#include "host/ZarnetView.h"

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "host/Preferences.h"
#include "platform/preference_store.h"
#include "platform/saver_backend.h"
#include "platform/sheet.h"

namespace {

constexpr const char* kSheetLayoutName = "Zarnet.ui";       // layout file in the resources folder
constexpr const char* kSheetWindowName = "configureSheet";  // the sheet window's id in it
constexpr const char* kFolderPanelTitle = "Select Folder To Load Images From";
// The product's web page. The host is a documentation domain: the saver
// has no site of its own, so the button leads nowhere that could be taken
// for someone else's product.
constexpr const char* kWebPageAddress = "https://zarnet.example.org/mac/zarnet/";
constexpr size_t kFolderPathLimit = sizeof(SETTINGS::BGPath) - 1;  // bytes of a folder path, without the NUL
constexpr int kFolderSource = 2;                                   // BGTYPE of the picture folder

// The folder of `settings` as a string (its buffer is NUL-terminated, but
// never read past its end).
std::string FolderOf(const SETTINGS& settings)
{
    return std::string(settings.BGPath, strnlen(settings.BGPath, sizeof settings.BGPath));
}

// Copies `folder` into a 1024-byte path buffer; at most 1023 bytes and the NUL.
void CopyFolder(const std::string& folder, char (&dest)[1024])
{
    size_t n = strnlen(folder.c_str(), folder.size());
    if (n > kFolderPathLimit)
        n = kFolderPathLimit;
    std::memcpy(dest, folder.data(), n);
    dest[n] = '\0';
}

}  // namespace

SheetWindow* ZarnetView::configureSheet()
{
    if (!configureSheetWindow && backend()) {
        char folder[1024];
        MakeResourcePath(backend()->resourcePath(backend()->desktop), folder);
        const std::string path = std::string(folder) + kSheetLayoutName;
        const std::vector<SheetOutlet> outlets = {
            {"oSave", SheetControlKind::PushButton, &oSave},
            {"oMainMonitorOnly", SheetControlKind::CheckBox, &oMainMonitorOnly},
            {"oBGRes", SheetControlKind::PopUpMenu, &oBGRes},
            {"oBGType", SheetControlKind::PopUpMenu, &oBGType},
            {"oBGPath", SheetControlKind::PushButton, &oBGPath},
            {"oLockInPlace", SheetControlKind::CheckBox, &oLockInPlace},
            {"oPuzzleWidth", SheetControlKind::IntegerField, &oPuzzleWidth},
            {"oPercentage", SheetControlKind::IntegerField, &oPercentage},
        };
        std::vector<SheetAction> actions = {
            {"configureSheet_update", [this](SheetControl* sender) { configureSheet_update(sender); }},
            {"configureSheet_defaults", [this](SheetControl* sender) { configureSheet_defaults(sender); }},
            {"configureSheet_bgpath", [this](SheetControl* sender) { configureSheet_bgpath(sender); }},
            {"configureSheet_save", [this](SheetControl* sender) { configureSheet_save(sender); }},
            {"configureSheet_cancel", [this](SheetControl* sender) { configureSheet_cancel(sender); }},
            {"configureSheet_openwebsite", [this](SheetControl* sender) { configureSheet_openwebsite(sender); }},
        };
        sheetLayout.reset(
            SheetLayoutLoad(path, kSheetWindowName, &configureSheetWindow, outlets, std::move(actions), &openPanel));
    }

    SheetSetState(oMainMonitorOnly, MainMonitorOnly ? 1 : 0);
    SheetSetIntValue(oPuzzleWidth, mySettings.PUZZLEWIDTH);
    SheetSetIntValue(oPercentage, mySettings.PERCENTAGE);
    SheetSetState(oLockInPlace, mySettings.LOCKINPLACE ? 1 : 0);
    SheetSelectItemAtIndex(oBGRes, mySettings.BGRES);
    SheetSelectItemAtIndex(oBGType, mySettings.BGTYPE);
    SheetSetTitle(oBGPath, FolderOf(mySettings).c_str());

    configureSheet_updatestates();
    return configureSheetWindow;
}

void ZarnetView::configureSheet_updatestates()
{
    SheetSetEnabled(oBGPath, SheetIndexOfSelectedItem(oBGType) == kFolderSource);
}

void ZarnetView::configureSheet_update(SheetControl*)
{
    configureSheet_updatestates();
}

void ZarnetView::configureSheet_defaults(SheetControl*)
{
    SheetSetState(oMainMonitorOnly, kFirstRunMainMonitorOnly ? 1 : 0);
    SheetSetIntValue(oPuzzleWidth, kFirstRunPuzzleWidth);
    SheetSetIntValue(oPercentage, kFirstRunPercentage);
    SheetSetState(oLockInPlace, kFirstRunLockInPlace ? 1 : 0);
    SheetSelectItemAtIndex(oBGRes, kFirstRunBGRes);
    SheetSelectItemAtIndex(oBGType, kFirstRunBGType);
    // The folder is the user's own choice: Defaults keeps it.
    SheetSetTitle(oBGPath, FolderOf(mySettings).c_str());
    configureSheet_updatestates();
}

void ZarnetView::configureSheet_bgpath(SheetControl*)
{
    SheetFolderRequest request;
    request.title = kFolderPanelTitle;
    request.directory = FolderOf(mySettings);
    request.fileTypes = {"jpg", "gif", "png", "JPG", "GIF", "PNG"};
    request.canChooseFiles = false;
    request.canChooseDirectories = true;
    request.allowsMultipleSelection = false;

    std::string folder;
    if (!SheetRunOpenPanel(openPanel, configureSheetWindow, request, &folder))
        return;
    // The record holds at most 1023 bytes; a cut path would name another
    // folder, so a longer one is refused.
    if (folder.size() > kFolderPathLimit) {
        const std::string text = "The path of the folder \"" + folder.substr(0, 200) +
                                 "…\" is longer than 1023 bytes, which Zarnet can't keep. "
                                 "Please choose a folder with a shorter path.";
        showAlert("Folder Path Too Long", text.c_str());
        return;
    }
    CopyFolder(folder, mySettings.BGPath);
    SheetSetTitle(oBGPath, mySettings.BGPath);
}

void ZarnetView::configureSheet_save(SheetControl*)
{
    PreferenceStore store(kPrefsModule, backend() ? backend()->preferenceFolder(backend()->desktop) : nullptr);

    MainMonitorOnly = SheetState(oMainMonitorOnly) == 1;
    mySettings.PUZZLEWIDTH = SheetIntValue(oPuzzleWidth);
    mySettings.PERCENTAGE = SheetIntValue(oPercentage);
    mySettings.LOCKINPLACE = SheetState(oLockInPlace) == 1;
    // A pop-up without a selection (a stored value it has no item for)
    // leaves the value as it was rather than saving -1.
    const int type = SheetIndexOfSelectedItem(oBGType);
    if (type >= 0)
        mySettings.BGTYPE = type;
    const int resolution = SheetIndexOfSelectedItem(oBGRes);
    if (resolution >= 0)
        mySettings.BGRES = resolution;

    // The folder is stored from the button's title; memory already holds
    // the chosen folder.
    SETTINGS stored = mySettings;
    CopyFolder(SheetTitle(oBGPath), stored.BGPath);
    if (!WriteSettings(store, stored, MainMonitorOnly)) {
        // The settings stay in memory and the sheet stays open, so the user
        // can save again or cancel.
        const std::string text = "The settings could not be written to \"" + store.FilePath() +
                                 "\". Zarnet keeps them for now; make sure that folder can be "
                                 "written to and press Save again.";
        showAlert("Settings Not Saved", text.c_str());
        return;
    }
    SheetEndSheet(configureSheetWindow, kSheetSaved);
}

void ZarnetView::configureSheet_cancel(SheetControl*)
{
    SheetEndSheet(configureSheetWindow, kSheetCancelled);
}

void ZarnetView::configureSheet_openwebsite(SheetControl*)
{
    // Whether a browser came up is not looked at.
    (void)SheetOpenURL(kWebPageAddress);
}
