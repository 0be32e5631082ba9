#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/egl_headless.h"
#include "platform/gl_surface.h"

// A GL surface without any display: a headless EGL context drawing into an
// offscreen target, for the recorder and the tests. flushBuffer finishes the
// frame; the driver reads it back with ReadPixels.
class EglSurface final : public GLSurface {
public:
    EglSurface() = default;
    ~EglSurface() override = default;

    // Creates the context with a target of width x height (at least 1 x 1:
    // a view's surface starts at zero size until setFrameSize). The format
    // is intent only: the target is always RGBA8 with a 24-bit depth buffer.
    // False, with Error() saying why, when no headless context can be had.
    bool Create(int width, int height, const GLPixelFormat& format);

    bool makeCurrentContext() override;
    void flushBuffer() override;
    void setFrameSize(int width, int height) override;
    int width() const override;
    int height() const override;

    // The last frame drawn, RGBA rows top first (width * height * 4 bytes).
    std::vector<uint8_t> ReadPixels() const;
    const std::string& Error() const;

private:
    HeadlessGLContext context_;  // the context and its offscreen target; owned
};
