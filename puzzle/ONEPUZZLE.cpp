#include "puzzle/ONEPUZZLE.h"

#include <cstdlib>
#include <new>

#include "puzzle/Frustum.h"
#include "puzzle/ppInfo.h"

namespace {

// An edge constraint that accepts either interlocking form (+1 or -1).
constexpr int kEitherSign = -2;

// Boards are at least 2 x 2: no shape is straight on two opposite edges, so a
// single row or column could never be cut. The upper bound keeps
// columns * rows within an int; such a board can't be allocated anyway.
constexpr int kMinPuzzleWidth = 2;
constexpr int kMaxPuzzleWidth = 46340;

// Random draws before the cut falls back to the first fitting shape of the
// table. The rarest cell (bottom-right) fits 1 shape in 64, so the fallback
// only matters if the generator misbehaves.
constexpr int kMaxShapeDraws = 64 * 64;

bool ShapeFits(int shape, const int want[4])
{
    for (int e = 0; e < 4; ++e) {
        const int code = ppInfo[shape][e];
        if (want[e] == kEitherSign ? code == 0 : code != want[e])
            return false;
    }
    return true;
}

// A shape meeting the four edge constraints, drawn with rand().
int DrawShape(const int want[4])
{
    for (int draw = 0; draw < kMaxShapeDraws; ++draw) {
        const int s = std::rand() % 64;
        if (ShapeFits(s, want))
            return s;
    }
    for (int s = 0; s < 64; ++s)
        if (ShapeFits(s, want))
            return s;
    return 0;
}

}  // namespace

ONEPUZZLE::ONEPUZZLE()
    : pieces(nullptr), columns(0), rows(0), texCellWidth(0.0f), texCellHeight(0.0f),
      pieceCount(0), modelLists{}, lightLists{}, cardLists{}, finLists{}, cardTexture(0), largestGroup(0.0f),
      restartTimer(1.0f), boardZ(0.0f), picAspect(1.0f), picWidth(0), picHeight(0), boardScaleX(1.0f),
      boardScaleY(1.0f), newPicture(false), finishFraction(0.75f), puzzleWidth(25), lockInPlace(true)
{
}

ONEPUZZLE::~ONEPUZZLE()
{
    Cleanup();
}

bool ONEPUZZLE::Setup(SETTINGS* settings, char* resourcePath)
{
    if (settings == nullptr)
        return false;
    lockInPlace = settings->LOCKINPLACE;
    finishFraction = static_cast<float>(settings->PERCENTAGE / 100.0);
    puzzleWidth = settings->PUZZLEWIDTH;
    return BuildPieceShapes(resourcePath);
}

bool ONEPUZZLE::NewPuzzle()
{
    newPicture = false;
    if (picWidth > 0 && picHeight > 0)
        picAspect = static_cast<float>(picWidth) / static_cast<float>(picHeight);
    else
        picAspect = 1.0f;

    int width = puzzleWidth;
    if (width < kMinPuzzleWidth)
        width = kMinPuzzleWidth;
    if (width > kMaxPuzzleWidth)
        width = kMaxPuzzleWidth;
    const float h = static_cast<float>((width - 1) * 0.5);
    float zEdge;
    if (picWidth > picHeight) {
        // Landscape: the right edge of the view passes through the centre of
        // the last column one unit in front of the board.
        columns = width;
        rows = static_cast<int>(static_cast<float>(width) / picAspect);
        if (rows < kMinPuzzleWidth)
            rows = kMinPuzzleWidth;
        zEdge = ValueAtEdgeOfFrustum(FRUSTUM_RIGHT, 2, VECTOR3D{h, 0.0f, 0.0f}).z;
        const float yEdge = ValueAtEdgeOfFrustum(FRUSTUM_TOP, 1, VECTOR3D{0.0f, 0.0f, zEdge - 1.0f}).y;
        boardScaleY = static_cast<float>(yEdge / (0.5 * rows));
        boardScaleX = 1.0f;
    } else {
        // Portrait or square: the top edge of the view passes through the
        // centre of the top row one unit in front of the board.
        rows = width;
        columns = static_cast<int>(static_cast<float>(width) * picAspect);
        if (columns < kMinPuzzleWidth)
            columns = kMinPuzzleWidth;
        zEdge = ValueAtEdgeOfFrustum(FRUSTUM_TOP, 2, VECTOR3D{0.0f, h, 0.0f}).z;
        const float xEdge = ValueAtEdgeOfFrustum(FRUSTUM_RIGHT, 0, VECTOR3D{0.0f, 0.0f, zEdge - 1.0f}).x;
        boardScaleX = static_cast<float>(xEdge / (0.5 * columns));
        boardScaleY = 1.0f;
    }
    boardZ = zEdge - 1.0f;
    texCellWidth = static_cast<float>(1.0 / columns);
    texCellHeight = static_cast<float>(1.0 / rows);
    pieceCount = columns * rows;

    Cleanup();
    pieces = new (std::nothrow) ONEPIECE[pieceCount];
    if (pieces == nullptr) {
        // Leave an empty board rather than counts that point past nothing.
        columns = 0;
        rows = 0;
        pieceCount = 0;
        return false;
    }

    // The cut: column by column from the left, each column from the top.
    for (int i = 0; i < columns; ++i) {
        for (int j = 0; j < rows; ++j) {
            ONEPIECE& piece = pieces[j * columns + i];
            int want[4];  // top, right, bottom, left
            want[0] = j == 0 ? 0 : -ppInfo[pieces[(j - 1) * columns + i].shape][2];
            want[1] = i == columns - 1 ? 0 : kEitherSign;
            want[2] = j == rows - 1 ? 0 : kEitherSign;
            want[3] = i == 0 ? 0 : -ppInfo[pieces[j * columns + i - 1].shape][1];
            piece.shape = DrawShape(want);
            piece.column = i;
            piece.row = rows - 1 - j;
            piece.Reset();
            piece.pos = VECTOR3D{static_cast<float>(i + (columns - 1) * -0.5),
                                 static_cast<float>(piece.row + (rows - 1) * -0.5), boardZ};
        }
    }
    return true;
}

void ONEPUZZLE::Cleanup()
{
    if (pieces != nullptr) {
        delete[] pieces;
        pieces = nullptr;
    }
}

void ONEPUZZLE::Move(float dt)
{
    MoveWith(dt, nullptr);
}

void ONEPUZZLE::MoveWith(float dt, JoinStep join)
{
    // Group shares from the counts the previous pass made; a count of 0 or 1
    // leaves the old share in place.
    largestGroup = 0.0f;
    for (int i = 0; i < pieceCount; ++i) {
        ONEPIECE& piece = pieces[i];
        if (piece.attachedCount > 1) {
            piece.groupShare = static_cast<float>(piece.attachedCount) / static_cast<float>(pieceCount);
            if (piece.groupShare > largestGroup)
                largestGroup = piece.groupShare;
        }
        piece.attachedCount = 0;
        piece.realPosValid = false;
    }

    if (join == nullptr) {
        if (restartTimer > 0.0f)
            joinIndex.Begin(*this);
        for (int i = 0; i < pieceCount; ++i)
            pieces[i].Move(dt, this);
        joinIndex.End();
    } else {
        for (int i = 0; i < pieceCount; ++i) {
            if (restartTimer > 0.0f)
                join(pieces[i], *this);
            pieces[i].Advance(dt, this);
        }
    }

    // The countdown: held at 21 while assembling, running once the board is
    // nearly whole or once it has started.
    if (!(static_cast<double>(largestGroup) > 0.95 || restartTimer < 20.0f))
        return;
    const float t = restartTimer;
    if (t >= 2.0f && t - dt < 2.0f)
        newPicture = true;
    if (t >= 0.0f && t - dt < 0.0f) {
        newPicture = false;
        for (int i = 0; i < pieceCount; ++i)
            pieces[i].Reset();
    }
    restartTimer = t - dt;
    if (restartTimer < -15.0f)
        restartTimer = 21.0f;
}
