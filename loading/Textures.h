#pragma once
#include <fstream>

#include "loading/Texture.h"

// Opens the container at `path`, and for every lump of lumpType 1 decodes it
// with LoadTGA2 and uploads it with BuildTexture (alphaMode of the entry).
// *textures receives an array of lumpCount records (array new, owned by the
// caller from then on), *count its length. False at the first failure;
// textures built before it stay usable. Needs a current GL context.
bool LoadTexturesFromDataFile(char* path, Texture** textures, int* count);

// Decodes a TGA (type 2 or 10, 24/32 bpp) from `stream` at its position into
// `texture`. False, after a MessageBox naming the fault, on anything else.
bool LoadTGA2(Texture* texture, std::ifstream* stream);
bool LoadUncompressedTGA2(Texture* texture, std::ifstream* stream);
bool LoadCompressedTGA2(Texture* texture, std::ifstream* stream);

// Uploads texture->imageData as an RGBA texture with alpha made by
// `alphaMode` (0 opaque, 1 colour key = first pixel, 2 brightness), sets
// texID, frees imageData. False when the upload buffer can't be made.
// Needs a current GL context.
bool BuildTexture(Texture* texture, int alphaMode);

// Shows `text` under `caption` to the user and returns after it was seen
// (see platform/alert.h for where it goes). owner and style are ignored.
void MessageBox(void* owner, const char* text, const char* caption, int style);
