#include "platform/egl_surface.h"

#include <GL/gl.h>

#include <algorithm>

bool EglSurface::Create(int width, int height, const GLPixelFormat& /*format*/)
{
    return context_.Create(std::max(1, width), std::max(1, height));
}

bool EglSurface::makeCurrentContext()
{
    if (context_.Width() <= 0)
        return false;
    context_.MakeCurrent();
    return true;
}

void EglSurface::flushBuffer()
{
    if (context_.Width() <= 0)
        return;
    context_.MakeCurrent();
    prepareFlush();
    glFlush();
}

void EglSurface::setFrameSize(int width, int height)
{
    width = std::max(1, width);
    height = std::max(1, height);
    if (context_.Width() > 0 && (width != context_.Width() || height != context_.Height()))
        context_.Resize(width, height);
}

int EglSurface::width() const
{
    return context_.Width();
}

int EglSurface::height() const
{
    return context_.Height();
}

std::vector<uint8_t> EglSurface::ReadPixels() const
{
    return context_.ReadPixels();
}

const std::string& EglSurface::Error() const
{
    return context_.Error();
}
