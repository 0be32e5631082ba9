// GIF reader on giflib: the first image, placed on the logical screen, in
// palette colours. The result is RGBA when the image has a transparent colour
// or leaves part of the screen uncovered (such pixels are 0, 0, 0, 0), else
// RGB. Records are walked by hand (no DGifSlurp) so that nothing is allocated
// for a picture beyond the size bound.
#include <cstdlib>
#include <cstring>

#include <gif_lib.h>

#include "pictures/picture_decoder_formats.h"

namespace {

struct GifSource {
    const unsigned char* data;  // file bytes (not owned)
    size_t size;                // bytes in data
    size_t position;            // next byte to hand out
};

// giflib's read callback; a short count makes giflib fail the read.
int GifRead(GifFileType* gif, GifByteType* out, int count)
{
    auto* source = static_cast<GifSource*>(gif->UserData);
    if (count <= 0) {
        return 0;
    }
    const size_t left = source->size - source->position;
    const size_t n = static_cast<size_t>(count) < left ? static_cast<size_t>(count) : left;
    std::memcpy(out, source->data + source->position, n);
    source->position += n;
    return static_cast<int>(n);
}

// The logical screen, or the first image's extent when the screen says 0.
struct GifLayout {
    int canvasWidth;  // pixels of the result
    int canvasHeight;
    int transparentIndex;  // palette index drawn transparent, or -1
};

// Walks the records up to the first image descriptor, picking up the
// transparent colour of a graphic control extension on the way. False on
// damaged data or a file without an image.
bool GifFindFirstImage(GifFileType* gif, GifLayout* layout)
{
    layout->transparentIndex = -1;
    for (;;) {
        GifRecordType record;
        if (DGifGetRecordType(gif, &record) == GIF_ERROR) {
            return false;
        }
        if (record == IMAGE_DESC_RECORD_TYPE) {
            if (DGifGetImageDesc(gif) == GIF_ERROR) {
                return false;
            }
            break;
        }
        if (record != EXTENSION_RECORD_TYPE) {
            return false;  // trailer before any image, or garbage
        }
        int code = 0;
        GifByteType* block = nullptr;
        if (DGifGetExtension(gif, &code, &block) == GIF_ERROR) {
            return false;
        }
        if (code == GRAPHICS_EXT_FUNC_CODE && block != nullptr && block[0] >= 4) {
            layout->transparentIndex = (block[1] & 0x01) != 0 ? block[4] : -1;
        }
        while (block != nullptr) {
            if (DGifGetExtensionNext(gif, &block) == GIF_ERROR) {
                return false;
            }
        }
    }
    const GifImageDesc& image = gif->Image;
    if (image.Left < 0 || image.Top < 0 || !PictureSizeAccepted(image.Width, image.Height)) {
        return false;
    }
    layout->canvasWidth = gif->SWidth;
    layout->canvasHeight = gif->SHeight;
    if (layout->canvasWidth <= 0 || layout->canvasHeight <= 0) {
        layout->canvasWidth = image.Left + image.Width;
        layout->canvasHeight = image.Top + image.Height;
    }
    return PictureSizeAccepted(layout->canvasWidth, layout->canvasHeight);
}

GifFileType* GifOpen(GifSource* source)
{
    int error = 0;
    return DGifOpen(source, GifRead, &error);
}

void GifClose(GifFileType* gif)
{
    if (gif != nullptr) {
        int error = 0;
        DGifCloseFile(gif, &error);
    }
}

bool GifDecodeImage(GifFileType* gif, const GifLayout& layout, DecodedPicture* picture)
{
    const GifImageDesc& image = gif->Image;
    const ColorMapObject* map = image.ColorMap != nullptr ? image.ColorMap : gif->SColorMap;
    if (map == nullptr || map->Colors == nullptr) {
        return false;
    }
    const bool covers =
        image.Left == 0 && image.Top == 0 && image.Width >= layout.canvasWidth && image.Height >= layout.canvasHeight;
    const bool alpha = layout.transparentIndex >= 0 || !covers;
    const int bytes = alpha ? 4 : 3;
    if (!AllocateDecodedPicture(picture, layout.canvasWidth, layout.canvasHeight, bytes * 8)) {
        return false;
    }
    if (alpha) {
        std::memset(picture->pixels, 0, picture->bytesPerRow * size_t(picture->height));
    }
    auto* line = static_cast<GifPixelType*>(std::malloc(size_t(image.Width)));
    if (line == nullptr) {
        return false;
    }
    // Interlaced images deliver rows in four passes.
    constexpr int kStart[4] = {0, 4, 2, 1};
    constexpr int kStep[4] = {8, 8, 4, 2};
    const int passes = image.Interlace ? 4 : 1;
    bool ok = true;
    for (int pass = 0; pass < passes && ok; ++pass) {
        const int start = image.Interlace ? kStart[pass] : 0;
        const int step = image.Interlace ? kStep[pass] : 1;
        for (int y = start; y < image.Height && ok; y += step) {
            if (DGifGetLine(gif, line, image.Width) == GIF_ERROR) {
                ok = false;
                break;
            }
            const int row = image.Top + y;
            if (row >= layout.canvasHeight) {
                continue;
            }
            unsigned char* out = picture->pixels + size_t(row) * picture->bytesPerRow;
            for (int x = 0; x < image.Width && image.Left + x < layout.canvasWidth; ++x) {
                const int index = line[x];
                unsigned char* texel = out + size_t(image.Left + x) * size_t(bytes);
                if (index == layout.transparentIndex) {
                    continue;  // stays 0, 0, 0, 0
                }
                if (index < map->ColorCount) {
                    texel[0] = map->Colors[index].Red;
                    texel[1] = map->Colors[index].Green;
                    texel[2] = map->Colors[index].Blue;
                } else {
                    texel[0] = texel[1] = texel[2] = 0;  // index outside the palette
                }
                if (alpha) {
                    texel[3] = 255;
                }
            }
        }
    }
    std::free(line);
    return ok;
}

}  // namespace

bool ReadGifSize(const unsigned char* data, size_t size, int* width, int* height)
{
    GifSource source{data, size, 0};
    GifFileType* gif = GifOpen(&source);
    if (gif == nullptr) {
        return false;
    }
    GifLayout layout{};
    const bool ok = GifFindFirstImage(gif, &layout);
    GifClose(gif);
    if (ok) {
        *width = layout.canvasWidth;
        *height = layout.canvasHeight;
    }
    return ok;
}

bool DecodeGif(const unsigned char* data, size_t size, DecodedPicture* picture)
{
    GifSource source{data, size, 0};
    GifFileType* gif = GifOpen(&source);
    if (gif == nullptr) {
        return false;
    }
    GifLayout layout{};
    DecodedPicture result{};
    const bool ok = GifFindFirstImage(gif, &layout) && GifDecodeImage(gif, layout, &result);
    GifClose(gif);
    if (ok) {
        *picture = result;
    } else {
        std::free(result.pixels);
    }
    return ok;
}
