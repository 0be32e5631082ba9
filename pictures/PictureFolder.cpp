// Picture choice: counting, finding and choosing picture files in a folder,
// and joining the chosen name to the folder.
#include <dirent.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "pictures/PictureSteps.h"
#include "pictures/Pictures.h"
#include "platform/join_path.h"

namespace {

// True when `name`, lower-cased, ends in `extension` and is longer than it.
bool IsOfKind(const char* name, const char* extension)
{
    const size_t nameLength = std::strlen(name);
    const size_t extensionLength = std::strlen(extension);
    if (nameLength <= extensionLength) {
        return false;
    }
    const char* tail = name + (nameLength - extensionLength);
    for (size_t i = 0; i < extensionLength; ++i) {
        if (std::tolower(static_cast<unsigned char>(tail[i])) != extension[i]) {
            return false;
        }
    }
    return true;
}

}  // namespace

int CountFiles(const char* folder, const char* extension)
{
    DIR* dir = opendir(folder);
    if (dir == nullptr) {
        return 0;
    }
    int count = 0;
    while (const dirent* entry = readdir(dir)) {
        if (IsOfKind(entry->d_name, extension)) {
            ++count;
        }
    }
    closedir(dir);
    return count;
}

bool FindNthFile(char* folder, char* name, char* extension, int n)
{
    const int count = CountFiles(folder, extension);
    if (count < 1 || count < n) {
        return false;
    }
    DIR* dir = opendir(folder);
    if (dir == nullptr) {
        return false;
    }
    int index = 0;
    while (const dirent* entry = readdir(dir)) {
        if (!IsOfKind(entry->d_name, extension)) {
            continue;
        }
        if (index == n) {
            std::snprintf(name, 1024, "%s", entry->d_name);
            closedir(dir);
            return true;
        }
        ++index;
    }
    closedir(dir);  // n was the count, or the folder changed since counting
    return false;
}

bool ChooseRandomImageFile(char* folder, char* name)
{
    char jpg[] = ".jpg";
    char gif[] = ".gif";
    char png[] = ".png";
    const int j = CountFiles(folder, jpg);
    const int g = CountFiles(folder, gif);
    const int p = CountFiles(folder, png);
    const int total = j + g + p;
    if (total < 1) {
        return false;
    }
    int r = std::rand() % total;
    if (r < j) {
        return FindNthFile(folder, name, jpg, r);
    }
    r -= j;
    if (r < g) {
        return FindNthFile(folder, name, gif, r);
    }
    r -= g;
    return FindNthFile(folder, name, png, r);
}

bool JoinPicturePath(const char* folder, const char* name, char* path)
{
    path[0] = '\0';
    const std::string joined = JoinPath(folder, name);
    if (joined.size() > static_cast<size_t>(kPicturePathSize) - 1) {
        return false;
    }
    std::memcpy(path, joined.c_str(), joined.size() + 1);
    return true;
}
