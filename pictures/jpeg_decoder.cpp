// JPEG reader on libjpeg-turbo: header size, and decoding to 8-bit RGB at the
// smallest DCT scale (M/8, M = 1..8) that still covers the caller's need.
// A photo's EXIF orientation (APP1, read with libexif) is applied: size and
// rows come out as a viewer shows the picture, not as the camera stored it.
#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <jerror.h>
#include <jpeglib.h>
#include <libexif/exif-data.h>

#include "pictures/picture_decoder_formats.h"

namespace {

// Upper bound on libjpeg's own working memory (a progressive picture keeps
// all its coefficients); above it libjpeg fails instead of allocating.
constexpr long kJpegMaxWorkingMemory = 768L << 20;
// Progressive pictures with absurd scan counts take forever to decode.
constexpr int kJpegMaxScans = 1000;

// libjpeg's error manager with the jump back into the decoder. Every error
// ends in longjmp; a premature end of data (a warning to libjpeg, which then
// pads the picture with grey) is treated as an error too.
struct JpegError {
    jpeg_error_mgr manager;  // libjpeg's part; must come first
    jmp_buf jump;            // where error_exit returns to
};

[[noreturn]] void JpegErrorExit(j_common_ptr cinfo)
{
    auto* error = reinterpret_cast<JpegError*>(cinfo->err);
    std::longjmp(error->jump, 1);
}

void JpegEmitMessage(j_common_ptr cinfo, int level)
{
    if (level < 0 && cinfo->err->msg_code == JWRN_JPEG_EOF) {
        JpegErrorExit(cinfo);
    }
    // Other warnings (stray bytes between markers and the like) are common in
    // pictures that decode fine; they are ignored, and nothing is printed.
}

void JpegOutputMessage(j_common_ptr) {}

void JpegProgress(j_common_ptr cinfo)
{
    auto* dinfo = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (dinfo->input_scan_number > kJpegMaxScans) {
        JpegErrorExit(cinfo);
    }
}

// Everything the decode touches after setjmp lives here, reached through a
// pointer, so nothing depends on the value of a local after longjmp.
struct JpegJob {
    jpeg_decompress_struct cinfo;  // libjpeg's decoder
    JpegError error;               // its error manager
    jpeg_progress_mgr progress;    // scan-count guard
    unsigned char* storedRow;      // one scanline as stored (malloc'd; CMYK or re-oriented pictures) or null
    int orientation;               // EXIF orientation 1..8 (1: rows as stored)
    DecodedPicture picture;        // the result being filled
};

constexpr unsigned char kExifHeader[] = {'E', 'x', 'i', 'f', 0, 0};

// The EXIF orientation tag of the first Exif APP1 segment: 1..8, or 1 when
// there is none or it is damaged or out of range. libexif parses the segment
// (at most 64 KiB, as the marker length allows); every field it hands back is
// checked before it is read.
int ExifOrientation(j_decompress_ptr cinfo)
{
    for (jpeg_saved_marker_ptr m = cinfo->marker_list; m != nullptr; m = m->next) {
        if (m->marker != JPEG_APP0 + 1 || m->data == nullptr || m->data_length < sizeof kExifHeader ||
            std::memcmp(m->data, kExifHeader, sizeof kExifHeader) != 0) {
            continue;
        }
        ExifData* exif = exif_data_new();
        if (exif == nullptr) {
            return 1;
        }
        // Read only: no fixing up of missing tags, no interpretation beyond the file.
        exif_data_unset_option(exif, EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
        exif_data_load_data(exif, m->data, m->data_length);
        int orientation = 1;
        ExifEntry* entry = exif->ifd[EXIF_IFD_0] != nullptr
                               ? exif_content_get_entry(exif->ifd[EXIF_IFD_0], EXIF_TAG_ORIENTATION)
                               : nullptr;
        if (entry != nullptr && entry->data != nullptr && entry->components >= 1 && entry->size >= 2 &&
            entry->format == EXIF_FORMAT_SHORT) {
            const ExifShort value = exif_get_short(entry->data, exif_data_get_byte_order(exif));
            if (value >= 1 && value <= 8) {
                orientation = value;
            }
        }
        exif_data_unref(exif);
        return orientation;  // only the first Exif segment counts
    }
    return 1;
}

// Orientations 5 to 8 turn the picture a quarter: its sides swap.
bool SwapsSides(int orientation)
{
    return orientation >= 5;
}

// Where the stored picture's pixels go in the shown one: stored pixel (x, y)
// of row y lands at byte offset rowBase + x * step of the shown picture.
// Orientation names where the stored first row and column are shown:
//   1 top/left  2 top/right  3 bottom/right  4 bottom/left
//   5 left/top  6 right/top  7 right/bottom  8 left/bottom
// `width`, `height`: the stored (decoded) size; `stride`: the shown row stride.
void OrientedRow(int orientation, int y, int width, int height, ptrdiff_t stride, ptrdiff_t* rowBase, ptrdiff_t* step)
{
    const ptrdiff_t px = 3;
    const ptrdiff_t lastX = width - 1, lastY = height - 1;
    switch (orientation) {
    case 2:
        *rowBase = y * stride + lastX * px;
        *step = -px;
        break;
    case 3:
        *rowBase = (lastY - y) * stride + lastX * px;
        *step = -px;
        break;
    case 4:
        *rowBase = (lastY - y) * stride;
        *step = px;
        break;
    case 5:
        *rowBase = y * px;
        *step = stride;
        break;
    case 6:
        *rowBase = (lastY - y) * px;
        *step = stride;
        break;
    case 7:
        *rowBase = lastX * stride + (lastY - y) * px;
        *step = -stride;
        break;
    case 8:
        *rowBase = lastX * stride + y * px;
        *step = -stride;
        break;
    default:
        *rowBase = y * stride;
        *step = px;
        break;
    }
}

// Sets up the decoder over the bytes, keeping the APP1 segments, reads the
// header and the EXIF orientation. Must be called after setjmp on
// job->error.jump.
void JpegStart(JpegJob* job, const unsigned char* data, size_t size)
{
    jpeg_create_decompress(&job->cinfo);
    job->cinfo.mem->max_memory_to_use = kJpegMaxWorkingMemory;
    job->progress.progress_monitor = JpegProgress;
    job->cinfo.progress = &job->progress;
    jpeg_mem_src(&job->cinfo, data, static_cast<unsigned long>(size));
    jpeg_save_markers(&job->cinfo, JPEG_APP0 + 1, 0xFFFF);
    jpeg_read_header(&job->cinfo, TRUE);
    job->orientation = ExifOrientation(&job->cinfo);
}

void JpegInitJob(JpegJob* job)
{
    job->cinfo.err = jpeg_std_error(&job->error.manager);
    job->error.manager.error_exit = JpegErrorExit;
    job->error.manager.emit_message = JpegEmitMessage;
    job->error.manager.output_message = JpegOutputMessage;
    job->progress = jpeg_progress_mgr{};
    job->storedRow = nullptr;
    job->orientation = 1;
    job->picture = DecodedPicture{};
}

bool JpegSizeJob(JpegJob* job, const unsigned char* data, size_t size, int* width, int* height)
{
    if (setjmp(job->error.jump) != 0) {
        return false;
    }
    JpegStart(job, data, size);
    const bool swap = SwapsSides(job->orientation);
    *width = static_cast<int>(swap ? job->cinfo.image_height : job->cinfo.image_width);
    *height = static_cast<int>(swap ? job->cinfo.image_width : job->cinfo.image_height);
    return true;
}

// CMYK as Adobe writes it (inverted: 255 = no ink) or plain, to RGB.
void CmykToRgb(const unsigned char* cmyk, unsigned char* rgb, int count, bool inverted)
{
    for (int i = 0; i < count; ++i, cmyk += 4, rgb += 3) {
        int c = cmyk[0], m = cmyk[1], y = cmyk[2], k = cmyk[3];
        if (!inverted) {
            c = 255 - c;
            m = 255 - m;
            y = 255 - y;
            k = 255 - k;
        }
        rgb[0] = static_cast<unsigned char>((c * k + 127) / 255);
        rgb[1] = static_cast<unsigned char>((m * k + 127) / 255);
        rgb[2] = static_cast<unsigned char>((y * k + 127) / 255);
    }
}

bool JpegDecodeJob(JpegJob* job, const unsigned char* data, size_t size, int minWidth, int minHeight)
{
    if (setjmp(job->error.jump) != 0) {
        return false;
    }
    JpegStart(job, data, size);
    jpeg_decompress_struct* cinfo = &job->cinfo;
    if (!PictureSizeAccepted(cinfo->image_width, cinfo->image_height)) {
        return false;
    }
    bool cmyk = false;
    switch (cinfo->jpeg_color_space) {
    case JCS_GRAYSCALE:
    case JCS_YCbCr:
    case JCS_RGB:
        cinfo->out_color_space = JCS_RGB;
        break;
    case JCS_CMYK:
    case JCS_YCCK:
        cinfo->out_color_space = JCS_CMYK;
        cmyk = true;
        break;
    default:
        return false;
    }
    // The need is in shown pixels; a quarter-turned picture is stored on its side.
    const bool swap = SwapsSides(job->orientation);
    const long long needStoredWidth = swap ? minHeight : minWidth;
    const long long needStoredHeight = swap ? minWidth : minHeight;
    // The smallest scale M/8 whose output still covers the need (0, 0: full).
    int scale = 8;
    for (int m = 1; m < 8 && (minWidth > 0 || minHeight > 0); ++m) {
        cinfo->scale_num = static_cast<unsigned>(m);
        cinfo->scale_denom = 8;
        jpeg_calc_output_dimensions(cinfo);
        if (static_cast<long long>(cinfo->output_width) >= needStoredWidth &&
            static_cast<long long>(cinfo->output_height) >= needStoredHeight) {
            scale = m;
            break;
        }
    }
    cinfo->scale_num = static_cast<unsigned>(scale);
    cinfo->scale_denom = 8;
    jpeg_start_decompress(cinfo);
    const int components = cmyk ? 4 : 3;
    if (cinfo->output_components != components) {
        return false;
    }
    const int storedWidth = static_cast<int>(cinfo->output_width);
    const int storedHeight = static_cast<int>(cinfo->output_height);
    if (!AllocateDecodedPicture(&job->picture, swap ? storedHeight : storedWidth, swap ? storedWidth : storedHeight,
                                24)) {
        return false;
    }
    job->picture.fullWidth = static_cast<int>(swap ? cinfo->image_height : cinfo->image_width);
    job->picture.fullHeight = static_cast<int>(swap ? cinfo->image_width : cinfo->image_height);
    if (scale != 8) {
        job->picture.scaleNum = scale;
        job->picture.scaleDenom = 8;
    }
    // Upright RGB scanlines go straight into place; the others pass through
    // one stored row (CMYK, then RGB in its first 3 * width bytes).
    const bool upright = job->orientation == 1;
    if (cmyk || !upright) {
        job->storedRow = static_cast<unsigned char*>(std::malloc(size_t(storedWidth) * 4));
        if (job->storedRow == nullptr) {
            return false;
        }
    }
    const ptrdiff_t stride = static_cast<ptrdiff_t>(job->picture.bytesPerRow);
    while (cinfo->output_scanline < cinfo->output_height) {
        const int y = static_cast<int>(cinfo->output_scanline);
        unsigned char* row = job->picture.pixels + size_t(y) * job->picture.bytesPerRow;
        JSAMPROW target = (cmyk || !upright) ? job->storedRow : row;
        if (jpeg_read_scanlines(cinfo, &target, 1) != 1) {
            return false;
        }
        if (cmyk) {
            CmykToRgb(job->storedRow, upright ? row : job->storedRow, storedWidth, cinfo->saw_Adobe_marker != 0);
        }
        if (!upright) {
            ptrdiff_t base = 0, step = 0;
            OrientedRow(job->orientation, y, storedWidth, storedHeight, stride, &base, &step);
            const unsigned char* source = job->storedRow;
            for (int x = 0; x < storedWidth; ++x, source += 3) {
                std::memcpy(job->picture.pixels + base + x * step, source, 3);
            }
        }
    }
    jpeg_finish_decompress(cinfo);
    return true;
}

// Runs `work` on a job of its own (from the heap: see JpegJob) and releases
// what libjpeg and the job hold afterwards. The picture the job made goes to
// `picture` when the work succeeds and `picture` isn't null; otherwise its
// pixels are freed.
template <class Work> bool RunJpegJob(Work work, DecodedPicture* picture)
{
    auto* job = static_cast<JpegJob*>(std::calloc(1, sizeof(JpegJob)));
    if (job == nullptr) {
        return false;
    }
    JpegInitJob(job);
    const bool ok = work(job);
    jpeg_destroy_decompress(&job->cinfo);
    std::free(job->storedRow);
    if (ok && picture != nullptr) {
        *picture = job->picture;
    } else {
        std::free(job->picture.pixels);
    }
    std::free(job);
    return ok;
}

}  // namespace

bool ReadJpegSize(const unsigned char* data, size_t size, int* width, int* height)
{
    return RunJpegJob([&](JpegJob* job) { return JpegSizeJob(job, data, size, width, height); }, nullptr);
}

bool DecodeJpeg(const unsigned char* data, size_t size, int minWidth, int minHeight, DecodedPicture* picture)
{
    return RunJpegJob([&](JpegJob* job) { return JpegDecodeJob(job, data, size, minWidth, minHeight); }, picture);
}
