#pragma once
#include <cstdint>
#include <string>
#include <vector>

// A real OpenGL 1.x context without any display: Mesa through EGL
// (surfaceless platform, desktop-GL compatibility profile), drawing into an
// offscreen colour + 16-bit-or-better depth target of the given size.
// Used by the tests, the benchmarks and the headless recorder. The target is
// a framebuffer object left bound, so drawing code needs nothing special.
// Several contexts may live in one process; the EGL display they share stays
// initialised for the life of the process.
class HeadlessGLContext {
public:
    HeadlessGLContext();
    ~HeadlessGLContext();  // Destroy()
    HeadlessGLContext(const HeadlessGLContext&) = delete;
    HeadlessGLContext& operator=(const HeadlessGLContext&) = delete;

    // Creates the context and a width x height target and makes it current.
    // False (with Error() saying why) when no context can be had.
    bool Create(int width, int height);
    // Replaces the target with one of a new size; the context stays.
    bool Resize(int width, int height);
    // Makes this context current on the calling thread and binds its target.
    void MakeCurrent();
    // Reads the target back as RGBA, top row first (width*height*4 bytes).
    std::vector<uint8_t> ReadPixels() const;
    int Width() const;
    int Height() const;
    // Releases the target and the context; safe on a half-made object and twice.
    void Destroy();
    const std::string& Error() const;

private:
    struct State;
    State* state_;  // EGL display, context and the offscreen target; owned
};
