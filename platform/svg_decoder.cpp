// SVG reader on librsvg: the document drawn with cairo at the size the caller
// needs, its aspect kept. External files are never loaded (the document is
// read from memory with no base location), and libxml's safety limits stay on.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include <cairo.h>
#include <gio/gio.h>
#include <librsvg/rsvg.h>

#include "platform/picture_decoder_formats.h"

namespace {

// A vector picture loses nothing by being drawn larger: one whose shorter
// side is below this is taken as that much larger (aspect kept), so that a
// 1024 x 1024 texture never has to stretch it.
constexpr double kSvgMinShortSide = 1024.0;
// Bytes looked through for the root element when sniffing.
constexpr size_t kSvgSniffBytes = 4096;

// Loads the document; null when librsvg refuses it.
RsvgHandle* LoadSvg(const unsigned char* data, size_t size)
{
    GInputStream* stream = g_memory_input_stream_new_from_data(data, static_cast<gssize>(size), nullptr);
    RsvgHandle* handle = rsvg_handle_new_from_stream_sync(stream, nullptr, RSVG_HANDLE_FLAGS_NONE, nullptr, nullptr);
    g_object_unref(stream);
    if (handle != nullptr) {
        rsvg_handle_set_dpi(handle, 96.0);
    }
    return handle;
}

// The document's size in pixels: its width and height, else its viewBox's;
// enlarged to kSvgMinShortSide and then fitted into the decoder's size bound,
// aspect kept; `exactWidth`, `exactHeight` get the document's size before
// rounding. False when it has neither or they are degenerate.
bool SvgOwnSize(RsvgHandle* handle, int* width, int* height, double* exactWidth = nullptr,
                double* exactHeight = nullptr)
{
    double w = 0.0;
    double h = 0.0;
    if (!rsvg_handle_get_intrinsic_size_in_pixels(handle, &w, &h)) {
        gboolean hasWidth = FALSE, hasHeight = FALSE, hasViewBox = FALSE;
        RsvgLength lw, lh;
        RsvgRectangle viewBox = {0, 0, 0, 0};
        rsvg_handle_get_intrinsic_dimensions(handle, &hasWidth, &lw, &hasHeight, &lh, &hasViewBox, &viewBox);
        if (!hasViewBox) {
            return false;
        }
        w = viewBox.width;
        h = viewBox.height;
    }
    if (!std::isfinite(w) || !std::isfinite(h) || w <= 0.0 || h <= 0.0 || w / h > 1e6 || h / w > 1e6) {
        return false;
    }
    double scale = std::max(1.0, kSvgMinShortSide / std::min(w, h));
    scale = std::min(scale, kPictureMaxSide / std::max(w, h));
    scale = std::min(scale, std::sqrt(static_cast<double>(kPictureMaxPixels) / (w * h)));
    // floor keeps the bound; a sliver of a picture still gets one pixel.
    if (exactWidth != nullptr && exactHeight != nullptr) {
        *exactWidth = w;
        *exactHeight = h;
    }
    *width = std::max(1, static_cast<int>(std::floor(w * scale + 1e-6)));
    *height = std::max(1, static_cast<int>(std::floor(h * scale + 1e-6)));
    return PictureSizeAccepted(*width, *height);
}

// Draws the document (docWidth x docHeight, its exact size in any unit) onto
// a width x height ARGB surface, scaled so that it just covers the surface:
// the rounding of the sizes never leaves an uncovered edge. Null on failure.
cairo_surface_t* RenderSvg(RsvgHandle* handle, double docWidth, double docHeight, int width, int height)
{
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        return nullptr;
    }
    const double scale = std::max(width / docWidth, height / docHeight);
    const RsvgRectangle viewport = {0.0, 0.0, docWidth * scale, docHeight * scale};
    cairo_t* cr = cairo_create(surface);
    const bool ok =
        rsvg_handle_render_document(handle, cr, &viewport, nullptr) && cairo_status(cr) == CAIRO_STATUS_SUCCESS;
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    if (!ok) {
        cairo_surface_destroy(surface);
        return nullptr;
    }
    return surface;
}

// Cairo's premultiplied native-endian ARGB to straight RGB or RGBA rows.
bool CopySurface(cairo_surface_t* surface, int width, int height, DecodedPicture* picture)
{
    const unsigned char* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    if (data == nullptr || stride < width * 4) {
        return false;
    }
    bool opaque = true;
    for (int y = 0; y < height && opaque; ++y) {
        const auto* row = reinterpret_cast<const uint32_t*>(data + size_t(y) * size_t(stride));
        for (int x = 0; x < width; ++x) {
            if ((row[x] >> 24) != 0xFF) {
                opaque = false;
                break;
            }
        }
    }
    if (!AllocateDecodedPicture(picture, width, height, opaque ? 24 : 32)) {
        return false;
    }
    const size_t c = opaque ? 3 : 4;
    for (int y = 0; y < height; ++y) {
        const auto* row = reinterpret_cast<const uint32_t*>(data + size_t(y) * size_t(stride));
        unsigned char* out = picture->pixels + size_t(y) * picture->bytesPerRow;
        for (int x = 0; x < width; ++x, out += c) {
            const uint32_t p = row[x];
            const unsigned a = p >> 24;
            unsigned rgb[3] = {(p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF};
            for (int i = 0; i < 3; ++i) {
                out[i] = static_cast<unsigned char>(a == 0 ? 0 : std::min(255u, (rgb[i] * 255 + a / 2) / a));
            }
            if (!opaque) {
                out[3] = static_cast<unsigned char>(a);
            }
        }
    }
    return true;
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
    RsvgHandle* handle = LoadSvg(data, size);
    if (handle == nullptr) {
        return false;
    }
    const bool ok = SvgOwnSize(handle, width, height);
    g_object_unref(handle);
    return ok;
}

bool DecodeSvg(const unsigned char* data, size_t size, int minWidth, int minHeight, DecodedPicture* picture)
{
    RsvgHandle* handle = LoadSvg(data, size);
    if (handle == nullptr) {
        return false;
    }
    int ownWidth = 0, ownHeight = 0, width = 0, height = 0;
    double docWidth = 0.0, docHeight = 0.0;
    bool ok = SvgOwnSize(handle, &ownWidth, &ownHeight, &docWidth, &docHeight);
    cairo_surface_t* surface = nullptr;
    if (ok) {
        CoveringSize(ownWidth, ownHeight, minWidth, minHeight, &width, &height);
        surface = RenderSvg(handle, docWidth, docHeight, width, height);
        ok = surface != nullptr && CopySurface(surface, width, height, picture);
    }
    if (surface != nullptr) {
        cairo_surface_destroy(surface);
    }
    g_object_unref(handle);
    if (ok) {
        SetDecodedScale(picture, ownWidth, ownHeight);
    }
    return ok;
}
