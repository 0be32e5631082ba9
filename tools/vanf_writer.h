#pragma once
// Writing lump containers ("VANF"): a 24-byte header, the lumps, then the
// directory of 28-byte entries. All words little-endian 32-bit. Header-only
// so that the tests can build containers of their own with the same code.
#include <cstdint>
#include <string>
#include <vector>

namespace vanf {

// One lump to be packed.
struct Lump {
    std::vector<uint8_t> data;  // the lump's bytes, stored as they are
    uint32_t lumpType = 0;      // 1 = TGA texture; anything else is skipped by the texture loader
    uint32_t alphaMode = 0;     // texture lumps: 0 opaque, 1 colour key, 2 brightness
};

// Value written in the first uninterpreted header word: the layout version
// of this writer (readers ignore it).
constexpr uint32_t kWriterVersion = 1;

inline void PutU32(std::vector<uint8_t>& out, uint32_t v)
{
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
    out.push_back(uint8_t(v >> 16));
    out.push_back(uint8_t(v >> 24));
}

inline void SetU32(std::vector<uint8_t>& out, size_t at, uint32_t v)
{
    out[at] = uint8_t(v);
    out[at + 1] = uint8_t(v >> 8);
    out[at + 2] = uint8_t(v >> 16);
    out[at + 3] = uint8_t(v >> 24);
}

// Packs `lumps` into one container image. Lumps start on 4-byte boundaries
// in the given order; the directory follows them. The size check, the
// complement of the final length, is written last. False (out untouched)
// when the container would not fit the format's 32-bit offsets.
inline bool Pack(const std::vector<Lump>& lumps, std::vector<uint8_t>& out)
{
    uint64_t total = 24;
    for (const Lump& lump : lumps) {
        total = (total + 3) & ~uint64_t(3);
        total += lump.data.size();
    }
    total = (total + 3) & ~uint64_t(3);
    total += uint64_t(lumps.size()) * 28;
    if (total > 0xFFFFFFFFull || lumps.size() > 0xFFFFFFFFull)
        return false;

    std::vector<uint8_t> file;
    file.reserve(size_t(total));
    file.insert(file.end(), {'V', 'A', 'N', 'F'});
    PutU32(file, kWriterVersion);
    PutU32(file, 0);
    PutU32(file, uint32_t(lumps.size()));
    PutU32(file, 0);  // size check, patched below
    PutU32(file, 0);  // directory offset, patched below

    std::vector<uint32_t> offsets;
    for (const Lump& lump : lumps) {
        while (file.size() % 4)
            file.push_back(0);
        offsets.push_back(uint32_t(file.size()));
        file.insert(file.end(), lump.data.begin(), lump.data.end());
    }
    while (file.size() % 4)
        file.push_back(0);
    SetU32(file, 20, uint32_t(file.size()));
    for (size_t i = 0; i < lumps.size(); ++i) {
        PutU32(file, uint32_t(lumps[i].data.size()));
        PutU32(file, offsets[i]);
        PutU32(file, lumps[i].lumpType);
        PutU32(file, lumps[i].alphaMode);
        for (int k = 0; k < 12; ++k)
            file.push_back(0);
    }
    SetU32(file, 16, ~uint32_t(file.size()));
    out.swap(file);
    return true;
}

}  // namespace vanf
