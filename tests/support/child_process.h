#pragma once
#include <signal.h>

#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

// A program of this build, "<build>/apps/<name>", found from the running test ("<build>/tests/<test>").
std::string BuildProgramPath(const std::string& name);

// A child process for tests of whole programs; killed (SIGKILL) and reaped by the destructor when still running.
class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts argv (argv[0] searched on PATH when it has no "/") with `environment` ("NAME=value"); stdin from
    // /dev/null, stdout to `stdoutPath` (else /dev/null), stderr to `stderrPath` (else the test's). False when it
    // can't be started.
    bool Start(const std::vector<std::string>& argv, const std::vector<std::string>& environment,
               const std::string& stdoutPath = "", const std::string& stderrPath = "");
    // Waits at most `ms` milliseconds; true (and the wait status, unless `status` is null) once reaped.
    bool Wait(int ms, int* status);
    // Sends `sig`; false when not running.
    bool Signal(int sig) { return pid_ > 0 && kill(pid_, sig) == 0; }
    // The process id while it runs; -1 before and once reaped.
    pid_t Pid() const { return pid_; }

private:
    pid_t pid_ = -1;
};

// This process's environment with the "NAME=value" entries of `set` replacing or added, the names in `remove` out.
std::vector<std::string> EnvironmentWith(const std::vector<std::string>& set,
                                         const std::vector<std::string>& remove = {});

// Runs a program to its end (at most `timeoutMs`), its stdout into `*out` when given.
// The exit code, or -1 when it couldn't run, was killed or timed out.
int RunProgram(const std::vector<std::string>& argv, const std::vector<std::string>& environment, std::string* out,
               int timeoutMs);

// Runs `body` in a forked child of this process; its return value as the exit code, or 128 + the signal that
// ended the child, -1 when it couldn't fork.
int InChild(const std::function<int()>& body);
