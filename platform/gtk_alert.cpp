#include "platform/gtk_alert.h"

#include <gtk/gtk.h>

void GtkShowAlert(void* parentWindow, const char* caption, const char* text)
{
    GtkWindow* parent = parentWindow ? GTK_WINDOW(parentWindow) : nullptr;
    // The text goes in as an argument, never as a format.
    GtkWidget* dialog =
        gtk_message_dialog_new(parent, static_cast<GtkDialogFlags>(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT),
                               GTK_MESSAGE_ERROR, GTK_BUTTONS_OK, "%s", text);
    gtk_window_set_title(GTK_WINDOW(dialog), caption);
    gtk_dialog_run(GTK_DIALOG(dialog));
    gtk_widget_destroy(dialog);
}
