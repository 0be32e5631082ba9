#include "puzzle/ONEPIECE.h"

#include <cmath>
#include <cstdlib>

#include "puzzle/ONEPUZZLE.h"

namespace {

constexpr float kJoinDistance = 2.25f;  // per axis, board units
constexpr float kBoxHalfSize = 40.0f;   // drifting pieces turn back beyond this, per axis

// The two pieces are in neighbouring grid cells (not diagonal).
bool GridNeighbours(const ONEPIECE& a, const ONEPIECE& b)
{
    if (a.column == b.column)
        return std::abs(a.row - b.row) == 1;
    if (a.row == b.row)
        return std::abs(a.column - b.column) == 1;
    return false;
}

// The box wall for one axis: only the target heading turns around.
void Bounce(float pos, float& direction)
{
    if ((pos > kBoxHalfSize && direction > 0.0f) || (pos < -kBoxHalfSize && direction < 0.0f))
        direction = -direction;
}

float WrapAngle(float a)
{
    if (a > 360.0f)
        return a - 360.0f;
    if (a < -360.0f)
        return a + 360.0f;
    return a;
}

}  // namespace

ONEPIECE::ONEPIECE()
    : pos{0.0f, 0.0f, 0.0f}, velocity{0.0f, 0.0f, 0.0f}, direction{0.0f, 0.0f, 0.0f}, angle{0.0f, 0.0f, 0.0f},
      spin{0.0f, 0.0f, 0.0f}, targetSpin{0.0f, 0.0f, 0.0f}, rotation(), speed(0.0f), targetSpeed(0.0f), shape(0),
      column(0), row(0), parent(nullptr), moveTimer(0.0f), realPos{0.0f, 0.0f, 0.0f}, realPosValid(false), blend(0.0f),
      blendSpeed(0.0f), attachedCount(0), groupShare(0.0f)
{
}

ONEPIECE::~ONEPIECE()
{
    parent = nullptr;
}

void ONEPIECE::Reset()
{
    parent = nullptr;
    moveTimer = 0.0f;
    speed = 2.0f;
    targetSpeed = 2.0f;
    realPosValid = false;
    blend = 0.0f;
    blendSpeed = 0.0f;
    attachedCount = 0;
    groupShare = 0.0f;
    direction.x = static_cast<float>(std::rand() % 10 - 5);
    direction.y = static_cast<float>(std::rand() % 10 - 5);
    direction.z = static_cast<float>(std::rand() % 10 - 5);
    direction.Normalize();
    velocity = VECTOR3D{0.0f, 0.0f, 0.0f};
    angle = VECTOR3D{0.0f, 0.0f, 0.0f};
    spin = VECTOR3D{0.0f, 0.0f, 0.0f};
    targetSpin = VECTOR3D{0.0f, 0.0f, 0.0f};
}

VECTOR3D ONEPIECE::RealPos()
{
    if (parent == nullptr)
        return pos;
    if (realPosValid)
        return realPos;
    const VECTOR3D offset = MatrixRotatePoint(parent->rotation, velocity);
    const VECTOR3D base = parent->RealPos();
    realPos = VECTOR3D{offset.x + base.x, offset.y + base.y, offset.z + base.z};
    realPosValid = true;
    return realPos;
}

bool ONEPIECE::MustWalkChainFirst() const
{
    return parent != nullptr && parent->parent != nullptr;
}

bool ONEPIECE::PassesOver(const ONEPIECE& other) const
{
    return &other == this || other.parent == this || (parent != nullptr && other.parent == parent);
}

ONEPIECE* ONEPIECE::JoinTarget(ONEPIECE& other, int pieceCount)
{
    const VECTOR3D a = RealPos();
    const VECTOR3D b = other.RealPos();
    if (!(std::fabs(b.x - a.x) < kJoinDistance && std::fabs(b.y - a.y) < kJoinDistance &&
          std::fabs(b.z - a.z) < kJoinDistance))
        return nullptr;
    if (!GridNeighbours(*this, other))
        return nullptr;

    // The other piece's root, unless its chain leads through this piece.
    ONEPIECE* root = &other;
    for (int steps = 0; root->parent != nullptr; ++steps) {
        if (steps > pieceCount)  // a broken chain: join nothing
            return nullptr;
        root = root->parent;
        if (root == this)
            return nullptr;
    }
    ONEPIECE* const joiner = parent != nullptr ? parent : this;  // this piece's root
    return root == joiner ? nullptr : root;
}

ONEPIECE* ONEPIECE::HangGroupUnder(ONEPIECE* root)
{
    ONEPIECE* const joiner = parent != nullptr ? parent : this;
    joiner->parent = root;
    joiner->velocity =
        VECTOR3D{static_cast<float>(joiner->column - root->column), static_cast<float>(joiner->row - root->row), 0.0f};
    joiner->blend = 0.0f;
    return joiner;
}

void ONEPIECE::Move(float dt, ONEPUZZLE* puzzle)
{
    // Step 1: joining, only while the countdown is above zero.
    if (puzzle->restartTimer > 0.0f)
        puzzle->joinIndex.Join(*this, *puzzle);
    Advance(dt, puzzle);
}

void ONEPIECE::Advance(float dt, ONEPUZZLE* puzzle)
{
    ONEPIECE* const all = puzzle->pieces;
    const int count = puzzle->pieceCount;

    // Step 2: new motion targets for a free piece whose timer ran out.
    moveTimer -= dt;
    if (moveTimer < 0.0f && parent == nullptr) {
        moveTimer = static_cast<float>(std::rand() % 20 + 5);
        if (puzzle->restartTimer > 0.0f) {
            const int k = std::rand() % count;
            if (all[k].parent == this) {
                direction = VECTOR3D{-pos.x, -pos.y, -pos.z};
            } else {
                const int m = std::rand() % 5;
                const int columns = puzzle->columns;
                const int rows = puzzle->rows;
                // The piece at home cell (c, r): array row rows - 1 - r.
                auto at = [&](int c, int r) { return &all[(rows - 1 - r) * columns + c]; };
                const ONEPIECE* target = &all[k];
                if (m == 0 && row > 0)
                    target = at(column, row - 1);
                else if (m == 1 && column < columns - 1)
                    target = at(column + 1, row);
                else if (m == 2 && row < rows - 1)
                    target = at(column, row + 1);
                else if (m == 3 && column > 0)
                    target = at(column - 1, row);
                direction = VECTOR3D{target->pos.x - pos.x, target->pos.y - pos.y, target->pos.z - pos.z};
            }
            direction.Normalize();
        }
        targetSpeed = static_cast<float>((std::rand() % 30) / 10.0);
        targetSpin.x = static_cast<float>(std::rand() % 80 - 40);
        targetSpin.y = static_cast<float>(std::rand() % 80 - 40);
        targetSpin.z = static_cast<float>(std::rand() % 80 - 40);
    }

    // Step 3: motion.
    if (parent != nullptr) {
        // A: attached. Settle into the root's frame.
        if (parent->parent != nullptr) {
            blend = 0.0f;
            blendSpeed = 0.0f;
        }
        for (int steps = 0; parent->parent != nullptr; ++steps) {
            if (steps >= count) {  // only a broken chain is this long
                parent = nullptr;
                return;
            }
            parent = parent->parent;
        }
        ONEPIECE* const root = parent;
        root->attachedCount += 1;
        blendSpeed = static_cast<float>(blendSpeed + (2.0 - blendSpeed) * dt);
        if (blend < 1.0f)
            blend += blendSpeed * dt;
        else
            blend = 1.0f;
        if (blend < 1.0f) {
            angle.x += (root->angle.x - angle.x) * blend;
            angle.y += (root->angle.y - angle.y) * blend;
            angle.z += (root->angle.z - angle.z) * blend;
            rotation = MatrixFromAngle(angle);
        } else {
            angle = root->angle;
            rotation = root->rotation;
        }
        velocity = VECTOR3D{static_cast<float>(column - root->column), static_cast<float>(row - root->row), 0.0f};
        const VECTOR3D real = RealPos();
        if (blend >= 1.0f) {
            pos = real;
        } else {
            pos.x += (real.x - pos.x) * blend;
            pos.y += (real.y - pos.y) * blend;
            pos.z += (real.z - pos.z) * blend;
        }
        return;
    }

    if (puzzle->largestGroup > puzzle->finishFraction || (puzzle->lockInPlace && attachedCount >= 2)) {
        // B: free and flying home, losing its rotation.
        const VECTOR3D home{static_cast<float>(column + (puzzle->columns - 1) * -0.5),
                            static_cast<float>(row + (puzzle->rows - 1) * -0.5), puzzle->boardZ};
        pos.x += (home.x - pos.x) * dt * 0.25f;
        pos.y += (home.y - pos.y) * dt * 0.25f;
        pos.z += (home.z - pos.z) * dt * 0.25f;
        angle.x += (0.0f - angle.x) * dt * 0.5f;
        angle.y += (0.0f - angle.y) * dt * 0.5f;
        angle.z += (0.0f - angle.z) * dt * 0.5f;
        rotation = MatrixFromAngle(angle);
        return;
    }

    // C: free and drifting toward its target heading, speed and spin.
    velocity.x += (direction.x - velocity.x) * dt;
    velocity.y += (direction.y - velocity.y) * dt;
    velocity.z += (direction.z - velocity.z) * dt;
    spin.x += (targetSpin.x - spin.x) * dt;
    spin.y += (targetSpin.y - spin.y) * dt;
    spin.z += (targetSpin.z - spin.z) * dt;
    speed += (targetSpeed - speed) * dt;
    const float slow = static_cast<float>(1.0 - 0.75 * groupShare);
    pos.x += speed * velocity.x * dt * slow;
    pos.y += speed * velocity.y * dt * slow;
    pos.z += speed * velocity.z * dt * slow;
    Bounce(pos.x, direction.x);
    Bounce(pos.y, direction.y);
    Bounce(pos.z, direction.z);
    angle.x = WrapAngle(angle.x + spin.x * dt * slow);
    angle.y = WrapAngle(angle.y + spin.y * dt * slow);
    angle.z = WrapAngle(angle.z + spin.z * dt * slow);
    rotation = MatrixFromAngle(angle);
}
