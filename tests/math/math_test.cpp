#include <gtest/gtest.h>

#include <cmath>

#include "math/MATRIX.h"
#include "math/VECTOR3D.h"

namespace {

void ExpectNear(VECTOR3D got, VECTOR3D want, double tolerance)
{
    EXPECT_TRUE(std::fabs(got.x - want.x) <= tolerance && std::fabs(got.y - want.y) <= tolerance &&
                std::fabs(got.z - want.z) <= tolerance)
        << got.x << ", " << got.y << ", " << got.z;
}

// X and Z turn in the negative sense, Y in the positive; the product order
// shows in the mixed case. No translation, homogeneous 1.
TEST(Matrix, RotationSigns)
{
    struct Case {
        VECTOR3D angles, point, want;
    } cases[] = {
        {{90, 0, 0}, {0, 1, 0}, {0, 0, -1}},
        {{0, 90, 0}, {1, 0, 0}, {0, 0, -1}},
        {{0, 0, 90}, {1, 0, 0}, {0, -1, 0}},
        {{0, 0, 0}, {1, 2, 3}, {1, 2, 3}},
        {{30, 45, 60}, {1, 2, 3}, {3.718f, 0.025f, 0.423f}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.angles.x << "," << c.angles.y << "," << c.angles.z);
        const MATRIX m = MatrixFromAngle(c.angles);
        ExpectNear(MatrixRotatePoint(m, c.point), c.want, c.angles.x == 30 ? 1e-3 : 1e-6);
        for (int i : {3, 7, 11, 12, 13, 14})
            EXPECT_EQ(m.m[i], 0.0) << "element " << i;
        EXPECT_EQ(m.m[15], 1.0);
    }
}

TEST(Vector, Normalize)
{
    struct Case {
        VECTOR3D in, want;
    } cases[] = {
        {{0, 0, 0}, {0, 0, 0}},
        {{3, 0, 4}, {0.6f, 0, 0.8f}},
        {{-5, 0, 0}, {-1, 0, 0}},
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

}  // namespace
