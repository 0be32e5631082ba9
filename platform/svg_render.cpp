#include "platform/svg_render.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include <cairo.h>
#include <gio/gio.h>
#include <librsvg/rsvg.h>

namespace {

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

bool DocumentSize(RsvgHandle* handle, double* width, double* height)
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
    if (!std::isfinite(w) || !std::isfinite(h) || w <= 0.0 || h <= 0.0) {
        return false;
    }
    *width = w;
    *height = h;
    return true;
}

// Cairo's premultiplied native-endian ARGB to straight RGBA rows.
void CopySurface(cairo_surface_t* surface, int width, int height, std::vector<unsigned char>* rgba, bool* opaque)
{
    const unsigned char* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    rgba->resize(size_t(width) * size_t(height) * 4);
    *opaque = true;
    unsigned char* out = rgba->data();
    for (int y = 0; y < height; ++y) {
        const auto* row = reinterpret_cast<const uint32_t*>(data + size_t(y) * size_t(stride));
        for (int x = 0; x < width; ++x, out += 4) {
            const uint32_t p = row[x];
            const unsigned a = p >> 24;
            const unsigned rgb[3] = {(p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF};
            for (int i = 0; i < 3; ++i) {
                out[i] = static_cast<unsigned char>(a == 0 ? 0 : std::min(255u, (rgb[i] * 255 + a / 2) / a));
            }
            out[3] = static_cast<unsigned char>(a);
            *opaque = *opaque && a == 0xFF;
        }
    }
}

}  // namespace

bool SvgDocumentSize(const unsigned char* data, size_t size, double* width, double* height)
{
    RsvgHandle* handle = LoadSvg(data, size);
    if (handle == nullptr) {
        return false;
    }
    const bool ok = DocumentSize(handle, width, height);
    g_object_unref(handle);
    return ok;
}

bool RenderSvgDocument(const unsigned char* data, size_t size, int width, int height, std::vector<unsigned char>* rgba,
                       bool* opaque)
{
    if (width <= 0 || height <= 0) {
        return false;
    }
    RsvgHandle* handle = LoadSvg(data, size);
    if (handle == nullptr) {
        return false;
    }
    double docWidth = 0.0, docHeight = 0.0;
    bool ok = DocumentSize(handle, &docWidth, &docHeight);
    cairo_surface_t* surface = ok ? cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height) : nullptr;
    ok = ok && cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS;
    if (ok) {
        const double scale = std::max(width / docWidth, height / docHeight);
        const RsvgRectangle viewport = {0.0, 0.0, docWidth * scale, docHeight * scale};
        cairo_t* cr = cairo_create(surface);
        ok = rsvg_handle_render_document(handle, cr, &viewport, nullptr) && cairo_status(cr) == CAIRO_STATUS_SUCCESS;
        cairo_destroy(cr);
        cairo_surface_flush(surface);
        ok = ok && cairo_image_surface_get_data(surface) != nullptr &&
             cairo_image_surface_get_stride(surface) >= width * 4;
    }
    if (ok) {
        CopySurface(surface, width, height, rgba, opaque);
    }
    if (surface != nullptr) {
        cairo_surface_destroy(surface);
    }
    g_object_unref(handle);
    return ok;
}
