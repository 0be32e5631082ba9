#include "loading/Texture.h"

#include <GL/gl.h>

#include <cstdlib>

Texture::Texture() : imageData(nullptr), bpp(0), width(0), height(0), texID(0), type(0) {}

Texture::~Texture()
{
    if (imageData) {
        std::free(imageData);
        imageData = nullptr;
    }
    // Name 0 is no texture: skipping the call keeps records that never
    // reached the GL usable without a context.
    if (texID) {
        glDeleteTextures(1, &texID);
    }
}
