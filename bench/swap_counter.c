/* Counts a GL program's frames: preloaded (LD_PRELOAD), it wraps
 * glXSwapBuffers and eglSwapBuffers and after every swap writes "frames N first_ms T" to the
 * file named by $SWAP_COUNT_FILE, where T is the time from $SWAP_T0_NS (the
 * launch, CLOCK_REALTIME nanoseconds) to the end of the first swap. Used by
 * side_by_side.sh to count any program's frames the same way. */
#define _GNU_SOURCE
#include <EGL/egl.h>
#include <GL/glx.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

static unsigned long frames;
static double firstMs = -1.0;
static int out = -2;

static double NowNs(void)
{
    struct timespec t;
    clock_gettime(CLOCK_REALTIME, &t);
    return (double)t.tv_sec * 1e9 + (double)t.tv_nsec;
}

static void Swapped(void)
{
    ++frames;
    if (frames == 1) {
        const char* t0 = getenv("SWAP_T0_NS");
        if (t0 != NULL)
            firstMs = (NowNs() - strtod(t0, NULL)) / 1e6;
    }
    if (out == -2) {
        const char* path = getenv("SWAP_COUNT_FILE");
        out = path != NULL ? open(path, O_WRONLY | O_CREAT | O_TRUNC, 0644) : -1;
    }
    if (out >= 0) {
        char line[96];
        const int n = snprintf(line, sizeof line, "frames %lu first_ms %.1f\n", frames, firstMs);
        if (n > 0 && pwrite(out, line, (size_t)n, 0) < 0)
            out = -1;
    }
}

void glXSwapBuffers(Display* display, GLXDrawable drawable)
{
    static void (*real)(Display*, GLXDrawable);
    if (real == NULL)
        real = (void (*)(Display*, GLXDrawable))dlsym(RTLD_NEXT, "glXSwapBuffers");
    if (real != NULL)
        real(display, drawable);
    Swapped();
}

EGLBoolean eglSwapBuffers(EGLDisplay display, EGLSurface surface)
{
    static EGLBoolean (*real)(EGLDisplay, EGLSurface);
    if (real == NULL)
        real = (EGLBoolean(*)(EGLDisplay, EGLSurface))dlsym(RTLD_NEXT, "eglSwapBuffers");
    const EGLBoolean done = real != NULL ? real(display, surface) : EGL_FALSE;
    Swapped();
    return done;
}
