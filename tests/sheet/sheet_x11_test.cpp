// The options sheet on a private Xvfb server (one per test program: GTK
// keeps its display for the life of the process): the settings program as a
// user meets it, then the sheet loaded from the real "Zarnet.ui" and driven
// through its GTK widgets.
#include "host/Preferences.h"
#include "host/ZarnetView.h"
#include "platform/gtk_sheet.h"
#include "platform/headless_backend.h"
#include "platform/preference_store.h"

#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "tests/apps/x11_shots.h"  // last: it brings in Xlib

namespace {

XvfbServer gServer;

class SheetDisplay : public ::testing::Environment {
public:
    void SetUp() override
    {
        ASSERT_TRUE(gServer.Start(1024, 768, 24)) << gServer.Error();
        setenv("DISPLAY", gServer.DisplayName().c_str(), 1);
        setenv("GSETTINGS_BACKEND", "memory", 1);  // the file chooser's state
        ASSERT_TRUE(gtk_init_check(nullptr, nullptr));
        g_object_set(gtk_settings_get_default(), "gtk-enable-animations", FALSE, nullptr);
    }
    void TearDown() override { gServer.Stop(); }
};

const ::testing::Environment* const kDisplay = ::testing::AddGlobalTestEnvironment(new SheetDisplay);

bool WaitUntil(const std::function<bool()>& done)
{
    for (int i = 0; i < 1500; ++i, usleep(20000))  // 30 s: llvmpipe on a busy machine
        if (done())
            return true;
    return false;
}

// The deepest viewable window under `w` (or `w` itself) named `title`, or of
// width x height when `title` is null; 0 when none.
Window Find(Display* d, Window w, const char* title, int width = 0, int height = 0)
{
    XWindowAttributes a;
    if (!XGetWindowAttributes(d, w, &a) || a.map_state != IsViewable)
        return 0;
    Window root, parent, *children = nullptr, found = 0;
    unsigned count = 0;
    if (XQueryTree(d, w, &root, &parent, &children, &count) && children) {
        for (unsigned i = count; i-- > 0 && !found;)
            found = Find(d, children[i], title, width, height);
        XFree(children);
    }
    char* name = nullptr;
    const bool match = title ? XFetchName(d, w, &name) && name && std::strcmp(name, title) == 0
                             : a.width == width && a.height == height;
    XFree(name);
    return found ? found : match ? w : 0;
}

// Share of the pixels of window `w`, as the screen shows it, with a channel above `level`.
double Share(Display* d, Window w, int level)
{
    const ScreenRect area = x11shots::WindowRect(d, w);
    return IsEmptyRect(area) ? 0.0 : x11shots::Shot(d, area).LitFraction(level);
}

TEST(SettingsApp, PreviewsOpensTheSheetSavesAndRebuildsThePreview)
{
    std::unique_ptr<Display, int (*)(Display*)> display(XOpenDisplay(nullptr), XCloseDisplay);
    Display* d = display.get();
    ASSERT_TRUE(d);
    ScratchDir home;
    ChildProcess app;
    ASSERT_TRUE(app.Start({BuildProgramPath("zarnet-settings")},
                          EnvironmentWith({"XDG_CONFIG_HOME=" + home.Path(), "GTK_THEME=Adwaita", "NO_AT_BRIDGE=1"})));
    const Window root = DefaultRootWindow(d);
    Window top = 0, preview = 0, sheet = 0;
    auto findPreview = [&] { return preview = Find(d, top, nullptr, 640, 400); };
    ASSERT_TRUE(WaitUntil([&] { return (top = Find(d, root, "Zarnet Screen Saver")) != 0; }));
    ASSERT_TRUE(WaitUntil(findPreview));
    EXPECT_TRUE(WaitUntil([&] { return Share(d, preview, 24) > 0.5; })) << "the preview draws the board";

    // No window manager: the test hands out the focus. Options... has it in
    // the window: Enter opens the sheet over the window.
    ASSERT_EQ(gServer.Run({"xdotool", "windowfocus", "--sync", std::to_string(top), "key", "Return"}), 0);
    ASSERT_TRUE(WaitUntil([&] { return (sheet = Find(d, root, "Zarnet Options")) != 0; }));
    EXPECT_TRUE(WaitUntil([&] { return Share(d, sheet, 225) > 0.5; })) << "the sheet is painted";

    // The pieces field has the focus: a number typed and confirmed with Enter
    // is saved (Save is the default button) and the sheet closes.
    ASSERT_EQ(gServer.Run({"xdotool", "windowfocus", "--sync", std::to_string(sheet), "key", "--delay", "20", "ctrl+a",
                           "1", "2", "Return"}),
              0);
    std::string store;
    EXPECT_TRUE(WaitUntil([&] {
        return ReadWholeFile(home.Join("zarnet/vmZarnetSS.conf"), &store) &&
               store.find("PuzzleWidth=12\n") != std::string::npos;
    })) << store;
    EXPECT_TRUE(WaitUntil([&] { return !Find(d, root, "Zarnet Options"); }));
    // The preview is made anew and draws again.
    EXPECT_TRUE(WaitUntil([&] { return findPreview() && Share(d, preview, 24) > 0.5; }));
}

// One view with its store in a scratch folder; alerts are recorded.
class SheetTest : public ::testing::Test {
public:
    void SetUp() override
    {
        desktop.preferenceFolder = configDir;
        desktop.resourcePath = ZARNET_BUILD_RESOURCES;
        view = std::make_unique<ZarnetView>(&backend, &window);
        view->setAlertRoute(
            [this](const char* caption, const char* text) { alerts.push_back(std::string(caption) + "|" + text); });
    }
    SheetWindow* Open(const SETTINGS& memory, bool mainMonitorOnly = false)
    {
        view->mySettings = memory;
        view->MainMonitorOnly = mainMonitorOnly;
        SheetWindow* sheet = view->configureSheet();
        if (sheet)
            gtk_widget_show(GTK_WIDGET(SheetWindowWidget(sheet)));
        return sheet;
    }
    void Click(const char* id)
    {
        GObject* object = G_OBJECT(SheetLayoutObject(view->sheetLayout.get(), id));
        ASSERT_TRUE(object && GTK_IS_BUTTON(object)) << id;
        gtk_button_clicked(GTK_BUTTON(object));
    }
    GtkWidget* Widget(SheetControl* control) { return GTK_WIDGET(SheetControlWidget(control)); }
    // What the controls show: main monitor, pieces, share, lock, resolution, source.
    std::vector<int> Shown()
    {
        return {SheetState(view->oMainMonitorOnly),     SheetIntValue(view->oPuzzleWidth),
                SheetIntValue(view->oPercentage),       SheetState(view->oLockInPlace),
                SheetIndexOfSelectedItem(view->oBGRes), SheetIndexOfSelectedItem(view->oBGType)};
    }
    // What memory holds, in the same order.
    std::vector<int> Memory()
    {
        const SETTINGS& m = view->mySettings;
        return {view->MainMonitorOnly, m.PUZZLEWIDTH, m.PERCENTAGE, m.LOCKINPLACE, m.BGRES, m.BGTYPE};
    }
    std::string Stored()
    {
        std::string text;
        ReadWholeFile(configDir + "/vmZarnetSS.conf", &text);
        return text;
    }

    ScratchDir scratch;
    std::string configDir = scratch.Join("config");
    HeadlessDesktop desktop;
    const SaverBackend backend = ConnectHeadless(&desktop);
    const SaverWindow window{0, false, 0, {64, 48}};
    std::unique_ptr<ZarnetView> view;
    std::vector<std::string> alerts;
};

TEST_F(SheetTest, FolderButtonFollowsTheSourceAndTheChosenFolderReachesMemoryAtOnceTheStoreOnlyOnSave)
{
    const std::string store = Stored(), tooLong = "/" + std::string(1023, 'd'), longest = tooLong.substr(0, 1023);
    SheetWindow* sheet = Open(SETTINGS{2, 1, "/srv/pictures/holiday/", 10, 60, false, 0, 0}, true);
    ASSERT_NE(sheet, nullptr);
    const std::vector<int> memory = {1, 60, 10, 0, 2, 1};
    EXPECT_EQ(Shown(), memory);
    EXPECT_EQ(SheetTitle(view->oBGPath), "/srv/pictures/holiday/");
    for (int source : {1, 2, 0, 2}) {
        gtk_combo_box_set_active(GTK_COMBO_BOX(Widget(view->oBGType)), source);
        EXPECT_EQ(SheetIsEnabled(view->oBGPath), source == 2) << "pop-up at " << source;
    }
    std::vector<SheetFolderRequest> requests;
    for (const std::string& answer : {tooLong, longest}) {
        SheetSetFolderChooser(view->openPanel, [&requests, answer](const SheetFolderRequest& r, std::string* folder) {
            requests.push_back(r);
            *folder = answer;
            return true;
        });
        Click("oBGPath");
    }
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].directory, "/srv/pictures/holiday/");
    ASSERT_EQ(alerts.size(), 1u) << "a path of more than 1023 bytes is refused";
    EXPECT_EQ(alerts[0].rfind("Folder Path Too Long|", 0), 0u) << alerts[0];
    EXPECT_EQ(SheetTitle(view->oBGPath), longest);
    // Defaults: the controls only, and the folder stays.
    Click("bDefaults");
    EXPECT_EQ(Shown(), (std::vector<int>{0, 25, 75, 1, 1, 0}));
    EXPECT_EQ(SheetTitle(view->oBGPath), longest);
    EXPECT_FALSE(SheetIsEnabled(view->oBGPath));
    EXPECT_EQ(Memory(), memory);
    EXPECT_EQ(std::string(view->mySettings.BGPath), longest);

    Click("bCancel");
    EXPECT_FALSE(SheetIsVisible(sheet));
    EXPECT_EQ(Stored(), store);
    EXPECT_EQ(std::string(view->mySettings.BGPath), longest) << "Cancel doesn't undo the choice";
}

TEST_F(SheetTest, SaveWritesTheSheetKeysInOrderNeverTheVersionAndTheFolderButtonTitle)
{
    std::filesystem::create_directories(configDir);
    ASSERT_TRUE(WriteWholeFile(configDir + "/vmZarnetSS.conf", "[vmZarnetSS]\nversion=0.9\n"));
    SheetWindow* sheet = Open(SETTINGS{1, 0, "/srv/pictures/", 75, 25, true, 0, 0});
    ASSERT_NE(sheet, nullptr);
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(Widget(view->oMainMonitorOnly)), TRUE);
    gtk_entry_set_text(GTK_ENTRY(Widget(view->oPuzzleWidth)), "12");  // typed, Enter not pressed
    gtk_entry_set_text(GTK_ENTRY(Widget(view->oPercentage)), "400");
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(Widget(view->oLockInPlace)), FALSE);
    gtk_combo_box_set_active(GTK_COMBO_BOX(Widget(view->oBGRes)), 2);
    gtk_combo_box_set_active(GTK_COMBO_BOX(Widget(view->oBGType)), 1);
    // Whatever the source, the folder button's title is stored; memory keeps its folder.
    SheetSetTitle(view->oBGPath, "/srv/title-only");
    Click("oSave");
    EXPECT_FALSE(SheetIsVisible(sheet));
    EXPECT_EQ(Stored(), "[vmZarnetSS]\nversion=0.9\nMainMonitorOnly=true\nPuzzleWidth=12\nPercentage=100\n"
                        "LockInPlace=false\nBGType=1\nBGRes=2\nBGPath=/srv/title-only\n");
    EXPECT_EQ(Memory(), (std::vector<int>{1, 12, 100, 0, 2, 1}));
    EXPECT_STREQ(view->mySettings.BGPath, "/srv/pictures/");
    EXPECT_TRUE(alerts.empty());
}

TEST_F(SheetTest, MissingOrBrokenLayoutGivesNoSheet)
{
    std::string real;
    ASSERT_TRUE(ReadWholeFile(ZARNET_BUILD_RESOURCES "Zarnet.ui", &real));
    const size_t at = real.find("id=\"oBGPath\"");
    ASSERT_NE(at, std::string::npos);
    const std::string noFolderButton = real.substr(0, at) + "id=\"gone\"" + real.substr(at + 12);
    for (const char* text :
         {static_cast<const char*>(nullptr), "\x89PNG\r\n\x1a\n no layout", noFolderButton.c_str()}) {
        ScratchDir dir;  // no "Zarnet.ui" when `text` is null
        ASSERT_TRUE(!text || WriteWholeFile(dir.Join("Zarnet.ui"), text));
        desktop.resourcePath = dir.Path();
        view = std::make_unique<ZarnetView>(&backend, &window);
        EXPECT_EQ(view->configureSheet(), nullptr) << (text ? text : "missing");
    }
}

TEST_F(SheetTest, FailedSaveIsReportedAndKeepsTheSettingsAndTheSheet)
{
    // The store's folder can't be made: a file stands in the way (a read-only
    // folder would not stop root).
    const std::string dir = scratch.Join("file/zarnet");
    ASSERT_TRUE(WriteWholeFile(scratch.Join("file"), "x"));
    desktop.preferenceFolder = dir;
    SheetWindow* sheet = Open(SETTINGS{1, 0, "/srv/", 75, 25, true, 0, 0});
    ASSERT_NE(sheet, nullptr);
    gtk_spin_button_set_value(GTK_SPIN_BUTTON(Widget(view->oPuzzleWidth)), 33);
    gtk_combo_box_set_active(GTK_COMBO_BOX(Widget(view->oBGType)), 1);
    Click("oSave");
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0].rfind("Settings Not Saved|", 0), 0u) << alerts[0];
    EXPECT_NE(alerts[0].find(dir + "/vmZarnetSS.conf"), std::string::npos) << alerts[0];
    EXPECT_EQ(Memory(), (std::vector<int>{0, 33, 75, 1, 1, 1})) << "memory has the sheet's values";
    EXPECT_TRUE(SheetIsVisible(sheet)) << "the sheet stays open to save again or cancel";
}

}  // namespace
