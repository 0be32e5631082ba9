#pragma once
#include "math/VECTOR3D.h"

// Plane indices into frustum.
enum { FRUSTUM_RIGHT = 0, FRUSTUM_LEFT = 1, FRUSTUM_BOTTOM = 2, FRUSTUM_TOP = 3, FRUSTUM_FAR = 4, FRUSTUM_NEAR = 5 };

// The six view-frustum planes (a, b, c, d) with a*x + b*y + c*z + d = 0, in
// board coordinates, order right, left, bottom, top, far, near. Unit normals
// pointing into the visible volume, so the plane value of a point is its
// signed distance, positive inside. One table for the whole process: every
// extraction overwrites it; zero until the first.
extern float frustum[6][4];

// The planes of projection * modelview (both 16 floats, column-major as GL
// reads them back), computed in single precision into planes. Pure.
void FrustumPlanesFromMatrices(const float projection[16], const float modelview[16], float planes[6][4]);

// When a piece is small enough on screen for its light shape: a board point
// (x, y, z) has clip-space w = w[0] x + w[1] y + w[2] z + w[3] (its depth in
// front of the eye, under a perspective view), and a cell around it is
// narrower than the threshold, in pixels along both screen axes, when w
// exceeds lightFrom.
struct DetailSplit {
    float w[4];
    float lightFrom;
};

// The split for the given projection and model-view matrices (column-major,
// the board's model-view, board scale included), a viewport of width x
// height pixels and a threshold in pixels. Never light (lightFrom infinite)
// for a threshold or viewport of no size. Pure.
DetailSplit DetailSplitFromMatrices(const float projection[16], const float modelview[16], int width, int height,
                                    float pixels);

// The eye's position in the coordinates of `modelview` (column-major; an
// invertible rotation and scale plus a translation): the point it maps to
// the origin. False, eye untouched, when its 3 x 3 part is singular. Pure.
bool EyeFromModelview(const float modelview[16], float eye[3]);

// The engine's camera as GL leaves it after gluPerspective(45, aspect, 1, 120)
// and gluLookAt((0, 0, 40), origin, +y): both matrices column-major. Pure.
void EngineCameraMatrices(float aspect, float projection[16], float modelview[16]);

// Fills frustum from the engine's camera for a view of the given aspect
// (width / height), without GL.
void SetEngineFrustum(float aspect);

// Reads the current GL projection and model-view matrices and fills frustum.
// Needs a current GL context.
void ExtractFrustum();

// Moves point along one axis (0 = x, 1 = y, 2 = z) onto frustum plane `plane`
// (0..5) and returns it; the other two coordinates are kept. An axis or plane
// out of range gives (0, 0, 0).
VECTOR3D ValueAtEdgeOfFrustum(int plane, int axis, VECTOR3D point);
