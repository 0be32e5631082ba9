#pragma once
// Whole-file reading and writing for the data-file tools.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace toolio {

// Reads the whole file at `path` into `out`. False when it can't be read.
inline bool ReadFile(const std::string& path, std::vector<uint8_t>& out)
{
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return false;
    std::vector<uint8_t> data;
    uint8_t buffer[65536];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, f)) > 0)
        data.insert(data.end(), buffer, buffer + got);
    bool ok = !std::ferror(f);
    std::fclose(f);
    if (ok)
        out.swap(data);
    return ok;
}

// Writes `data` to `path`, replacing the file: written to "<path>.tmp" first
// and renamed, so a failed run never leaves a half-written file behind.
// False when any step fails.
inline bool WriteFile(const std::string& path, const std::vector<uint8_t>& data)
{
    std::string tmp = path + ".tmp";
    FILE* f = std::fopen(tmp.c_str(), "wb");
    if (!f)
        return false;
    bool ok = data.empty() || std::fwrite(data.data(), 1, data.size(), f) == data.size();
    ok = (std::fclose(f) == 0) && ok;
    if (ok)
        ok = std::rename(tmp.c_str(), path.c_str()) == 0;
    if (!ok)
        std::remove(tmp.c_str());
    return ok;
}

}  // namespace toolio
