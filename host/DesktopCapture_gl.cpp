// The GL half of the desktop grab: scaling the grab into a texture of the
// view's context.
#include <GL/gl.h>

#include <cstdlib>

#include "host/DesktopCapture.h"
#include "platform/screen_grab.h"

bool BuildGrabTexture(const ScreenGrab& grab, int detail, unsigned* texture)
{
    if (grab.width <= 0 || grab.height <= 0 ||
        grab.rgba.size() < static_cast<size_t>(grab.width) * static_cast<size_t>(grab.height) * 4)
        return false;
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);

    if (*texture == 0)
        glGenTextures(1, texture);
    glBindTexture(GL_TEXTURE_2D, *texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);

    GLint maxTextureSize = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxTextureSize);
    const int limit = GrabSizeLimit(detail, maxTextureSize);
    const int texWidth = GrabTextureSide(grab.width, limit);
    const int texHeight = GrabTextureSide(grab.height, limit);

    bool uploaded = false;
    if (texWidth > 0 && texHeight > 0) {
        const size_t pixels = static_cast<size_t>(texWidth) * static_cast<size_t>(texHeight);
        unsigned char* scaled = static_cast<unsigned char*>(std::malloc(pixels * 4));
        if (scaled) {
            const bool scaledOk = ScaleRgbaBox(grab.rgba.data(), grab.width, grab.height, scaled, texWidth, texHeight);
            if (scaledOk && !GrabIsAllBlack(scaled, pixels)) {
                glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, texWidth, texHeight, 0, GL_RGBA, GL_UNSIGNED_BYTE, scaled);
                uploaded = true;
            }
            std::free(scaled);
        }
    }
    if (!uploaded) {
        glDeleteTextures(1, texture);
        *texture = 0;
    }
    return uploaded;
}

void ReleaseDesktopTexture(unsigned* texture)
{
    if (*texture != 0)
        glDeleteTextures(1, texture);
    *texture = 0;
}
