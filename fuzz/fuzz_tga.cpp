// libFuzzer harness for the TGA reader. The reader must give the alert's
// caption and text whenever it refuses an input, and none for an image it
// decodes; the first and last byte of a decoded image are read so that a
// buffer smaller than the image it claims to hold shows up under ASan.
// Images above 64 k pixels are skipped before decoding to keep each run fast
// (the size refusals have unit tests of their own).
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include <GL/gl.h>

#include "loading/Textures.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size >= 16) {
        const uint64_t width = data[12] | data[13] << 8;
        const uint64_t height = data[14] | data[15] << 8;
        if (width * height > (uint64_t{1} << 16)) {
            return 0;
        }
    }
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    Texture texture;
    LoadFailure failure;
    const bool decoded = LoadTGA2(&texture, &in, &failure);
    if (decoded == static_cast<bool>(failure) || (failure && !failure.caption)) {
        __builtin_trap();  // a refusal without its alert, or an alert for a success
    }
    if (decoded) {
        const size_t bytes = static_cast<size_t>(texture.width) * texture.height * (texture.type == GL_RGBA ? 4 : 3);
        if (bytes > 0) {
            volatile unsigned char sink = texture.imageData[0];
            sink = texture.imageData[bytes - 1];
            (void)sink;
        }
    }
    return 0;
}
