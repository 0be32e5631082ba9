#include <gtest/gtest.h>

#include <cmath>

#include "math/ERRORCLOSE.h"
#include "math/MATRIX.h"
#include "math/VECTOR3D.h"
#include "math/point2d.h"

namespace {

constexpr double kPi = 3.141592653589793;

struct Mat3 {
    double a[3][3];  // row-major, acting on column vectors
};

Mat3 Mul(const Mat3& p, const Mat3& q)
{
    Mat3 r{};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            for (int k = 0; k < 3; ++k)
                r.a[i][j] += p.a[i][k] * q.a[k][j];
    return r;
}

// The usual right-handed rotations, angle in degrees.
Mat3 Rx(double deg)
{
    const double c = std::cos(deg * kPi / 180), s = std::sin(deg * kPi / 180);
    return Mat3{{{1, 0, 0}, {0, c, -s}, {0, s, c}}};
}
Mat3 Ry(double deg)
{
    const double c = std::cos(deg * kPi / 180), s = std::sin(deg * kPi / 180);
    return Mat3{{{c, 0, s}, {0, 1, 0}, {-s, 0, c}}};
}
Mat3 Rz(double deg)
{
    const double c = std::cos(deg * kPi / 180), s = std::sin(deg * kPi / 180);
    return Mat3{{{c, -s, 0}, {s, c, 0}, {0, 0, 1}}};
}

void ExpectNear(VECTOR3D got, VECTOR3D want, double tolerance)
{
    EXPECT_NEAR(got.x, want.x, tolerance);
    EXPECT_NEAR(got.y, want.y, tolerance);
    EXPECT_NEAR(got.z, want.z, tolerance);
}

TEST(Matrix, DefaultIsIdentity)
{
    const MATRIX m;
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(m.m[i], (i % 5 == 0) ? 1.0 : 0.0) << "element " << i;
    static_assert(sizeof(MATRIX) == 16 * sizeof(double), "handed to glMultMatrixd as is");
}

TEST(Matrix, ZeroAnglesGiveIdentity)
{
    const MATRIX m = MatrixFromAngle(VECTOR3D{0, 0, 0});
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(m.m[i], (i % 5 == 0) ? 1.0 : 0.0) << "element " << i;
}

// The sign convention: X and Z turn in the negative sense, Y in the positive.
TEST(Matrix, RotationSigns)
{
    struct Case {
        VECTOR3D angles, point, want;
    } cases[] = {
        {{90, 0, 0}, {0, 1, 0}, {0, 0, -1}},
        {{90, 0, 0}, {0, 0, 1}, {0, 1, 0}},
        {{0, 90, 0}, {1, 0, 0}, {0, 0, -1}},
        {{0, 90, 0}, {0, 0, 1}, {1, 0, 0}},
        {{0, 0, 90}, {1, 0, 0}, {0, -1, 0}},
        {{0, 0, 90}, {0, 1, 0}, {1, 0, 0}},
        {{-90, 0, 0}, {0, 1, 0}, {0, 0, 1}},
        {{30, 45, 60}, {1, 2, 3}, {3.718f, 0.025f, 0.423f}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.angles.x << "," << c.angles.y << "," << c.angles.z);
        ExpectNear(MatrixRotatePoint(MatrixFromAngle(c.angles), c.point), c.want,
                   c.angles.x == 30 ? 1e-3 : 1e-6);
    }
}

// For any angles the matrix is Rz(-z) * Ry(+y) * Rx(-x), column-major, with
// no translation and a homogeneous 1.
TEST(Matrix, IsComposedRotation)
{
    const VECTOR3D angles[] = {{10, 20, 30}, {-75, 130, 5}, {359, -359, 180}, {0.5f, -0.25f, 720}};
    for (const VECTOR3D& a : angles) {
        const Mat3 want = Mul(Rz(-a.z), Mul(Ry(a.y), Rx(-a.x)));
        const MATRIX m = MatrixFromAngle(a);
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c)
                EXPECT_NEAR(m.m[c * 4 + r], want.a[r][c], 1e-12) << "row " << r << " col " << c;
        EXPECT_EQ(m.m[3], 0.0);
        EXPECT_EQ(m.m[7], 0.0);
        EXPECT_EQ(m.m[11], 0.0);
        EXPECT_EQ(m.m[12], 0.0);
        EXPECT_EQ(m.m[13], 0.0);
        EXPECT_EQ(m.m[14], 0.0);
        EXPECT_EQ(m.m[15], 1.0);
    }
}

TEST(Matrix, FullTurnsMatchZero)
{
    const MATRIX full = MatrixFromAngle(VECTOR3D{360, 360, 360});
    const MATRIX back = MatrixFromAngle(VECTOR3D{-360, -360, -360});
    const MATRIX zero;
    for (int i = 0; i < 16; ++i) {
        EXPECT_NEAR(full.m[i], zero.m[i], 1e-12);
        EXPECT_NEAR(back.m[i], zero.m[i], 1e-12);
    }
}

TEST(Matrix, RotatePointIgnoresTranslationAndLastRow)
{
    MATRIX m = MatrixFromAngle(VECTOR3D{15, -40, 70});
    const VECTOR3D p{1.5f, -2.0f, 0.25f};
    const VECTOR3D plain = MatrixRotatePoint(m, p);
    m.m[12] = 5;
    m.m[13] = -7;
    m.m[14] = 9;
    m.m[3] = m.m[7] = m.m[11] = 3;
    m.m[15] = 0;
    const VECTOR3D moved = MatrixRotatePoint(m, p);
    EXPECT_EQ(plain.x, moved.x);
    EXPECT_EQ(plain.y, moved.y);
    EXPECT_EQ(plain.z, moved.z);
}

TEST(Vector, Normalize)
{
    struct Case {
        VECTOR3D in, want;
    } cases[] = {
        {{0, 0, 0}, {0, 0, 0}},
        {{3, 0, 4}, {0.6f, 0, 0.8f}},
        {{-5, 0, 0}, {-1, 0, 0}},
        {{1, 1, 1}, {0.57735027f, 0.57735027f, 0.57735027f}},
        {{1e-30f, 0, 0}, {1e-30f, 0, 0}},  // length underflows to 0 in float: unchanged
    };
    for (const Case& c : cases) {
        VECTOR3D v = c.in;
        v.Normalize();
        EXPECT_FLOAT_EQ(v.x, c.want.x);
        EXPECT_FLOAT_EQ(v.y, c.want.y);
        EXPECT_FLOAT_EQ(v.z, c.want.z);
    }
}

TEST(Point2d, MakeAndErrorHook)
{
    const point2d p = Make2DPoint(-3.5f, 1e9f);
    EXPECT_EQ(p.x, -3.5f);
    EXPECT_EQ(p.y, 1e9f);
    char text[] = "model can't be read";
    ERRORCLOSE(text);   // returns at once, nothing shown or ended
    ERRORCLOSE(nullptr);
}

}  // namespace
