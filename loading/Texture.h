#pragma once
// One image and the name of its OpenGL texture. Owns the pixels (the
// destructor frees them); the texture name is only recorded here: whoever
// has the record filled (the engine for its overlay textures, the view for
// the desktop picture) deletes it, with its context current.
struct Texture {
    char* imageData;  // decoded pixels, rows of `width` packed, R,G,B[,A] per `type`; null when none (malloc/free)
    unsigned bpp;     // bits per pixel of a TGA source (24 or 32)
    unsigned width;   // pixels
    unsigned height;  // pixels
    unsigned texID;   // OpenGL texture name; 0 = none
    unsigned type;    // GL_RGB or GL_RGBA: the layout of imageData

    Texture();
    ~Texture();  // frees imageData; makes no GL call
    Texture(const Texture&) = delete;
    Texture& operator=(const Texture&) = delete;
};
