#include "tests/support/child_process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>

#include "tests/support/scratch_dir.h"

extern char** environ;

std::string BuildProgramPath(const std::string& name)
{
    std::error_code e;
    return (std::filesystem::read_symlink("/proc/self/exe", e).parent_path().parent_path() / "apps" / name).string();
}

ChildProcess::~ChildProcess()
{
    if (Signal(SIGKILL))
        waitpid(pid_, nullptr, 0);
}

bool ChildProcess::Start(const std::vector<std::string>& argv, const std::vector<std::string>& environment,
                         const std::string& stdoutPath, const std::string& stderrPath)
{
    if (pid_ > 0 || argv.empty())
        return false;
    std::vector<char*> args, env;  // posix_spawn leaves the strings alone
    for (const std::string& s : argv)
        args.push_back(const_cast<char*>(s.c_str()));
    for (const std::string& s : environment)
        env.push_back(const_cast<char*>(s.c_str()));
    args.push_back(nullptr);
    env.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, stdoutPath.empty() ? "/dev/null" : stdoutPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (!stderrPath.empty())
        posix_spawn_file_actions_addopen(&actions, 2, stderrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int rc = posix_spawnp(&pid_, args[0], &actions, nullptr, args.data(), env.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        pid_ = -1;
    return rc == 0;
}

bool ChildProcess::Wait(int ms, int* status)
{
    for (int waited = 0; pid_ > 0 && waited <= ms; waited += 5) {
        if (waitpid(pid_, status, WNOHANG) != 0) {  // reaped, or not ours to wait for
            pid_ = -1;
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

std::vector<std::string> EnvironmentWith(const std::vector<std::string>& set, const std::vector<std::string>& remove)
{
    std::vector<std::string> env, names = remove;
    for (const std::string& s : set)
        names.push_back(s.substr(0, s.find('=')));
    for (char** p = environ; *p; ++p) {
        const std::string entry(*p), name = entry.substr(0, entry.find('='));
        if (std::find(names.begin(), names.end(), name) == names.end())
            env.push_back(entry);
    }
    env.insert(env.end(), set.begin(), set.end());
    return env;
}

int RunProgram(const std::vector<std::string>& argv, const std::vector<std::string>& environment, std::string* out,
               int timeoutMs)
{
    ScratchDir dir;
    ChildProcess child;
    int status = 0;
    const bool ended = child.Start(argv, environment, dir.Join("stdout")) && child.Wait(timeoutMs, &status);
    if (out != nullptr)
        ReadWholeFile(dir.Join("stdout"), out);
    return ended && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int InChild(const std::function<int()>& body)
{
    const pid_t pid = fork();
    if (pid == 0)
        _exit(body());
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
