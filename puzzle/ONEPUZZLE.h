#pragma once
#include "puzzle/JoinIndex.h"
#include "puzzle/ONEPIECE.h"
#include "puzzle/SETTINGS.h"

// The board: the grid of pieces cut from one picture, the 64 piece shapes,
// the three puzzle settings and the cycle's countdown. Board coordinates: one
// cell = 1.0 unit, the assembled board centred on the z axis at depth boardZ,
// +x right, +y up. The piece array is stored top row first: array row j,
// column i is pieces[j * columns + i] and has row = rows - 1 - j.
class ONEPUZZLE {
public:
    ONEPIECE* pieces;             // pieceCount pieces, owned (array new); null until NewPuzzle
    int columns;                  // pieces across (at least 2 once built)
    int rows;                     // pieces down (at least 2 once built)
    float texCellWidth;           // 1 / columns: one cell's width in texture space
    float texCellHeight;          // 1 / rows
    int pieceCount;               // columns * rows
    unsigned int modelLists[64];  // GL display list of each piece shape (made by Setup, owned by the GL context)
    unsigned int lightLists[64];  // the same in fewer triangles, for small pieces (modelLists' when none)
    unsigned int cardLists[64];   // each shape's flat card, for the smallest pieces (0 when none)
    unsigned int finLists[64];    // each card's two fins, drawn only while it is turned nearly edge on (0 when none)
    unsigned int cardTexture;     // the cards' outline masks (0 when none: light shapes at every small size)
    float largestGroup;           // largest group share found at the start of the last Move pass
    float restartTimer;           // the cycle's countdown, seconds
    float boardZ;                 // z of the assembled board
    float picAspect;              // picture width / height
    int picWidth;                 // picture width in pixels, written by the engine
    int picHeight;                // picture height in pixels, written by the engine
    float boardScaleX;            // horizontal scale making the board fill the view (desktop grab)
    float boardScaleY;            // vertical scale, likewise
    bool newPicture;              // new-picture request raised by Move, answered by the engine
    float finishFraction;         // group share beyond which every free piece flies home
    int puzzleWidth;              // pieces along the picture's longer side
    bool lockInPlace;             // a group of three or more flies home on its own
    JoinIndex joinIndex;          // the joining step's view of the board during a pass

    // A joining step for one piece, for running a pass with another one than
    // the join index (a piece's step 1, called only while restartTimer > 0).
    using JoinStep = void (*)(ONEPIECE& piece, ONEPUZZLE& puzzle);

    ONEPUZZLE();
    // Runs Cleanup.
    ~ONEPUZZLE();
    ONEPUZZLE(const ONEPUZZLE&) = delete;
    ONEPUZZLE& operator=(const ONEPUZZLE&) = delete;

    // Copies the three puzzle settings, then builds the 64 piece shapes from
    // the data files in resourcePath (a directory ending in "/"). Needs a
    // current GL context. False when settings is null or the shapes can't be built.
    bool Setup(SETTINGS* settings, char* resourcePath);
    // The shape half of Setup: loads the 64 piece models and compiles them
    // into modelLists, and the light set into lightLists (the full set's
    // lists again when the data file has no light set, or a damaged one);
    // draws the cards' masks from the full set into cardTexture and makes
    // cardLists and finLists (none when GL can't take the texture).
    // False when any of the full set can't be loaded or built.
    bool BuildPieceShapes(char* resourcePath);
    // Cuts a new board for picWidth x picHeight and puzzleWidth, sized by the
    // frustum planes, every piece at home. The board has at least two rows and
    // two columns. False only when the piece array can't be allocated (then
    // pieces is null and the board is empty).
    bool NewPuzzle();
    // Releases the pieces; safe to call repeatedly.
    void Cleanup();
    // One pass of the animation: every piece moves by dt seconds, then the
    // countdown runs. Only after a successful NewPuzzle.
    void Move(float dt);
    // The same pass with `join` as every piece's joining step.
    void MoveWith(float dt, JoinStep join);
    // Draws every piece with its shape, transform and texture cell (GL); a
    // piece that comes out under kLightBelowPixels across is drawn with its
    // light shape, under kCardBelowPixels with its card.
    void Draw();

    // On-screen width of a cell under which the light shapes can't be told
    // from the full ones.
    static constexpr float kLightBelowPixels = 20.0f;
    // On-screen width of a cell under which a card (the outline cut from a
    // flat square by a mask, the rim's shading painted on) can't be told
    // from the shape.
    static constexpr float kCardBelowPixels = 16.0f;
    // A card gets its fins (the sliver of its side, edge on) only while the
    // line of sight meets its face at a cosine under this: nearer face on
    // the fins lie behind the face, yet a software renderer shades them all
    // before the depth test (the mask's alpha test comes first).
    static constexpr float kFinsBelowFacing = 0.3f;
};
