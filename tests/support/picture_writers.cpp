#include "tests/support/picture_writers.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>

#include <gif_lib.h>
#include <jpeglib.h>
#include <png.h>

namespace testpics {

// Runs write(png, info) on a libpng writer into `file`, else into the bytes returned; empty when libpng fails.
template <class Write> static Bytes WritePng(const Write& write, FILE* file = nullptr)
{
    Bytes out;
    png_structp png = png_create_write_struct(
        PNG_LIBPNG_VER_STRING, nullptr, [](png_structp p, png_const_charp) { png_longjmp(p, 1); }, nullptr);
    png_infop info = png_create_info_struct(png);
    if (info == nullptr || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return {};
    }
    if (file != nullptr)
        png_init_io(png, file);
    else
        png_set_write_fn(
            png, &out,
            [](png_structp p, png_bytep data, size_t n) {
                auto* to = static_cast<Bytes*>(png_get_io_ptr(p));
                to->insert(to->end(), data, data + n);
            },
            [](png_structp) {});
    write(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

Bytes EncodePng(int width, int height, int colorType, int bitDepth, const Bytes& rows, bool interlaced)
{
    std::vector<png_bytep> pointers;
    for (int y = 0; y < height; ++y)
        pointers.push_back(const_cast<png_bytep>(rows.data()) + rows.size() / height * y);
    return WritePng([&](png_structp png, png_infop info) {
        png_set_IHDR(png, info, width, height, bitDepth, colorType,
                     interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                     PNG_FILTER_TYPE_DEFAULT);
        png_set_rows(png, info, pointers.data());
        png_write_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
    });
}

// Compresses the rows `fill` makes into the destination `dest` sets up.
template <class Dest>
static void Jpeg(int width, int height, int components, int quality, bool progressive, const RowFill& fill,
                 const Dest& dest)
{
    jpeg_compress_struct cinfo;
    jpeg_error_mgr error;
    cinfo.err = jpeg_std_error(&error);  // libjpeg ends the program on an error: these inputs are always valid
    jpeg_create_compress(&cinfo);
    dest(&cinfo);
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = components;
    cinfo.in_color_space = components == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    if (progressive)
        jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<JSAMPLE> row(size_t(width) * components);
    for (JSAMPROW at = row.data(); cinfo.next_scanline < cinfo.image_height; jpeg_write_scanlines(&cinfo, &at, 1))
        fill(int(cinfo.next_scanline), row.data());
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
}

Bytes EncodeJpeg(int width, int height, int components, const Bytes& pixels)
{
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    const size_t rowBytes = size_t(width) * components;
    Jpeg(
        width, height, components, 95, false,
        [&](int y, unsigned char* row) { std::copy_n(pixels.begin() + long(rowBytes) * y, rowBytes, row); },
        [&](j_compress_ptr c) { jpeg_mem_dest(c, &buffer, &size); });
    const Bytes out(buffer, buffer + size);
    std::free(buffer);
    return out;
}

bool WriteJpegFile(const std::string& path, int width, int height, bool progressive, const RowFill& fill, int quality)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr)
        return false;
    Jpeg(width, height, 3, quality, progressive, fill, [&](j_compress_ptr c) { jpeg_stdio_dest(c, f); });
    return std::fclose(f) == 0;
}

bool WritePngFile(const std::string& path, int width, int height, bool deep, const RowFill& fill)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr)
        return false;
    bool written = false;
    WritePng(
        [&](png_structp png, png_infop info) {
            png_set_compression_level(png, 1);
            png_set_IHDR(png, info, width, height, deep ? 16 : 8, deep ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_RGB,
                         PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
            png_set_filter(png, 0, PNG_FILTER_NONE);
            png_write_info(png, info);
            std::vector<png_byte> row(size_t(width) * (deep ? 8 : 3));
            for (int y = 0; y < height; ++y) {
                fill(y, row.data());
                png_write_row(png, row.data());
            }
            png_write_end(png, nullptr);
            written = true;
        },
        f);
    return std::fclose(f) == 0 && written;
}

Bytes EncodeGif(int width, int height, const Bytes& paletteRgb, const Bytes& indices)
{
    Bytes out, line = indices;  // EGifPutLine masks the indices in place
    int error = 0;
    GifFileType* gif = EGifOpen(
        &out,
        [](GifFileType* g, const GifByteType* data, int n) {
            auto* to = static_cast<Bytes*>(g->UserData);
            to->insert(to->end(), data, data + n);
            return n;
        },
        &error);
    if (gif == nullptr)
        return {};
    ColorMapObject* map =
        GifMakeMapObject(int(paletteRgb.size() / 3), reinterpret_cast<const GifColorType*>(paletteRgb.data()));
    EGifSetGifVersion(gif, true);
    const size_t frames = indices.size() / (size_t(width) * height);
    const GifByteType delay[4] = {0, 5, 0, 0};  // 50 ms, no transparency
    bool ok = map && EGifPutScreenDesc(gif, width, height, 8, 0, map) != GIF_ERROR;
    for (size_t f = 0; ok && f < frames; ++f) {
        ok = (frames == 1 || EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, delay) != GIF_ERROR) &&
             EGifPutImageDesc(gif, 0, 0, width, height, false, nullptr) != GIF_ERROR;
        for (int y = 0; ok && y < height; ++y)
            ok = EGifPutLine(gif, line.data() + (f * height + y) * width, width) != GIF_ERROR;
    }
    ok = EGifCloseFile(gif, &error) != GIF_ERROR && ok;
    GifFreeMapObject(map);
    return ok ? out : Bytes{};
}

Bytes EncodeAs(Kind kind, int width, int height, const Bytes& rgb)
{
    Bytes samples, palette;
    std::map<unsigned, unsigned char> index;
    for (size_t k = 0; k + 2 < rgb.size(); k += 3) {
        const unsigned char r = rgb[k], g = rgb[k + 1], b = rgb[k + 2];
        if (kind == Kind::Png16)
            samples.insert(samples.end(), {r, r, g, g, b, b});
        if (kind == Kind::GreyJpeg)
            samples.push_back(static_cast<unsigned char>((r + g + b) / 3));
        if (kind != Kind::Gif)
            continue;
        const auto [at, added] = index.emplace(r << 16 | g << 8 | b, index.size() & 255);
        if (added)
            palette.insert(palette.end(), {r, g, b});
        samples.push_back(at->second);
    }
    palette.resize(768);
    if (kind == Kind::Gif)
        return index.size() <= 256 ? EncodeGif(width, height, palette, samples) : Bytes{};
    if (kind == Kind::Png || kind == Kind::Png16)
        return EncodePng(width, height, 2, kind == Kind::Png ? 8 : 16, kind == Kind::Png ? rgb : samples);
    return EncodeJpeg(width, height, kind == Kind::Jpeg ? 3 : 1, kind == Kind::Jpeg ? rgb : samples);
}

Bytes PngHeaderOnly(unsigned width, unsigned height, int colorType, const Bytes& idat)
{
    static const Bytes kEmptyStream = {0x78, 0x9C, 0x03, 0x00, 0x00, 0x00, 0x00, 0x01};
    const Bytes& data = idat.empty() ? kEmptyStream : idat;
    return WritePng([&](png_structp png, png_infop info) {
        png_set_IHDR(png, info, width, height, 8, colorType, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                     PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        png_write_chunk(png, reinterpret_cast<png_const_bytep>("IDAT"), data.data(), data.size());
        png_write_chunk(png, reinterpret_cast<png_const_bytep>("IEND"), nullptr, 0);
    });
}

Bytes PatternPixels(int width, int height, int channels)
{
    Bytes pixels;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int k = 0; k < channels; ++k)
                pixels.push_back(static_cast<unsigned char>(k == 0   ? x * 5 + y
                                                            : k == 1 ? y * 3 + x / 7
                                                            : k == 2 ? (x ^ y) * 11
                                                                     : 255 - ((x + 2 * y) & 127)));
    return pixels;
}

int CountOpenFds()
{
    // Less the listing's own handle.
    return int(std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {})) - 1;
}

}  // namespace testpics
