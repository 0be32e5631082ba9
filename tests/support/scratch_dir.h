#pragma once
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

// A fresh directory under GoogleTest's temporary folder for one test, removed with everything in it when the
// object goes.
class ScratchDir {
public:
    ScratchDir()
    {
        std::string pattern = ::testing::TempDir() + "zarnet-test-XXXXXX";
        if (mkdtemp(pattern.data()))
            path_ = pattern;
    }
    ~ScratchDir()
    {
        std::error_code ignored;
        if (!path_.empty())
            std::filesystem::remove_all(path_, ignored);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::string& Path() const { return path_; }  // no trailing "/"; empty when it couldn't be made
    std::string Join(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Writes `bytes` to `path` (replacing it); false on any failure.
template <class Bytes> bool WriteWholeFile(const std::string& path, const Bytes& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    return static_cast<bool>(
        out.write(reinterpret_cast<const char*>(std::data(bytes)), static_cast<std::streamsize>(std::size(bytes))));
}
inline bool WriteWholeFile(const std::string& path, const char* text)
{
    return WriteWholeFile(path, std::string(text));
}
// Reads all of `path`; false when it can't be read or is not a regular file (a directory throws, a FIFO blocks).
inline bool ReadWholeFile(const std::string& path, std::string* bytes)
{
    std::error_code e;
    if (!std::filesystem::is_regular_file(path, e))
        return false;
    std::ifstream in(path, std::ios::binary);
    if (in)
        bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return static_cast<bool>(in);
}
