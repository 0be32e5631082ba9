#include "platform/alert.h"

#include <cstdio>
#include <utility>

#include "platform/gtk_alert.h"

namespace {

enum class AlertTarget { Stderr, Dialog, Recorder };

// The process-wide destination of ShowAlert.
struct AlertRoute {
    AlertTarget target = AlertTarget::Stderr;  // where alerts go now
    void* parentWindow = nullptr;              // GtkWindow* for the dialog, not owned
    AlertRecorder recorder;                    // for AlertTarget::Recorder
};

AlertRoute& Route()
{
    static AlertRoute route;
    return route;
}

}  // namespace

void AlertUseStderr()
{
    Route() = AlertRoute{};
}

void AlertUseDialog(void* parentWindow)
{
    AlertRoute& route = Route();
    route.target = AlertTarget::Dialog;
    route.parentWindow = parentWindow;
    route.recorder = nullptr;
}

void AlertSetRecorder(AlertRecorder recorder)
{
    if (!recorder) {
        AlertUseStderr();
        return;
    }
    AlertRoute& route = Route();
    route.target = AlertTarget::Recorder;
    route.parentWindow = nullptr;
    route.recorder = std::move(recorder);
}

void ShowAlert(const char* caption, const char* text)
{
    if (!caption) {
        caption = "";
    }
    if (!text) {
        text = "";
    }
    AlertRoute& route = Route();
    switch (route.target) {
    case AlertTarget::Recorder:
        route.recorder(caption, text);
        return;
    case AlertTarget::Dialog:
        GtkShowAlert(route.parentWindow, caption, text);
        return;
    case AlertTarget::Stderr:
        break;
    }
    std::fprintf(stderr, "zarnet: %s: %s\n", caption, text);
    std::fflush(stderr);
}
