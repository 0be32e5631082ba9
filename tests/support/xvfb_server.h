#pragma once
#include <string>
#include <sys/types.h>
#include <vector>

// A private Xvfb server for one test: started on a free display number
// (-displayfd), never reset between clients (-noreset), TCP off, with one
// screen of a fixed size. Stopped (SIGTERM, then reaped) by Stop() or the
// destructor.
class XvfbServer {
public:
    XvfbServer() = default;
    ~XvfbServer();  // Stop()
    XvfbServer(const XvfbServer&) = delete;
    XvfbServer& operator=(const XvfbServer&) = delete;

    // Starts Xvfb with a width x height x depth screen and waits until it
    // accepts clients. False (Error() says why) when Xvfb is missing or
    // doesn't come up within a few seconds.
    bool Start(int width = 640, int height = 480, int depth = 24);
    // Ends the server; safe when not started and twice.
    void Stop();

    bool Running() const { return pid_ > 0; }
    // ":N" for XOpenDisplay and $DISPLAY; empty until started.
    const std::string& DisplayName() const { return name_; }
    // The environment of the calling process with DISPLAY set to this
    // server, as "NAME=value" strings for spawning clients.
    std::vector<std::string> Environment() const;
    // Runs `argv` (searched on PATH, e.g. {"xrandr", "--setmonitor", ...})
    // against this server with its output discarded and waits for it.
    // Returns its exit status, or -1 when it couldn't run or was killed.
    int Run(const std::vector<std::string>& argv) const;
    const std::string& Error() const { return error_; }

private:
    pid_t pid_ = -1;      // the Xvfb process; -1 when none
    std::string name_;    // ":N"
    std::string error_;   // why Start() failed
};
