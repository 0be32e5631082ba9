// JPEG reader on libjpeg-turbo: header size, and decoding to 8-bit RGB at the
// smallest DCT scale (M/8, M = 1..8) that still covers the caller's need.
#include <csetjmp>
#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>
#include <jerror.h>

#include "platform/picture_decoder_formats.h"

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

[[noreturn]] void JpegErrorExit(j_common_ptr cinfo) {
    auto* error = reinterpret_cast<JpegError*>(cinfo->err);
    std::longjmp(error->jump, 1);
}

void JpegEmitMessage(j_common_ptr cinfo, int level) {
    if (level < 0 && cinfo->err->msg_code == JWRN_JPEG_EOF) {
        JpegErrorExit(cinfo);
    }
    // Other warnings (stray bytes between markers and the like) are common in
    // pictures that decode fine; they are ignored, and nothing is printed.
}

void JpegOutputMessage(j_common_ptr) {}

void JpegProgress(j_common_ptr cinfo) {
    auto* dinfo = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (dinfo->input_scan_number > kJpegMaxScans) {
        JpegErrorExit(cinfo);
    }
}

// Everything the decode touches after setjmp lives here, reached through a
// pointer, so nothing depends on the value of a local after longjmp.
struct JpegJob {
    jpeg_decompress_struct cinfo;   // libjpeg's decoder
    JpegError error;                // its error manager
    jpeg_progress_mgr progress;     // scan-count guard
    unsigned char* cmykRow;         // one CMYK scanline (malloc'd) or null
    DecodedPicture picture;         // the result being filled
};

// Sets up the decoder over the bytes and reads the header. Must be called
// after setjmp on job->error.jump.
void JpegStart(JpegJob* job, const unsigned char* data, size_t size) {
    jpeg_create_decompress(&job->cinfo);
    job->cinfo.mem->max_memory_to_use = kJpegMaxWorkingMemory;
    job->progress.progress_monitor = JpegProgress;
    job->cinfo.progress = &job->progress;
    jpeg_mem_src(&job->cinfo, data, static_cast<unsigned long>(size));
    jpeg_read_header(&job->cinfo, TRUE);
}

void JpegInitJob(JpegJob* job) {
    job->cinfo.err = jpeg_std_error(&job->error.manager);
    job->error.manager.error_exit = JpegErrorExit;
    job->error.manager.emit_message = JpegEmitMessage;
    job->error.manager.output_message = JpegOutputMessage;
    job->progress = jpeg_progress_mgr{};
    job->cmykRow = nullptr;
    job->picture = DecodedPicture{};
}

bool JpegSizeJob(JpegJob* job, const unsigned char* data, size_t size, int* width, int* height) {
    if (setjmp(job->error.jump) != 0) {
        return false;
    }
    JpegStart(job, data, size);
    *width = static_cast<int>(job->cinfo.image_width);
    *height = static_cast<int>(job->cinfo.image_height);
    return true;
}

// CMYK as Adobe writes it (inverted: 255 = no ink) or plain, to RGB.
void CmykToRgb(const unsigned char* cmyk, unsigned char* rgb, int count, bool inverted) {
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

bool JpegDecodeJob(JpegJob* job, const unsigned char* data, size_t size, int minWidth,
                   int minHeight) {
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
    // The smallest scale M/8 whose output still covers the need (0, 0: full).
    int scale = 8;
    for (int m = 1; m < 8 && (minWidth > 0 || minHeight > 0); ++m) {
        cinfo->scale_num = static_cast<unsigned>(m);
        cinfo->scale_denom = 8;
        jpeg_calc_output_dimensions(cinfo);
        if (static_cast<long long>(cinfo->output_width) >= minWidth &&
            static_cast<long long>(cinfo->output_height) >= minHeight) {
            scale = m;
            break;
        }
    }
    cinfo->scale_num = static_cast<unsigned>(scale);
    cinfo->scale_denom = 8;
    jpeg_start_decompress(cinfo);
    int const components = cmyk ? 4 : 3;
    if (cinfo->output_components != components) {
        return false;
    }
    if (!AllocateDecodedPicture(&job->picture, static_cast<int>(cinfo->output_width),
                                static_cast<int>(cinfo->output_height), 24)) {
        return false;
    }
    job->picture.fullWidth = static_cast<int>(cinfo->image_width);
    job->picture.fullHeight = static_cast<int>(cinfo->image_height);
    if (scale != 8) {
        job->picture.scaleNum = scale;
        job->picture.scaleDenom = 8;
    }
    if (cmyk) {
        job->cmykRow = static_cast<unsigned char*>(std::malloc(size_t(cinfo->output_width) * 4));
        if (job->cmykRow == nullptr) {
            return false;
        }
    }
    while (cinfo->output_scanline < cinfo->output_height) {
        unsigned char* row =
            job->picture.pixels + size_t(cinfo->output_scanline) * job->picture.bytesPerRow;
        JSAMPROW target = cmyk ? job->cmykRow : row;
        if (jpeg_read_scanlines(cinfo, &target, 1) != 1) {
            return false;
        }
        if (cmyk) {
            CmykToRgb(job->cmykRow, row, static_cast<int>(cinfo->output_width),
                      cinfo->saw_Adobe_marker != 0);
        }
    }
    jpeg_finish_decompress(cinfo);
    return true;
}

}  // namespace

bool ReadJpegSize(const unsigned char* data, size_t size, int* width, int* height) {
    auto* job = static_cast<JpegJob*>(std::calloc(1, sizeof(JpegJob)));
    if (job == nullptr) {
        return false;
    }
    JpegInitJob(job);
    bool const ok = JpegSizeJob(job, data, size, width, height);
    jpeg_destroy_decompress(&job->cinfo);
    std::free(job);
    return ok;
}

bool DecodeJpeg(const unsigned char* data, size_t size, int minWidth, int minHeight,
                DecodedPicture* picture) {
    auto* job = static_cast<JpegJob*>(std::calloc(1, sizeof(JpegJob)));
    if (job == nullptr) {
        return false;
    }
    JpegInitJob(job);
    bool const ok = JpegDecodeJob(job, data, size, minWidth, minHeight);
    jpeg_destroy_decompress(&job->cinfo);
    std::free(job->cmykRow);
    if (ok) {
        *picture = job->picture;
    } else {
        std::free(job->picture.pixels);
    }
    std::free(job);
    return ok;
}
