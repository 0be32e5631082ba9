// zarnet-settings: the preferences window of the Zarnet screen saver, as a
// desktop's menu opens it. It shows a live preview (a preview view drawing
// through GLX into a child window of the GTK window) and the "Options…"
// button, which runs the view's configuration sheet attached to the window.
// After a save the preview is made anew, so it shows the new settings.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <gdk/gdkx.h>
#include <gtk/gtk.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "host/HostDriver.h"
#include "host/ZarnetView.h"
#include "platform/glx_surface.h"
#include "platform/gtk_alert.h"
#include "platform/gtk_sheet.h"
#include "platform/x11_backend.h"

namespace {

constexpr int kPreviewWidth = 640;   // the preview's first size, pixels
constexpr int kPreviewHeight = 400;  // pixels

const char* const kUsage = "usage: zarnet-settings [--open-options] | --help | --version\n"
                           "  The preferences window of the Zarnet screen saver: a live preview and\n"
                           "  the \"Options...\" button. The settings are kept in\n"
                           "  $XDG_CONFIG_HOME/zarnet/vmZarnetSS.conf.\n"
                           "  --open-options  open the options sheet as soon as the window shows\n";

// The window, its preview and the view behind it.
struct SettingsApp {
    GtkWidget* window = nullptr;                      // the preferences window
    GtkWidget* previewArea = nullptr;                 // holds the preview's GL window
    GtkWidget* previewNote = nullptr;                 // says why there is no preview
    GdkDisplay* gdkDisplay = nullptr;                 // GTK's display; not owned
    Display* display = nullptr;                       // its Xlib connection; not owned
    Window previewWindow = 0;                         // GL child window of previewArea; owned
    Colormap colormap = 0;                            // previewWindow's colormap; owned
    ViewSize size = {kPreviewWidth, kPreviewHeight};  // preview size, pixels
    X11Desktop desktop;                               // the X11 backend's state
    SaverBackend backend;                             // the window system for the view
    SaverWindow host;                                 // previewWindow as the view's window
    HostDriver driver;                                // runs the preview view
    ZarnetView* view = nullptr;                       // the preview view; owned by driver
    guint timer = 0;                                  // animation timer source; 0 = none
    bool sheetOpen = false;                           // the options sheet is running
    void* alertParent = nullptr;                      // the GtkWindow the view's alerts are transient for
    bool quitting = false;                            // the window was closed while the sheet ran
};

void ShowPreviewNote(SettingsApp* app, const char* text)
{
    gtk_label_set_text(GTK_LABEL(app->previewNote), text);
    gtk_widget_set_visible(app->previewNote, text && text[0]);
}

// The GL child window inside the preview area, with the visual GLX wants.
bool MakePreviewWindow(SettingsApp* app)
{
    gtk_widget_realize(app->previewArea);
    GdkWindow* gdkWindow = gtk_widget_get_window(app->previewArea);
    if (!gdkWindow || !gdk_window_ensure_native(gdkWindow))
        return false;
    const Window parent = GDK_WINDOW_XID(gdkWindow);
    const int screen = DefaultScreen(app->display);
    XVisualInfo visual;
    if (!GlxSurface::ChooseVisual(app->display, screen, GLPixelFormat{}, &visual))
        return false;
    const GLWindow made = MakeGLWindow(app->display, parent, visual, 0, 0, app->size.width, app->size.height);
    if (!made.window)
        return false;
    app->colormap = made.colormap;
    app->previewWindow = made.window;
    XMapWindow(app->display, app->previewWindow);
    XSync(app->display, False);
    return app->previewWindow != 0;
}

gboolean Tick(gpointer data)
{
    SettingsApp* app = static_cast<SettingsApp*>(data);
    if (app->driver.animating()) {
        gdk_x11_display_error_trap_push(app->gdkDisplay);
        app->driver.Draw();  // GTK's timer keeps the pace
        gdk_x11_display_error_trap_pop_ignored(app->gdkDisplay);
    }
    return G_SOURCE_CONTINUE;
}

void ReleasePreview(SettingsApp* app)
{
    if (app->view) {
        gdk_x11_display_error_trap_push(app->gdkDisplay);
        app->driver.Release();  // releases the engine and the sheet too
        gdk_x11_display_error_trap_pop_ignored(app->gdkDisplay);
        app->view = nullptr;
    }
}

// A preview view for the current settings, in the host's order: created,
// sized, started. Without OpenGL the view still exists (it owns the sheet)
// and the area says why it stays empty.
void BuildPreview(SettingsApp* app)
{
    ReleasePreview(app);
    if (!app->previewWindow) {
        ShowPreviewNote(app, "No preview: the display offers no OpenGL.");
        return;
    }
    gdk_x11_display_error_trap_push(app->gdkDisplay);
    app->host.id = app->previewWindow;
    app->host.mayVanish = true;  // inside GTK's window
    ScreenRect frame = {0, 0, app->size.width, app->size.height};
    X11WindowFrame(app->display, app->previewWindow, &frame);
    auto view = std::make_unique<ZarnetView>(&app->backend, &app->host);
    view->setAlertRoute(
        [app](const char* caption, const char* text) { GtkShowAlert(app->alertParent, caption, text); });
    app->view = app->driver.Add(std::move(view), frame, true);
    if (app->view) {
        app->driver.Resize(app->view, app->size);
        app->driver.Start();
    }
    gdk_x11_display_error_trap_pop_ignored(app->gdkDisplay);
    if (!app->view)
        ShowPreviewNote(app, "No preview: the saver's view could not be made.");
    else if (!app->view->glView)
        ShowPreviewNote(app, "No preview: OpenGL is not available for this window.");
    else
        ShowPreviewNote(app, "");
}

void PreviewResized(GtkWidget*, GdkRectangle* allocation, gpointer data)
{
    SettingsApp* app = static_cast<SettingsApp*>(data);
    if (allocation->width <= 0 || allocation->height <= 0)
        return;
    if (allocation->width == app->size.width && allocation->height == app->size.height)
        return;
    app->size = ViewSize{allocation->width, allocation->height};
    if (app->previewWindow)
        XResizeWindow(app->display, app->previewWindow, static_cast<unsigned>(app->size.width),
                      static_cast<unsigned>(app->size.height));
    if (app->view)
        app->driver.Resize(app->view, app->size);
}

void OpenOptions(SettingsApp* app)
{
    if (app->sheetOpen || !app->view) {
        if (!app->view)
            GtkShowAlert(app->window, "Options Unavailable",
                         "The options can't be shown: the saver's view could not be made.");
        return;
    }
    SheetWindow* sheet = app->view->configureSheet();
    if (!sheet) {
        const std::string text = "The options can't be shown: the layout file \"Zarnet.ui\" is missing "
                                 "or damaged in the folder \"" +
                                 app->backend.resourcePath(app->backend.desktop) +
                                 "\". Reinstalling Zarnet should bring it back.";
        GtkShowAlert(app->window, "Options Unavailable", text.c_str());
        return;
    }
    app->sheetOpen = true;
    // Messages from the sheet (a folder refused, a failed save) belong to it.
    app->alertParent = SheetWindowWidget(sheet);
    const int code = SheetRunModal(sheet, app->window);
    app->alertParent = app->window;
    app->sheetOpen = false;
    if (app->quitting) {
        gtk_main_quit();
        return;
    }
    if (code == kSheetSaved)
        BuildPreview(app);
}

void OptionsClicked(GtkButton*, gpointer data)
{
    OpenOptions(static_cast<SettingsApp*>(data));
}

gboolean OpenOptionsOnce(gpointer data)
{
    OpenOptions(static_cast<SettingsApp*>(data));
    return G_SOURCE_REMOVE;
}

// Closing the window ends the program; with the sheet open, the sheet is
// cancelled first and the program ends once it has closed.
gboolean WindowClosing(GtkWidget*, GdkEvent*, gpointer data)
{
    SettingsApp* app = static_cast<SettingsApp*>(data);
    if (app->sheetOpen && app->view) {
        app->quitting = true;
        SheetEndSheet(app->view->configureSheetWindow, kSheetCancelled);
        return TRUE;
    }
    gtk_main_quit();
    return TRUE;
}

void CloseClicked(GtkButton*, gpointer data)
{
    WindowClosing(nullptr, nullptr, data);
}

GtkWidget* MakeWindow(SettingsApp* app)
{
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(window), "Zarnet Screen Saver");
    gtk_window_set_position(GTK_WINDOW(window), GTK_WIN_POS_CENTER);
    gtk_window_set_icon_name(GTK_WINDOW(window), "preferences-desktop-screensaver");
    g_signal_connect(window, "delete-event", G_CALLBACK(WindowClosing), app);

    GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 12);
    g_object_set(box, "margin", 18, nullptr);
    gtk_container_add(GTK_CONTAINER(window), box);

    GtkWidget* title = gtk_label_new(nullptr);
    gtk_label_set_markup(GTK_LABEL(title), "<span size=\"x-large\" weight=\"bold\">Zarnet</span>");
    gtk_label_set_xalign(GTK_LABEL(title), 0.0f);
    gtk_box_pack_start(GTK_BOX(box), title, FALSE, FALSE, 0);
    GtkWidget* about = gtk_label_new("A jigsaw puzzle that blows apart and puts itself back together.");
    gtk_label_set_xalign(GTK_LABEL(about), 0.0f);
    gtk_label_set_line_wrap(GTK_LABEL(about), TRUE);
    gtk_label_set_max_width_chars(GTK_LABEL(about), 60);
    gtk_style_context_add_class(gtk_widget_get_style_context(about), "dim-label");
    gtk_box_pack_start(GTK_BOX(box), about, FALSE, FALSE, 0);

    GtkWidget* frame = gtk_frame_new(nullptr);
    gtk_frame_set_shadow_type(GTK_FRAME(frame), GTK_SHADOW_IN);
    GtkWidget* overlay = gtk_overlay_new();
    app->previewArea = gtk_drawing_area_new();
    gtk_widget_set_size_request(app->previewArea, kPreviewWidth, kPreviewHeight);
    g_signal_connect(app->previewArea, "size-allocate", G_CALLBACK(PreviewResized), app);
    gtk_container_add(GTK_CONTAINER(overlay), app->previewArea);
    app->previewNote = gtk_label_new(nullptr);
    gtk_label_set_line_wrap(GTK_LABEL(app->previewNote), TRUE);
    gtk_widget_set_no_show_all(app->previewNote, TRUE);
    gtk_overlay_add_overlay(GTK_OVERLAY(overlay), app->previewNote);
    gtk_container_add(GTK_CONTAINER(frame), overlay);
    gtk_box_pack_start(GTK_BOX(box), frame, TRUE, TRUE, 0);

    GtkWidget* buttons = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 8);
    GtkWidget* caption = gtk_label_new("Preview of the saver with the saved settings.");
    gtk_style_context_add_class(gtk_widget_get_style_context(caption), "dim-label");
    gtk_label_set_xalign(GTK_LABEL(caption), 0.0f);
    gtk_box_pack_start(GTK_BOX(buttons), caption, TRUE, TRUE, 0);
    GtkWidget* close = gtk_button_new_with_mnemonic("_Close");
    g_signal_connect(close, "clicked", G_CALLBACK(CloseClicked), app);
    gtk_box_pack_end(GTK_BOX(buttons), close, FALSE, FALSE, 0);
    GtkWidget* options = gtk_button_new_with_mnemonic("_Options…");
    gtk_widget_set_can_default(options, TRUE);
    g_signal_connect(options, "clicked", G_CALLBACK(OptionsClicked), app);
    gtk_box_pack_end(GTK_BOX(buttons), options, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(box), buttons, FALSE, FALSE, 0);

    gtk_widget_grab_default(options);
    gtk_widget_grab_focus(options);
    return window;
}

}  // namespace

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("zarnet-settings %s\n", ZARNET_VERSION);
            return 0;
        }
    // GDK's X11 backend is the only one with the preview's child window.
    gdk_set_allowed_backends("x11");
    // GTK takes its own options (--display ...) out of argv.
    if (!gtk_init_check(&argc, &argv)) {
        std::fprintf(stderr, "zarnet-settings: can't open the display (an X11 display is needed)\n");
        return 1;
    }
    bool openOptions = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--open-options") == 0 || std::strcmp(argv[i], "-open-options") == 0) {
            openOptions = true;
        } else {
            std::fprintf(stderr, "zarnet-settings: unknown option \"%s\"\n", argv[i]);
            std::fputs(kUsage, stderr);
            return 2;
        }
    }

    SettingsApp app;
    app.gdkDisplay = gdk_display_get_default();
    if (!GDK_IS_X11_DISPLAY(app.gdkDisplay)) {
        std::fprintf(stderr, "zarnet-settings: the display is not an X11 display\n");
        return 1;
    }
    app.display = GDK_DISPLAY_XDISPLAY(app.gdkDisplay);
    app.desktop.display = app.display;
    app.backend = ConnectX11(&app.desktop);

    app.window = MakeWindow(&app);
    app.alertParent = app.window;
    MakePreviewWindow(&app);
    // The view (and its desktop grab) comes before the window shows, so a
    // grab of the screen shows the desktop and not this window.
    BuildPreview(&app);
    gtk_widget_show_all(app.window);

    const double interval = app.view ? app.view->animationTimeInterval() : 1.0 / 60.0;
    // A tick a full interval after the last one: an early tick would find
    // less than the interval passed and draw nothing. Below GTK's events and
    // redraws, so a slow renderer can't starve the windows.
    app.timer = g_timeout_add_full(G_PRIORITY_DEFAULT_IDLE, static_cast<guint>(std::ceil(interval * 1000.0)) + 1, Tick,
                                   &app, nullptr);
    if (openOptions)
        g_idle_add(OpenOptionsOnce, &app);

    gtk_main();

    g_source_remove(app.timer);
    ReleasePreview(&app);
    if (app.previewWindow)
        XDestroyWindow(app.display, app.previewWindow);
    if (app.colormap)
        XFreeColormap(app.display, app.colormap);
    gtk_widget_destroy(app.window);
    return 0;
}
