// zarnet-pack: packs files into a lump container ("VANF").
//
//   zarnet-pack -o OUT [-t TYPE] [-a MODE] FILE [[-t TYPE] [-a MODE] FILE ...]
//
// Lump n is the n-th FILE. -t sets the lumpType and -a the alphaMode of the
// files that follow it (both start at 0), so one command can mix kinds:
//   zarnet-pack -o vantor.morvence -t 1 -a 1 strip.tga -a 2 note.tga
// The container is written to OUT.tmp and renamed; its bytes depend only on
// the inputs, so the same inputs always give the same file.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tools/file_io.h"
#include "tools/vanf_writer.h"

namespace {

int Usage()
{
    std::fprintf(stderr, "usage: zarnet-pack -o OUT [-t TYPE] [-a MODE] FILE "
                         "[[-t TYPE] [-a MODE] FILE ...]\n"
                         "  -t TYPE  lumpType of the files that follow (1 = TGA texture), default 0\n"
                         "  -a MODE  alphaMode of the files that follow (0, 1, 2), default 0\n");
    return 2;
}

// Parses a non-negative 32-bit decimal number; false on anything else.
bool ParseWord(const char* text, uint32_t& value)
{
    if (!text || !*text)
        return false;
    char* end = nullptr;
    unsigned long long v = std::strtoull(text, &end, 10);
    if (*end != '\0' || text[0] == '-' || v > 0xFFFFFFFFull)
        return false;
    value = uint32_t(v);
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    std::string output;
    uint32_t lumpType = 0;
    uint32_t alphaMode = 0;
    std::vector<vanf::Lump> lumps;

    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "-o") == 0 || std::strcmp(arg, "-t") == 0 || std::strcmp(arg, "-a") == 0) {
            if (i + 1 >= argc)
                return Usage();
            const char* value = argv[++i];
            if (arg[1] == 'o') {
                output = value;
            } else if (!ParseWord(value, arg[1] == 't' ? lumpType : alphaMode)) {
                std::fprintf(stderr, "zarnet-pack: %s needs a number, got \"%s\"\n", arg, value);
                return 2;
            }
            continue;
        }
        if (std::strcmp(arg, "-h") == 0 || std::strcmp(arg, "--help") == 0) {
            Usage();
            return 0;
        }
        vanf::Lump lump;
        if (!toolio::ReadFile(arg, lump.data)) {
            std::fprintf(stderr, "zarnet-pack: can't read %s\n", arg);
            return 1;
        }
        lump.lumpType = lumpType;
        lump.alphaMode = alphaMode;
        lumps.push_back(std::move(lump));
    }
    if (output.empty())
        return Usage();

    std::vector<uint8_t> container;
    if (!vanf::Pack(lumps, container)) {
        std::fprintf(stderr, "zarnet-pack: the lumps don't fit a container (4 GiB at most)\n");
        return 1;
    }
    if (!toolio::WriteFile(output, container)) {
        std::fprintf(stderr, "zarnet-pack: can't write %s\n", output.c_str());
        return 1;
    }
    return 0;
}
