#pragma once
#include <string>

// A fresh directory under $TMPDIR (or /tmp) for one test, removed with
// everything in it when the object goes.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    // The directory, no trailing "/"; empty when it couldn't be made.
    const std::string& Path() const { return path_; }
    // Path() + "/" + name.
    std::string Join(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;  // made by mkdtemp
};

// Writes `bytes` to `path` (replacing it); false on any failure.
bool WriteWholeFile(const std::string& path, const std::string& bytes);
// Reads all of `path`; false when it can't be read.
bool ReadWholeFile(const std::string& path, std::string* bytes);
