#include "tests/support/xvfb_server.h"

#include "tests/support/scratch_dir.h"

bool XvfbServer::Start(int width, int height, int depth)
{
    Stop();
    // Xvfb writes its display number and a newline to stdout once it accepts clients.
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

void XvfbServer::Stop()
{
    if (server_.Signal(SIGTERM) && !server_.Wait(5000, nullptr) && server_.Signal(SIGKILL))
        server_.Wait(5000, nullptr);
    name_.clear();
}
