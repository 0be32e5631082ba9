#pragma once
#include <string>
#include <sys/types.h>
#include <vector>

// A program of this build: "<build>/apps/<name>", found from the running
// test program ("<build>/tests/<test>").
std::string BuildProgramPath(const std::string& name);

// A child process for tests of whole programs: started with posix_spawn,
// its stdout optionally sent to a file, killed (SIGKILL) and reaped by the
// destructor when still running.
class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts argv[0] (a path) with `environment` ("NAME=value" strings).
    // stdout goes to `stdoutPath` when given, else to /dev/null; stderr is
    // the test's. False when it can't be started.
    bool Start(const std::vector<std::string>& argv, const std::vector<std::string>& environment,
               const std::string& stdoutPath = "");
    // Waits at most `ms` milliseconds; true (and the wait status) once reaped.
    bool Wait(int ms, int* status);
    // Sends `sig`; false when not running.
    bool Signal(int sig);
    bool Running() const { return pid_ > 0; }

private:
    pid_t pid_ = -1;  // -1 when none
};

// The environment of this process with the given "NAME=value" entries
// replacing or adding to it, and the names in `remove` taken out.
std::vector<std::string> EnvironmentWith(const std::vector<std::string>& set,
                                         const std::vector<std::string>& remove = {});

// Runs a program to its end (at most `timeoutMs`), its stdout into `*out`.
// Returns the exit code, or -1 when it couldn't run, was killed or timed out.
int RunProgram(const std::vector<std::string>& argv, const std::vector<std::string>& environment,
               std::string* out, int timeoutMs);
