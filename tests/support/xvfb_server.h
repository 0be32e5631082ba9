#pragma once
#include <string>
#include <vector>

#include "tests/support/child_process.h"

// A private Xvfb for one test: a free display number (-displayfd), never reset between clients, TCP off, one
// screen of the given size. Stopped (SIGTERM, then reaped) by Stop() or the destructor.
class XvfbServer {
public:
    ~XvfbServer() { Stop(); }

    // Starts Xvfb and waits until it accepts clients; false (Error() says why) when it doesn't within seconds.
    bool Start(int width, int height, int depth);
    // Ends the server; safe when not started and twice.
    void Stop();
    // ":N" for XOpenDisplay and $DISPLAY; empty until started.
    const std::string& DisplayName() const { return name_; }
    // Runs `argv` (searched on PATH) against this server, its output discarded, and waits for it;
    // its exit status, or -1 when it couldn't run or was killed.
    int Run(const std::vector<std::string>& argv) const
    {
        return RunProgram(argv, EnvironmentWith({"DISPLAY=" + name_}), nullptr, 60000);
    }
    const std::string& Error() const { return error_; }

private:
    ChildProcess server_;
    std::string name_, error_;
};
