#pragma once
#include <cstdint>
#include <fstream>

// The 24-byte header at the start of a lump container, as stored
// (little-endian 32-bit words).
struct RESFILE_HEADER {
    char magic[4];             // "VANF", no terminator
    uint32_t unused1;          // not interpreted
    uint32_t unused2;          // not interpreted
    uint32_t lumpCount;        // entries in the directory (may be 0)
    uint32_t sizeCheck;        // ~(file length in bytes), 32-bit
    uint32_t directoryOffset;  // absolute position of the directory, bytes
};

// One 28-byte directory entry: where lump n lies and what it is.
struct RESFILE_LUMP {
    uint32_t size;             // lump length in bytes (never consulted by the readers)
    uint32_t offset;           // absolute position of the lump's first byte
    uint32_t lumpType;         // 1 = TGA texture; otherwise not interpreted
    uint32_t alphaMode;        // texture lumps: 0 opaque, 1 colour key, 2 brightness
    unsigned char unused[12];  // not interpreted
};

// A read-only lump container ("VANF"). Open checks the header and loads the
// directory; SeekLump positions `stream` at a lump for that lump's reader.
// A reader that runs past the end leaves `stream` failed, and every later
// SeekLump on this object then returns false.
class RESFILE {
public:
    uint32_t fileSize;        // file length in bytes (low 32 bits), measured at Open; 0 before
    std::ifstream stream;     // the open file, binary input; handed to lump readers
    RESFILE_HEADER header;    // the header as read
    RESFILE_LUMP* directory;  // header.lumpCount entries (array new, owned); null when none loaded

    RESFILE();
    ~RESFILE();  // Close()
    RESFILE(const RESFILE&) = delete;
    RESFILE& operator=(const RESFILE&) = delete;

    // Opens `path`, checks magic and size check, loads the directory. False
    // when the file can't be read, the header is wrong, the size check fails
    // or the directory doesn't lie wholly inside the file.
    bool Open(const char* path);
    // Positions `stream` at lump `index`. False when no directory is loaded,
    // the index is out of range, or the stream has failed (also by a reader).
    bool SeekLump(int index);
    // Releases the directory and closes the file; harmless twice.
    void Close();
};
