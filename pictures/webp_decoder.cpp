// WebP reader on libwebp: lossy and lossless stills, decoded at the size the
// caller needs (libwebp's own rescaler, which averages, when that is smaller
// than the picture), and the first frame of an animation on its canvas.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include <webp/decode.h>
#include <webp/demux.h>

#include "pictures/picture_decoder_formats.h"

namespace {

// The first frame of an animated WebP, composed on the full canvas as RGBA.
bool DecodeFirstFrame(const unsigned char* data, size_t size, DecodedPicture* picture)
{
    const WebPData webp = {data, size};
    WebPAnimDecoderOptions options;
    if (!WebPAnimDecoderOptionsInit(&options)) {
        return false;
    }
    options.color_mode = MODE_RGBA;
    options.use_threads = 0;
    WebPAnimDecoder* decoder = WebPAnimDecoderNew(&webp, &options);
    if (decoder == nullptr) {
        return false;
    }
    WebPAnimInfo info;
    uint8_t* frame = nullptr;
    int timestamp = 0;
    bool ok =
        WebPAnimDecoderGetInfo(decoder, &info) && PictureSizeAccepted(info.canvas_width, info.canvas_height) &&
        WebPAnimDecoderGetNext(decoder, &frame, &timestamp) && frame != nullptr &&
        AllocateDecodedPicture(picture, static_cast<int>(info.canvas_width), static_cast<int>(info.canvas_height), 32);
    if (ok) {
        // The frame lives in the decoder; its rows are packed canvas_width * 4.
        std::memcpy(picture->pixels, frame, picture->bytesPerRow * size_t(picture->height));
    }
    WebPAnimDecoderDelete(decoder);
    return ok;
}

}  // namespace

bool ReadWebpSize(const unsigned char* data, size_t size, int* width, int* height)
{
    int w = 0;
    int h = 0;
    if (data == nullptr || !WebPGetInfo(data, size, &w, &h)) {
        return false;
    }
    *width = w;
    *height = h;
    return true;
}

bool DecodeWebp(const unsigned char* data, size_t size, int minWidth, int minHeight, DecodedPicture* picture)
{
    WebPDecoderConfig config;
    if (data == nullptr || !WebPInitDecoderConfig(&config) ||
        WebPGetFeatures(data, size, &config.input) != VP8_STATUS_OK ||
        !PictureSizeAccepted(config.input.width, config.input.height)) {
        return false;
    }
    if (config.input.has_animation) {
        return DecodeFirstFrame(data, size, picture);
    }
    const int fullWidth = config.input.width;
    const int fullHeight = config.input.height;
    int width = fullWidth;
    int height = fullHeight;
    CoveringSize(fullWidth, fullHeight, minWidth, minHeight, &width, &height);
    const int bitsPerPixel = config.input.has_alpha ? 32 : 24;
    if (!AllocateDecodedPicture(picture, width, height, bitsPerPixel)) {
        return false;
    }
    SetDecodedScale(picture, fullWidth, fullHeight);
    if (width != fullWidth || height != fullHeight) {
        config.options.use_scaling = 1;
        config.options.scaled_width = width;
        config.options.scaled_height = height;
    }
    // Decode straight into our buffer; libwebp checks it is large enough.
    config.output.colorspace = bitsPerPixel == 32 ? MODE_RGBA : MODE_RGB;
    config.output.is_external_memory = 1;
    config.output.u.RGBA.rgba = picture->pixels;
    config.output.u.RGBA.stride = static_cast<int>(picture->bytesPerRow);
    config.output.u.RGBA.size = picture->bytesPerRow * size_t(picture->height);
    const bool ok = WebPDecode(data, size, &config) == VP8_STATUS_OK;
    WebPFreeDecBuffer(&config.output);  // ours stays; this frees nothing else of libwebp's
    if (!ok) {
        FreeDecodedPicture(picture);
    }
    return ok;
}
