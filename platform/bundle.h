#pragma once
#include <string>

// The folder holding the data files "zar.vnt" and "vantor.morvence" for a
// program of this build: the build tree's resources folder when the program
// runs from the build tree, otherwise the installed data folder (found next
// to the program first, so an installed tree may move), with a trailing "/".
std::string BundleResourcePath();

// The same choice for a program at `exePath`: `buildResources` when it
// holds "zar.vnt" and `exePath` lies in the folder above it; otherwise the
// first of "<exe dir>/../share/zarnet/", "<exe dir>/../../share/zarnet/"
// holding "zar.vnt" (written without the ".."); otherwise `installResources`.
std::string ChooseResourcePath(const std::string& exePath, const std::string& buildResources,
                               const std::string& installResources);
