#include "tests/support/scratch_dir.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

ScratchDir::ScratchDir()
{
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && tmp[0] ? tmp : "/tmp") + "/zarnet-test-XXXXXX";
    if (mkdtemp(pattern.data()))
        path_ = pattern;
}

ScratchDir::~ScratchDir()
{
    std::error_code ignored;
    if (!path_.empty())
        std::filesystem::remove_all(path_, ignored);
}

bool WriteWholeFile(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    return static_cast<bool>(out.write(bytes.data(), static_cast<std::streamsize>(bytes.size())));
}

bool ReadWholeFile(const std::string& path, std::string* bytes)
{
    std::error_code e;
    if (!std::filesystem::is_regular_file(path, e))  // a directory throws, a FIFO blocks
        return false;
    std::ifstream in(path, std::ios::binary);
    if (in)
        bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return static_cast<bool>(in);
}
