// zarnet-default-picture: paints the bundled default picture.
//
//   zarnet-default-picture OUTPUT.png [WIDTH HEIGHT]
//
// A lake at sunset: a sky running from night blue to gold with stars, a low
// sun, lit clouds, two striped balloons and a few birds; four ranges of
// mountains fading into the haze, a pine ridge, the lake mirroring all of it
// with ripples and a glittering sun path, and a flowered bank in front.
// Every part of the frame has its own colours and shapes, so that a puzzle
// of it is pleasant to watch come together. The picture is computed, not
// drawn from any file, and the same size always gives the same bytes.
// Default size 1600 x 1000; written as an 8-bit RGB PNG.
#include "pictures/png_writer.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Colour {
    float r, g, b;  // linear-ish 0..1 per channel
};

Colour operator+(Colour a, Colour b)
{
    return {a.r + b.r, a.g + b.g, a.b + b.b};
}
Colour operator*(Colour a, float s)
{
    return {a.r * s, a.g * s, a.b * s};
}
Colour operator*(Colour a, Colour b)
{
    return {a.r * b.r, a.g * b.g, a.b * b.b};
}

Colour Hex(uint32_t rgb)
{
    return {((rgb >> 16) & 0xff) / 255.0f, ((rgb >> 8) & 0xff) / 255.0f, (rgb & 0xff) / 255.0f};
}

Colour Mix(Colour a, Colour b, float t)
{
    return a * (1.0f - t) + b * t;
}

float Clamp01(float v)
{
    return v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v);
}

float SmoothStep(float e0, float e1, float x)
{
    float t = Clamp01((x - e0) / (e1 - e0));
    return t * t * (3.0f - 2.0f * t);
}

// Integer hash to [0, 1): the picture's only source of chance.
float Hash(int x, int y, int seed)
{
    uint32_t h = static_cast<uint32_t>(x) * 374761393u + static_cast<uint32_t>(y) * 668265263u +
                 static_cast<uint32_t>(seed) * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    h ^= h >> 16;
    return (h & 0xffffff) / 16777216.0f;
}

float ValueNoise(float x, float y, int seed)
{
    int ix = static_cast<int>(std::floor(x)), iy = static_cast<int>(std::floor(y));
    float fx = x - ix, fy = y - iy;
    float sx = fx * fx * (3 - 2 * fx), sy = fy * fy * (3 - 2 * fy);
    float a = Hash(ix, iy, seed), b = Hash(ix + 1, iy, seed);
    float c = Hash(ix, iy + 1, seed), d = Hash(ix + 1, iy + 1, seed);
    return (a + (b - a) * sx) * (1 - sy) + (c + (d - c) * sx) * sy;
}

float Fbm(float x, float y, int seed, int octaves)
{
    float sum = 0, amp = 0.5f, norm = 0;
    for (int i = 0; i < octaves; ++i) {
        sum += ValueNoise(x, y, seed + i * 17) * amp;
        norm += amp;
        amp *= 0.5f;
        x *= 2.03f;
        y *= 2.03f;
    }
    return sum / norm;
}

// Ridged noise for mountain crests: sharp peaks, soft valleys.
float Ridge1D(float x, int seed, int octaves)
{
    float sum = 0, amp = 0.5f, norm = 0;
    for (int i = 0; i < octaves; ++i) {
        float n = 1.0f - std::fabs(ValueNoise(x, 0.5f, seed + i * 31) * 2.0f - 1.0f);
        sum += n * n * amp;
        norm += amp;
        amp *= 0.5f;
        x *= 2.1f;
    }
    return sum / norm;
}

// The scene in a 1600 x 1000 frame of reference; the painter scales to any size.
constexpr float kW = 1600.0f, kH = 1000.0f;
constexpr float kHorizon = 640.0f;  // the lake's shore line, where reflections fold

struct Mountains {
    float base;    // y the range stands on
    float height;  // largest rise above the base
    float scale;   // horizontal feature size
    int seed;
    Colour colour;  // body colour (before haze)
    float haze;     // how much of the sky's horizon colour shows through
    bool snow;      // white caps on the highest parts
};

const Mountains kRanges[] = {
    {600, 300, 1.0f / 420, 11, Hex(0x9a7fb8), 0.55f, true},
    {620, 220, 1.0f / 300, 23, Hex(0x6b5a9c), 0.35f, false},
    {632, 150, 1.0f / 220, 37, Hex(0x43407a), 0.18f, false},
    {642, 95, 1.0f / 160, 53, Hex(0x1f3b52), 0.05f, false},
};
constexpr int kRangeCount = 4;

float RangeTop(const Mountains& m, float x)
{
    // A gentle swell times sharp crests.
    float swell = 0.55f + 0.45f * std::sin(x * m.scale * 1.7f + m.seed);
    return m.base - m.height * swell * Ridge1D(x * m.scale, m.seed, 5);
}

// The crest without its finest detail, for shading the faces.
float SmoothTop(const Mountains& m, float x)
{
    float swell = 0.55f + 0.45f * std::sin(x * m.scale * 1.7f + m.seed);
    return m.base - m.height * swell * Ridge1D(x * m.scale, m.seed, 3);
}

struct Balloon {
    float x, y, r;      // envelope centre and radius
    Colour stripes[3];  // repeated across the envelope
};

const Balloon kBalloons[] = {
    {330, 250, 58, {Hex(0xe63946), Hex(0xffd166), Hex(0x118ab2)}},
    {1390, 195, 30, {Hex(0x06d6a0), Hex(0xf8f9fa), Hex(0xef476f)}},
};

Colour SkyAt(float x, float y)
{
    // Night blue at the top through violet and coral to gold at the horizon.
    struct Stop {
        float y;
        Colour c;
    };
    const Stop stops[] = {
        {0, Hex(0x141a45)},   {230, Hex(0x3b2f72)}, {380, Hex(0x8c4a8f)},
        {480, Hex(0xe9767a)}, {560, Hex(0xffb36b)}, {640, Hex(0xffe0a0)},
    };
    Colour c = stops[0].c;
    for (int i = 1; i < 6; ++i) {
        if (y <= stops[i].y) {
            float t = (y - stops[i - 1].y) / (stops[i].y - stops[i - 1].y);
            c = Mix(stops[i - 1].c, stops[i].c, SmoothStep(0, 1, t));
            break;
        }
        c = stops[i].c;
    }
    // Warmer towards the sun's side.
    float side = std::exp(-std::pow((x - 1060.0f) / 600.0f, 2.0f));
    c = Mix(c, c * Hex(0xffd9b0) + Hex(0x201000), 0.35f * side * SmoothStep(200, 600, y));

    // Stars, fading out as the sky brightens.
    float starZone = 1.0f - SmoothStep(120, 330, y);
    if (starZone > 0) {
        int cx = static_cast<int>(x / 9), cy = static_cast<int>(y / 9);
        float h = Hash(cx, cy, 7);
        if (h > 0.965f) {
            float sx = (cx + 0.2f + 0.6f * Hash(cx, cy, 8)) * 9, sy = (cy + 0.2f + 0.6f * Hash(cx, cy, 9)) * 9;
            float d2 = (x - sx) * (x - sx) + (y - sy) * (y - sy);
            float size = 0.6f + 1.4f * Hash(cx, cy, 10);
            float star = std::exp(-d2 / (size * size)) * starZone * (0.5f + 0.5f * Hash(cx, cy, 11));
            c = Mix(c, Hex(0xfff6e0), Clamp01(star));
        }
    }

    // The sun with a wide glow.
    float dx = x - 1060.0f, dy = y - 470.0f;
    float d = std::sqrt(dx * dx + dy * dy);
    c = c + Hex(0xff9a50) * (0.55f * std::exp(-d / 170.0f));
    c = Mix(c, Hex(0xfff4d0), 1.0f - SmoothStep(80, 84, d));

    // Long clouds lit from below: pink on top, gold at their undersides.
    for (int i = 0; i < 5; ++i) {
        float cyc = 175.0f + 62.0f * i;
        float band = std::exp(-std::pow((y - cyc) / (16.0f + 5.0f * i), 2.0f));
        if (band < 0.01f)
            continue;
        float n = Fbm(x / (260.0f - 25 * i), y / 34.0f, 100 + i * 13, 5);
        float density = SmoothStep(0.50f, 0.70f, n * (0.55f + 0.6f * band));
        if (density <= 0)
            continue;
        float under = SmoothStep(cyc - 12, cyc + 14, y);
        Colour lit = Mix(Hex(0xc96fa0), Hex(0xffc07a), under);
        lit = Mix(lit, Hex(0xfff0c8), 0.5f * side * under);
        c = Mix(c, lit, density * 0.9f);
    }

    // Balloons: striped envelopes, a dark basket under each.
    for (const Balloon& b : kBalloons) {
        float bx = x - b.x, by = y - b.y;
        // Envelope: a circle stretched into a teardrop below the middle.
        float stretch = by > 0 ? 1.0f + 0.55f * (by / b.r) : 1.0f;
        float ex = bx * stretch;
        float ed = std::sqrt(ex * ex + by * by * (by > 0 ? 0.62f : 1.0f));
        float inside = 1.0f - SmoothStep(b.r - 1.2f, b.r + 0.2f, ed);
        if (inside > 0) {
            float u = std::asin(std::max(
                -1.0f,
                std::min(1.0f,
                         ex / (b.r * std::max(0.2f, std::sqrt(std::max(0.0f, 1 - by * by / (b.r * b.r * 2.2f))))))));
            int stripe = static_cast<int>(std::floor((u / 3.14159f + 0.5f) * 7.0f));
            Colour col = b.stripes[((stripe % 3) + 3) % 3];
            float shade = 0.65f + 0.35f * Clamp01(0.6f - (bx + by * 0.4f) / (b.r * 1.6f));
            c = Mix(c, col * shade + Hex(0x1a0c00) * (0.4f * (1 - shade)), inside);
        }
        // Ropes and basket.
        float bottom = b.y + b.r * 1.25f;
        float basketTop = b.y + b.r * 1.55f;
        if (y > bottom && y < basketTop) {
            float t = (y - bottom) / (basketTop - bottom);
            float half = b.r * 0.32f * (1 - t) + b.r * 0.16f * t;
            float rope = std::min(std::fabs(bx - half), std::fabs(bx + half));
            c = Mix(c, Hex(0x3a2418), 1.0f - SmoothStep(0.4f, 1.2f, rope));
        }
        if (y >= basketTop && y < basketTop + b.r * 0.24f && std::fabs(bx) < b.r * 0.17f)
            c = Hex(0x5a3a22);
    }

    // A few birds: shallow "v" strokes.
    const float birds[][3] = {{610, 330, 9}, {640, 312, 7}, {668, 340, 8}, {590, 352, 6}, {1230, 372, 7}};
    for (const auto& bd : birds) {
        float bx = x - bd[0], by = y - bd[1], s = bd[2];
        if (std::fabs(bx) > s || by < -s || by > s)
            continue;
        float wing = -0.45f * s * (1 - std::pow(std::fabs(bx) / s - 1, 2.0f)) + 0.35f * std::fabs(bx) * 0.3f;
        float dist = std::fabs(by - wing);
        c = Mix(c, Hex(0x2a1a3a), 1.0f - SmoothStep(0.5f, 1.4f, dist));
    }
    return c;
}

// The pine tops along the nearest ridge at x (smallest y), or a large value.
float TreeLine(float x, float ridgeY)
{
    float best = 1e9f;
    int cell = static_cast<int>(std::floor(x / 14.0f));
    for (int k = cell - 2; k <= cell + 2; ++k) {
        if (Hash(k, 3, 77) < 0.28f)
            continue;  // gaps in the forest
        float tx = (k + 0.5f) * 14.0f + (Hash(k, 4, 77) - 0.5f) * 8.0f;
        float h = 22.0f + 38.0f * Hash(k, 5, 77) * (0.5f + 0.5f * std::sin(tx / 190.0f));
        float w = h * 0.28f;
        float dx = std::fabs(x - tx);
        if (dx > w)
            continue;
        // Three tiers, each a little narrower.
        float frac = dx / w;
        float tierTop = 1e9f;
        for (int t = 0; t < 3; ++t) {
            float top = h * (1.0f - t * 0.28f);
            float width = 1.0f - t * 0.22f;
            if (frac <= width)
                tierTop = std::min(tierTop, -top * (1 - frac / width) - h * 0.12f * t);
        }
        best = std::min(best, RangeTop(kRanges[kRangeCount - 1], tx) + 4 + tierTop);
    }
    (void)ridgeY;
    return best;
}

// Everything above the shore line: sky, mountains and the pine ridge.
Colour Upper(float x, float y)
{
    Colour sky = SkyAt(x, std::min(y, kHorizon));
    Colour horizonTint = SkyAt(x, 600.0f);
    Colour c = sky;
    for (int i = 0; i < kRangeCount; ++i) {
        const Mountains& m = kRanges[i];
        float top = RangeTop(m, x);
        if (i == kRangeCount - 1)
            top = std::min(top, TreeLine(x, top));
        float cover = SmoothStep(top - 0.7f, top + 0.7f, y);
        if (cover <= 0)
            continue;
        // Lit faces towards the sun, shadowed ones away, from the broad
        // shape of the crest; gullies run down the faces; darker lower down.
        // The slope is taken over a span that widens downhill, so a face's
        // light spreads out below its peak the way ridges fan out.
        float span = 5.0f + 0.7f * std::max(0.0f, y - top);
        float slope = (SmoothTop(m, x + span) - SmoothTop(m, x - span)) / (2.0f * span);
        float towardsSun = std::tanh((1060.0f - x) / 150.0f);
        float gully = Fbm(x / 14.0f + y / 40.0f, y / 70.0f, 150 + i, 3) - 0.5f;
        float light = Clamp01(0.5f - slope * 1.6f * towardsSun + gully * 0.5f);
        float depth = Clamp01((y - top) / (m.base - top + 1.0f));
        Colour body = m.colour * (0.72f + 0.5f * light) * (1.0f - 0.25f * depth);
        if (m.snow) {
            float snowLine = m.base - m.height * 0.6f + 30.0f * (Fbm(x / 40, 0.5f, 5, 3) - 0.5f);
            float snow = SmoothStep(snowLine + 10, snowLine - 8, y) * SmoothStep(0.3f, 0.5f, light);
            body = Mix(body, Hex(0xf7e6f0) * (0.8f + 0.3f * light), snow);
        }
        // Rock and grass texture on nearer ranges.
        body = body * (0.92f + 0.16f * Fbm(x / 18.0f, y / 10.0f, 200 + i, 3));
        body = Mix(body, horizonTint, m.haze * (1.0f - 0.5f * depth));
        c = Mix(c, body, cover);
    }
    return c;
}

// The bank in front: top edge y at x (a grassy slope rising to the left).
float BankTop(float x)
{
    float slope = 770.0f + 150.0f * SmoothStep(0, 620, x);
    float right = 905.0f - 45.0f * SmoothStep(1250, 1600, x);
    float y = std::min(slope, right);
    return y + 18.0f * (Fbm(x / 90.0f, 1.5f, 301, 4) - 0.5f);
}

Colour Lake(float x, float y)
{
    float below = y - kHorizon;
    // Ripples grow towards the viewer.
    float strength = 1.5f + below * 0.06f;
    float ripple = std::sin(y * 0.9f + Fbm(x / 60.0f, y / 6.0f, 400, 3) * 9.0f) * strength;
    float mirrorY = kHorizon - below * 1.05f - 2.0f;
    Colour refl = Upper(x + ripple, std::max(0.0f, mirrorY));
    Colour water = Mix(Hex(0x2b3d6b), Hex(0x0f1d3a), SmoothStep(0, 360, below));
    Colour c = Mix(refl * Hex(0xb8c8ff), water, 0.25f + 0.35f * SmoothStep(0, 300, below));
    // Light and dark ripple bands.
    float band = Fbm(x / 140.0f, y / 3.2f, 410, 3);
    c = c * (0.9f + 0.22f * band);
    // The sun's path: short glittering dashes widening towards us.
    float pathHalf = 40.0f + below * 0.55f;
    float inPath = std::exp(-std::pow((x - 1060.0f) / pathHalf, 2.0f));
    // Each 14 x 4 cell may hold one soft dash.
    // Rows are shifted against each other so the dashes don't line up.
    c = c + Hex(0xff9a5a) * (0.22f * inPath * (0.6f + 0.4f * band));
    float cellW = 14.0f, cellH = 4.0f;
    int gy = static_cast<int>(std::floor(y / cellH));
    float xs = x / cellW + Hash(0, gy, 423);
    int gx = static_cast<int>(std::floor(xs));
    if (Hash(gx, gy, 420) > 0.85f - 0.55f * inPath) {
        float len = 0.3f + 0.18f * Hash(gx, gy, 422);
        float u = std::fabs(xs - gx - 0.5f), v = std::fabs(y / cellH - gy - 0.5f);
        float dash = (1.0f - SmoothStep(len - 0.12f, len, u)) * (1.0f - SmoothStep(0.15f, 0.35f, v));
        float glint = inPath * (0.6f + 0.4f * Hash(gx, gy, 421)) * dash;
        c = Mix(c, Hex(0xffe6a8), Clamp01(glint));
    }
    // A soft bright line where water meets land.
    c = c + Hex(0xffc890) * (0.25f * std::exp(-below / 3.0f));
    return c;
}

Colour Bank(float x, float y, float top)
{
    float depth = y - top;
    Colour c = Mix(Hex(0x3f6b2a), Hex(0x15301a), SmoothStep(0, 160, depth));
    // Warm rim where the evening light touches the grass.
    c = Mix(c, Hex(0xc9a24a), 0.55f * std::exp(-depth / 6.0f));
    // Grass texture: fine vertical streaks.
    c = c * (0.8f + 0.35f * Fbm(x / 2.5f, y / 14.0f, 500, 3));
    // Flowers: dots in a few colours, denser on the slope.
    const Colour petals[] = {Hex(0xff4d6d), Hex(0xffd23f), Hex(0xf1f1f1), Hex(0xb388eb), Hex(0xff8c42)};
    float cell = 13.0f;
    int cx = static_cast<int>(std::floor(x / cell)), cy = static_cast<int>(std::floor(y / cell));
    for (int j = cy - 1; j <= cy + 1; ++j) {
        for (int i = cx - 1; i <= cx + 1; ++i) {
            if (Hash(i, j, 510) > 0.42f)
                continue;
            float fx = (i + Hash(i, j, 511)) * cell, fy = (j + Hash(i, j, 512)) * cell;
            if (fy < BankTop(fx) + 8)
                continue;
            float size = 2.4f + 2.6f * Hash(i, j, 513) * SmoothStep(top, top + 200, fy);
            float d = std::sqrt((x - fx) * (x - fx) + (y - fy) * (y - fy));
            if (d > size + 1)
                continue;
            Colour p = petals[static_cast<int>(Hash(i, j, 514) * 5) % 5];
            float a = 1.0f - SmoothStep(size - 0.8f, size + 0.4f, d);
            c = Mix(c, d < size * 0.35f ? Hex(0xffe070) : p, a);
        }
    }
    return c;
}

// Grass blades poking up from the bank's edge into the water.
float BladeCover(float x, float y, float top)
{
    if (y > top + 2 || y < top - 26)
        return 0;
    int k = static_cast<int>(std::floor(x / 3.0f));
    float cover = 0;
    for (int i = k - 2; i <= k + 2; ++i) {
        float bx = (i + 0.5f) * 3.0f + Hash(i, 0, 600) * 2.0f;
        float h = 6.0f + 18.0f * Hash(i, 1, 600);
        float lean = (Hash(i, 2, 600) - 0.5f) * 0.5f;
        float base = BankTop(bx);
        float t = (base - y) / h;  // 0 at the root, 1 at the tip
        if (t < 0 || t > 1)
            continue;
        float cxb = bx + lean * h * t * t;
        float width = 1.3f * (1 - t);
        cover = std::max(cover, 1.0f - SmoothStep(width - 0.4f, width + 0.5f, std::fabs(x - cxb)));
    }
    return cover;
}

Colour Scene(float x, float y)
{
    float bank = BankTop(x);
    Colour c = y < kHorizon ? Upper(x, y) : Lake(x, y);
    if (y >= kHorizon - 1 && y < kHorizon + 1)
        c = Mix(Upper(x, y), Lake(x, kHorizon + 1), SmoothStep(kHorizon - 1, kHorizon + 1, y));
    if (y > bank - 1)
        c = Mix(c, Bank(x, y, bank), SmoothStep(bank - 1, bank + 1, y));
    float blades = BladeCover(x, y, bank);
    if (blades > 0)
        c = Mix(c, Hex(0x2e5224) + Hex(0x6a5a20) * 0.4f, blades);
    // A soft vignette keeps the eye in the frame.
    float vx = (x / kW - 0.5f) * 2, vy = (y / kH - 0.5f) * 2;
    c = c * (1.0f - 0.18f * SmoothStep(0.6f, 1.5f, vx * vx * 0.6f + vy * vy * 0.8f));
    return c;
}

uint8_t ToByte(float v)
{
    // Bright areas (the sun and its glow) roll off instead of clipping.
    v = v < 0 ? 0 : v;
    if (v > 0.8f)
        v = 0.8f + 0.2f * (1.0f - std::exp(-(v - 0.8f) / 0.2f));
    return static_cast<uint8_t>(std::lround(Clamp01(v) * 255.0f));
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2 && argc != 4) {
        std::fprintf(stderr, "usage: %s OUTPUT.png [WIDTH HEIGHT]\n", argv[0]);
        return 2;
    }
    int width = 1600, height = 1000;
    if (argc == 4) {
        width = std::atoi(argv[2]);
        height = std::atoi(argv[3]);
        if (width < 16 || height < 16 || width > 8192 || height > 8192) {
            std::fprintf(stderr, "%s: size must be 16..8192 per side\n", argv[0]);
            return 2;
        }
    }
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
    // 2 x 2 samples per pixel, in the scene's 1600 x 1000 frame of reference.
    const float sx = kW / width, sy = kH / height;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            Colour sum{0, 0, 0};
            for (int j = 0; j < 2; ++j)
                for (int i = 0; i < 2; ++i)
                    sum = sum + Scene((x + (i + 0.5f) / 2.0f) * sx, (y + (j + 0.5f) / 2.0f) * sy);
            sum = sum * 0.25f;
            uint8_t* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
            p[0] = ToByte(sum.r);
            p[1] = ToByte(sum.g);
            p[2] = ToByte(sum.b);
        }
    }
    if (!WritePNGRGB(argv[1], width, height, rgb.data())) {
        std::fprintf(stderr, "%s: can't write %s\n", argv[0], argv[1]);
        return 1;
    }
    return 0;
}
