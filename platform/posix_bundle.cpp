#include "platform/bundle.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>

#include "platform/join_path.h"

namespace {

bool IsFile(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The folder with a "/" at its end; an empty one is the root folder.
std::string WithSlash(const std::string& path)
{
    return JoinPath(path.empty() ? "/" : path, "");
}

std::string Parent(const std::string& path)
{
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

std::string ExecutablePath()
{
    char buffer[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0)
        return std::string();
    buffer[n] = '\0';
    return buffer;
}

}  // namespace

std::string ChooseResourcePath(const std::string& exePath, const std::string& buildResources,
                               const std::string& installResources)
{
    const std::string build = WithSlash(buildResources);
    // The build tree is the resources folder's parent.
    const std::string buildTree = WithSlash(Parent(Parent(build)));
    if (!exePath.empty() && exePath.compare(0, buildTree.size(), buildTree) == 0 && IsFile(build + "zar.vnt"))
        return build;
    if (!exePath.empty()) {
        // <prefix>/bin/zarnet and <prefix>/libexec/xscreensaver/zarnet.
        const std::string bin = Parent(exePath), libexec = Parent(bin);
        for (const std::string& prefix : {Parent(bin), Parent(libexec)}) {
            const std::string candidate = WithSlash(prefix) + "share/zarnet/";
            if (IsFile(candidate + "zar.vnt"))
                return candidate;
        }
    }
    return WithSlash(installResources);
}

std::string BundleResourcePath()
{
    return ChooseResourcePath(ExecutablePath(), ZARNET_BUILD_RESOURCES, ZARNET_INSTALL_RESOURCES);
}
