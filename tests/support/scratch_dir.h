#pragma once
#include <string>
#include <vector>

// A fresh directory under $TMPDIR (or /tmp) for one test, removed with everything in it when the object goes.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::string& Path() const { return path_; }  // no trailing "/"; empty when it couldn't be made
    std::string Join(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Writes `bytes` to `path` (replacing it); false on any failure.
bool WriteWholeFile(const std::string& path, const std::string& bytes);
inline bool WriteWholeFile(const std::string& path, const std::vector<unsigned char>& bytes)
{
    return WriteWholeFile(path, std::string(bytes.begin(), bytes.end()));
}
// Reads all of `path`; false when it can't be read or is not a regular file.
bool ReadWholeFile(const std::string& path, std::string* bytes);
