// Headless OpenGL through Mesa's surfaceless EGL platform. The context has
// no surface of its own: it draws into a framebuffer object (RGBA8 colour,
// 24-bit depth) that is bound as the draw and read framebuffer, so code
// written for a window's default framebuffer runs unchanged.
#include "platform/egl_headless.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>
#include <GL/glext.h>

#include <cstring>

namespace {

// The framebuffer-object entry points, looked up through EGL once the
// context exists (libOpenGL exports only what its headers promise).
struct FboApi {
    PFNGLGENFRAMEBUFFERSPROC genFramebuffers = nullptr;
    PFNGLDELETEFRAMEBUFFERSPROC deleteFramebuffers = nullptr;
    PFNGLBINDFRAMEBUFFERPROC bindFramebuffer = nullptr;
    PFNGLCHECKFRAMEBUFFERSTATUSPROC checkFramebufferStatus = nullptr;
    PFNGLGENRENDERBUFFERSPROC genRenderbuffers = nullptr;
    PFNGLDELETERENDERBUFFERSPROC deleteRenderbuffers = nullptr;
    PFNGLBINDRENDERBUFFERPROC bindRenderbuffer = nullptr;
    PFNGLRENDERBUFFERSTORAGEPROC renderbufferStorage = nullptr;
    PFNGLFRAMEBUFFERRENDERBUFFERPROC framebufferRenderbuffer = nullptr;

    bool Load()
    {
        genFramebuffers = reinterpret_cast<PFNGLGENFRAMEBUFFERSPROC>(eglGetProcAddress("glGenFramebuffers"));
        deleteFramebuffers = reinterpret_cast<PFNGLDELETEFRAMEBUFFERSPROC>(eglGetProcAddress("glDeleteFramebuffers"));
        bindFramebuffer = reinterpret_cast<PFNGLBINDFRAMEBUFFERPROC>(eglGetProcAddress("glBindFramebuffer"));
        checkFramebufferStatus =
            reinterpret_cast<PFNGLCHECKFRAMEBUFFERSTATUSPROC>(eglGetProcAddress("glCheckFramebufferStatus"));
        genRenderbuffers = reinterpret_cast<PFNGLGENRENDERBUFFERSPROC>(eglGetProcAddress("glGenRenderbuffers"));
        deleteRenderbuffers =
            reinterpret_cast<PFNGLDELETERENDERBUFFERSPROC>(eglGetProcAddress("glDeleteRenderbuffers"));
        bindRenderbuffer = reinterpret_cast<PFNGLBINDRENDERBUFFERPROC>(eglGetProcAddress("glBindRenderbuffer"));
        renderbufferStorage =
            reinterpret_cast<PFNGLRENDERBUFFERSTORAGEPROC>(eglGetProcAddress("glRenderbufferStorage"));
        framebufferRenderbuffer =
            reinterpret_cast<PFNGLFRAMEBUFFERRENDERBUFFERPROC>(eglGetProcAddress("glFramebufferRenderbuffer"));
        return genFramebuffers && deleteFramebuffers && bindFramebuffer && checkFramebufferStatus && genRenderbuffers &&
               deleteRenderbuffers && bindRenderbuffer && renderbufferStorage && framebufferRenderbuffer;
    }
};

}  // namespace

struct HeadlessGLContext::State {
    EGLDisplay display = EGL_NO_DISPLAY;  // surfaceless Mesa display; process-wide, never terminated
    EGLContext context = EGL_NO_CONTEXT;  // desktop-GL compatibility context; owned
    FboApi fbo;                           // framebuffer-object entry points
    GLuint framebuffer = 0;               // offscreen target; owned
    GLuint colour = 0;                    // RGBA8 renderbuffer; owned
    GLuint depth = 0;                     // 24-bit depth renderbuffer; owned
    int width = 0;                        // target size, pixels
    int height = 0;                       // target size, pixels
    std::string error;                    // why the last Create/Resize failed
};

HeadlessGLContext::HeadlessGLContext() : state_(new State) {}

HeadlessGLContext::~HeadlessGLContext()
{
    Destroy();
    delete state_;
}

namespace {

void ReleaseTarget(FboApi& api, GLuint& framebuffer, GLuint& colour, GLuint& depth)
{
    if (!api.bindFramebuffer) {
        return;
    }
    api.bindFramebuffer(GL_FRAMEBUFFER, 0);
    if (framebuffer) {
        api.deleteFramebuffers(1, &framebuffer);
    }
    if (colour) {
        api.deleteRenderbuffers(1, &colour);
    }
    if (depth) {
        api.deleteRenderbuffers(1, &depth);
    }
    framebuffer = colour = depth = 0;
}

}  // namespace

bool HeadlessGLContext::Create(int width, int height)
{
    Destroy();
    State& s = *state_;
    s.error.clear();
    if (width <= 0 || height <= 0) {
        s.error = "target size must be positive";
        return false;
    }

    auto getPlatformDisplay =
        reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (!getPlatformDisplay) {
        s.error = "EGL has no eglGetPlatformDisplayEXT";
        return false;
    }
    s.display = getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    if (s.display == EGL_NO_DISPLAY) {
        s.error = "no surfaceless EGL display (is libegl-mesa0 installed?)";
        return false;
    }
    EGLint major = 0, minor = 0;
    if (!eglInitialize(s.display, &major, &minor)) {
        s.error = "eglInitialize failed";
        s.display = EGL_NO_DISPLAY;
        return false;
    }
    if (!eglBindAPI(EGL_OPENGL_API)) {
        s.error = "EGL cannot bind the desktop OpenGL API";
        return false;
    }

    const EGLint configAttribs[] = {EGL_RENDERABLE_TYPE,
                                    EGL_OPENGL_BIT,
                                    EGL_RED_SIZE,
                                    8,
                                    EGL_GREEN_SIZE,
                                    8,
                                    EGL_BLUE_SIZE,
                                    8,
                                    EGL_ALPHA_SIZE,
                                    8,
                                    EGL_DEPTH_SIZE,
                                    16,
                                    EGL_NONE};
    EGLConfig config = nullptr;
    EGLint found = 0;
    if (!eglChooseConfig(s.display, configAttribs, &config, 1, &found) || found < 1) {
        // Surfaceless contexts don't need a config; try without one.
        config = nullptr;
    }

    const EGLint contextAttribs[] = {EGL_CONTEXT_OPENGL_PROFILE_MASK, EGL_CONTEXT_OPENGL_COMPATIBILITY_PROFILE_BIT,
                                     EGL_NONE};
    s.context = eglCreateContext(s.display, config ? config : EGL_NO_CONFIG_KHR, EGL_NO_CONTEXT, contextAttribs);
    if (s.context == EGL_NO_CONTEXT) {
        s.error = "no desktop-GL compatibility context";
        return false;
    }
    if (!eglMakeCurrent(s.display, EGL_NO_SURFACE, EGL_NO_SURFACE, s.context)) {
        Destroy();
        s.error = "cannot make the context current without a surface";
        return false;
    }
    if (!s.fbo.Load()) {
        Destroy();
        s.error = "no framebuffer objects";
        return false;
    }
    if (!Resize(width, height)) {
        std::string why = s.error;
        Destroy();
        s.error = why;
        return false;
    }
    return true;
}

bool HeadlessGLContext::Resize(int width, int height)
{
    State& s = *state_;
    if (s.context == EGL_NO_CONTEXT) {
        s.error = "no context";
        return false;
    }
    if (width <= 0 || height <= 0) {
        s.error = "target size must be positive";
        return false;
    }
    MakeCurrent();
    ReleaseTarget(s.fbo, s.framebuffer, s.colour, s.depth);

    GLint maxSize = 0;
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &maxSize);
    if (width > maxSize || height > maxSize) {
        s.error = "target larger than the largest renderbuffer";
        return false;
    }

    s.fbo.genRenderbuffers(1, &s.colour);
    s.fbo.bindRenderbuffer(GL_RENDERBUFFER, s.colour);
    s.fbo.renderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
    s.fbo.genRenderbuffers(1, &s.depth);
    s.fbo.bindRenderbuffer(GL_RENDERBUFFER, s.depth);
    s.fbo.renderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, width, height);
    s.fbo.bindRenderbuffer(GL_RENDERBUFFER, 0);

    s.fbo.genFramebuffers(1, &s.framebuffer);
    s.fbo.bindFramebuffer(GL_FRAMEBUFFER, s.framebuffer);
    s.fbo.framebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, s.colour);
    s.fbo.framebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, s.depth);
    if (s.fbo.checkFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
        ReleaseTarget(s.fbo, s.framebuffer, s.colour, s.depth);
        s.error = "offscreen framebuffer incomplete";
        return false;
    }
    glDrawBuffer(GL_COLOR_ATTACHMENT0);
    glReadBuffer(GL_COLOR_ATTACHMENT0);
    glViewport(0, 0, width, height);
    s.width = width;
    s.height = height;
    return true;
}

void HeadlessGLContext::MakeCurrent()
{
    State& s = *state_;
    if (s.context == EGL_NO_CONTEXT) {
        return;
    }
    eglMakeCurrent(s.display, EGL_NO_SURFACE, EGL_NO_SURFACE, s.context);
    if (s.framebuffer) {
        s.fbo.bindFramebuffer(GL_FRAMEBUFFER, s.framebuffer);
    }
}

std::vector<uint8_t> HeadlessGLContext::ReadPixels() const
{
    const State& s = *state_;
    std::vector<uint8_t> pixels;
    if (s.context == EGL_NO_CONTEXT || !s.framebuffer) {
        return pixels;
    }
    const_cast<HeadlessGLContext*>(this)->MakeCurrent();
    const size_t row = static_cast<size_t>(s.width) * 4;
    pixels.resize(row * static_cast<size_t>(s.height));
    std::vector<uint8_t> bottomFirst(pixels.size());

    GLint alignment = 4, rowLength = 0, skipRows = 0, skipPixels = 0;
    glGetIntegerv(GL_PACK_ALIGNMENT, &alignment);
    glGetIntegerv(GL_PACK_ROW_LENGTH, &rowLength);
    glGetIntegerv(GL_PACK_SKIP_ROWS, &skipRows);
    glGetIntegerv(GL_PACK_SKIP_PIXELS, &skipPixels);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    glPixelStorei(GL_PACK_SKIP_ROWS, 0);
    glPixelStorei(GL_PACK_SKIP_PIXELS, 0);
    glFinish();
    glReadPixels(0, 0, s.width, s.height, GL_RGBA, GL_UNSIGNED_BYTE, bottomFirst.data());
    glPixelStorei(GL_PACK_ALIGNMENT, alignment);
    glPixelStorei(GL_PACK_ROW_LENGTH, rowLength);
    glPixelStorei(GL_PACK_SKIP_ROWS, skipRows);
    glPixelStorei(GL_PACK_SKIP_PIXELS, skipPixels);

    for (int y = 0; y < s.height; ++y) {
        std::memcpy(pixels.data() + static_cast<size_t>(y) * row,
                    bottomFirst.data() + static_cast<size_t>(s.height - 1 - y) * row, row);
    }
    return pixels;
}

int HeadlessGLContext::Width() const
{
    return state_->width;
}

int HeadlessGLContext::Height() const
{
    return state_->height;
}

void HeadlessGLContext::Destroy()
{
    State& s = *state_;
    if (s.context != EGL_NO_CONTEXT) {
        if (eglMakeCurrent(s.display, EGL_NO_SURFACE, EGL_NO_SURFACE, s.context)) {
            ReleaseTarget(s.fbo, s.framebuffer, s.colour, s.depth);
        }
        eglMakeCurrent(s.display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        eglDestroyContext(s.display, s.context);
    }
    // The display stays initialised: EGL displays are shared by the whole
    // process, and terminating it would pull the ground from under any
    // other context still alive (two views in one process).
    s.context = EGL_NO_CONTEXT;
    s.display = EGL_NO_DISPLAY;
    s.framebuffer = s.colour = s.depth = 0;
    s.fbo = FboApi{};
    s.width = s.height = 0;
}

const std::string& HeadlessGLContext::Error() const
{
    return state_->error;
}
