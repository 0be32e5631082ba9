#pragma once
// A folder and a name in it made into one path. Plain string code, for every
// folder of the tree.
#include <string>
#include <string_view>

// `folder` and `name` with one "/" between them: the folder gets one unless
// it ends in one already ("." and "~" too: gluing a name straight onto them
// would name another file). An empty folder gives the name alone, a name in
// the working folder. JoinPath(folder, "") is the folder ready for names.
inline std::string JoinPath(std::string_view folder, std::string_view name)
{
    std::string path(folder);
    if (!path.empty() && path.back() != '/')
        path += '/';
    path += name;
    return path;
}
