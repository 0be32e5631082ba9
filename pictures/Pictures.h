#pragma once
#include "loading/Texture.h"

// Picture choice from a folder and picture decoding into a texture.
// Picture kinds are told by file name: ".jpg", ".gif", ".png", tested on the
// lower-cased name, in that order. Names are returned as the folder stores
// them, without the folder. Name buffers hold 1024 bytes.

// Number of entries of `folder` whose lower-cased name ends in `extension`
// (lower case, with its dot) and is longer than it; sub-folders count too.
// 0 when the folder can't be opened.
int CountFiles(const char* folder, const char* extension);

// Writes the name of the n-th entry (from 0, in directory order) of that kind
// into `name`. False when there are fewer than n + 1 such entries, the folder
// can't be opened, or it changed since counting.
bool FindNthFile(char* folder, char* name, char* extension, int n);

// Writes the name of a picture chosen with rand() among all ".jpg", ".gif" and
// ".png" entries of `folder`, each with the same chance. False when there is
// none.
bool ChooseRandomImageFile(char* folder, char* name);

// Chooses a picture in `folder` and loads it with loadPicFile. False, record
// untouched, when none can be chosen or the joined path exceeds 1024
// characters; otherwise loadPicFile's result. Needs a current GL context.
bool LoadPicture(char* folder, Texture* texture, int resolution);

// Decodes the picture file at `path`, resamples it to the texture size of
// `resolution` (0: 512 x 512, 1: 1024 x 1024, other: each side the nearest
// power of two, at most GL_MAX_TEXTURE_SIZE), bottom row first, and builds
// the texture with BuildTexture(texture, 0). Afterwards width and height hold
// the picture's own size. False, record untouched, when the file is no
// decodable picture or memory runs out; false, with the texel buffer left in
// imageData, when BuildTexture fails. Needs a current GL context.
bool loadPicFile(const char* path, Texture* texture, int resolution);
