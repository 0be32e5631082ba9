// PNG output through libpng, used to look at rendered frames.
#include "platform/png_writer.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <vector>

namespace {

// libpng reports errors by longjmp; everything that must be released
// after such a jump lives outside the function that calls setjmp.
struct PngFile {
    FILE* file = nullptr;
    png_structp png = nullptr;
    png_infop info = nullptr;

    ~PngFile()
    {
        if (png) {
            png_destroy_write_struct(&png, info ? &info : nullptr);
        }
        if (file) {
            std::fclose(file);
        }
    }
};

bool WriteRows(PngFile& out, int width, int height, png_bytep* rows)
{
    if (setjmp(png_jmpbuf(out.png))) {
        return false;
    }
    png_init_io(out.png, out.file);
    png_set_IHDR(out.png, out.info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(out.png, out.info);
    png_write_image(out.png, rows);
    png_write_end(out.png, nullptr);
    return true;
}

}  // namespace

bool WritePNG(const char* path, int width, int height, const uint8_t* rgbaTopFirst)
{
    if (!path || !rgbaTopFirst || width <= 0 || height <= 0) {
        return false;
    }
    std::vector<png_bytep> rows(static_cast<size_t>(height));
    const size_t stride = static_cast<size_t>(width) * 4;
    for (int y = 0; y < height; ++y) {
        rows[static_cast<size_t>(y)] = const_cast<png_bytep>(rgbaTopFirst + static_cast<size_t>(y) * stride);
    }

    PngFile out;
    out.file = std::fopen(path, "wb");
    if (!out.file) {
        return false;
    }
    out.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!out.png) {
        return false;
    }
    out.info = png_create_info_struct(out.png);
    if (!out.info) {
        return false;
    }
    if (!WriteRows(out, width, height, rows.data())) {
        return false;
    }
    if (std::fflush(out.file) != 0 || std::ferror(out.file)) {
        return false;
    }
    int closed = std::fclose(out.file);
    out.file = nullptr;
    return closed == 0;
}
