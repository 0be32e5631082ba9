#pragma once
// Vector pictures drawn by librsvg and cairo (which bring GLib with them, so
// they live behind this plain interface). The reader's policy (sniffing,
// the size a picture is drawn at, its bounds) is in pictures/svg_decoder.cpp.
#include <cstddef>
#include <vector>

// The document's own size in CSS pixels at 96 dpi: its width and height,
// else its viewBox's. False when librsvg refuses the document or it has
// neither. External files are never loaded (the document is read from
// memory with no base location), and libxml's safety limits stay on.
bool SvgDocumentSize(const unsigned char* data, size_t size, double* width, double* height);

// Draws the whole document onto width x height pixels, scaled so that it just
// covers them (rounding never leaves an uncovered edge): straight-alpha RGBA
// rows, top row first, in *rgba; *opaque says whether every pixel is opaque.
bool RenderSvgDocument(const unsigned char* data, size_t size, int width, int height, std::vector<unsigned char>* rgba,
                       bool* opaque);
