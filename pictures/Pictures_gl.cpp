// The picture loader's steps that need the GL context: the texture size
// limit and the upload; and LoadPicture, which ends in them.
#include <GL/gl.h>

#include <cstdlib>

#include "loading/Textures.h"
#include "pictures/PictureSteps.h"
#include "pictures/Pictures.h"

bool LoadPicture(char* folder, Texture* texture, int resolution)
{
    char name[1024];
    if (!ChooseRandomImageFile(folder, name)) {
        return false;
    }
    char path[kPicturePathSize];
    if (!JoinPicturePath(folder, name, path)) {
        return false;
    }
    return loadPicFile(path, texture, resolution);
}

bool loadPicFile(const char* path, Texture* texture, int resolution)
{
    GLint maxTextureSize = 0;
    if (resolution != 0 && resolution != 1) {
        glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxTextureSize);
    }
    PictureTexels texels;
    if (!MakePictureTexels(path, resolution, maxTextureSize, &texels)) {
        return false;
    }
    // A buffer still held from an earlier failed upload would otherwise leak.
    std::free(texture->imageData);
    texture->imageData = reinterpret_cast<char*>(texels.texels);
    texture->type = texels.type;
    texture->width = static_cast<unsigned>(texels.width);
    texture->height = static_cast<unsigned>(texels.height);
    const bool built = BuildTexture(texture, 0);
    texture->width = static_cast<unsigned>(texels.pictureWidth);
    texture->height = static_cast<unsigned>(texels.pictureHeight);
    return built;
}
