#include "puzzle/PieceCards.h"
#include "puzzle/ppInfo.h"

#include <algorithm>
#include <cmath>

#include "loading/MS3D.h"

namespace {

// Samples along a texel's side when a tile is drawn.
constexpr int kSamples = 2;
constexpr int kSampleGrid = kCardTile * kSamples;

// The engine lights the board with a point light at the eye, no ambient
// light of its own over GL's global 0.2, a diffuse 1 and colours clamped:
// a face turned towards the eye gets 0.2 + 1 (shown as 1), the rim's last
// ring, seen edge on, 0.2.
constexpr float kAmbient = 0.2f;
// What a texel outside the outline carries: filtered into the card's edge
// texels it stands for the wall and the neighbour's rim beyond. Set by
// comparing frames of a board a hundred pieces across drawn with cards and
// with shapes: 0.2 made the seams a heavy net, 1 washed them out.
constexpr float kOutsideLight = 0.6f;

float FrontLight(const float normal[3])
{
    return std::min(1.0f, kAmbient + std::max(0.0f, normal[2]));
}

// Index of (x, y) in a row-major grid `side` wide.
size_t Cell(int x, int y, int side)
{
    return static_cast<size_t>(y) * static_cast<size_t>(side) + static_cast<size_t>(x);
}

uint8_t Byte(float v)
{
    return static_cast<uint8_t>(std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f));
}

}  // namespace

void PieceCardAtlas::Reset()
{
    size = kCardTile * kCardTilesAcross;
    levels.assign(kCardLevels, {});
    for (int level = 0; level < kCardLevels; ++level) {
        const size_t side = static_cast<size_t>(size >> level);
        levels[static_cast<size_t>(level)].resize(side * side * 2);
        for (size_t i = 0; i < side * side; ++i) {
            levels[static_cast<size_t>(level)][2 * i] = Byte(kOutsideLight);
            levels[static_cast<size_t>(level)][2 * i + 1] = 0;
        }
    }
    std::fill(std::begin(filled), std::end(filled), false);
}

bool PieceCardAtlas::AddShape(int shape, const MS3D& model)
{
    if (shape < 0 || shape >= kCardTilesAcross * kCardTilesAcross || levels.size() != kCardLevels ||
        model.triangles == nullptr)
        return false;

    // Every sample's light, negative where no face covers it. The faces that
    // look towards +z never overlap seen from there (the shape is closed and
    // its outline simple), so a sample takes the one face over it.
    std::vector<float> light(static_cast<size_t>(kSampleGrid) * kSampleGrid, -1.0f);
    const float step = 2.0f * kCardHalfSpan / kSampleGrid;
    bool any = false;
    for (uint16_t k = 0; k < model.numTriangles; ++k) {
        const MS3D_TRIANGLE& tri = model.triangles[k];
        float x[3], y[3], l[3];
        for (int c = 0; c < 3; ++c) {
            // The corner's model position, whatever the model was scaled
            // to, from its texture coordinates: s = x/20 + 1, t = y/20.
            x[c] = ((tri.s[c] - 1.0f) * 20.0f + kCardHalfSpan) / step;  // in samples
            y[c] = (tri.t[c] * 20.0f + kCardHalfSpan) / step;
            l[c] = FrontLight(tri.vertexNormals[c]);
        }
        const float area = (x[1] - x[0]) * (y[2] - y[0]) - (x[2] - x[0]) * (y[1] - y[0]);
        if (!(area > 1e-6f))
            continue;  // facing away from +z, or edge on
        any = true;
        const int i0 = std::max(0, static_cast<int>(std::floor(std::min({x[0], x[1], x[2]}))));
        const int i1 = std::min(kSampleGrid - 1, static_cast<int>(std::ceil(std::max({x[0], x[1], x[2]}))));
        const int j0 = std::max(0, static_cast<int>(std::floor(std::min({y[0], y[1], y[2]}))));
        const int j1 = std::min(kSampleGrid - 1, static_cast<int>(std::ceil(std::max({y[0], y[1], y[2]}))));
        for (int j = j0; j <= j1; ++j) {
            const float py = static_cast<float>(j) + 0.5f;
            for (int i = i0; i <= i1; ++i) {
                const float px = static_cast<float>(i) + 0.5f;
                // Barycentric weights of the sample; all three non-negative inside.
                const float w0 = ((x[1] - px) * (y[2] - py) - (x[2] - px) * (y[1] - py)) / area;
                const float w1 = ((x[2] - px) * (y[0] - py) - (x[0] - px) * (y[2] - py)) / area;
                const float w2 = 1.0f - w0 - w1;
                if (w0 < 0.0f || w1 < 0.0f || w2 < 0.0f)
                    continue;
                light[Cell(i, j, kSampleGrid)] = w0 * l[0] + w1 * l[1] + w2 * l[2];
            }
        }
    }
    if (!any)
        return false;

    // Level 0 from the samples, then each level from the one above by
    // averaging 2 x 2 texels (a tile's texels stay within the tile).
    const int tileX = (shape % kCardTilesAcross) * kCardTile;
    const int tileY = (shape / kCardTilesAcross) * kCardTile;
    std::vector<float> lum(static_cast<size_t>(kCardTile) * kCardTile), alpha(lum.size());
    for (int ty = 0; ty < kCardTile; ++ty) {
        for (int tx = 0; tx < kCardTile; ++tx) {
            float sum = 0.0f;
            int inside = 0;
            for (int sy = 0; sy < kSamples; ++sy) {
                for (int sx = 0; sx < kSamples; ++sx) {
                    const float v = light[Cell(tx * kSamples + sx, ty * kSamples + sy, kSampleGrid)];
                    sum += v >= 0.0f ? v : kOutsideLight;
                    inside += v >= 0.0f ? 1 : 0;
                }
            }
            lum[Cell(tx, ty, kCardTile)] = sum / (kSamples * kSamples);
            alpha[Cell(tx, ty, kCardTile)] = static_cast<float>(inside) / (kSamples * kSamples);
        }
    }
    for (int level = 0; level < kCardLevels; ++level) {
        const int side = kCardTile >> level;
        if (level > 0) {
            const int above = side * 2;
            std::vector<float> lumBelow(static_cast<size_t>(side) * side), alphaBelow(lumBelow.size());
            for (int ty = 0; ty < side; ++ty) {
                for (int tx = 0; tx < side; ++tx) {
                    float l = 0.0f, a = 0.0f;
                    for (int d = 0; d < 4; ++d) {
                        const size_t at = Cell(2 * tx + d % 2, 2 * ty + d / 2, above);
                        l += lum[at];
                        a += alpha[at];
                    }
                    lumBelow[Cell(tx, ty, side)] = l / 4.0f;
                    alphaBelow[Cell(tx, ty, side)] = a / 4.0f;
                }
            }
            lum.swap(lumBelow);
            alpha.swap(alphaBelow);
        }
        std::vector<uint8_t>& out = levels[static_cast<size_t>(level)];
        for (int ty = 0; ty < side; ++ty) {
            for (int tx = 0; tx < side; ++tx) {
                const size_t at = Cell((tileX >> level) + tx, (tileY >> level) + ty, size >> level) * 2;
                out[at] = Byte(lum[Cell(tx, ty, side)]);
                out[at + 1] = Byte(alpha[Cell(tx, ty, side)]);
            }
        }
    }
    filled[shape] = true;
    return true;
}

bool PieceCardAtlas::Complete() const
{
    return levels.size() == kCardLevels && std::all_of(std::begin(filled), std::end(filled), [](bool f) { return f; });
}

void PieceCardAtlas::TileCoordinates(int shape, float x, float y, float* s, float* t)
{
    const float tile = 1.0f / kCardTilesAcross;
    *s = (static_cast<float>(shape % kCardTilesAcross) + (x + kCardHalfSpan) / (2.0f * kCardHalfSpan)) * tile;
    const int row = shape / kCardTilesAcross;  // the tile's row in the atlas
    *t = (static_cast<float>(row) + (y + kCardHalfSpan) / (2.0f * kCardHalfSpan)) * tile;
}

float CardReach(int shape, int side)
{
    return ppInfo[shape & 63][side & 3] == 1 ? kCardHalfSpan : kCardFlatReach;
}
