// The TGA reader: uncompressed (type 2) and run-length (type 10) true-colour
// images of 24 or 32 bits per pixel, decoded to R, G, B[, A] rows in the
// order stored. No GL calls here: `type` only takes GL's format constants.
#include <GL/gl.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>

#include "loading/StreamBytes.h"
#include "loading/Textures.h"

namespace {

// One decode's working state: the image being decoded and why it failed.
struct TgaDecode {
    unsigned char header[6] = {};  // image-information header as read: width, height (LE 16-bit), bpp, descriptor
    unsigned bytesPerPixel = 0;    // 3 or 4
    uint64_t imageSize = 0;        // bytes of decoded pixels
    unsigned width = 0;            // pixels
    unsigned height = 0;           // pixels
    unsigned bpp = 0;              // bits per pixel, 24 or 32
    LoadFailure* failure;          // where the reason goes; null when the caller doesn't want it

    explicit TgaDecode(LoadFailure* why) : failure(why)
    {
        if (failure) {
            *failure = LoadFailure{};
        }
    }

    bool Refuse(const char* text, const char* caption = "ERROR")
    {
        if (failure) {
            *failure = LoadFailure{caption, text};
        }
        return false;
    }

    bool RefuseAndRelease(Texture* texture, const char* text)
    {
        std::free(texture->imageData);
        texture->imageData = nullptr;
        return Refuse(text);
    }

    // Writes one stored pixel (B, G, R[, A]) as R, G, B[, A].
    void StorePixel(unsigned char* out, const unsigned char* stored) const
    {
        out[0] = stored[2];
        out[1] = stored[1];
        out[2] = stored[0];
        if (bytesPerPixel == 4) {
            out[3] = stored[3];
        }
    }
};

// No image ID, no colour map, type 2 (resp. 10), zero origin.
const unsigned char uTGAcompare[12] = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0};
const unsigned char cTGAcompare[12] = {0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0};

// Largest image accepted, counted as its RGBA upload buffer (width x height
// x 4): 1 GiB, four times a 16384-square texture. Beyond that the buffers
// are not sized at all.
constexpr uint64_t kMaxUploadBytes = uint64_t{1} << 30;

// Reads and checks the image-information header and sizes the image.
// `storedBytesNeeded` says whether the pixels are stored as they are
// (uncompressed): then an image longer than what is left of the stream is
// known to be short before anything is allocated for it.
bool StartDecoding(TgaDecode& tga, Texture* texture, std::istream* stream, bool storedBytesNeeded)
{
    if (texture->imageData) {
        std::free(texture->imageData);
        texture->imageData = nullptr;
    }
    if (!stream || !ReadBytes(*stream, tga.header, sizeof tga.header)) {
        return tga.Refuse("Could not read info header");
    }
    texture->width = tga.width = tga.header[0] + 256u * tga.header[1];
    texture->height = tga.height = tga.header[2] + 256u * tga.header[3];
    texture->bpp = tga.bpp = tga.header[4];
    if (tga.width == 0 || tga.height == 0 || (tga.bpp != 24 && tga.bpp != 32)) {
        return tga.Refuse("Invalid texture information");
    }
    texture->type = tga.bpp == 24 ? GL_RGB : GL_RGBA;
    tga.bytesPerPixel = tga.bpp / 8;
    const uint64_t pixels = static_cast<uint64_t>(tga.width) * tga.height;
    tga.imageSize = pixels * tga.bytesPerPixel;
    if (pixels * 4 > kMaxUploadBytes || tga.imageSize > std::numeric_limits<size_t>::max()) {
        return tga.Refuse("Invalid texture information");
    }
    if (storedBytesNeeded && tga.imageSize > BytesLeftInStream(*stream)) {
        stream->setstate(std::ios::failbit);  // as the short read would have left it
        return tga.Refuse("Could not read image data");
    }
    texture->imageData = static_cast<char*>(std::malloc(static_cast<size_t>(tga.imageSize)));
    if (!texture->imageData) {
        return tga.Refuse("Could not allocate memory for image");
    }
    return true;
}

bool DecodeUncompressed(TgaDecode& tga, Texture* texture, std::istream* stream)
{
    if (!StartDecoding(tga, texture, stream, true)) {
        return false;
    }
    if (!ReadBytes(*stream, texture->imageData, tga.imageSize)) {
        return tga.RefuseAndRelease(texture, "Could not read image data");
    }
    unsigned char* pixel = reinterpret_cast<unsigned char*>(texture->imageData);
    const unsigned char* end = pixel + tga.imageSize;
    for (; pixel < end; pixel += tga.bytesPerPixel) {
        const unsigned char blue = pixel[0];
        pixel[0] = pixel[2];
        pixel[2] = blue;
    }
    return true;
}

bool DecodeCompressed(TgaDecode& tga, Texture* texture, std::istream* stream)
{
    if (!StartDecoding(tga, texture, stream, false)) {
        return false;
    }
    const uint64_t pixelCount = static_cast<uint64_t>(tga.width) * tga.height;
    uint64_t currentPixel = 0;
    unsigned char* out = reinterpret_cast<unsigned char*>(texture->imageData);
    unsigned char stored[4] = {};
    do {
        unsigned char packet = 0;
        if (!ReadBytes(*stream, &packet, 1)) {
            return tga.RefuseAndRelease(texture, "Could not read RLE header");
        }
        const bool run = packet >= 128;
        const uint64_t count = run ? packet - 127u : packet + 1u;
        if (count > pixelCount - currentPixel) {
            return tga.RefuseAndRelease(texture, "Too many pixels read");
        }
        if (run) {
            if (!ReadBytes(*stream, stored, tga.bytesPerPixel)) {
                return tga.RefuseAndRelease(texture, "Could not read from file");
            }
            for (uint64_t i = 0; i < count; ++i) {
                tga.StorePixel(out + currentPixel * tga.bytesPerPixel, stored);
                ++currentPixel;
            }
        } else {
            for (uint64_t i = 0; i < count; ++i) {
                if (!ReadBytes(*stream, stored, tga.bytesPerPixel)) {
                    return tga.RefuseAndRelease(texture, "Could not read image data");
                }
                tga.StorePixel(out + currentPixel * tga.bytesPerPixel, stored);
                ++currentPixel;
            }
        }
    } while (currentPixel < pixelCount);
    return true;
}

}  // namespace

bool LoadTGA2(Texture* texture, std::istream* stream, LoadFailure* failure)
{
    TgaDecode tga(failure);
    // A record being refilled lets go of what it held: a failed decode
    // leaves no pixels behind.
    std::free(texture->imageData);
    texture->imageData = nullptr;
    const std::ifstream* file = dynamic_cast<const std::ifstream*>(stream);
    if (!stream || !stream->rdbuf() || (file && !file->is_open())) {
        return tga.Refuse("Could not open texture file");
    }
    unsigned char fileHeader[12];
    if (!ReadBytes(*stream, fileHeader, sizeof fileHeader)) {
        return tga.Refuse("Could not read file header");
    }
    if (std::memcmp(fileHeader, uTGAcompare, sizeof fileHeader) == 0) {
        return DecodeUncompressed(tga, texture, stream);
    }
    if (std::memcmp(fileHeader, cTGAcompare, sizeof fileHeader) == 0) {
        return DecodeCompressed(tga, texture, stream);
    }
    return tga.Refuse("TGA file be type 2 or type 10 ", "Invalid Image");
}

bool LoadUncompressedTGA2(Texture* texture, std::istream* stream, LoadFailure* failure)
{
    TgaDecode tga(failure);
    return DecodeUncompressed(tga, texture, stream);
}

bool LoadCompressedTGA2(Texture* texture, std::istream* stream, LoadFailure* failure)
{
    TgaDecode tga(failure);
    return DecodeCompressed(tga, texture, stream);
}
