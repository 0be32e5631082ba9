#pragma once
// The host view without the host, for draw tests of the engine: a headless
// GL context with the state the view sets up (smooth shading, black clear,
// depth test LEQUAL, colour material for ambient and diffuse on both faces),
// its 45-degree perspective, and its frame loop (clear, Update, perspective,
// Draw). Frames are read back, sampled, and saved as PNG under "frames/" of
// the working directory (ctest runs in the build directory).
#include <cstdint>
#include <string>
#include <vector>

#include "host/SETTINGS.h"
#include "platform/egl_headless.h"

class SSMAIN;

// An 8-bit RGB colour.
struct Rgb {
    int r;  // red 0..255
    int g;  // green 0..255
    int b;  // blue 0..255
};

// A frame read back from the view: RGBA, top row first.
struct Frame {
    int width = 0;               // pixels
    int height = 0;              // pixels
    std::vector<uint8_t> rgba;   // width*height*4 bytes, top row first

    // Colour of the pixel x pixels from the left and y pixels from the
    // BOTTOM (GL window coordinates); black outside the frame.
    Rgb At(int x, int y) const;
    // Mean colour over the square of side 2*radius+1 around (x, y) (GL window coordinates).
    Rgb MeanAround(int x, int y, int radius) const;
    // Fraction of pixels brighter than `threshold` in their brightest channel.
    double LitFraction(int threshold) const;
    // Mean absolute difference per channel (0..255) from another frame of the same size.
    double MeanDifference(const Frame& other) const;
};

class EngineView {
public:
    HeadlessGLContext context;   // the headless context and its offscreen target
    int width = 0;               // view size, pixels
    int height = 0;              // view size, pixels

    // Creates the context of width x height and sets the view's GL state and
    // projection (glInit). False, with a reason in Error(), without a context.
    bool Open(int viewWidth, int viewHeight);
    // The view's glInit: viewport, shading, clear values, depth test, colour
    // material, then Reshape. Tells the engine the size when given one.
    void Init(SSMAIN* engine = nullptr);
    // The view's glReshape: perspective 45 degrees, aspect width/height in
    // single precision, near 1, far 120; identity model-view.
    void Reshape();
    // One tick of the host's frame loop: clear colour and depth, Update(dt),
    // Reshape, Draw. Then waits for the GPU.
    void Tick(SSMAIN& engine, double dt);
    // Reads the current frame back.
    Frame Grab() const;
    const std::string& Error() const;

    // Window coordinates (pixels, origin bottom-left) of a board point drawn
    // by the engine: board scale (sx, sy, 1), then translation (0, 0, -40),
    // under this view's perspective.
    void ProjectBoardPoint(double x, double y, double z, double sx, double sy,
                           double* windowX, double* windowY) const;
};

// Saves the frame as frames/<name>.png in the working directory (made when
// missing). False when it can't be written.
bool SaveFrame(const Frame& frame, const std::string& name);
// The path a saved frame goes to.
std::string FramePath(const std::string& name);


// Settings for a test run: resolution 0, finishing share 75 %, lock in place,
// the given source, width and folder; picWidth/picHeight as given.
SETTINGS EngineTestSettings(int bgType, int puzzleWidth, const std::string& folder = "",
                            int picWidth = 0, int picHeight = 0);
// The build tree's resource directory (ending in "/") as a writable buffer.
std::vector<char> EngineResourceDir();
