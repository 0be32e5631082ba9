// The alert dialog on a private Xvfb server. GTK runs in a child process,
// so that the display it binds to for good doesn't outlive this test.
#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/alert.h"
#include "tests/support/xvfb_server.h"

namespace {

// Exit codes of the child, one per way the dialog can be wrong.
enum ChildResult {
    kShownAndDismissed = 0,
    kNoGtk = 10,
    kNoDialog,
    kWrongTitle,
    kWrongText,
    kNotModal,
    kWrongButtons,
    kTimedOut,
};

struct Inspection {
    int result = kNoDialog;  // what the check found
    bool done = false;       // the dialog was found and handled
};

void CollectButtons(GtkWidget* widget, gpointer list)
{
    if (GTK_IS_BUTTON(widget)) {
        *static_cast<GList**>(list) = g_list_append(*static_cast<GList**>(list), widget);
    } else if (GTK_IS_CONTAINER(widget)) {
        gtk_container_forall(GTK_CONTAINER(widget), CollectButtons, list);
    }
}

GtkMessageDialog* FindDialog()
{
    GList* windows = gtk_window_list_toplevels();
    GtkMessageDialog* found = nullptr;
    for (GList* w = windows; w; w = w->next) {
        if (GTK_IS_MESSAGE_DIALOG(w->data) && gtk_widget_get_visible(GTK_WIDGET(w->data))) {
            found = GTK_MESSAGE_DIALOG(w->data);
        }
    }
    g_list_free(windows);
    return found;
}

// Checks the open dialog and presses its only button.
gboolean InspectAndPress(gpointer data)
{
    Inspection* inspection = static_cast<Inspection*>(data);
    GtkMessageDialog* dialog = FindDialog();
    if (!dialog) {
        return G_SOURCE_CONTINUE;  // not mapped yet
    }
    inspection->done = true;
    gchar* text = nullptr;
    g_object_get(dialog, "text", &text, nullptr);
    const char* title = gtk_window_get_title(GTK_WINDOW(dialog));
    GList* buttons = nullptr;  // every button anywhere in the dialog
    gtk_container_forall(GTK_CONTAINER(dialog), CollectButtons, &buttons);
    const guint buttonCount = g_list_length(buttons);
    const char* label = buttonCount == 1 && GTK_IS_BUTTON(buttons->data)
                            ? gtk_button_get_label(GTK_BUTTON(buttons->data)) : nullptr;
    if (!title || std::strcmp(title, "Invalid Image") != 0) {
        inspection->result = kWrongTitle;
    } else if (!text || std::strcmp(text, "TGA file be type 2 or type 10 %s") != 0) {
        inspection->result = kWrongText;
    } else if (!gtk_window_get_modal(GTK_WINDOW(dialog))) {
        inspection->result = kNotModal;
    } else if (!label || (std::strcmp(label, "_OK") != 0 && std::strcmp(label, "OK") != 0)) {
        inspection->result = kWrongButtons;
    } else {
        inspection->result = kShownAndDismissed;
    }
    g_free(text);
    if (buttonCount >= 1 && GTK_IS_BUTTON(buttons->data)) {
        gtk_button_clicked(GTK_BUTTON(buttons->data));  // the dialog's run returns
    } else {
        gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK);
    }
    g_list_free(buttons);
    return G_SOURCE_REMOVE;
}

[[noreturn]] void RunChild(const std::string& display)
{
    alarm(20);  // a dialog nobody can press must not hang the suite
    setenv("DISPLAY", display.c_str(), 1);
    if (!gtk_init_check(nullptr, nullptr)) {
        _exit(kNoGtk);
    }
    Inspection inspection;
    g_timeout_add(20, InspectAndPress, &inspection);
    AlertUseDialog(nullptr);
    // A "%s" in the text must show as it is, never as a format.
    ShowAlert("Invalid Image", "TGA file be type 2 or type 10 %s");
    AlertUseStderr();
    _exit(inspection.done ? inspection.result : kNoDialog);
}

TEST(GtkAlert, ModalDialogWithCaptionTextAndOneOkButton)
{
    XvfbServer server;
    ASSERT_TRUE(server.Start(640, 480, 24)) << server.Error();
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        RunChild(server.DisplayName());
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "the dialog never returned (signal " << WTERMSIG(status) << ")";
    EXPECT_EQ(WEXITSTATUS(status), kShownAndDismissed);
}

}  // namespace
