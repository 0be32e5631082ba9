#pragma once
#include <istream>

#include "loading/Texture.h"

// Opens the container at `path`, and for every lump of lumpType 1 decodes it
// with LoadTGA2 and uploads it with BuildTexture (alphaMode of the entry).
// *textures receives an array of lumpCount records (array new, owned by the
// caller from then on), *count its length. False when the container can't be
// opened or at the first lump that fails; textures built before it stay
// usable, later ones stay empty. Needs a current GL context.
bool LoadTexturesFromDataFile(const char* path, Texture** textures, int* count);

// Decodes a TGA (type 2 or 10, 24/32 bpp) from `stream` at its position into
// `texture` (imageData, bpp, width, height, type). False, after a MessageBox
// naming the fault, for a null or closed stream, any other TGA kind, bad
// image information, an image too large to size safely, or short data; a
// failed decode leaves no pixels behind. Uses the file-scope working state,
// so it is not re-entrant.
bool LoadTGA2(Texture* texture, std::istream* stream);
// The two decoders, from just after the 12-byte header; same contract.
bool LoadUncompressedTGA2(Texture* texture, std::istream* stream);
bool LoadCompressedTGA2(Texture* texture, std::istream* stream);

// Uploads texture->imageData as an RGBA texture with alpha made by
// `alphaMode` (1 colour key = first pixel, 2 brightness, anything else
// opaque), sets texID, frees imageData and leaves the texture bound.
// False when there are no pixels or the upload buffer can't be made.
// Needs a current GL context.
bool BuildTexture(Texture* texture, int alphaMode);

// Shows `text` under `caption` to the user and returns after it was seen
// (see platform/alert.h for where it goes). owner and style are ignored.
void MessageBox(void* owner, const char* text, const char* caption, int style);
