#pragma once
#include <cstdint>
#include <vector>

class MS3D;

// Cards: a piece drawn only a few pixels wide as flat squares (front, back
// and two fins through the middle) carrying the picture, cut to the piece's
// outline by a mask.
// The mask is a luminance-alpha picture of the shape seen head-on: alpha is
// the share of a texel inside the outline, luminance the light the rim and
// face get there from the engine's light at the eye, relative to a flat
// face's, so the seams between pieces keep their dark line. One tile per
// shape in an 8 x 8 atlas, with its smaller levels for distant pieces.
//
// Tile and model units: a tile spans x, y in [-kCardHalfSpan, kCardHalfSpan]
// (the body square is [-20, 20] and a knob reaches 33.8), +y up, bottom row
// of texels first as GL reads them.
constexpr int kCardTile = 64;           // texels along a tile's side at level 0
constexpr int kCardTilesAcross = 8;     // tiles along the atlas's side
constexpr int kCardLevels = 4;          // levels 0..3: tiles of 64, 32, 16 and 8 texels
constexpr float kCardHalfSpan = 34.0f;  // model units from a tile's centre to its edge
// How far from the centre a card reaches on a side without a knob: the body's
// edge (20) plus a margin that keeps every texel of the mask over the alpha
// cut inside the card at every level (21 would just do).
constexpr float kCardFlatReach = 24.0f;
constexpr float kCardAlphaCut = 0.4f;  // texels at or under this alpha are outside (under a half: no
                                       // pinholes where four filtered corners meet)
constexpr float kCardLodBias = -0.5f;  // the mask's level a half step finer than the footprint asks

// How far shape `shape`'s card reaches from its centre on side `side`
// (0 top, 1 right, 2 bottom, 3 left, as ppInfo orders them), model units:
// the whole tile where a knob sticks out, else kCardFlatReach.
float CardReach(int shape, int side);

struct PieceCardAtlas {
    int size = 0;                                           // texels along the atlas's side at level 0
    std::vector<std::vector<uint8_t>> levels;               // kCardLevels pictures, 2 bytes (L, A) a texel
    bool filled[kCardTilesAcross * kCardTilesAcross] = {};  // a shape's tile was drawn

    // An empty atlas of kCardLevels levels, every texel outside.
    void Reset();
    // Draws `model`'s outline and front lighting into tile `shape` (0..63)
    // at every level, the model's positions read from its texture
    // coordinates (as ReadPieceShapes gives them, s = x/20 + 1, t = y/20 of
    // the model unit), so the model may be scaled. False (tile left empty)
    // for a shape out of range or a model without a triangle facing +z.
    bool AddShape(int shape, const MS3D& model);
    // Every one of the 64 tiles drawn.
    bool Complete() const;
    // The texture coordinates of model point (x, y) in tile `shape`.
    static void TileCoordinates(int shape, float x, float y, float* s, float* t);
};
