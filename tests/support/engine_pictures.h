#pragma once
// Test pictures for the engine's draw tests: pictures whose board cells all
// differ in colour (the colour says which cell it is, independently of how
// brightly the piece is lit), written as PNG (8 or 16 bits), JPEG (colour or
// grey) or GIF (palette), and a stand-in for the host's desktop grab.
#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/engine_view.h"

// Colour of the cell in column i (0 = left) and array row j (0 = top) of a
// board of cols x rows: red encodes the column, green the row, blue is full.
Rgb CellColour(int i, int j, int cols, int rows);
// The cell a sampled colour encodes; false when it encodes none (too dark,
// not bluish enough, or out of the board).
bool DecodeCell(Rgb sampled, int cols, int rows, int* i, int* j);

// A width x height picture, RGB, top row first, cut into cols x rows cells of
// CellColour each (cell of pixel x is x*cols/width, likewise for rows).
std::vector<uint8_t> CellPicture(int width, int height, int cols, int rows);
// A picture of one colour.
std::vector<uint8_t> SolidPicture(int width, int height, Rgb colour);

// Writers; rgb is top row first. False when the file can't be written.
bool WriteTestPNG(const std::string& path, int width, int height, const std::vector<uint8_t>& rgb,
                  bool sixteenBit = false);
bool WriteTestJPEG(const std::string& path, int width, int height, const std::vector<uint8_t>& rgb,
                   bool grey = false);
// Palette GIF; the picture must hold at most 256 distinct colours.
bool WriteTestGIF(const std::string& path, int width, int height, const std::vector<uint8_t>& rgb);
// Writes raw bytes.
bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);
// Reads a whole file (empty when it can't).
std::vector<uint8_t> ReadBytes(const std::string& path);

// Like the host's desktop grab: the RGB picture (top row first) as RGBA
// bottom row first, resampled to power-of-two sides (at most `limit`) with
// gluScaleImage and uploaded as a repeating, linearly filtered texture of
// the current context. Returns the texture name (0 on failure).
unsigned UploadGrabTexture(int width, int height, const std::vector<uint8_t>& rgb, int limit);

// A fresh, empty directory under the working directory's "fixtures/".
std::string FreshFixtureDir(const std::string& name);

class ONEPUZZLE;

// How many cells of the board show their own colour where the assembled
// board puts them: each cell's home centre is projected with the view (and
// the board scale sx, sy) and the frame sampled there. Cells whose centre
// lies outside the view are not checked.
struct CellReport {
    int checked = 0;            // cells sampled (centre inside the view)
    int matched = 0;            // cells that showed their own colour
    std::string firstMisses;    // a few misses, for the failure message
};
CellReport CheckBoardCells(const Frame& frame, const EngineView& view, const ONEPUZZLE& puzzle,
                           double sx = 1.0, double sy = 1.0);
