// The options sheet of the view, loaded from the real "Zarnet.ui" and driven
// through its GTK widgets on a private Xvfb server (one per test program:
// GTK keeps its display for the life of the process).
#include "host/Preferences.h"
#include "host/ZarnetView.h"
#include "platform/alert.h"
#include "platform/gtk_sheet.h"
#include "platform/null_saver_platform.h"
#include "platform/preference_store.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/xvfb_server.h"

#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

// The Xvfb server and GTK for every test of this program.
class SheetDisplay : public ::testing::Environment {
public:
    void SetUp() override
    {
        ASSERT_TRUE(server_.Start(1024, 768, 24)) << server_.Error();
        setenv("DISPLAY", server_.DisplayName().c_str(), 1);
        // The file chooser keeps its state in GSettings: in memory here.
        setenv("GSETTINGS_BACKEND", "memory", 1);
        ASSERT_TRUE(gtk_init_check(nullptr, nullptr));
        g_object_set(gtk_settings_get_default(), "gtk-enable-animations", FALSE, nullptr);
    }
    void TearDown() override { server_.Stop(); }

private:
    XvfbServer server_;
};

const ::testing::Environment* const kDisplay = ::testing::AddGlobalTestEnvironment(new SheetDisplay);

// The folder holding the layout as the build ships it, else the source's.
std::string LayoutFolder()
{
    const std::string built = ZARNET_BUILD_RESOURCES;
    struct stat st;
    if (stat((built + "Zarnet.ui").c_str(), &st) == 0)
        return built;
    return std::string(ZARNET_SOURCE_DIR) + "/resources/";
}

std::string RealLayout()
{
    std::string text;
    EXPECT_TRUE(ReadWholeFile(LayoutFolder() + "Zarnet.ui", &text));
    return text;
}

SETTINGS Settings(int bgRes, int bgType, const char* folder, int percentage, int puzzleWidth, bool lock)
{
    SETTINGS s{};
    s.BGRES = bgRes;
    s.BGTYPE = bgType;
    std::snprintf(s.BGPath, sizeof s.BGPath, "%s", folder);
    s.PERCENTAGE = percentage;
    s.PUZZLEWIDTH = puzzleWidth;
    s.LOCKINPLACE = lock;
    return s;
}

GtkWidget* Widget(SheetControl* control)
{
    return GTK_WIDGET(SheetControlWidget(control));
}

int SpinValue(SheetControl* control)
{
    return gtk_spin_button_get_value_as_int(GTK_SPIN_BUTTON(Widget(control)));
}

bool Checked(SheetControl* control)
{
    return gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(Widget(control)));
}

int Selected(SheetControl* control)
{
    return gtk_combo_box_get_active(GTK_COMBO_BOX(Widget(control)));
}

int ToplevelCount()
{
    GList* list = gtk_window_list_toplevels();
    const int n = static_cast<int>(g_list_length(list));
    g_list_free(list);
    return n;
}

// One view with its store in a scratch folder and the sheet's layout from
// `layoutFolder`; alerts are recorded.
class SheetTest : public ::testing::Test {
public:
    void SetUp() override
    {
        configDir = scratch.Join("config");
        platform.SetPreferenceDirectory(configDir);
        platform.SetResourcePath(LayoutFolder());
        view = std::make_unique<ZarnetView>(&platform, &window);
        AlertSetRecorder([this](const char* caption, const char* text) {
            alerts.push_back(std::string(caption) + "|" + text);
        });
    }
    void TearDown() override
    {
        view.reset();
        AlertUseStderr();
    }

    // A store holding `settings` under the current version, read into the
    // view as its initialiser reads it.
    void Prime(const SETTINGS& settings, bool mainMonitorOnly)
    {
        {
            PreferenceStore store(kPrefsModule, configDir.c_str());
            store.setObject(kPrefsVersion, "version");
            ASSERT_TRUE(WriteSettings(store, settings, mainMonitorOnly));
        }
        PreferenceStore store(kPrefsModule, configDir.c_str());
        ASSERT_TRUE(ReadSettings(store, &view->mySettings, &view->MainMonitorOnly));
    }

    SheetWindow* Open()
    {
        SheetWindow* sheet = view->configureSheet();
        EXPECT_NE(sheet, nullptr);
        return sheet;
    }

    void Click(const char* id)
    {
        GObject* object = G_OBJECT(SheetLayoutObject(view->sheetLayout.get(), id));
        ASSERT_TRUE(object && GTK_IS_BUTTON(object)) << id;
        gtk_button_clicked(GTK_BUTTON(object));
    }

    std::string StoredString(const char* key)
    {
        PreferenceStore store(kPrefsModule, configDir.c_str());
        std::string value;
        EXPECT_TRUE(store.stringForKey(key, &value)) << key;
        return value;
    }

    // The folder chooser answers `answer` (or declines when null) and
    // remembers what it was asked.
    void AnswerChooser(const char* answer)
    {
        std::string reply = answer ? answer : "";
        const bool confirm = answer != nullptr;
        SheetSetFolderChooser(view->openPanel, [this, reply, confirm](const SheetFolderRequest& r, std::string* folder) {
            requests.push_back(r);
            if (confirm)
                *folder = reply;
            return confirm;
        });
    }

    ScratchDir scratch;
    std::string configDir;
    HeadlessSaverPlatform platform;
    HeadlessViewWindow window{0, 64, 48};
    std::unique_ptr<ZarnetView> view;
    std::vector<std::string> alerts;
    std::vector<SheetFolderRequest> requests;
};

TEST_F(SheetTest, OpensLoadedOnceWithTheControlsShowingMemory)
{
    struct Case {
        SETTINGS settings;
        bool mainMonitorOnly;
    };
    const Case cases[] = {
        {Settings(2, 2, "/srv/pictures/", 60, 40, false), true},
        {Settings(0, 0, "/usr/share/backgrounds/", 0, 2, true), false},
        {Settings(1, 1, "", 100, 100, true), false},
    };
    const int toplevels = ToplevelCount();
    SheetWindow* first = nullptr;
    for (const Case& c : cases) {
        Prime(c.settings, c.mainMonitorOnly);
        SheetWindow* sheet = Open();
        ASSERT_NE(sheet, nullptr);
        if (!first)
            first = sheet;
        EXPECT_EQ(sheet, first) << "the layout is loaded once per view";
        for (SheetControl* outlet : {view->oSave, view->oMainMonitorOnly, view->oBGRes, view->oBGType, view->oBGPath,
                                     view->oLockInPlace, view->oPuzzleWidth, view->oPercentage})
            ASSERT_NE(outlet, nullptr);
        ASSERT_NE(view->openPanel, nullptr);
        EXPECT_FALSE(SheetIsVisible(sheet)) << "the host shows the sheet";

        EXPECT_EQ(Checked(view->oMainMonitorOnly), c.mainMonitorOnly);
        EXPECT_EQ(SpinValue(view->oPuzzleWidth), c.settings.PUZZLEWIDTH);
        EXPECT_EQ(SpinValue(view->oPercentage), c.settings.PERCENTAGE);
        EXPECT_EQ(Checked(view->oLockInPlace), c.settings.LOCKINPLACE);
        EXPECT_EQ(Selected(view->oBGRes), c.settings.BGRES);
        EXPECT_EQ(Selected(view->oBGType), c.settings.BGTYPE);
        EXPECT_EQ(SheetTitle(view->oBGPath), c.settings.BGPath);
        EXPECT_EQ(gtk_widget_get_sensitive(Widget(view->oBGPath)), c.settings.BGTYPE == 2);
    }
    EXPECT_GT(ToplevelCount(), toplevels);
    view.reset();
    EXPECT_EQ(ToplevelCount(), toplevels) << "the sheet goes with its view";
}

TEST_F(SheetTest, FolderButtonFollowsThePictureSourcePopUp)
{
    for (int type : {0, 1, 2}) {
        Prime(Settings(1, type, "/srv/pictures/", 75, 25, true), false);
        ASSERT_NE(Open(), nullptr);
        EXPECT_EQ(SheetIsEnabled(view->oBGPath), type == 2) << "source " << type;
    }
    Prime(Settings(1, 1, "/srv/pictures/", 75, 25, true), false);
    ASSERT_NE(Open(), nullptr);
    GtkComboBox* source = GTK_COMBO_BOX(Widget(view->oBGType));
    const struct {
        int choice;
        bool enabled;
    } steps[] = {{2, true}, {0, false}, {2, true}, {1, false}};
    for (const auto& step : steps) {
        gtk_combo_box_set_active(source, step.choice);
        EXPECT_EQ(gtk_widget_get_sensitive(Widget(view->oBGPath)), step.enabled) << "pop-up at " << step.choice;
    }
}

TEST_F(SheetTest, DefaultsResetTheControlsButNotTheFolderMemoryOrStore)
{
    Prime(Settings(2, 2, "/srv/pictures/holiday/", 10, 60, false), true);
    std::string before;
    ASSERT_TRUE(ReadWholeFile(configDir + "/vmZarnetSS.conf", &before));
    const SETTINGS memory = view->mySettings;
    ASSERT_NE(Open(), nullptr);

    Click("bDefaults");
    EXPECT_FALSE(Checked(view->oMainMonitorOnly));
    EXPECT_EQ(SpinValue(view->oPuzzleWidth), 25);
    EXPECT_EQ(SpinValue(view->oPercentage), 75);
    EXPECT_TRUE(Checked(view->oLockInPlace));
    EXPECT_EQ(Selected(view->oBGRes), 1);
    EXPECT_EQ(Selected(view->oBGType), 0);
    EXPECT_EQ(SheetTitle(view->oBGPath), "/srv/pictures/holiday/");
    EXPECT_FALSE(SheetIsEnabled(view->oBGPath));

    EXPECT_EQ(std::memcmp(&memory, &view->mySettings, sizeof memory), 0);
    EXPECT_TRUE(view->MainMonitorOnly);
    std::string after;
    ASSERT_TRUE(ReadWholeFile(configDir + "/vmZarnetSS.conf", &after));
    EXPECT_EQ(after, before);
}

TEST_F(SheetTest, ChosenFolderReachesMemoryAtOnceAndTheStoreOnlyOnSave)
{
    Prime(Settings(1, 2, "/srv/old/", 75, 25, true), false);
    SheetWindow* sheet = Open();
    ASSERT_NE(sheet, nullptr);
    gtk_widget_show(GTK_WIDGET(SheetWindowWidget(sheet)));

    // Declined: nothing changes.
    AnswerChooser(nullptr);
    Click("oBGPath");
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_STREQ(view->mySettings.BGPath, "/srv/old/");
    EXPECT_EQ(SheetTitle(view->oBGPath), "/srv/old/");

    requests.clear();
    AnswerChooser("/srv/new pictures");
    Click("oBGPath");
    ASSERT_EQ(requests.size(), 1u);
    const SheetFolderRequest& r = requests[0];
    EXPECT_EQ(r.title, "Select Folder To Load Images From");
    EXPECT_EQ(r.directory, "/srv/old/");
    EXPECT_EQ(r.fileTypes, (std::vector<std::string>{"jpg", "gif", "png", "JPG", "GIF", "PNG"}));
    EXPECT_FALSE(r.canChooseFiles);
    EXPECT_TRUE(r.canChooseDirectories);
    EXPECT_FALSE(r.allowsMultipleSelection);
    EXPECT_STREQ(view->mySettings.BGPath, "/srv/new pictures");
    EXPECT_EQ(SheetTitle(view->oBGPath), "/srv/new pictures");

    Click("bCancel");
    EXPECT_FALSE(SheetIsVisible(sheet));
    EXPECT_EQ(StoredString("BGPath"), "/srv/old/");
    EXPECT_STREQ(view->mySettings.BGPath, "/srv/new pictures") << "Cancel doesn't undo the choice";

    // Opened again, the sheet shows memory: the new folder.
    ASSERT_NE(Open(), nullptr);
    EXPECT_EQ(SheetTitle(view->oBGPath), "/srv/new pictures");
}

// The real GtkFileChooserDialog, answered from inside its own modal loop.
TEST_F(SheetTest, FolderDialogStartsInTheFolderAndReturnsTheChoice)
{
    const std::string start = scratch.Join("pictures");
    const std::string other = scratch.Join("pictures/holiday");
    ASSERT_EQ(mkdir(start.c_str(), 0700), 0);
    ASSERT_EQ(mkdir(other.c_str(), 0700), 0);
    struct Case {
        const char* name;
        int response;         // the user's answer
        const char* expect;   // BGPath afterwards
    };
    const Case cases[] = {{"cancelled", GTK_RESPONSE_CANCEL, "start"}, {"chosen", GTK_RESPONSE_ACCEPT, "other"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        view->mySettings = Settings(1, 2, start.c_str(), 75, 25, true);
        ASSERT_NE(Open(), nullptr);
        struct Answer {
            const Case* c = nullptr;
            std::string other;
            std::string title;
            std::string folder;
            GtkFileChooserAction action = GTK_FILE_CHOOSER_ACTION_OPEN;
            bool multiple = true;
            bool seen = false;
            bool answered = false;
        };
        Answer answer;
        answer.c = &c;
        answer.other = other;
        const guint source = g_timeout_add(
            20,
            [](gpointer data) -> gboolean {
                Answer* a = static_cast<Answer*>(data);
                GList* list = gtk_window_list_toplevels();
                GtkWidget* dialog = nullptr;
                for (GList* l = list; l; l = l->next)
                    if (GTK_IS_FILE_CHOOSER_DIALOG(l->data) && gtk_widget_get_visible(GTK_WIDGET(l->data)))
                        dialog = GTK_WIDGET(l->data);
                g_list_free(list);
                if (!dialog)
                    return G_SOURCE_CONTINUE;
                GtkFileChooser* chooser = GTK_FILE_CHOOSER(dialog);
                gchar* folder = gtk_file_chooser_get_current_folder(chooser);
                const std::string current = folder ? folder : "";
                g_free(folder);
                if (current.empty())
                    return G_SOURCE_CONTINUE;  // still opening
                if (!a->seen) {
                    // First look: how it opened; then the user goes into the other folder.
                    a->seen = true;
                    a->title = gtk_window_get_title(GTK_WINDOW(dialog));
                    a->folder = current;
                    a->action = gtk_file_chooser_get_action(chooser);
                    a->multiple = gtk_file_chooser_get_select_multiple(chooser);
                    gtk_file_chooser_set_current_folder(chooser, a->other.c_str());
                    return G_SOURCE_CONTINUE;
                }
                if (current != a->other)
                    return G_SOURCE_CONTINUE;
                a->answered = true;
                gtk_dialog_response(GTK_DIALOG(dialog), a->c->response);
                return G_SOURCE_REMOVE;
            },
            &answer);
        Click("oBGPath");
        if (!answer.answered)
            g_source_remove(source);
        ASSERT_TRUE(answer.answered);
        EXPECT_EQ(answer.title, "Select Folder To Load Images From");
        EXPECT_EQ(answer.folder, start);
        EXPECT_EQ(answer.action, GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER);
        EXPECT_FALSE(answer.multiple);
        const std::string want = std::strcmp(c.expect, "other") == 0 ? other : start;
        EXPECT_EQ(std::string(view->mySettings.BGPath), want);
        EXPECT_EQ(SheetTitle(view->oBGPath), want);
    }
}

TEST_F(SheetTest, SaveStoresTheFolderButtonTitleWhateverTheSource)
{
    Prime(Settings(1, 0, "/srv/old/", 75, 25, true), false);
    ASSERT_NE(Open(), nullptr);
    // Folder chosen with the folder source showing, then the grab chosen again.
    gtk_combo_box_set_active(GTK_COMBO_BOX(Widget(view->oBGType)), 2);
    AnswerChooser("/srv/chosen");
    Click("oBGPath");
    gtk_combo_box_set_active(GTK_COMBO_BOX(Widget(view->oBGType)), 0);
    ASSERT_FALSE(SheetIsEnabled(view->oBGPath));
    Click("oSave");
    EXPECT_EQ(StoredString("BGPath"), "/srv/chosen");
    PreferenceStore store(kPrefsModule, configDir.c_str());
    EXPECT_EQ(store.integerForKey("BGType"), 0);
    EXPECT_STREQ(view->mySettings.BGPath, "/srv/chosen");

    // The title is what is stored, even when memory says otherwise.
    ASSERT_NE(Open(), nullptr);
    SheetSetTitle(view->oBGPath, "/srv/title-only");
    Click("oSave");
    EXPECT_EQ(StoredString("BGPath"), "/srv/title-only");
    EXPECT_STREQ(view->mySettings.BGPath, "/srv/chosen");
}

TEST_F(SheetTest, SaveWritesTheSheetKeysInOrderAndNeverTheVersion)
{
    struct Case {
        const char* name;
        const char* oldVersion;  // null: a store that doesn't exist yet
    };
    const Case cases[] = {{"fresh store", nullptr}, {"older version", "0.9"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchDir dir;
        platform.SetPreferenceDirectory(dir.Path());
        if (c.oldVersion) {
            PreferenceStore old(kPrefsModule, dir.Path().c_str());
            old.setObject(c.oldVersion, "version");
            ASSERT_TRUE(old.synchronize());
        }
        view->mySettings = Settings(1, 0, "/srv/pictures/", 75, 25, true);
        view->MainMonitorOnly = false;
        SheetWindow* sheet = Open();
        ASSERT_NE(sheet, nullptr);
        gtk_widget_show(GTK_WIDGET(SheetWindowWidget(sheet)));

        gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(Widget(view->oMainMonitorOnly)), TRUE);
        gtk_spin_button_set_value(GTK_SPIN_BUTTON(Widget(view->oPuzzleWidth)), 12);
        gtk_spin_button_set_value(GTK_SPIN_BUTTON(Widget(view->oPercentage)), 40);
        gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(Widget(view->oLockInPlace)), FALSE);
        gtk_combo_box_set_active(GTK_COMBO_BOX(Widget(view->oBGRes)), 2);
        gtk_combo_box_set_active(GTK_COMBO_BOX(Widget(view->oBGType)), 1);
        Click("oSave");
        EXPECT_FALSE(SheetIsVisible(sheet));

        PreferenceStore store(kPrefsModule, dir.Path().c_str());
        std::vector<std::string> keys = store.allKeys();
        std::vector<std::string> want = {"MainMonitorOnly", "PuzzleWidth", "Percentage", "LockInPlace",
                                         "BGType", "BGRes", "BGPath"};
        if (c.oldVersion)
            want.insert(want.begin(), "version");
        EXPECT_EQ(keys, want);
        std::string version;
        EXPECT_EQ(store.stringForKey("version", &version), c.oldVersion != nullptr);
        if (c.oldVersion) {
            EXPECT_EQ(version, c.oldVersion);
        }
        EXPECT_TRUE(store.boolForKey("MainMonitorOnly"));
        EXPECT_EQ(store.integerForKey("PuzzleWidth"), 12);
        EXPECT_EQ(store.integerForKey("Percentage"), 40);
        EXPECT_FALSE(store.boolForKey("LockInPlace"));
        EXPECT_EQ(store.integerForKey("BGType"), 1);
        EXPECT_EQ(store.integerForKey("BGRes"), 2);

        EXPECT_TRUE(view->MainMonitorOnly);
        EXPECT_EQ(view->mySettings.PUZZLEWIDTH, 12);
        EXPECT_EQ(view->mySettings.PERCENTAGE, 40);
        EXPECT_FALSE(view->mySettings.LOCKINPLACE);
        EXPECT_EQ(view->mySettings.BGTYPE, 1);
        EXPECT_EQ(view->mySettings.BGRES, 2);
        EXPECT_TRUE(alerts.empty());
    }
}

TEST_F(SheetTest, NumbersTypedButNotConfirmedAreSavedWithinRange)
{
    const struct {
        const char* typed;
        int saved;
    } cases[] = {{"12", 12}, {"1", 2}, {"500", 100}, {"100", 100}};
    for (const auto& c : cases) {
        view->mySettings = Settings(1, 0, "/srv/", 75, 25, true);
        ASSERT_NE(Open(), nullptr);
        gtk_entry_set_text(GTK_ENTRY(Widget(view->oPuzzleWidth)), c.typed);
        Click("oSave");
        EXPECT_EQ(view->mySettings.PUZZLEWIDTH, c.saved) << c.typed;
        PreferenceStore store(kPrefsModule, configDir.c_str());
        EXPECT_EQ(store.integerForKey("PuzzleWidth"), c.saved) << c.typed;
    }
}

TEST_F(SheetTest, RunningTheSheetEndsWithSaveOrCancel)
{
    struct Case {
        const char* name;
        int code;
        void (*finish)(SheetTest* test, GtkWidget* sheet);
    };
    const Case cases[] = {
        {"Save", kSheetSaved, [](SheetTest* t, GtkWidget*) { t->Click("oSave"); }},
        {"Cancel", kSheetCancelled, [](SheetTest* t, GtkWidget*) { t->Click("bCancel"); }},
        {"close button", kSheetCancelled, [](SheetTest*, GtkWidget* w) { gtk_window_close(GTK_WINDOW(w)); }},
    };
    GtkWidget* parent = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_widget_show(parent);
    for (const Case& c : cases) {
        view->mySettings = Settings(1, 0, "/srv/", 75, 25, true);
        SheetWindow* sheet = Open();
        ASSERT_NE(sheet, nullptr);
        struct Run {
            SheetTest* test;
            const Case* c;
            SheetWindow* sheet;
            bool shown;
        } run = {this, &c, sheet, false};
        g_idle_add(
            [](gpointer data) -> gboolean {
                Run* r = static_cast<Run*>(data);
                r->shown = SheetIsVisible(r->sheet) && SheetIsRunning(r->sheet);
                r->c->finish(r->test, GTK_WIDGET(SheetWindowWidget(r->sheet)));
                return G_SOURCE_REMOVE;
            },
            &run);
        EXPECT_EQ(SheetRunModal(sheet, parent), c.code) << c.name;
        EXPECT_TRUE(run.shown) << c.name;
        EXPECT_FALSE(SheetIsVisible(sheet)) << c.name;
        EXPECT_FALSE(SheetIsRunning(sheet)) << c.name;
        EXPECT_EQ(gtk_window_get_transient_for(GTK_WINDOW(SheetWindowWidget(sheet))), GTK_WINDOW(parent));
    }
    gtk_widget_destroy(parent);
}

TEST_F(SheetTest, BrokenLayoutGivesNoSheet)
{
    const std::string real = RealLayout();
    auto replaced = [&](const std::string& from, const std::string& to) {
        std::string s = real;
        const size_t at = s.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        if (at != std::string::npos)
            s.replace(at, from.size(), to);
        return s;
    };
    struct Case {
        const char* name;
        bool write;
        std::string text;
    };
    const Case cases[] = {
        {"missing", false, ""},
        {"empty", true, ""},
        {"not XML", true, "\x89PNG\r\n\x1a\n this is no layout"},
        {"cut short", true, real.substr(0, real.size() / 2)},
        {"no folder button", true, replaced("id=\"oBGPath\"", "id=\"oBGPathGone\"")},
        {"no sheet window", true, replaced("id=\"configureSheet\"", "id=\"someWindow\"")},
        {"pop-up of the wrong kind", true,
         replaced("class=\"GtkComboBoxText\" id=\"oBGType\"", "class=\"GtkLabel\" id=\"oBGType\"")},
        {"unknown handler", true, replaced("handler=\"configureSheet_save\"", "handler=\"configureSheet_explode\"")},
        {"unknown class", true, replaced("class=\"GtkGrid\"", "class=\"NoSuchWidget\"")},
    };
    const int toplevels = ToplevelCount();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchDir dir;
        if (c.write) {
            ASSERT_TRUE(WriteWholeFile(dir.Join("Zarnet.ui"), c.text));
        }
        platform.SetResourcePath(dir.Path());
        view = std::make_unique<ZarnetView>(&platform, &window);
        view->mySettings = Settings(1, 2, "/srv/", 75, 25, true);
        EXPECT_EQ(view->configureSheet(), nullptr);
        EXPECT_EQ(view->configureSheet(), nullptr) << "asking again";
        for (SheetControl* outlet : {view->oSave, view->oMainMonitorOnly, view->oBGRes, view->oBGType, view->oBGPath,
                                     view->oLockInPlace, view->oPuzzleWidth, view->oPercentage})
            EXPECT_EQ(outlet, nullptr);
        EXPECT_EQ(view->openPanel, nullptr);
        EXPECT_EQ(view->sheetLayout, nullptr);
        EXPECT_EQ(ToplevelCount(), toplevels) << "no window left behind";
    }
}

TEST_F(SheetTest, FailedSaveIsReportedAndKeepsTheSettingsAndTheSheet)
{
    struct Case {
        const char* name;
        bool (*spoil)(const ScratchDir& dir, std::string* storeDir);
    };
    const Case cases[] = {
        {"folder path runs through a file",
         [](const ScratchDir& dir, std::string* storeDir) {
             *storeDir = dir.Join("file/zarnet");
             return WriteWholeFile(dir.Join("file"), "x");
         }},
        {"store file is a folder",
         [](const ScratchDir& dir, std::string* storeDir) {
             *storeDir = dir.Path();
             return mkdir(dir.Join("vmZarnetSS.conf").c_str(), 0700) == 0;
         }},
        {"read-only folder",
         [](const ScratchDir& dir, std::string* storeDir) {
             *storeDir = dir.Join("ro");
             return mkdir(storeDir->c_str(), 0500) == 0;
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (std::strcmp(c.name, "read-only folder") == 0 && geteuid() == 0) {
            // Permissions don't bind root; the other cases fail the same write.
            continue;
        }
        ScratchDir dir;
        std::string storeDir;
        ASSERT_TRUE(c.spoil(dir, &storeDir));
        platform.SetPreferenceDirectory(storeDir);
        alerts.clear();
        view->mySettings = Settings(1, 0, "/srv/", 75, 25, true);
        SheetWindow* sheet = Open();
        ASSERT_NE(sheet, nullptr);
        gtk_widget_show(GTK_WIDGET(SheetWindowWidget(sheet)));
        gtk_spin_button_set_value(GTK_SPIN_BUTTON(Widget(view->oPuzzleWidth)), 33);
        gtk_combo_box_set_active(GTK_COMBO_BOX(Widget(view->oBGType)), 1);
        Click("oSave");

        ASSERT_EQ(alerts.size(), 1u);
        EXPECT_EQ(alerts[0].rfind("Settings Not Saved|", 0), 0u) << alerts[0];
        EXPECT_NE(alerts[0].find(storeDir + "/vmZarnetSS.conf"), std::string::npos) << alerts[0];
        EXPECT_EQ(view->mySettings.PUZZLEWIDTH, 33);
        EXPECT_EQ(view->mySettings.BGTYPE, 1);
        EXPECT_TRUE(SheetIsVisible(sheet)) << "the sheet stays open to save again or cancel";
        gtk_widget_hide(GTK_WIDGET(SheetWindowWidget(sheet)));
    }
}

TEST_F(SheetTest, FolderPathsLongerThan1023BytesAreRefused)
{
    const struct {
        size_t length;
        bool taken;
    } cases[] = {{1023, true}, {1024, false}, {4096, false}};
    for (const auto& c : cases) {
        view->mySettings = Settings(1, 2, "/srv/old/", 75, 25, true);
        ASSERT_NE(Open(), nullptr);
        alerts.clear();
        std::string folder = "/" + std::string(c.length - 1, 'd');
        AnswerChooser(folder.c_str());
        Click("oBGPath");
        if (c.taken) {
            EXPECT_TRUE(alerts.empty());
            EXPECT_EQ(std::string(view->mySettings.BGPath), folder);
            EXPECT_EQ(SheetTitle(view->oBGPath), folder);
        } else {
            ASSERT_EQ(alerts.size(), 1u) << c.length;
            EXPECT_EQ(alerts[0].rfind("Folder Path Too Long|", 0), 0u);
            EXPECT_STREQ(view->mySettings.BGPath, "/srv/old/");
            EXPECT_EQ(SheetTitle(view->oBGPath), "/srv/old/");
        }
    }
}

TEST_F(SheetTest, WebPageButtonStartsXdgOpenWithTheAddress)
{
    const std::string oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
    const std::string log = scratch.Join("xdg-open.log");
    ASSERT_TRUE(mkdir(scratch.Join("bin").c_str(), 0700) == 0);
    // Each argument on its own line: a shell would have split or joined them.
    ASSERT_TRUE(WriteWholeFile(scratch.Join("bin/xdg-open"),
                               "#!/bin/sh\nprintf '%s\\n' \"$#\" \"$@\" > '" + log + ".tmp' && mv '" + log +
                                   ".tmp' '" + log + "'\n"));
    ASSERT_EQ(chmod(scratch.Join("bin/xdg-open").c_str(), 0700), 0);
    ASSERT_TRUE(mkdir(scratch.Join("empty").c_str(), 0700) == 0);
    view->mySettings = Settings(1, 0, "/srv/", 75, 25, true);
    ASSERT_NE(Open(), nullptr);

    // Without xdg-open nothing happens and nothing breaks.
    setenv("PATH", scratch.Join("empty").c_str(), 1);
    Click("bWebPage");
    EXPECT_TRUE(alerts.empty());

    setenv("PATH", (scratch.Join("bin") + ":" + oldPath).c_str(), 1);
    Click("bWebPage");
    setenv("PATH", oldPath.c_str(), 1);
    std::string args;
    for (int i = 0; i < 1000 && !ReadWholeFile(log, &args); ++i) {
        g_main_context_iteration(nullptr, FALSE);
        usleep(5000);
    }
    ASSERT_FALSE(args.empty()) << "xdg-open did not run";
    const std::string want = "1\nhttps://zarnet.example.org/mac/zarnet/\n";
    EXPECT_EQ(args, want);
    EXPECT_TRUE(alerts.empty());
}

}  // namespace
