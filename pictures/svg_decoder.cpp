// SVG reader: the document drawn (by the platform's renderer) at the size the
// caller needs, its aspect kept.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "pictures/picture_decoder_formats.h"
#include "platform/svg_render.h"

namespace {

// A vector picture loses nothing by being drawn larger: one whose shorter
// side is below this is taken as that much larger (aspect kept), so that a
// 1024 x 1024 texture never has to stretch it.
constexpr double kSvgMinShortSide = 1024.0;
// Bytes looked through for the root element when sniffing.
constexpr size_t kSvgSniffBytes = 4096;

// The size a document is drawn at by default: its own size enlarged to
// kSvgMinShortSide and then fitted into the decoder's size bound, aspect kept.
// False when it has no size or is degenerate.
bool SvgOwnSize(const unsigned char* data, size_t size, int* width, int* height)
{
    double w = 0.0;
    double h = 0.0;
    if (!SvgDocumentSize(data, size, &w, &h) || w / h > 1e6 || h / w > 1e6) {
        return false;
    }
    double scale = std::max(1.0, kSvgMinShortSide / std::min(w, h));
    scale = std::min(scale, kPictureMaxSide / std::max(w, h));
    scale = std::min(scale, std::sqrt(static_cast<double>(kPictureMaxPixels) / (w * h)));
    // floor keeps the bound; a sliver of a picture still gets one pixel.
    *width = std::max(1, static_cast<int>(std::floor(w * scale + 1e-6)));
    *height = std::max(1, static_cast<int>(std::floor(h * scale + 1e-6)));
    return PictureSizeAccepted(*width, *height);
}

}  // namespace

bool LooksLikeSvg(const unsigned char* data, size_t size)
{
    if (data == nullptr) {
        return false;
    }
    size_t i = 0;
    if (size >= 3 && data[0] == 0xEF && data[1] == 0xBB && data[2] == 0xBF) {
        i = 3;  // UTF-8 byte-order mark
    }
    while (i < size && (data[i] == ' ' || data[i] == '\t' || data[i] == '\r' || data[i] == '\n')) {
        ++i;
    }
    if (i >= size || data[i] != '<') {
        return false;
    }
    // The root element within the first few kilobytes (after the XML
    // declaration, comments and a doctype).
    const size_t end = std::min(size, i + kSvgSniffBytes);
    static constexpr char kRoot[] = "<svg";
    for (size_t j = i; j + 4 < end; ++j) {
        if (std::memcmp(data + j, kRoot, 4) == 0) {
            const unsigned char next = data[j + 4];
            if (next == ' ' || next == '>' || next == '\t' || next == '\r' || next == '\n' || next == '/') {
                return true;
            }
        }
    }
    return false;
}

bool ReadSvgSize(const unsigned char* data, size_t size, int* width, int* height)
{
    return SvgOwnSize(data, size, width, height);
}

bool DecodeSvg(const unsigned char* data, size_t size, int minWidth, int minHeight, DecodedPicture* picture)
{
    int ownWidth = 0, ownHeight = 0, width = 0, height = 0;
    if (!SvgOwnSize(data, size, &ownWidth, &ownHeight)) {
        return false;
    }
    CoveringSize(ownWidth, ownHeight, minWidth, minHeight, &width, &height);
    std::vector<unsigned char> rgba;
    bool opaque = true;
    if (!RenderSvgDocument(data, size, width, height, &rgba, &opaque) ||
        !AllocateDecodedPicture(picture, width, height, opaque ? 24 : 32)) {
        return false;
    }
    const size_t c = opaque ? 3 : 4;
    const unsigned char* in = rgba.data();
    for (int y = 0; y < height; ++y) {
        unsigned char* out = picture->pixels + size_t(y) * picture->bytesPerRow;
        for (int x = 0; x < width; ++x, in += 4, out += c) {
            std::memcpy(out, in, c);
        }
    }
    SetDecodedScale(picture, ownWidth, ownHeight);
    return true;
}
