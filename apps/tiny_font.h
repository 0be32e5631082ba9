#pragma once
#include <cstdint>

// A 5 x 7 pixel font for the program's own text (frame rate, contact-sheet
// captions): digits, capital letters (small ones are drawn as capitals) and
// a few signs. Each glyph is 7 rows from the top, bit 4 the left column.
constexpr int kGlyphWidth = 5;
constexpr int kGlyphHeight = 7;
constexpr int kGlyphAdvance = 6;  // glyph width plus one column of space

// The rows of `c`; a blank glyph for characters the font lacks.
const uint8_t* GlyphRows(char c);
