// The configuration sheet on GTK 3: a GtkBuilder layout whose objects are
// the owner's outlets and whose signal handlers name the owner's actions,
// the folder chooser (GtkFileChooserDialog) and the web-page launcher.
#include "platform/gtk_sheet.h"

#include <gtk/gtk.h>
#include <spawn.h>

#include <cstring>
#include <memory>
#include <utility>

extern char** environ;

// One object of the layout as the owner sees it.
class SheetControl {
public:
    GtkWidget* widget = nullptr;                           // the control; owned by its window
    SheetControlKind kind = SheetControlKind::PushButton;  // what the layout made it as
};

// The sheet's window and the state of its run.
class SheetWindow {
public:
    GtkWidget* window = nullptr;       // the GtkWindow; owned by the layout
    int returnCode = kSheetCancelled;  // what the last end handed over
    bool ended = false;                // the current run has ended
    GMainLoop* loop = nullptr;         // the running SheetRunModal's loop; null when none
};

// The folder chooser: the real dialog, or a stand-in for tests.
class SheetOpenPanel {
public:
    SheetFolderChooser chooser;  // empty = the GTK dialog
};

class SheetLayout {
public:
    GtkBuilder* builder = nullptr;                        // the parsed layout; owned
    SheetWindow window;                                   // the sheet window's state
    SheetOpenPanel panel;                                 // the folder chooser
    std::vector<std::unique_ptr<SheetControl>> controls;  // outlets and signal senders
    std::vector<SheetAction> actions;                     // the owner's operations, by handler
    std::vector<GClosure*> closures;                      // one per connected signal; referenced
    bool unknownHandler = false;                          // a handler named no action

    // The control standing for `object`, made on first use.
    SheetControl* ControlFor(GObject* object, SheetControlKind kind);
};

namespace {

// A signal's closure: which action of which layout it performs.
struct ActionClosure {
    GClosure closure;     // must come first (GClosure subclassing)
    SheetLayout* layout;  // not owned; invalidated before the layout goes
    size_t action;        // index into layout->actions
};

SheetControlKind KindOf(GObject* object)
{
    if (GTK_IS_SPIN_BUTTON(object))
        return SheetControlKind::IntegerField;
    if (GTK_IS_COMBO_BOX(object))
        return SheetControlKind::PopUpMenu;
    if (GTK_IS_TOGGLE_BUTTON(object))
        return SheetControlKind::CheckBox;
    return SheetControlKind::PushButton;
}

bool IsKind(GObject* object, SheetControlKind kind)
{
    switch (kind) {
    case SheetControlKind::CheckBox:
        return GTK_IS_TOGGLE_BUTTON(object);
    case SheetControlKind::IntegerField:
        return GTK_IS_SPIN_BUTTON(object);
    case SheetControlKind::PopUpMenu:
        return GTK_IS_COMBO_BOX(object);
    case SheetControlKind::PushButton:
        return GTK_IS_BUTTON(object);
    }
    return false;
}

// Any signal, any signature: the emitting object is the first parameter; a
// boolean result (event signals) answers "not handled".
void MarshalAction(GClosure* closure, GValue* returnValue, guint paramCount, const GValue* params, gpointer, gpointer)
{
    ActionClosure* c = reinterpret_cast<ActionClosure*>(closure);
    if (returnValue && G_VALUE_HOLDS_BOOLEAN(returnValue))
        g_value_set_boolean(returnValue, FALSE);
    if (!c->layout || c->action >= c->layout->actions.size())
        return;
    GObject* sender =
        paramCount > 0 && G_VALUE_HOLDS_OBJECT(&params[0]) ? G_OBJECT(g_value_get_object(&params[0])) : nullptr;
    SheetControl* control = sender ? c->layout->ControlFor(sender, KindOf(sender)) : nullptr;
    // The action may end the sheet or reload controls, but never the layout.
    const std::function<void(SheetControl*)>& perform = c->layout->actions[c->action].perform;
    if (perform)
        perform(control);
}

void ConnectAction(GtkBuilder*, GObject* object, const gchar* signalName, const gchar* handlerName, GObject*,
                   GConnectFlags flags, gpointer data)
{
    SheetLayout* layout = static_cast<SheetLayout*>(data);
    size_t index = 0;
    while (index < layout->actions.size() && std::strcmp(layout->actions[index].handler, handlerName) != 0)
        ++index;
    if (index == layout->actions.size()) {
        layout->unknownHandler = true;
        return;
    }
    GClosure* closure = g_closure_new_simple(sizeof(ActionClosure), nullptr);
    ActionClosure* c = reinterpret_cast<ActionClosure*>(closure);
    c->layout = layout;
    c->action = index;
    g_closure_set_marshal(closure, MarshalAction);
    g_closure_ref(closure);
    g_closure_sink(closure);
    layout->closures.push_back(closure);
    g_signal_connect_closure(object, signalName, closure, (flags & G_CONNECT_AFTER) != 0);
}

// The close button of the sheet's window cancels: the window is hidden, not
// destroyed, since the layout owns it.
gboolean CloseCancels(GtkWidget*, GdkEvent*, gpointer data)
{
    SheetEndSheet(static_cast<SheetWindow*>(data), kSheetCancelled);
    return TRUE;
}

// Escape cancels, as the close button does.
gboolean EscapeCancels(GtkWidget*, GdkEventKey* event, gpointer data)
{
    if (event->keyval != GDK_KEY_Escape)
        return FALSE;
    SheetEndSheet(static_cast<SheetWindow*>(data), kSheetCancelled);
    return TRUE;
}

// Disconnects the actions, destroys every window the layout made and drops
// the builder (which frees the rest).
void DestroyLayout(SheetLayout* layout)
{
    for (GClosure* closure : layout->closures) {
        reinterpret_cast<ActionClosure*>(closure)->layout = nullptr;
        g_closure_invalidate(closure);
        g_closure_unref(closure);
    }
    layout->closures.clear();
    if (layout->window.loop && g_main_loop_is_running(layout->window.loop))
        g_main_loop_quit(layout->window.loop);
    if (layout->builder) {
        GSList* objects = gtk_builder_get_objects(layout->builder);
        for (GSList* o = objects; o; o = o->next)
            if (GTK_IS_WINDOW(o->data))
                gtk_widget_destroy(GTK_WIDGET(o->data));
        g_slist_free(objects);
        g_object_unref(layout->builder);
        layout->builder = nullptr;
    }
    layout->controls.clear();
    delete layout;
}

void ReapChild(GPid pid, gint, gpointer)
{
    g_spawn_close_pid(pid);
}

}  // namespace

SheetControl* SheetLayout::ControlFor(GObject* object, SheetControlKind kind)
{
    for (const auto& c : controls)
        if (G_OBJECT(c->widget) == object)
            return c.get();
    if (!GTK_IS_WIDGET(object))
        return nullptr;
    auto control = std::make_unique<SheetControl>();
    control->widget = GTK_WIDGET(object);
    control->kind = kind;
    controls.push_back(std::move(control));
    return controls.back().get();
}

SheetLayout* SheetLayoutLoad(const std::string& path, const char* windowName, SheetWindow** window,
                             const std::vector<SheetOutlet>& outlets, std::vector<SheetAction> actions,
                             SheetOpenPanel** openPanel)
{
    if (!gtk_init_check(nullptr, nullptr))
        return nullptr;
    SheetLayout* layout = new SheetLayout();
    layout->actions = std::move(actions);
    layout->builder = gtk_builder_new();
    GError* error = nullptr;
    if (!gtk_builder_add_from_file(layout->builder, path.c_str(), &error)) {
        g_clear_error(&error);
        DestroyLayout(layout);
        return nullptr;
    }
    GObject* sheet = gtk_builder_get_object(layout->builder, windowName);
    if (!sheet || !GTK_IS_WINDOW(sheet)) {
        DestroyLayout(layout);
        return nullptr;
    }
    for (const SheetOutlet& outlet : outlets) {
        GObject* object = gtk_builder_get_object(layout->builder, outlet.name);
        if (!object || !IsKind(object, outlet.kind)) {
            DestroyLayout(layout);
            return nullptr;
        }
    }
    gtk_builder_connect_signals_full(layout->builder, ConnectAction, layout);
    if (layout->unknownHandler) {
        DestroyLayout(layout);
        return nullptr;
    }

    // An edge of its own, so the sheet stands apart from the window it is
    // attached to even where no window manager frames it.
    GtkCssProvider* edge = gtk_css_provider_new();
    gtk_css_provider_load_from_data(edge, "window { border: 1px solid alpha(black, 0.35); }", -1, nullptr);
    gtk_style_context_add_provider(gtk_widget_get_style_context(GTK_WIDGET(sheet)), GTK_STYLE_PROVIDER(edge),
                                   GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    g_object_unref(edge);

    // A layout may say visible: the sheet shows only when it is run.
    gtk_widget_hide(GTK_WIDGET(sheet));
    layout->window.window = GTK_WIDGET(sheet);
    g_signal_connect(sheet, "delete-event", G_CALLBACK(CloseCancels), &layout->window);
    g_signal_connect(sheet, "key-press-event", G_CALLBACK(EscapeCancels), &layout->window);
    for (const SheetOutlet& outlet : outlets)
        *outlet.slot = layout->ControlFor(gtk_builder_get_object(layout->builder, outlet.name), outlet.kind);
    *window = &layout->window;
    if (openPanel)
        *openPanel = &layout->panel;
    return layout;
}

void SheetLayoutRelease::operator()(SheetLayout* layout) const
{
    if (layout)
        DestroyLayout(layout);
}

void SheetSetState(SheetControl* control, int state)
{
    if (control && GTK_IS_TOGGLE_BUTTON(control->widget))
        gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(control->widget), state == 1);
}

int SheetState(SheetControl* control)
{
    if (!control || !GTK_IS_TOGGLE_BUTTON(control->widget))
        return 0;
    return gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(control->widget)) ? 1 : 0;
}

void SheetSetIntValue(SheetControl* control, int value)
{
    if (control && GTK_IS_SPIN_BUTTON(control->widget))
        gtk_spin_button_set_value(GTK_SPIN_BUTTON(control->widget), static_cast<double>(value));
}

int SheetIntValue(SheetControl* control)
{
    if (!control || !GTK_IS_SPIN_BUTTON(control->widget))
        return 0;
    GtkSpinButton* spin = GTK_SPIN_BUTTON(control->widget);
    // Text typed but not yet confirmed with Enter or a change of focus.
    gtk_spin_button_update(spin);
    return gtk_spin_button_get_value_as_int(spin);
}

void SheetSelectItemAtIndex(SheetControl* control, int index)
{
    if (!control || !GTK_IS_COMBO_BOX(control->widget))
        return;
    GtkComboBox* combo = GTK_COMBO_BOX(control->widget);
    GtkTreeModel* model = gtk_combo_box_get_model(combo);
    const int count = model ? gtk_tree_model_iter_n_children(model, nullptr) : 0;
    gtk_combo_box_set_active(combo, index >= 0 && index < count ? index : -1);
}

int SheetIndexOfSelectedItem(SheetControl* control)
{
    if (!control || !GTK_IS_COMBO_BOX(control->widget))
        return 0;
    return gtk_combo_box_get_active(GTK_COMBO_BOX(control->widget));
}

void SheetSetTitle(SheetControl* control, const char* title)
{
    if (!control || !GTK_IS_BUTTON(control->widget))
        return;
    if (!title)
        title = "";
    // A label of the layout's own keeps its look (ellipsizing, width).
    GtkWidget* child = gtk_bin_get_child(GTK_BIN(control->widget));
    if (GTK_IS_LABEL(child))
        gtk_label_set_text(GTK_LABEL(child), title);
    else
        gtk_button_set_label(GTK_BUTTON(control->widget), title);
    gtk_widget_set_tooltip_text(control->widget, title[0] ? title : nullptr);
}

std::string SheetTitle(SheetControl* control)
{
    if (!control || !GTK_IS_BUTTON(control->widget))
        return std::string();
    GtkWidget* child = gtk_bin_get_child(GTK_BIN(control->widget));
    const char* title =
        GTK_IS_LABEL(child) ? gtk_label_get_text(GTK_LABEL(child)) : gtk_button_get_label(GTK_BUTTON(control->widget));
    return title ? std::string(title) : std::string();
}

void SheetSetEnabled(SheetControl* control, bool enabled)
{
    if (control && GTK_IS_WIDGET(control->widget))
        gtk_widget_set_sensitive(control->widget, enabled);
}

bool SheetIsEnabled(SheetControl* control)
{
    return control && GTK_IS_WIDGET(control->widget) && gtk_widget_get_sensitive(control->widget);
}

void SheetEndSheet(SheetWindow* window, int returnCode)
{
    if (!window || !window->window)
        return;
    window->returnCode = returnCode;
    window->ended = true;
    gtk_widget_hide(window->window);
    if (window->loop)
        g_main_loop_quit(window->loop);
}

bool SheetIsVisible(SheetWindow* window)
{
    return window && window->window && gtk_widget_get_visible(window->window);
}

int SheetRunModal(SheetWindow* window, void* parentWindow)
{
    if (!window || !window->window || window->loop)
        return kSheetCancelled;
    GtkWindow* sheet = GTK_WINDOW(window->window);
    GtkWindow* parent = parentWindow && GTK_IS_WINDOW(parentWindow) ? GTK_WINDOW(parentWindow) : nullptr;
    gtk_window_set_transient_for(sheet, parent);
    gtk_window_set_modal(sheet, TRUE);
    gtk_window_set_position(sheet, parent ? GTK_WIN_POS_CENTER_ON_PARENT : GTK_WIN_POS_CENTER);
    window->returnCode = kSheetCancelled;
    window->ended = false;
    gtk_window_present(sheet);
    GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
    window->loop = loop;
    if (!window->ended)
        g_main_loop_run(loop);
    window->loop = nullptr;
    g_main_loop_unref(loop);
    return window->returnCode;
}

bool SheetIsRunning(SheetWindow* window)
{
    return window && window->loop;
}

void* SheetWindowWidget(SheetWindow* window)
{
    return window ? window->window : nullptr;
}

void* SheetControlWidget(SheetControl* control)
{
    return control ? control->widget : nullptr;
}

void* SheetLayoutObject(SheetLayout* layout, const char* name)
{
    if (!layout || !layout->builder || !name)
        return nullptr;
    return gtk_builder_get_object(layout->builder, name);
}

bool SheetRunOpenPanel(SheetOpenPanel* panel, SheetWindow* sheet, const SheetFolderRequest& request,
                       std::string* folder)
{
    if (!panel)
        return false;
    if (panel->chooser)
        return panel->chooser(request, folder);

    const bool folders = request.canChooseDirectories && !request.canChooseFiles;
    GtkWindow* parent = sheet && sheet->window ? GTK_WINDOW(sheet->window) : nullptr;
    GtkWidget* dialog = gtk_file_chooser_dialog_new(
        request.title.c_str(), parent, folders ? GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER : GTK_FILE_CHOOSER_ACTION_OPEN,
        "_Cancel", GTK_RESPONSE_CANCEL, folders ? "_Select" : "_Open", GTK_RESPONSE_ACCEPT, nullptr);
    GtkFileChooser* chooser = GTK_FILE_CHOOSER(dialog);
    gtk_file_chooser_set_local_only(chooser, TRUE);
    gtk_file_chooser_set_select_multiple(chooser, request.allowsMultipleSelection);
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_ACCEPT);
    if (!request.fileTypes.empty()) {
        GtkFileFilter* filter = gtk_file_filter_new();
        gtk_file_filter_set_name(filter, "Pictures");
        for (const std::string& type : request.fileTypes)
            gtk_file_filter_add_pattern(filter, ("*." + type).c_str());
        gtk_file_chooser_add_filter(chooser, filter);  // takes the floating reference
    }
    if (!request.directory.empty() && g_file_test(request.directory.c_str(), G_FILE_TEST_IS_DIR))
        gtk_file_chooser_set_current_folder(chooser, request.directory.c_str());

    bool chosen = false;
    if (gtk_dialog_run(GTK_DIALOG(dialog)) == GTK_RESPONSE_ACCEPT) {
        gchar* path = gtk_file_chooser_get_filename(chooser);
        if (path) {
            *folder = path;
            chosen = true;
            g_free(path);
        }
    }
    gtk_widget_destroy(dialog);
    return chosen;
}

void SheetSetFolderChooser(SheetOpenPanel* panel, SheetFolderChooser chooser)
{
    if (panel)
        panel->chooser = std::move(chooser);
}

bool SheetOpenURL(const char* url)
{
    if (!url)
        return false;
    char program[] = "xdg-open";
    std::string address(url);
    char* argv[] = {program, address.data(), nullptr};
    pid_t pid = -1;
    if (posix_spawnp(&pid, program, nullptr, nullptr, argv, environ) != 0)
        return false;
    // Reaped whenever it ends (a browser may keep it running), without
    // holding up the caller.
    g_child_watch_add(pid, ReapChild, nullptr);
    return true;
}
