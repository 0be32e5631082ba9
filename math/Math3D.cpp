#include <cmath>

#include "math/ERRORCLOSE.h"
#include "math/MATRIX.h"
#include "math/VECTOR3D.h"
#include "math/point2d.h"

void VECTOR3D::Normalize()
{
    float length = std::sqrt(x * x + y * y + z * z);
    if (length == 0.0f)
        return;
    x /= length;
    y /= length;
    z /= length;
}

MATRIX::MATRIX()
{
    for (double& e : m)
        e = 0.0;
    m[0] = m[5] = m[10] = m[15] = 1.0;
}

MATRIX MatrixFromAngle(VECTOR3D angle)
{
    MATRIX r;
    const double ax = static_cast<double>(angle.x) * 3.141592653589793 / 180.0;
    const double ay = static_cast<double>(angle.y) * 3.141592653589793 / 180.0;
    const double az = static_cast<double>(angle.z) * 3.141592653589793 / 180.0;
    const double cx = std::cos(ax), sx = std::sin(ax);
    const double cy = std::cos(ay), sy = std::sin(ay);
    const double cz = std::cos(az), sz = std::sin(az);

    r.m[0] = cy * cz;
    r.m[1] = -cy * sz;
    r.m[2] = -sy;
    r.m[4] = cx * sz - sx * sy * cz;
    r.m[5] = sx * sy * sz + cx * cz;
    r.m[6] = -sx * cy;
    r.m[8] = cx * sy * cz + sx * sz;
    r.m[9] = sx * cz - cx * sy * sz;
    r.m[10] = cx * cy;
    return r;
}

VECTOR3D MatrixRotatePoint(MATRIX matrix, VECTOR3D point)
{
    const double x = point.x, y = point.y, z = point.z;
    const double* m = matrix.m;
    return VECTOR3D{static_cast<float>(m[0] * x + m[4] * y + m[8] * z),
                    static_cast<float>(m[1] * x + m[5] * y + m[9] * z),
                    static_cast<float>(m[2] * x + m[6] * y + m[10] * z)};
}

point2d Make2DPoint(float x, float y)
{
    return point2d{x, y};
}

void ERRORCLOSE(const char*) {}
