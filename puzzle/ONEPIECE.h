#pragma once
#include "math/MATRIX.h"
#include "math/VECTOR3D.h"

class ONEPUZZLE;

// One piece of the board. Positions are in board units (one grid cell = 1.0),
// angles in degrees, times in seconds. A piece without `parent` is a root; a
// root and every piece whose chain of parents ends at it form a group, which
// moves as one rigid body.
class ONEPIECE {
public:
    VECTOR3D pos;         // current position; for an attached piece it follows its real position
    VECTOR3D velocity;    // free: current heading; attached: offset from the parent in cells (dc, dr, 0)
    VECTOR3D direction;   // target heading, unit length or zero
    VECTOR3D angle;       // rotation angles about X, Y, Z, degrees
    VECTOR3D spin;        // current angular velocity, degrees per second
    VECTOR3D targetSpin;  // target angular velocity, degrees per second
    MATRIX rotation;      // MatrixFromAngle(angle), or a copy of the root's
    float speed;          // current speed, units per second
    float targetSpeed;    // target speed, units per second
    int shape;            // index 0..63 into ppInfo and the puzzle's modelLists
    int column;           // home column, 0 = left
    int row;              // home row, 0 = bottom
    ONEPIECE* parent;     // piece this one hangs on; null = free (not owned)
    float moveTimer;      // seconds until the piece picks new motion targets
    VECTOR3D realPos;     // cached RealPos() of the current pass
    bool realPosValid;    // realPos holds this pass's value
    float blend;          // 0..1 progress of settling into the root's frame
    float blendSpeed;     // growth rate of blend, per second
    int attachedCount;    // pieces that found this piece as their root so far in this pass
    float groupShare;     // attachedCount / pieceCount as of the start of a pass

    // A piece at the origin, unrotated, free, shape 0 at cell (0, 0).
    ONEPIECE();
    // Only clears parent; owns nothing.
    ~ONEPIECE();

    // Frees the piece and gives it a random heading, zero spin and speed 2;
    // keeps pos, rotation, shape and cell. Draws three rand() values.
    void Reset();
    // Advances the piece by dt seconds: joining (while the puzzle's timer is
    // above zero, through the puzzle's join index), then Advance.
    // Called only by ONEPUZZLE::Move, once per piece in array order.
    void Move(float dt, ONEPUZZLE* puzzle);
    // The rest of a move after joining: new motion targets, then motion.
    void Advance(float dt, ONEPUZZLE* puzzle);

    // The pieces of a joining step, in the order it takes them:
    // This piece's group was hung under another one: it must walk its chain
    // (in its motion step) before it can join anything more.
    bool MustWalkChainFirst() const;
    // `other` is this piece, one of its children, or one of its siblings.
    bool PassesOver(const ONEPIECE& other) const;
    // The root to hang this piece's group under when `other` is a grid
    // neighbour within reach (asking both real positions); null when the two
    // are out of reach, not neighbours, or already one group. `pieceCount`
    // bounds the walk up `other`'s chain.
    ONEPIECE* JoinTarget(ONEPIECE& other, int pieceCount);
    // Hangs this piece's group (its parent if it has one, else itself) under
    // `root`, to settle in anew; returns the piece that was hung.
    ONEPIECE* HangGroupUnder(ONEPIECE* root);
    // Where the piece really is: a root's pos, or the parent's real position
    // plus the offset turned by the parent's rotation; cached per pass.
    VECTOR3D RealPos();
    // Multiplies the current GL matrix by the piece's translation and rotation
    // (GL drawing code, defined beside the puzzle's Draw).
    void ReadyDraw();
};
