// PNG output through libpng, used to look at rendered frames.
#include "pictures/png_writer.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <string>
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

bool WriteRows(PngFile& out, int width, int height, int colorType, png_bytep* rows)
{
    if (setjmp(png_jmpbuf(out.png))) {
        return false;
    }
    png_init_io(out.png, out.file);
    png_set_IHDR(out.png, out.info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8, colorType,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(out.png, out.info);
    png_write_image(out.png, rows);
    png_write_end(out.png, nullptr);
    return true;
}

bool WritePixels(const char* path, int width, int height, const uint8_t* pixels, int channels)
{
    if (!path || !pixels || width <= 0 || height <= 0) {
        return false;
    }
    std::vector<png_bytep> rows(static_cast<size_t>(height));
    const size_t stride = static_cast<size_t>(width) * static_cast<size_t>(channels);
    for (int y = 0; y < height; ++y) {
        rows[static_cast<size_t>(y)] = const_cast<png_bytep>(pixels + static_cast<size_t>(y) * stride);
    }

    const std::string tmp = std::string(path) + ".tmp";
    bool written = false;
    {
        PngFile out;
        out.file = std::fopen(tmp.c_str(), "wb");
        if (!out.file) {
            return false;
        }
        out.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
        out.info = out.png ? png_create_info_struct(out.png) : nullptr;
        if (out.info &&
            WriteRows(out, width, height, channels == 4 ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_RGB, rows.data()) &&
            std::fflush(out.file) == 0 && !std::ferror(out.file)) {
            const int closed = std::fclose(out.file);
            out.file = nullptr;
            written = closed == 0;
        }
    }
    if (!written || std::rename(tmp.c_str(), path) != 0) {
        std::remove(tmp.c_str());
        return false;
    }
    return true;
}

}  // namespace

bool WritePNG(const char* path, int width, int height, const uint8_t* rgbaTopFirst)
{
    return WritePixels(path, width, height, rgbaTopFirst, 4);
}

bool WritePNGRGB(const char* path, int width, int height, const uint8_t* rgbTopFirst)
{
    return WritePixels(path, width, height, rgbTopFirst, 3);
}
