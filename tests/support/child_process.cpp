#include "tests/support/child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

extern char** environ;

std::string BuildProgramPath(const std::string& name)
{
    char exe[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0)
        return "apps/" + name;
    exe[n] = '\0';
    std::string dir(exe);
    dir = dir.substr(0, dir.find_last_of('/'));   // <build>/tests
    dir = dir.substr(0, dir.find_last_of('/'));   // <build>
    return dir + "/apps/" + name;
}

ChildProcess::~ChildProcess()
{
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        int status = 0;
        waitpid(pid_, &status, 0);
    }
}

bool ChildProcess::Start(const std::vector<std::string>& argv, const std::vector<std::string>& environment,
                         const std::string& stdoutPath)
{
    if (pid_ > 0 || argv.empty())
        return false;
    std::vector<std::string> args = argv, env = environment;
    std::vector<char*> a, e;
    for (std::string& s : args)
        a.push_back(s.data());
    a.push_back(nullptr);
    for (std::string& s : env)
        e.push_back(s.data());
    e.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, stdoutPath.empty() ? "/dev/null" : stdoutPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, a[0], &actions, nullptr, a.data(), e.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        return false;
    pid_ = pid;
    return true;
}

bool ChildProcess::Wait(int ms, int* status)
{
    if (pid_ <= 0)
        return false;
    for (int waited = 0;; waited += 5) {
        const pid_t r = waitpid(pid_, status, WNOHANG);
        if (r == pid_ || (r < 0 && errno != EINTR)) {
            pid_ = -1;
            return true;
        }
        if (waited >= ms)
            return false;
        struct timespec t = {0, 5 * 1000 * 1000};
        nanosleep(&t, nullptr);
    }
}

bool ChildProcess::Signal(int sig)
{
    return pid_ > 0 && kill(pid_, sig) == 0;
}

std::vector<std::string> EnvironmentWith(const std::vector<std::string>& set,
                                         const std::vector<std::string>& remove)
{
    auto nameOf = [](const std::string& entry) { return entry.substr(0, entry.find('=')); };
    std::vector<std::string> env;
    for (char** p = environ; *p; ++p) {
        const std::string entry(*p), name = nameOf(entry);
        bool drop = false;
        for (const std::string& r : remove)
            drop = drop || r == name;
        for (const std::string& s : set)
            drop = drop || nameOf(s) == name;
        if (!drop)
            env.push_back(entry);
    }
    env.insert(env.end(), set.begin(), set.end());
    return env;
}

int RunProgram(const std::vector<std::string>& argv, const std::vector<std::string>& environment,
               std::string* out, int timeoutMs)
{
    char path[] = "/tmp/zarnet-run-XXXXXX";
    const int fd = mkstemp(path);
    if (fd < 0)
        return -1;
    close(fd);
    int code = -1;
    {
        ChildProcess child;
        int status = 0;
        if (child.Start(argv, environment, path) && child.Wait(timeoutMs, &status) && WIFEXITED(status))
            code = WEXITSTATUS(status);
    }
    if (out) {
        out->clear();
        if (FILE* f = std::fopen(path, "rb")) {
            char buffer[4096];
            size_t n;
            while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
                out->append(buffer, n);
            std::fclose(f);
        }
    }
    unlink(path);
    return code;
}
