#pragma once
// The host view without the host, for draw tests of the engine: a headless context with the view's GL state,
// projection and frame loop; frames read back, sampled and saved; pictures whose board cells all differ in colour.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/egl_headless.h"
#include "puzzle/SETTINGS.h"

class SSMAIN;
class ONEPUZZLE;

struct Rgb {
    int r, g, b;
};  // 0..255

// A frame read back from the view: RGBA, top row first; x, y below are GL window coordinates (y from the bottom).
struct Frame {
    int width = 0, height = 0;
    std::vector<uint8_t> rgba;

    Rgb At(int x, int y) const;                       // black outside the frame
    Rgb MeanAround(int x, int y, int radius) const;   // over the square of side 2*radius+1
    double LitFraction(int threshold) const;          // share of pixels brighter than threshold in some channel
    double MeanDifference(const Frame& other) const;  // per channel, 0..255 (255 when sizes differ)
};

// A picture file (a saved frame) read back as a Frame, rows as stored; empty when it can't be decoded.
Frame LoadFrame(const std::string& path);

class EngineView {
public:
    HeadlessGLContext context;
    int width = 0, height = 0;

    // Creates the context and runs Init; false (reason in Error()) without one.
    bool Open(int viewWidth, int viewHeight);
    // The view's glInit (GL state, then its 45-degree perspective); tells the engine the size when given one.
    void Init(SSMAIN* engine = nullptr);
    // One tick of the host's frame loop: clear, Update(dt), perspective, Draw, glFinish.
    void Tick(SSMAIN& engine, double dt);
    Frame Grab() const { return Frame{context.Width(), context.Height(), context.ReadPixels()}; }
    const std::string& Error() const { return context.Error(); }
};

// Saves the frame, opaque, as frames/<name>.png under the working directory.
bool SaveFrame(const Frame& frame, const std::string& name);

// Settings for a test run: resolution 0, finishing share 75 %, lock in place, the given source, width and folder.
SETTINGS EngineTestSettings(int bgType, int puzzleWidth, const std::string& folder = "", int picWidth = 0,
                            int picHeight = 0);

// A width x height RGB picture (top row first) of cols x rows cells, each of its own colour: red encodes the
// column, green the row, blue is full (so lighting doesn't change which cell a colour names).
std::vector<uint8_t> CellPicture(int width, int height, int cols, int rows);

// The texels of a texture of the current context, RGBA, row 0 first; its size into *width, *height.
std::vector<uint8_t> TextureTexels(unsigned texture, int* width, int* height);

// The texture the host's desktop grab (detail 0) makes of an RGB picture, top row first; 0 on failure.
unsigned UploadGrabTexture(int width, int height, const std::vector<uint8_t>& rgb);

// Cells whose home centre (projected with the view and board scale sx, sy) lies in the frame, and how many of
// them show their own CellPicture colour there; firstMisses lists a few others for the failure message.
struct CellReport {
    int checked = 0, matched = 0;
    std::string firstMisses;
};
CellReport CheckBoardCells(const Frame& frame, const EngineView& view, const ONEPUZZLE& puzzle, double sx = 1.0,
                           double sy = 1.0);
