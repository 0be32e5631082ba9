#pragma once
// Ear-clipping triangulation of a simple polygon, and the polygon checks the
// piece generator relies on. Header-only (used by zarnet-pieces and its tests).
#include <array>
#include <cmath>
#include <cstddef>
#include <vector>

namespace polytri {

struct P2 {
    double x;
    double y;
};

// Twice the signed area of (o, a, b): positive when they turn counter-clockwise.
inline double Cross(P2 o, P2 a, P2 b)
{
    return (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x);
}

// Signed area of the polygon (positive when counter-clockwise).
inline double SignedArea(const std::vector<P2>& poly)
{
    double sum = 0;
    for (size_t i = 0; i < poly.size(); ++i) {
        const P2& a = poly[i];
        const P2& b = poly[(i + 1) % poly.size()];
        sum += a.x * b.y - b.x * a.y;
    }
    return sum * 0.5;
}

// Whether the closed segments ab and cd share a point.
inline bool SegmentsTouch(P2 a, P2 b, P2 c, P2 d)
{
    double d1 = Cross(c, d, a), d2 = Cross(c, d, b);
    double d3 = Cross(a, b, c), d4 = Cross(a, b, d);
    if (((d1 > 0 && d2 < 0) || (d1 < 0 && d2 > 0)) && ((d3 > 0 && d4 < 0) || (d3 < 0 && d4 > 0)))
        return true;
    auto onSegment = [](P2 p, P2 q, P2 r) {  // r on pq, given collinear
        return std::fmin(p.x, q.x) <= r.x && r.x <= std::fmax(p.x, q.x) && std::fmin(p.y, q.y) <= r.y &&
               r.y <= std::fmax(p.y, q.y);
    };
    return (d1 == 0 && onSegment(c, d, a)) || (d2 == 0 && onSegment(c, d, b)) || (d3 == 0 && onSegment(a, b, c)) ||
           (d4 == 0 && onSegment(a, b, d));
}

// A polygon is simple when no two of its edges meet except neighbours at
// their shared corner (and no corner repeats).
inline bool IsSimple(const std::vector<P2>& poly)
{
    size_t n = poly.size();
    if (n < 3)
        return false;
    for (size_t i = 0; i < n; ++i) {
        P2 a = poly[i], b = poly[(i + 1) % n];
        if (a.x == b.x && a.y == b.y)
            return false;
        for (size_t j = i + 1; j < n; ++j) {
            bool neighbours = (j == i + 1) || (i == 0 && j == n - 1);
            P2 c = poly[j], d = poly[(j + 1) % n];
            if (neighbours) {
                // Neighbours share one corner; they may not fold back onto each other.
                P2 shared = (j == i + 1) ? b : a;
                P2 other1 = (j == i + 1) ? a : b;
                P2 other2 = (j == i + 1) ? d : c;
                if (Cross(shared, other1, other2) == 0 &&
                    (other1.x - shared.x) * (other2.x - shared.x) + (other1.y - shared.y) * (other2.y - shared.y) > 0)
                    return false;
                continue;
            }
            if (SegmentsTouch(a, b, c, d))
                return false;
        }
    }
    return true;
}

// Shape quality of a triangle: 1 for equilateral, towards 0 for slivers.
inline double Quality(P2 a, P2 b, P2 c)
{
    double area = 0.5 * Cross(a, b, c);
    double l = (b.x - a.x) * (b.x - a.x) + (b.y - a.y) * (b.y - a.y) + (c.x - b.x) * (c.x - b.x) +
               (c.y - b.y) * (c.y - b.y) + (a.x - c.x) * (a.x - c.x) + (a.y - c.y) * (a.y - c.y);
    return l > 0 ? 4.0 * std::sqrt(3.0) * area / l : 0.0;
}

// Triangulates a simple counter-clockwise polygon into poly.size() - 2
// counter-clockwise triangles (indexes into poly) that use every polygon
// edge once. Among the ears available at each step the best-shaped one is
// cut, which keeps slivers away. False (out untouched) when the polygon is
// not counter-clockwise or a step finds no ear with area above minArea
// (self-intersecting or degenerate input).
inline bool Triangulate(const std::vector<P2>& poly, std::vector<std::array<int, 3>>& out, double minArea = 1e-9)
{
    size_t n = poly.size();
    if (n < 3 || SignedArea(poly) <= 0)
        return false;
    std::vector<int> ring(n);
    for (size_t i = 0; i < n; ++i)
        ring[i] = int(i);
    std::vector<std::array<int, 3>> tris;
    tris.reserve(n - 2);
    while (ring.size() > 3) {
        size_t m = ring.size();
        size_t best = m;
        double bestQuality = -1;
        for (size_t k = 0; k < m; ++k) {
            int ia = ring[(k + m - 1) % m], ib = ring[k], ic = ring[(k + 1) % m];
            P2 a = poly[ia], b = poly[ib], c = poly[ic];
            if (0.5 * Cross(a, b, c) <= minArea)
                continue;  // reflex or flat corner
            bool empty = true;
            for (size_t j = 0; j < m && empty; ++j) {
                int ip = ring[j];
                if (ip == ia || ip == ib || ip == ic)
                    continue;
                P2 p = poly[ip];
                if (Cross(a, b, p) >= 0 && Cross(b, c, p) >= 0 && Cross(c, a, p) >= 0)
                    empty = false;
            }
            if (!empty)
                continue;
            double q = Quality(a, b, c);
            if (q > bestQuality) {
                bestQuality = q;
                best = k;
            }
        }
        if (best == m)
            return false;
        tris.push_back({ring[(best + m - 1) % m], ring[best], ring[(best + 1) % m]});
        ring.erase(ring.begin() + long(best));
    }
    if (0.5 * Cross(poly[ring[0]], poly[ring[1]], poly[ring[2]]) <= minArea)
        return false;
    tris.push_back({ring[0], ring[1], ring[2]});
    out.swap(tris);
    return true;
}

}  // namespace polytri
