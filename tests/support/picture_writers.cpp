#include "tests/support/picture_writers.h"

#include <dirent.h>
#include <stdlib.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include <gif_lib.h>
#include <jpeglib.h>
#include <png.h>

namespace testpics {
namespace {

void PngAppend(png_structp png, png_bytep data, size_t length) {
    auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

void PngFlush(png_structp) {}

[[noreturn]] void PngFail(png_structp png, png_const_charp) { png_longjmp(png, 1); }

struct PngWriteJob {
    png_structp png = nullptr;
    png_infop info = nullptr;
    std::vector<png_bytep> rows;
    std::vector<png_color> palette;
    Bytes out;
};

bool PngWrite(PngWriteJob* job, int width, int height, int colorType, int bitDepth,
              const Bytes& rows, bool interlaced, const Bytes& trns) {
    if (setjmp(png_jmpbuf(job->png)) != 0) {
        return false;
    }
    png_set_write_fn(job->png, &job->out, PngAppend, PngFlush);
    png_set_IHDR(job->png, job->info, width, height, bitDepth, colorType,
                 interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (!job->palette.empty()) {
        png_set_PLTE(job->png, job->info, job->palette.data(), static_cast<int>(job->palette.size()));
    }
    if (!trns.empty()) {
        png_color_16 value{};
        if (colorType == PNG_COLOR_TYPE_GRAY && trns.size() >= 2) {
            value.gray = static_cast<png_uint_16>(trns[0] << 8 | trns[1]);
            png_set_tRNS(job->png, job->info, nullptr, 0, &value);
        } else if (colorType == PNG_COLOR_TYPE_RGB && trns.size() >= 6) {
            value.red = static_cast<png_uint_16>(trns[0] << 8 | trns[1]);
            value.green = static_cast<png_uint_16>(trns[2] << 8 | trns[3]);
            value.blue = static_cast<png_uint_16>(trns[4] << 8 | trns[5]);
            png_set_tRNS(job->png, job->info, nullptr, 0, &value);
        } else {
            png_set_tRNS(job->png, job->info, trns.data(), static_cast<int>(trns.size()), nullptr);
        }
    }
    png_write_info(job->png, job->info);
    size_t const stride = rows.size() / size_t(height);
    for (int y = 0; y < height; ++y) {
        job->rows.push_back(const_cast<png_bytep>(rows.data() + size_t(y) * stride));
    }
    png_write_image(job->png, job->rows.data());
    png_write_end(job->png, nullptr);
    return true;
}

struct JpegWriteError {
    jpeg_error_mgr manager;
    jmp_buf jump;
};

[[noreturn]] void JpegFail(j_common_ptr cinfo) {
    std::longjmp(reinterpret_cast<JpegWriteError*>(cinfo->err)->jump, 1);
}

struct JpegWriteJob {
    jpeg_compress_struct cinfo;
    JpegWriteError error;
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
};

bool JpegWrite(JpegWriteJob* job, int width, int height, int components, const Bytes& pixels,
               int quality, bool progressive) {
    if (setjmp(job->error.jump) != 0) {
        return false;
    }
    jpeg_create_compress(&job->cinfo);
    jpeg_mem_dest(&job->cinfo, &job->buffer, &job->size);
    job->cinfo.image_width = static_cast<JDIMENSION>(width);
    job->cinfo.image_height = static_cast<JDIMENSION>(height);
    job->cinfo.input_components = components;
    job->cinfo.in_color_space =
        components == 1 ? JCS_GRAYSCALE : components == 4 ? JCS_CMYK : JCS_RGB;
    jpeg_set_defaults(&job->cinfo);
    jpeg_set_quality(&job->cinfo, quality, TRUE);
    if (progressive) {
        jpeg_simple_progression(&job->cinfo);
    }
    jpeg_start_compress(&job->cinfo, TRUE);
    size_t const stride = size_t(width) * size_t(components);
    while (job->cinfo.next_scanline < job->cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(pixels.data() + job->cinfo.next_scanline * stride);
        jpeg_write_scanlines(&job->cinfo, &row, 1);
    }
    jpeg_finish_compress(&job->cinfo);
    return true;
}

int GifAppend(GifFileType* gif, const GifByteType* data, int length) {
    auto* out = static_cast<Bytes*>(gif->UserData);
    out->insert(out->end(), data, data + length);
    return length;
}

void PutBigEndian(Bytes* out, unsigned value) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out->push_back(static_cast<unsigned char>(value >> shift));
    }
}

unsigned Crc32(const unsigned char* data, size_t length) {
    unsigned crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < length; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k) {
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
        }
    }
    return ~crc;
}

void PutChunk(Bytes* out, const char* type, const Bytes& payload) {
    PutBigEndian(out, static_cast<unsigned>(payload.size()));
    size_t const start = out->size();
    out->insert(out->end(), type, type + 4);
    out->insert(out->end(), payload.begin(), payload.end());
    PutBigEndian(out, Crc32(out->data() + start, out->size() - start));
}

}  // namespace

Bytes EncodePng(int width, int height, int colorType, int bitDepth, const Bytes& rows,
                bool interlaced, const Bytes& paletteRgb, const Bytes& trns) {
    PngWriteJob job;
    job.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, PngFail, nullptr);
    if (job.png == nullptr) {
        return {};
    }
    job.info = png_create_info_struct(job.png);
    for (size_t i = 0; i + 2 < paletteRgb.size(); i += 3) {
        job.palette.push_back(png_color{paletteRgb[i], paletteRgb[i + 1], paletteRgb[i + 2]});
    }
    bool const ok = job.info != nullptr &&
                    PngWrite(&job, width, height, colorType, bitDepth, rows, interlaced, trns);
    png_destroy_write_struct(&job.png, &job.info);
    return ok ? job.out : Bytes{};
}

Bytes EncodePngRgb(int width, int height, const Bytes& pixels, int channels) {
    return EncodePng(width, height, channels == 4 ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_RGB, 8,
                     pixels);
}

Bytes EncodeJpeg(int width, int height, int components, const Bytes& pixels, int quality,
                 bool progressive) {
    JpegWriteJob job;
    job.cinfo.err = jpeg_std_error(&job.error.manager);
    job.error.manager.error_exit = JpegFail;
    bool const ok = JpegWrite(&job, width, height, components, pixels, quality, progressive);
    jpeg_destroy_compress(&job.cinfo);
    Bytes out;
    if (ok && job.buffer != nullptr) {
        out.assign(job.buffer, job.buffer + job.size);
    }
    free(job.buffer);
    return out;
}

Bytes EncodeGif(int screenWidth, int screenHeight, int left, int top, int width, int height,
                const Bytes& paletteRgb, const Bytes& indices, int transparentIndex,
                bool interlaced) {
    Bytes out;
    int error = 0;
    GifFileType* gif = EGifOpen(&out, GifAppend, &error);
    if (gif == nullptr) {
        return {};
    }
    int const entries = static_cast<int>(paletteRgb.size() / 3);
    ColorMapObject* map = GifMakeMapObject(entries, nullptr);
    bool ok = map != nullptr;
    if (ok) {
        for (int i = 0; i < entries; ++i) {
            map->Colors[i] = GifColorType{paletteRgb[3 * i], paletteRgb[3 * i + 1], paletteRgb[3 * i + 2]};
        }
        EGifSetGifVersion(gif, true);
        ok = EGifPutScreenDesc(gif, screenWidth, screenHeight, 8, 0, map) != GIF_ERROR;
    }
    if (ok && transparentIndex >= 0) {
        GraphicsControlBlock gcb{};
        gcb.DisposalMode = DISPOSAL_UNSPECIFIED;
        gcb.TransparentColor = transparentIndex;
        GifByteType block[4];
        size_t const n = EGifGCBToExtension(&gcb, block);
        ok = EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, static_cast<int>(n), block) != GIF_ERROR;
    }
    if (ok) {
        ok = EGifPutImageDesc(gif, left, top, width, height, interlaced, nullptr) != GIF_ERROR;
    }
    std::vector<GifPixelType> line(size_t(width) + 1);
    auto putRow = [&](int y) {
        std::memcpy(line.data(), indices.data() + size_t(y) * size_t(width), size_t(width));
        return EGifPutLine(gif, line.data(), width) != GIF_ERROR;
    };
    if (ok && interlaced) {
        const int start[4] = {0, 4, 2, 1};
        const int step[4] = {8, 8, 4, 2};
        for (int pass = 0; pass < 4 && ok; ++pass) {
            for (int y = start[pass]; y < height && ok; y += step[pass]) {
                ok = putRow(y);
            }
        }
    } else {
        for (int y = 0; y < height && ok; ++y) {
            ok = putRow(y);
        }
    }
    if (EGifCloseFile(gif, &error) == GIF_ERROR) {
        ok = false;
    }
    GifFreeMapObject(map);
    return ok ? out : Bytes{};
}

Bytes PngHeaderOnly(unsigned width, unsigned height) {
    Bytes out = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    Bytes ihdr;
    PutBigEndian(&ihdr, width);
    PutBigEndian(&ihdr, height);
    ihdr.insert(ihdr.end(), {8, 2, 0, 0, 0});
    PutChunk(&out, "IHDR", ihdr);
    PutChunk(&out, "IDAT", Bytes{0x78, 0x9C, 0x03, 0x00, 0x00, 0x00, 0x00, 0x01});
    PutChunk(&out, "IEND", Bytes{});
    return out;
}

unsigned char PatternSample(int x, int y, int k) {
    switch (k) {
    case 0: return static_cast<unsigned char>(x * 5 + y);
    case 1: return static_cast<unsigned char>(y * 3 + x / 7);
    case 2: return static_cast<unsigned char>((x ^ y) * 11);
    default: return static_cast<unsigned char>(255 - ((x + 2 * y) & 127));
    }
}

Bytes PatternPixels(int width, int height, int channels) {
    Bytes pixels(size_t(width) * size_t(height) * size_t(channels));
    size_t i = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            for (int k = 0; k < channels; ++k) {
                pixels[i++] = PatternSample(x, y, k);
            }
        }
    }
    return pixels;
}

bool WriteFileBytes(const std::string& path, const Bytes& bytes) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    ok = std::fclose(file) == 0 && ok;
    return ok;
}

int CountOpenFds() {
    DIR* dir = opendir("/proc/self/fd");
    if (dir == nullptr) {
        return -1;
    }
    int count = 0;
    while (dirent* entry = readdir(dir)) {
        if (entry->d_name[0] != '.') {
            ++count;
        }
    }
    closedir(dir);
    return count - 1;  // the listing's own handle
}

TempFolder::TempFolder() {
    char pattern[] = "/tmp/zarnet-pictures-XXXXXX";
    if (mkdtemp(pattern) != nullptr) {
        path_ = pattern;
    }
}

TempFolder::~TempFolder() {
    if (!path_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
}

}  // namespace testpics
