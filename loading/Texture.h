#pragma once
// One image and its OpenGL texture. Owns both: the destructor frees the
// pixels (malloc'd) and deletes the texture name.
struct Texture {
    char* imageData;  // decoded pixels, rows of `width` packed, R,G,B[,A] per `type`; null when none (malloc/free)
    unsigned bpp;     // bits per pixel of a TGA source (24 or 32)
    unsigned width;   // pixels
    unsigned height;  // pixels
    unsigned texID;   // OpenGL texture name; 0 = none
    unsigned type;    // GL_RGB or GL_RGBA: the layout of imageData

    Texture();
    ~Texture();
    Texture(const Texture&) = delete;
    Texture& operator=(const Texture&) = delete;
};
