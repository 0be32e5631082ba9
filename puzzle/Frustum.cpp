#include "puzzle/Frustum.h"

#include <cmath>

float frustum[6][4];

void EngineCameraMatrices(float aspect, float projection[16], float modelview[16])
{
    const double zNear = 1.0, zFar = 120.0;
    const double f = 1.0 / std::tan(22.5 * 3.141592653589793 / 180.0);
    for (int i = 0; i < 16; ++i)
        projection[i] = modelview[i] = 0.0f;
    projection[0] = static_cast<float>(f / aspect);
    projection[5] = static_cast<float>(f);
    projection[10] = static_cast<float>((zFar + zNear) / (zNear - zFar));
    projection[11] = -1.0f;
    projection[14] = static_cast<float>(2.0 * zFar * zNear / (zNear - zFar));
    modelview[0] = modelview[5] = modelview[10] = modelview[15] = 1.0f;
    modelview[14] = -40.0f;
}

void SetEngineFrustum(float aspect)
{
    float projection[16], modelview[16];
    EngineCameraMatrices(aspect, projection, modelview);
    FrustumPlanesFromMatrices(projection, modelview, frustum);
}

DetailSplit DetailSplitFromMatrices(const float projection[16], const float modelview[16], int width, int height,
                                    float pixels)
{
    const float* P = projection;
    const float* M = modelview;
    DetailSplit split{};
    for (size_t c = 0; c < 4; ++c)
        split.w[c] = P[3] * M[4 * c] + P[7] * M[4 * c + 1] + P[11] * M[4 * c + 2] + P[15] * M[4 * c + 3];
    // One cell along the board's x and y axes, in pixels at w = 1.
    const float cellX = std::sqrt(M[0] * M[0] + M[1] * M[1] + M[2] * M[2]) * std::fabs(P[0]) * 0.5f * width;
    const float cellY = std::sqrt(M[4] * M[4] + M[5] * M[5] + M[6] * M[6]) * std::fabs(P[5]) * 0.5f * height;
    const float widest = cellX > cellY ? cellX : cellY;
    split.lightFrom = pixels > 0.0f && widest > 0.0f ? widest / pixels : INFINITY;
    return split;
}

bool EyeFromModelview(const float modelview[16], float eye[3])
{
    // Solve A e = -t, A the upper 3 x 3 (A[row][col] = modelview[4 col + row]),
    // by Cramer's rule: column k of A replaced by -t for e[k].
    const float* M = modelview;
    const double t[3] = {-M[12], -M[13], -M[14]};
    auto det = [M, &t](int replaced) {
        auto a = [&](int row, int col) { return col == replaced ? t[row] : static_cast<double>(M[4 * col + row]); };
        return a(0, 0) * (a(1, 1) * a(2, 2) - a(1, 2) * a(2, 1)) - a(0, 1) * (a(1, 0) * a(2, 2) - a(1, 2) * a(2, 0)) +
               a(0, 2) * (a(1, 0) * a(2, 1) - a(1, 1) * a(2, 0));
    };
    const double whole = det(-1);
    if (!(std::fabs(whole) > 1e-12))
        return false;
    for (int k = 0; k < 3; ++k)
        eye[k] = static_cast<float>(det(k) / whole);
    return true;
}

void FrustumPlanesFromMatrices(const float projection[16], const float modelview[16], float planes[6][4])
{
    const float* P = projection;
    const float* M = modelview;
    float clip[16];
    for (size_t i = 0; i < 4; ++i)
        for (size_t j = 0; j < 4; ++j)
            clip[4 * i + j] =
                M[4 * i] * P[j] + M[4 * i + 1] * P[4 + j] + M[4 * i + 2] * P[8 + j] + M[4 * i + 3] * P[12 + j];

    // Row 3 of the combined matrix plus or minus row 0 (x), 1 (y) or 2 (z).
    const int kRow[6] = {0, 0, 1, 1, 2, 2};
    const float kSign[6] = {-1.0f, 1.0f, 1.0f, -1.0f, -1.0f, 1.0f};
    for (int p = 0; p < 6; ++p) {
        const int r = kRow[p];
        const float s = kSign[p];
        float a = clip[3] + s * clip[r];
        float b = clip[7] + s * clip[4 + r];
        float c = clip[11] + s * clip[8 + r];
        float d = clip[15] + s * clip[12 + r];
        const float length = std::sqrt(a * a + b * b + c * c);
        planes[p][0] = a / length;
        planes[p][1] = b / length;
        planes[p][2] = c / length;
        planes[p][3] = d / length;
    }
}

VECTOR3D ValueAtEdgeOfFrustum(int plane, int axis, VECTOR3D point)
{
    VECTOR3D result{0.0f, 0.0f, 0.0f};
    if (plane < 0 || plane > 5)
        return result;
    const float a = frustum[plane][0], b = frustum[plane][1];
    const float c = frustum[plane][2], d = frustum[plane][3];
    switch (axis) {
    case 0:
        result = VECTOR3D{-(b * point.y + d + c * point.z) / a, point.y, point.z};
        break;
    case 1:
        result = VECTOR3D{point.x, -(c * point.z + d + a * point.x) / b, point.z};
        break;
    case 2:
        result = VECTOR3D{point.x, point.y, -(b * point.y + d + a * point.x) / c};
        break;
    default:
        break;
    }
    return result;
}
