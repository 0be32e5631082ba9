// Texture upload and the loading of the overlay's texture container.
#include <GL/gl.h>

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <new>

#include "loading/RESFILE.h"
#include "loading/Textures.h"

bool BuildTexture(Texture* texture, int alphaMode)
{
    if (!texture || !texture->imageData || texture->width == 0 || texture->height == 0 || texture->width > INT_MAX ||
        texture->height > INT_MAX) {
        return false;  // nothing to upload
    }
    const unsigned bytesPerPixel = texture->type == GL_RGBA ? 4 : 3;
    const unsigned char* source = reinterpret_cast<const unsigned char*>(texture->imageData);
    const unsigned char keyR = source[0], keyG = source[1], keyB = source[2];

    glGenTextures(1, &texture->texID);
    glBindTexture(GL_TEXTURE_2D, texture->texID);

    const uint64_t pixels = static_cast<uint64_t>(texture->width) * texture->height;
    if (pixels > std::numeric_limits<size_t>::max() / 4) {
        return false;
    }
    unsigned char* buffer = static_cast<unsigned char*>(std::malloc(static_cast<size_t>(pixels * 4)));
    if (!buffer) {
        return false;
    }
    unsigned char* out = buffer;
    for (uint64_t i = 0; i < pixels; ++i, source += bytesPerPixel, out += 4) {
        const unsigned char r = source[0], g = source[1], b = source[2];
        out[0] = r;
        out[1] = g;
        out[2] = b;
        switch (alphaMode) {
        case 1:  // colour key: the first pixel's colour is see-through
            out[3] = (r == keyR && g == keyG && b == keyB) ? 0 : 255;
            break;
        case 2:  // brightness
            out[3] = r > g ? (r > b ? r : b) : (g > b ? g : b);
            break;
        default:
            out[3] = 255;
            break;
        }
    }

    glTexImage2D(GL_TEXTURE_2D, 0, 4, static_cast<GLsizei>(texture->width), static_cast<GLsizei>(texture->height), 0,
                 GL_RGBA, GL_UNSIGNED_BYTE, buffer);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);

    std::free(texture->imageData);
    texture->imageData = nullptr;
    std::free(buffer);
    return true;
}

bool LoadTexturesFromDataFile(const char* path, Texture** textures, int* count, LoadFailure* failure)
{
    if (failure) {
        *failure = LoadFailure{};
    }
    RESFILE container;  // closed and released on every return
    if (!container.Open(path)) {
        return false;
    }
    if (container.header.lumpCount > static_cast<uint32_t>(INT_MAX)) {
        return false;
    }
    *count = static_cast<int>(container.header.lumpCount);
    *textures = new (std::nothrow) Texture[container.header.lumpCount];
    if (!*textures) {
        *count = 0;
        return false;
    }
    Texture* array = *textures;
    for (int i = 0; i < *count; ++i) {
        const RESFILE_LUMP& entry = container.directory[i];
        if (entry.lumpType != 1) {
            continue;
        }
        if (!container.SeekLump(i) || !LoadTGA2(&array[i], &container.stream, failure) ||
            !BuildTexture(&array[i], static_cast<int>(entry.alphaMode))) {
            return false;
        }
    }
    return true;
}
