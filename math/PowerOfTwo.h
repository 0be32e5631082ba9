#pragma once
#include <cmath>

// The power of two nearest to `side` on a logarithmic scale,
// 2^floor(log2(side) + 0.5): 724 gives 512, 725 gives 1024. A side below 1
// counts as 1; sides near INT_MAX would round up to 2^31, which no int holds
// (and no GL texture is that large), so the answer stops at 2^30.
inline int NearestPowerOfTwo(int side)
{
    const double s = side < 1 ? 1.0 : static_cast<double>(side);
    const double exponent = std::floor(std::log(s) / std::log(2.0) + 0.5);
    return exponent >= 30.0 ? (1 << 30) : (1 << static_cast<int>(exponent));
}
