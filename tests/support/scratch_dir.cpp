#include "tests/support/scratch_dir.h"

#include <cstdlib>
#include <fstream>
#include <ftw.h>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int RemoveEntry(const char* path, const struct stat*, int type, struct FTW*)
{
    if (type == FTW_DP || type == FTW_D || type == FTW_DNR)
        rmdir(path);
    else
        unlink(path);
    return 0;  // carry on whatever happened
}

// Makes every directory below `path` writable and searchable again, so that
// tests may leave read-only folders behind.
int OpenUp(const char* path, const struct stat*, int type, struct FTW*)
{
    if (type == FTW_D || type == FTW_DNR)
        chmod(path, 0700);
    return 0;
}

}  // namespace

ScratchDir::ScratchDir()
{
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && tmp[0] ? tmp : "/tmp") + "/zarnet-test-XXXXXX";
    if (mkdtemp(pattern.data()))
        path_ = pattern;
}

ScratchDir::~ScratchDir()
{
    if (path_.empty())
        return;
    nftw(path_.c_str(), OpenUp, 16, FTW_PHYS);
    nftw(path_.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
}

bool WriteWholeFile(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out)
        return false;
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

bool ReadWholeFile(const std::string& path, std::string* bytes)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::ostringstream s;
    s << in.rdbuf();
    *bytes = s.str();
    return true;
}
