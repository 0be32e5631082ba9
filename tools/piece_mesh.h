#pragma once
// The piece shapes: outline, rim profile and triangle mesh of each of the 64
// jigsaw pieces. Header-only (used by zarnet-pieces and by the tests).
//
// Model units: the body is the square x, y in [-20, 20], +y the top edge,
// +x the right edge, the front face towards +z. An edge with code +1 carries
// a knob (narrow neck, round head) bulging into the neighbour's cell; -1 the
// hole cut by the very same outline, so neighbours interlock exactly. The
// knob profile is mirror-symmetric and its points lie on a 1/1024 grid, so
// a knob moved by one cell (40 units) lands on the hole's points exactly.
//
// Cross-section: a flat front face inset by the rim radius, a rounded bevel
// down to the outline half-way down, a chamfer from there to the back face.
#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "tools/ms3d_writer.h"
#include "tools/triangulate.h"

namespace piecemesh {

using polytri::P2;

struct Params {
    double half = 20.0;       // half side of the body square
    double thickness = 4.0;   // front face at +thickness/2, back at -thickness/2
    double rim = 1.5;         // radius of the rounded front rim, and depth of the back chamfer
    double neck = 3.6;        // knob: half-width of the neck at its narrowest
    double head = 5.6;        // knob: radius of the round head
    double headCentre = 8.2;  // knob: distance of the head's centre from the edge line
    double fillet = 2.4;      // knob: radius of the flare where the neck leaves the edge
    // Segment counts: a piece rarely covers more than a few hundred pixels,
    // where a head of 8 segments (under 0.7 % of its radius off the circle)
    // can't be told from a rounder one. The flare and the neck are short
    // arcs of small radius, one chord each (0.7 and 0.2 units off the arc,
    // under a pixel at 25 pieces across, and the rim's smooth normals round
    // them off). Every triangle costs a software renderer time and memory:
    // it bins each one it draws for the frame.
    int filletSegments = 1;      // segments of each flare
    int neckSegments = 1;        // segments of each neck arc
    int headSegments = 8;        // segments of the head arc (even)
    double grid = 1.0 / 1024.0;  // every coordinate is a multiple of this
    int maxTriangles = 1000;     // budget per shape
};

// The light set, for pieces drawn a dozen or so pixels wide (a hundred
// across the screen): the same outlines with a knob head of 4 segments. At
// that size a model unit is a third of a pixel and the head's chords stay
// within 0.3 px of the circle; the rim, which draws the seams, is the full
// set's. 236 triangles for a four-knob piece instead of 332.
inline Params LightParams()
{
    Params p;
    p.headSegments = 4;
    return p;
}

inline double Snap(double v, double grid)
{
    return std::round(v / grid) * grid;
}

// The 64 shapes, four edge codes each (top, right, bottom, left): every
// combination in which top and bottom are not both 0 and right and left are
// not both 0, ordered by (top, right, bottom, left) with top, right and
// bottom running 0, +1, -1 and left running 0, -1, +1.
inline std::array<std::array<int, 4>, 64> ShapeTable()
{
    std::array<std::array<int, 4>, 64> table{};
    const int order[3] = {0, 1, -1};
    const int leftOrder[3] = {0, -1, 1};
    int n = 0;
    for (int top : order)
        for (int right : order)
            for (int bottom : order)
                for (int left : leftOrder) {
                    if ((top == 0 && bottom == 0) || (right == 0 && left == 0))
                        continue;
                    if (n < 64)
                        table[n] = {top, right, bottom, left};
                    ++n;
                }
    return table;
}

// The knob in its edge's frame: u along the edge from the edge's midpoint,
// v away from the body. Runs from (-u0, 0) to (u0, 0); point k and point
// size-1-k are mirror images (u negated, v equal), exactly.
//
// Left half, from the edge line up to the top of the head: a flare arc
// (centre (-(neck+fillet), fillet), radius fillet) from the edge line to the
// neck's narrowest point (-neck, fillet); a neck arc turning the same way
// (centre (-neck-g, fillet), radius g) that meets the head circle (centre
// (0, headCentre), radius head) tangentially; the head arc to its top.
inline std::vector<P2> KnobProfile(const Params& p)
{
    const double pi = 3.14159265358979323846;
    double n = p.neck, r = p.head, c = p.headCentre, f = p.fillet;
    double g = (n * n + (c - f) * (c - f) - r * r) / (2.0 * (r - n));
    double alpha = std::atan2(c - f, n + g);  // where the neck arc meets the head

    std::vector<P2> left;
    for (int k = 0; k <= p.filletSegments; ++k) {
        double a = -pi / 2 + (pi / 2) * k / p.filletSegments;
        left.push_back({-(n + f) + f * std::cos(a), f + f * std::sin(a)});
    }
    for (int k = 1; k <= p.neckSegments; ++k) {
        double a = alpha * k / p.neckSegments;
        left.push_back({-(n + g) + g * std::cos(a), f + g * std::sin(a)});
    }
    int halfHead = p.headSegments / 2;
    for (int k = 1; k <= halfHead; ++k) {
        double a = (pi + alpha) + (pi / 2 - (pi + alpha)) * k / halfHead;
        left.push_back({r * std::cos(a), c + r * std::sin(a)});
    }
    for (P2& q : left)
        q = {Snap(q.x, p.grid), Snap(q.y, p.grid)};
    left.back().x = 0.0;  // the top of the head lies on the axis

    std::vector<P2> profile = left;
    for (int k = int(left.size()) - 2; k >= 0; --k)
        profile.push_back({-left[k].x, left[k].y});
    return profile;
}

struct OutlinePoint {
    P2 pos;      // model units
    bool sharp;  // a corner of the body square: the rim is creased here
};

// The piece's outline, counter-clockwise seen from +z, starting at the
// bottom-left corner. codes: top, right, bottom, left.
inline std::vector<OutlinePoint> Outline(const std::array<int, 4>& codes, const Params& p)
{
    std::vector<P2> knob = KnobProfile(p);
    double h = p.half;
    struct Edge {
        P2 start, mid, along, out;
        int code;
    };
    // Walked counter-clockwise: bottom, right, top, left.
    const Edge edges[4] = {
        {{-h, -h}, {0, -h}, {1, 0}, {0, -1}, codes[2]},
        {{h, -h}, {h, 0}, {0, 1}, {1, 0}, codes[1]},
        {{h, h}, {0, h}, {-1, 0}, {0, 1}, codes[0]},
        {{-h, h}, {-h, 0}, {0, -1}, {-1, 0}, codes[3]},
    };
    std::vector<OutlinePoint> outline;
    for (const Edge& e : edges) {
        outline.push_back({e.start, true});
        if (e.code == 0)
            continue;
        for (const P2& q : knob) {
            double x = e.mid.x + q.x * e.along.x + e.code * q.y * e.out.x;
            double y = e.mid.y + q.x * e.along.y + e.code * q.y * e.out.y;
            outline.push_back({{x, y}, false});
        }
    }
    return outline;
}

// One ring of the rim: the outline moved inward by `inset` at height z. The
// rim's corners on this ring get normals leaning from the outline's outward
// direction (angle 0) towards +z (90 degrees) or -z (-90).
struct Ring {
    double inset;
    double z;
    double angle;  // degrees above the horizontal of the rim's normals here
};

// The rim: a bevel from the front face's edge down to the outline, half-way
// down the piece, and a chamfer from there to the back face. The bevel is
// one band whose normals turn from 50 degrees above the horizontal at the
// face to level at the outline, so smooth shading draws it rounded (it is a
// few pixels wide on screen); they lean further out than a quarter circle's
// would: the light sits at the eye, and with true normals the rim would stay
// nearly as bright as the face; leaning them draws each seam as a soft dark
// groove. No straight side wall between the two: seen from the front it is
// edge on, and a turning piece's side reads the same without it.
inline std::vector<Ring> RimRings(const Params& p)
{
    double h = p.thickness / 2, r = p.rim;
    return {
        {r, h, 50},    // edge of the front face
        {0, 0, 0},     // the outline, half-way down
        {r, -h, -50},  // edge of the back face
    };
}

// Builds the mesh of the piece with edge codes `codes` (top, right, bottom,
// left) into `mesh`: groups "front", "rim", "back"; per-corner normals; the
// texture coordinate of a corner at (x, y) is (x/20 + 1, y/20). False, with
// a reason in *error, when the outline or an inset ring is not a simple
// polygon, a face can't be triangulated, a triangle would be degenerate or
// the budget is exceeded.
inline bool BuildPiece(const std::array<int, 4>& codes, const Params& p, ms3dw::Mesh& mesh, std::string* error)
{
    auto fail = [&](const char* why) {
        if (error)
            *error = why;
        return false;
    };
    std::vector<OutlinePoint> outline = Outline(codes, p);
    size_t n = outline.size();
    std::vector<P2> base(n);
    for (size_t i = 0; i < n; ++i)
        base[i] = outline[i].pos;
    if (!polytri::IsSimple(base) || polytri::SignedArea(base) <= 0)
        return fail("outline is not a simple counter-clockwise polygon");

    // Outward normal of each outline segment i -> i+1, and per vertex the
    // smooth normal and the miter that moves the outline inward evenly.
    std::vector<P2> segNormal(n), vertexNormal(n), miter(n);
    for (size_t i = 0; i < n; ++i) {
        P2 a = base[i], b = base[(i + 1) % n];
        double dx = b.x - a.x, dy = b.y - a.y, len = std::hypot(dx, dy);
        segNormal[i] = {dy / len, -dx / len};
    }
    for (size_t i = 0; i < n; ++i) {
        P2 n0 = segNormal[(i + n - 1) % n], n1 = segNormal[i];
        double sx = n0.x + n1.x, sy = n0.y + n1.y, len = std::hypot(sx, sy);
        double dot = n0.x * n1.x + n0.y * n1.y;
        if (len < 1e-9 || dot < -0.5)
            return fail("outline turns back on itself");
        vertexNormal[i] = {sx / len, sy / len};
        miter[i] = {sx / (1 + dot), sy / (1 + dot)};
    }

    std::vector<Ring> rings = RimRings(p);
    mesh = ms3dw::Mesh{};
    mesh.groups = {"front", "rim", "back"};
    std::vector<std::vector<P2>> ringPoints;
    for (const Ring& ring : rings) {
        std::vector<P2> pts(n);
        for (size_t i = 0; i < n; ++i) {
            pts[i] = {Snap(base[i].x - ring.inset * miter[i].x, p.grid),
                      Snap(base[i].y - ring.inset * miter[i].y, p.grid)};
            mesh.positions.push_back({float(pts[i].x), float(pts[i].y), float(Snap(ring.z, p.grid))});
        }
        if (!polytri::IsSimple(pts) || polytri::SignedArea(pts) <= 0)
            return fail("an inset ring of the rim is not a simple polygon");
        ringPoints.push_back(pts);
    }
    auto index = [n](size_t ring, size_t i) { return uint16_t(ring * n + (i % n)); };
    auto texture = [&](ms3dw::Triangle& tri) {
        for (int k = 0; k < 3; ++k) {
            const auto& q = mesh.positions[tri.v[k]];
            tri.s[k] = float(q[0] / 20.0 + 1.0);
            tri.t[k] = q[1] / 20.0f;
        }
    };

    // Front and back faces: the innermost rings, triangulated once.
    std::vector<std::array<int, 3>> faces;
    if (!polytri::Triangulate(ringPoints.front(), faces, 1e-4))
        return fail("front face can't be triangulated");
    for (const auto& f : faces) {
        ms3dw::Triangle tri;
        tri.v = {index(0, f[0]), index(0, f[1]), index(0, f[2])};
        tri.n = {{{0, 0, 1}, {0, 0, 1}, {0, 0, 1}}};
        tri.group = 0;
        texture(tri);
        mesh.triangles.push_back(tri);
    }
    size_t last = rings.size() - 1;
    for (const auto& f : faces) {
        ms3dw::Triangle tri;
        tri.v = {index(last, f[0]), index(last, f[2]), index(last, f[1])};
        tri.n = {{{0, 0, -1}, {0, 0, -1}, {0, 0, -1}}};
        tri.group = 2;
        texture(tri);
        mesh.triangles.push_back(tri);
    }

    // The rim: one band of quads between each pair of neighbouring rings.
    // Creased at the body's corners (each side keeps its own normal there),
    // smooth everywhere else.
    for (size_t k = 0; k + 1 < rings.size(); ++k) {
        for (size_t i = 0; i < n; ++i) {
            size_t j = (i + 1) % n;
            P2 ni = outline[i].sharp ? segNormal[i] : vertexNormal[i];
            P2 nj = outline[j].sharp ? segNormal[i] : vertexNormal[j];
            auto normal = [](P2 xy, double angleDeg) {
                double a = angleDeg * 3.14159265358979323846 / 180.0;
                double c = std::cos(a), s = std::sin(a);
                if (std::fabs(c) < 1e-12)
                    c = 0;
                return std::array<float, 3>{float(xy.x * c), float(xy.y * c), float(s)};
            };
            auto upperI = normal(ni, rings[k].angle), upperJ = normal(nj, rings[k].angle);
            auto lowerI = normal(ni, rings[k + 1].angle), lowerJ = normal(nj, rings[k + 1].angle);
            uint16_t A = index(k, i), B = index(k, j), C = index(k + 1, j), D = index(k + 1, i);
            ms3dw::Triangle t1;
            t1.v = {D, C, B};
            t1.n = {lowerI, lowerJ, upperJ};
            t1.group = 1;
            texture(t1);
            ms3dw::Triangle t2;
            t2.v = {D, B, A};
            t2.n = {lowerI, upperJ, upperI};
            t2.group = 1;
            texture(t2);
            mesh.triangles.push_back(t1);
            mesh.triangles.push_back(t2);
        }
    }
    if (int(mesh.triangles.size()) > p.maxTriangles)
        return fail("too many triangles");
    for (const ms3dw::Triangle& tri : mesh.triangles) {
        const auto& a = mesh.positions[tri.v[0]];
        const auto& b = mesh.positions[tri.v[1]];
        const auto& c = mesh.positions[tri.v[2]];
        double ux = b[0] - a[0], uy = b[1] - a[1], uz = b[2] - a[2];
        double vx = c[0] - a[0], vy = c[1] - a[1], vz = c[2] - a[2];
        double cx = uy * vz - uz * vy, cy = uz * vx - ux * vz, cz = ux * vy - uy * vx;
        if (0.5 * std::sqrt(cx * cx + cy * cy + cz * cz) < 1e-3)
            return fail("degenerate triangle");
    }
    return true;
}

}  // namespace piecemesh
