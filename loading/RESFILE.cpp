#include "loading/RESFILE.h"

#include <cstring>
#include <new>

static_assert(sizeof(RESFILE_HEADER) == 24, "container header is 24 bytes");
static_assert(sizeof(RESFILE_LUMP) == 28, "directory entry is 28 bytes");

namespace {

constexpr uint64_t kEntryBytes = 28;

uint32_t Word(const unsigned char* bytes)
{
    return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
           static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

}  // namespace

RESFILE::RESFILE() : fileSize(0), header{}, directory(nullptr) {}

RESFILE::~RESFILE()
{
    Close();
}

bool RESFILE::Open(const char* path)
{
    if (!path) {
        return false;
    }
    stream.open(path, std::ios::in | std::ios::binary);
    if (stream.fail()) {
        return false;
    }

    stream.seekg(0, std::ios::end);
    const std::streamoff end = stream.tellg();
    if (end < 0) {
        return false;
    }
    const uint64_t length = static_cast<uint64_t>(end);
    fileSize = static_cast<uint32_t>(length);

    unsigned char raw[sizeof(RESFILE_HEADER)];
    stream.seekg(0, std::ios::beg);
    stream.read(reinterpret_cast<char*>(raw), sizeof raw);
    if (stream.fail()) {
        return false;
    }
    std::memcpy(header.magic, raw, 4);
    header.unused1 = Word(raw + 4);
    header.unused2 = Word(raw + 8);
    header.lumpCount = Word(raw + 12);
    header.sizeCheck = Word(raw + 16);
    header.directoryOffset = Word(raw + 20);

    if (std::memcmp(header.magic, "VANF", 4) != 0) {
        stream.close();
        return false;
    }
    if (static_cast<uint32_t>(~fileSize) != header.sizeCheck) {
        stream.close();
        return false;
    }

    // The directory must lie inside the file before anything is allocated
    // for it: a forged lumpCount must not turn into a huge allocation. In
    // 64 bits neither product nor sum can overflow.
    const uint64_t directoryBytes = static_cast<uint64_t>(header.lumpCount) * kEntryBytes;
    if (static_cast<uint64_t>(header.directoryOffset) + directoryBytes > length) {
        stream.close();
        return false;
    }

    directory = nullptr;
    directory = new (std::nothrow) RESFILE_LUMP[header.lumpCount]();
    if (!directory) {
        stream.close();
        return false;
    }

    stream.seekg(static_cast<std::streamoff>(header.directoryOffset), std::ios::beg);
    if (stream.fail()) {
        stream.close();
        return false;
    }
    for (uint32_t i = 0; i < header.lumpCount; ++i) {
        unsigned char entry[kEntryBytes];
        stream.read(reinterpret_cast<char*>(entry), sizeof entry);
        if (stream.fail()) {
            stream.close();
            return false;
        }
        RESFILE_LUMP& lump = directory[i];
        lump.size = Word(entry);
        lump.offset = Word(entry + 4);
        lump.lumpType = Word(entry + 8);
        lump.alphaMode = Word(entry + 12);
        std::memcpy(lump.unused, entry + 16, sizeof lump.unused);
    }
    return true;
}

bool RESFILE::SeekLump(int index)
{
    if (!stream.is_open() || !directory || index < 0 || static_cast<uint32_t>(index) >= header.lumpCount) {
        return false;
    }
    stream.seekg(static_cast<std::streamoff>(directory[index].offset), std::ios::beg);
    return !stream.fail();
}

void RESFILE::Close()
{
    delete[] directory;
    directory = nullptr;
    if (stream.is_open()) {
        stream.close();
    }
}
