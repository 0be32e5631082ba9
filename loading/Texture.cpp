#include "loading/Texture.h"

#include <cstdlib>

Texture::Texture() : imageData(nullptr), bpp(0), width(0), height(0), texID(0), type(0) {}

Texture::~Texture()
{
    std::free(imageData);
    imageData = nullptr;
}
