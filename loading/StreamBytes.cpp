#include "loading/StreamBytes.h"

#include <limits>

uint64_t BytesLeftInStream(std::istream& stream)
{
    constexpr uint64_t kUnknown = std::numeric_limits<uint64_t>::max();
    if (!stream.good()) {
        return stream.fail() ? 0 : kUnknown;
    }
    const std::streampos here = stream.tellg();
    if (here == std::streampos(-1)) {
        stream.clear();
        return kUnknown;
    }
    stream.seekg(0, std::ios::end);
    const std::streampos end = stream.tellg();
    stream.clear();
    stream.seekg(here);
    if (end == std::streampos(-1) || stream.fail()) {
        stream.clear();
        stream.seekg(here);
        return kUnknown;
    }
    return end > here ? static_cast<uint64_t>(end - here) : 0;
}

bool ReadBytes(std::istream& stream, void* out, uint64_t size)
{
    if (size > static_cast<uint64_t>(std::numeric_limits<std::streamsize>::max())) {
        stream.setstate(std::ios::failbit);
        return false;
    }
    stream.read(static_cast<char*>(out), static_cast<std::streamsize>(size));
    return !stream.fail() && static_cast<uint64_t>(stream.gcount()) == size;
}
