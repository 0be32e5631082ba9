#pragma once
#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/scratch_dir.h"

// A private Xvfb for one test: a free display number (-displayfd), never reset between clients, TCP off, one
// screen of the given size. Stopped (SIGTERM, then reaped) by Stop() or the destructor.
class XvfbServer {
public:
    ~XvfbServer() { Stop(); }

    // Starts Xvfb and waits until it accepts clients (it writes its display number and a newline to stdout
    // then); false (Error() says why) when it doesn't within seconds.
    bool Start(int width, int height, int depth)
    {
        Stop();
        ScratchDir dir;
        const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x" + std::to_string(depth);
        std::string number;
        const bool started =
            server_.Start({"Xvfb", "-displayfd", "1", "-noreset", "-nolisten", "tcp", "-screen", "0", screen},
                          EnvironmentWith({}), dir.Join("display"));
        for (int waited = 0;
             started && waited < 10000 && number.find('\n') == std::string::npos && !server_.Wait(20, nullptr);
             waited += 20)
            ReadWholeFile(dir.Join("display"), &number);
        const size_t end = number.find('\n');
        if (end == std::string::npos || end == 0) {
            error_ = started ? "Xvfb ended or reported no display in time" : "can't run Xvfb";
            Stop();
            return false;
        }
        name_ = ":" + number.substr(0, end);
        return true;
    }
    // Ends the server; safe when not started and twice.
    void Stop()
    {
        if (server_.Signal(SIGTERM) && !server_.Wait(5000, nullptr) && server_.Signal(SIGKILL))
            server_.Wait(5000, nullptr);
        name_.clear();
    }
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
