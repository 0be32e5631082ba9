// PNG reader on libpng: every colour type and bit depth, interlaced or not,
// to 8-bit RGB or RGBA.
#include <cstdlib>
#include <cstring>

#include <png.h>

#include "pictures/picture_decoder_formats.h"

namespace {

// The bytes libpng reads from; a read past the end is an error, so a
// truncated file never yields a picture.
struct PngSource {
    const unsigned char* data;  // file bytes (not owned)
    size_t size;                // bytes in data
    size_t position;            // next byte to hand out
};

// Everything the decode touches after setjmp, reached through a pointer.
struct PngJob {
    png_structp png;         // libpng's reader, or null
    png_infop info;          // its info record, or null
    PngSource source;        // the bytes
    png_bytep* rows;         // row pointers into picture.pixels (malloc'd) or null
    DecodedPicture picture;  // the result being filled
};

void PngRead(png_structp png, png_bytep out, size_t count)
{
    auto* source = static_cast<PngSource*>(png_get_io_ptr(png));
    if (source == nullptr || count > source->size - source->position) {
        png_error(png, "truncated");
    }
    std::memcpy(out, source->data + source->position, count);
    source->position += count;
}

[[noreturn]] void PngError(png_structp png, png_const_charp)
{
    png_longjmp(png, 1);
}

void PngWarning(png_structp, png_const_charp) {}

// Creates the reader and reads everything up to the pixel data. False when
// libpng can't be set up. Errors after this point longjmp to the caller's
// setjmp.
bool PngCreate(PngJob* job, const unsigned char* data, size_t size)
{
    job->source = PngSource{data, size, 0};
    job->png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, PngError, PngWarning);
    if (job->png == nullptr) {
        return false;
    }
    job->info = png_create_info_struct(job->png);
    return job->info != nullptr;
}

void PngStart(PngJob* job)
{
    png_set_read_fn(job->png, &job->source, PngRead);
    png_set_user_limits(job->png, kPictureMaxSide, kPictureMaxSide);
    png_read_info(job->png, job->info);
}

void PngDestroy(PngJob* job)
{
    if (job->png != nullptr) {
        png_destroy_read_struct(&job->png, job->info != nullptr ? &job->info : nullptr, nullptr);
    }
    std::free(job->rows);
    job->rows = nullptr;
}

bool PngSizeJob(PngJob* job, int* width, int* height)
{
    if (setjmp(png_jmpbuf(job->png)) != 0) {
        return false;
    }
    PngStart(job);
    *width = static_cast<int>(png_get_image_width(job->png, job->info));
    *height = static_cast<int>(png_get_image_height(job->png, job->info));
    return true;
}

bool PngDecodeJob(PngJob* job)
{
    if (setjmp(png_jmpbuf(job->png)) != 0) {
        return false;
    }
    PngStart(job);
    png_structp png = job->png;
    png_infop info = job->info;
    const png_uint_32 width = png_get_image_width(png, info);
    const png_uint_32 height = png_get_image_height(png, info);
    if (!PictureSizeAccepted(width, height)) {
        return false;  // refused before any pixel memory is taken
    }
    const int colorType = png_get_color_type(png, info);
    const int bitDepth = png_get_bit_depth(png, info);
    if (colorType == PNG_COLOR_TYPE_PALETTE) {
        png_set_palette_to_rgb(png);
    }
    if (colorType == PNG_COLOR_TYPE_GRAY && bitDepth < 8) {
        png_set_expand_gray_1_2_4_to_8(png);
    }
    if (png_get_valid(png, info, PNG_INFO_tRNS) != 0) {
        png_set_tRNS_to_alpha(png);
    }
    if (bitDepth == 16) {
        png_set_scale_16(png);
    }
    if (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA) {
        png_set_gray_to_rgb(png);
    }
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    const int channels = png_get_channels(png, info);
    if ((channels != 3 && channels != 4) || png_get_bit_depth(png, info) != 8 ||
        png_get_rowbytes(png, info) != size_t(width) * size_t(channels)) {
        return false;
    }
    if (!AllocateDecodedPicture(&job->picture, static_cast<int>(width), static_cast<int>(height), channels * 8)) {
        return false;
    }
    job->rows = static_cast<png_bytep*>(std::malloc(sizeof(png_bytep) * height));
    if (job->rows == nullptr) {
        return false;
    }
    for (png_uint_32 y = 0; y < height; ++y) {
        job->rows[y] = job->picture.pixels + size_t(y) * job->picture.bytesPerRow;
    }
    png_read_image(png, job->rows);
    png_read_end(png, nullptr);  // a file cut off after the pixels is still truncated
    return true;
}

}  // namespace

bool ReadPngSize(const unsigned char* data, size_t size, int* width, int* height)
{
    PngJob job{};
    const bool ok = PngCreate(&job, data, size) && PngSizeJob(&job, width, height);
    PngDestroy(&job);
    return ok;
}

bool DecodePng(const unsigned char* data, size_t size, DecodedPicture* picture)
{
    PngJob job{};
    const bool ok = PngCreate(&job, data, size) && PngDecodeJob(&job);
    PngDestroy(&job);
    if (ok) {
        *picture = job.picture;
    } else {
        std::free(job.picture.pixels);
    }
    return ok;
}
