#include "tests/support/xvfb_server.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

extern char** environ;

namespace {

constexpr int kStartTimeoutMs = 10000;

std::vector<char*> ArgvOf(std::vector<std::string>& args)
{
    std::vector<char*> v;
    for (std::string& a : args)
        v.push_back(a.data());
    v.push_back(nullptr);
    return v;
}

// Waits for `pid` at most `ms` milliseconds; true when it has been reaped.
bool WaitFor(pid_t pid, int ms, int* status)
{
    for (int waited = 0;; waited += 10) {
        pid_t r = waitpid(pid, status, WNOHANG);
        if (r == pid || (r < 0 && errno != EINTR))
            return true;
        if (waited >= ms)
            return false;
        struct timespec t = {0, 10 * 1000 * 1000};
        nanosleep(&t, nullptr);
    }
}

}  // namespace

XvfbServer::~XvfbServer()
{
    Stop();
}

bool XvfbServer::Start(int width, int height, int depth)
{
    Stop();
    error_.clear();
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        error_ = "pipe failed";
        return false;
    }
    if (fds[1] == 3) {  // dup2 onto itself would keep close-on-exec set
        int moved = fcntl(fds[1], F_DUPFD_CLOEXEC, 10);
        close(fds[1]);
        fds[1] = moved;
        if (moved < 0) {
            close(fds[0]);
            error_ = "fcntl failed";
            return false;
        }
    }
    // The child writes the display number to fd 3 once it accepts clients.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 3);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<std::string> args = {
        "Xvfb", "-displayfd", "3", "-noreset", "-nolisten", "tcp", "-screen", "0",
        std::to_string(width) + "x" + std::to_string(height) + "x" + std::to_string(depth)};
    std::vector<char*> argv = ArgvOf(args);
    pid_t pid = -1;
    int rc = posix_spawnp(&pid, "Xvfb", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (rc != 0) {
        close(fds[0]);
        error_ = std::string("can't run Xvfb: ") + std::strerror(rc);
        return false;
    }
    pid_ = pid;

    std::string number;
    struct timespec start;
    clock_gettime(CLOCK_MONOTONIC, &start);
    for (;;) {
        struct timespec now;
        clock_gettime(CLOCK_MONOTONIC, &now);
        long elapsed = (now.tv_sec - start.tv_sec) * 1000 + (now.tv_nsec - start.tv_nsec) / 1000000;
        if (elapsed >= kStartTimeoutMs) {
            error_ = "Xvfb did not report a display in time";
            break;
        }
        struct pollfd p = {fds[0], POLLIN, 0};
        int n = poll(&p, 1, static_cast<int>(kStartTimeoutMs - elapsed));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            continue;
        char buffer[32];
        ssize_t got = read(fds[0], buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            error_ = "Xvfb exited before reporting a display";
            break;
        }
        number.append(buffer, static_cast<size_t>(got));
        if (number.find('\n') != std::string::npos)
            break;
    }
    close(fds[0]);
    size_t end = number.find('\n');
    if (end == std::string::npos || end == 0) {
        if (error_.empty())
            error_ = "Xvfb reported no display";
        Stop();
        return false;
    }
    name_ = ":" + number.substr(0, end);
    return true;
}

void XvfbServer::Stop()
{
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        int status;
        if (!WaitFor(pid_, 5000, &status)) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
        }
    }
    pid_ = -1;
    name_.clear();
}

std::vector<std::string> XvfbServer::Environment() const
{
    std::vector<std::string> env;
    for (char** e = environ; e && *e; ++e)
        if (std::strncmp(*e, "DISPLAY=", 8) != 0)
            env.emplace_back(*e);
    env.push_back("DISPLAY=" + name_);
    return env;
}

int XvfbServer::Run(const std::vector<std::string>& argvIn) const
{
    if (pid_ <= 0 || argvIn.empty())
        return -1;
    std::vector<std::string> args = argvIn;
    std::vector<char*> argv = ArgvOf(args);
    std::vector<std::string> envStrings = Environment();
    std::vector<char*> env = ArgvOf(envStrings);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), env.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        return -1;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
