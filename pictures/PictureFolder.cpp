// Picture choice: counting, finding and choosing picture files in a folder,
// and joining the chosen name to the folder.
#include <dirent.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "pictures/PictureSteps.h"
#include "pictures/Pictures.h"

namespace {

// True when `name`, lower-cased, ends in `extension` and is longer than it.
bool IsOfKind(char const* name, char const* extension) {
    size_t const nameLength = std::strlen(name);
    size_t const extensionLength = std::strlen(extension);
    if (nameLength <= extensionLength) {
        return false;
    }
    char const* tail = name + (nameLength - extensionLength);
    for (size_t i = 0; i < extensionLength; ++i) {
        if (std::tolower(static_cast<unsigned char>(tail[i])) != extension[i]) {
            return false;
        }
    }
    return true;
}

}  // namespace

int CountFiles(char const* folder, char const* extension) {
    DIR* dir = opendir(folder);
    if (dir == nullptr) {
        return 0;
    }
    int count = 0;
    while (dirent const* entry = readdir(dir)) {
        if (IsOfKind(entry->d_name, extension)) {
            ++count;
        }
    }
    closedir(dir);
    return count;
}

bool FindNthFile(char* folder, char* name, char* extension, int n) {
    int const count = CountFiles(folder, extension);
    if (count < 1 || count < n) {
        return false;
    }
    DIR* dir = opendir(folder);
    if (dir == nullptr) {
        return false;
    }
    int index = 0;
    while (dirent const* entry = readdir(dir)) {
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

bool ChooseRandomImageFile(char* folder, char* name) {
    char jpg[] = ".jpg";
    char gif[] = ".gif";
    char png[] = ".png";
    int const j = CountFiles(folder, jpg);
    int const g = CountFiles(folder, gif);
    int const p = CountFiles(folder, png);
    int const total = j + g + p;
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

bool JoinPicturePath(char const* folder, char const* name, char* path) {
    path[0] = '\0';
    size_t const folderLength = std::strlen(folder);
    // Any folder not ending in "/" gets one, also a short one such as "."
    // or "~": gluing the name straight onto it would name another file.
    bool const slash = folderLength > 0 && folder[folderLength - 1] != '/';
    size_t const nameLength = std::strlen(name);
    size_t const length = folderLength + (slash ? 1 : 0) + nameLength;
    if (length > kPicturePathSize - 1) {
        return false;
    }
    std::memcpy(path, folder, folderLength);
    if (slash) {
        path[folderLength] = '/';
    }
    std::memcpy(path + length - nameLength, name, nameLength);
    path[length] = '\0';
    return true;
}
