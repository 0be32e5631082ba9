#pragma once
#include <istream>

#include "loading/Texture.h"

// Why a TGA decode failed, worded as the alert the user is to be shown: a
// caption and a text, both string literals. Reading them is the caller's
// business (the engine shows them at set-up); nothing here shows anything.
struct LoadFailure {
    const char* caption = nullptr;  // "ERROR" or "Invalid Image"; null when there is nothing to show
    const char* text = nullptr;     // the message; null when there is nothing to show

    explicit operator bool() const { return text != nullptr; }
};

// Opens the container at `path`, and for every lump of lumpType 1 decodes it
// with LoadTGA2 and uploads it with BuildTexture (alphaMode of the entry).
// *textures receives an array of lumpCount records (array new, owned by the
// caller from then on, GL names included: the caller deletes every non-zero
// texID before the array), *count its length. False when the container
// can't be opened or at the first lump that fails; textures built before it
// stay usable, later ones stay empty. When the failing lump could not be
// decoded, `failure` (if not null) receives the decoder's reason; failures
// of the container and of the upload leave it empty. Needs a current GL
// context.
bool LoadTexturesFromDataFile(const char* path, Texture** textures, int* count, LoadFailure* failure = nullptr);

// Decodes a TGA (type 2 or 10, 24/32 bpp) from `stream` at its position into
// `texture` (imageData, bpp, width, height, type). False for a null or
// closed stream, any other TGA kind, bad image information, an image too
// large to size safely, or short data, with the reason in `failure` (if not
// null; emptied on success); a failed decode leaves no pixels behind. Keeps
// no state between calls.
bool LoadTGA2(Texture* texture, std::istream* stream, LoadFailure* failure = nullptr);
// The two decoders, from just after the 12-byte header; same contract.
bool LoadUncompressedTGA2(Texture* texture, std::istream* stream, LoadFailure* failure = nullptr);
bool LoadCompressedTGA2(Texture* texture, std::istream* stream, LoadFailure* failure = nullptr);

// Uploads texture->imageData as an RGBA texture with alpha made by
// `alphaMode` (1 colour key = first pixel, 2 brightness, anything else
// opaque), sets texID, frees imageData and leaves the texture bound.
// False when there are no pixels or the upload buffer can't be made (a
// texture name may then have been made all the same: the record's owner
// deletes it as any other). Needs a current GL context.
bool BuildTexture(Texture* texture, int alphaMode);
