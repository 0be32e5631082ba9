// Drawing of the board: every piece's compiled shape at its position and
// rotation, with a texture matrix that maps the shape's texture coordinates
// (x/20 + 1, 1 - y/20 over the body square, model units) onto the piece's own
// cell of the bound picture. A piece in column i and array row j samples
//   u = (i + 0.5 + x/40) / columns,  v = 1 - (j + 0.5 - y/40) / rows,
// so tabs show the neighbour's part of the picture and the assembled board
// shows it unbroken. v is negative before the texture's repeat wraps it.
//
// The pieces are closed, opaque shapes, so only their front faces are drawn,
// and a piece whose bounding sphere lies wholly outside the view is skipped;
// neither changes a pixel, and both spare a software renderer most of its work.
// A piece whose cell comes out narrower than kLightBelowPixels on screen is
// drawn with its light shape (the same outline in fewer triangles): on a
// board a hundred pieces across nearly every piece is, and a software
// renderer's cost goes mostly by the triangle at that size. Under
// kCardBelowPixels it is drawn as a card: flat squares front and back (and
// two fins through the middle for its side seen edge on), cut to the
// outline by a mask on the second texture unit (alpha-tested, so it stays
// opaque and depth-sorted like a shape) whose luminance paints the rim's
// shading on; a dozen triangles instead of hundreds.
#include <GL/gl.h>

#include <cmath>

#include "puzzle/Frustum.h"
#include "puzzle/ONEPIECE.h"
#include "puzzle/ONEPUZZLE.h"
#include "puzzle/PieceCards.h"

namespace {

// Radius of a sphere about a shape's origin that holds every shape: a knob
// reaches 33.8 model units from the centre, the faces lie 2 units off the
// middle, and a model unit is 1/40 of a cell. With some room to spare.
constexpr float kPieceRadius = 0.86f;

// What a frame's drawing needs of the current matrices (the board's
// model-view, board scale included) and viewport, read once: the planes of
// the view in board coordinates, and the splits between full and light
// shapes and between light shapes and cards.
struct ViewOfBoard {
    float planes[6][4];
    DetailSplit light, card;
    float eye[3];  // where the eye is
};

ViewOfBoard CurrentViewOfBoard()
{
    float projection[16], modelview[16];
    GLint viewport[4];
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    glGetFloatv(GL_MODELVIEW_MATRIX, modelview);
    glGetIntegerv(GL_VIEWPORT, viewport);
    ViewOfBoard view{};
    FrustumPlanesFromMatrices(projection, modelview, view.planes);
    view.light = DetailSplitFromMatrices(projection, modelview, viewport[2], viewport[3], ONEPUZZLE::kLightBelowPixels);
    view.card = DetailSplitFromMatrices(projection, modelview, viewport[2], viewport[3], ONEPUZZLE::kCardBelowPixels);
    if (!EyeFromModelview(modelview, view.eye)) {
        // No eye to be found: every card seen edge on, so none loses its fins.
        view.eye[0] = view.eye[1] = view.eye[2] = NAN;
    }
    return view;
}

// Turns the cards' state on (the mask on unit 1, modulating colour and
// alpha, and the alpha test) or off again. Unit 0 stays the active one.
void CardState(bool on, unsigned int mask)
{
    glActiveTexture(GL_TEXTURE1);
    if (on) {
        glBindTexture(GL_TEXTURE_2D, mask);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
        glEnable(GL_TEXTURE_2D);
        glAlphaFunc(GL_GREATER, kCardAlphaCut);
        glEnable(GL_ALPHA_TEST);
    } else {
        glDisable(GL_TEXTURE_2D);
        glBindTexture(GL_TEXTURE_2D, 0);
        glDisable(GL_ALPHA_TEST);
    }
    glActiveTexture(GL_TEXTURE0);
}

bool InView(const float planes[6][4], const VECTOR3D& at)
{
    for (int k = 0; k < 6; ++k)
        if (planes[k][0] * at.x + planes[k][1] * at.y + planes[k][2] * at.z + planes[k][3] < -kPieceRadius)
            return false;
    return true;
}

// Whether the line of sight from `eye` meets the piece's face at a cosine of
// at least kFinsBelowFacing (false for an eye that isn't a point).
bool FacingEye(const ONEPIECE& piece, const float eye[3])
{
    const double* m = piece.rotation.m;  // the face's normal is its third column
    const double dx = eye[0] - piece.pos.x, dy = eye[1] - piece.pos.y, dz = eye[2] - piece.pos.z;
    const double along = m[8] * dx + m[9] * dy + m[10] * dz;
    return along * along >= static_cast<double>(ONEPUZZLE::kFinsBelowFacing * ONEPUZZLE::kFinsBelowFacing) *
                                (dx * dx + dy * dy + dz * dz);
}

}  // namespace

void ONEPIECE::ReadyDraw()
{
    glTranslatef(pos.x, pos.y, pos.z);
    glMultMatrixd(rotation.m);
}

void ONEPUZZLE::Draw()
{
    if (pieces != nullptr) {
        const ViewOfBoard view = CurrentViewOfBoard();
        const DetailSplit& split = view.light;
        const bool cards = cardTexture != 0;
        bool carding = false;  // the cards' state is on
        const GLboolean culling = glIsEnabled(GL_CULL_FACE);
        glEnable(GL_CULL_FACE);
        for (int i = 0; i < columns; ++i) {
            for (int j = 0; j < rows; ++j) {
                const VECTOR3D& at = pieces[j * columns + i].pos;
                if (!InView(view.planes, at))
                    continue;
                const float w = split.w[0] * at.x + split.w[1] * at.y + split.w[2] * at.z + split.w[3];
                const bool light = w > split.lightFrom;
                const bool card = cards && w > view.card.lightFrom;
                if (card != carding) {
                    CardState(card, cardTexture);
                    carding = card;
                }
                glMatrixMode(GL_TEXTURE);
                glLoadIdentity();
                glTranslatef(static_cast<float>(i) * texCellWidth, -(static_cast<float>(j) * texCellHeight), 0.0f);
                glScalef(0.5f * texCellWidth, -0.5f * texCellHeight, 1.0f);

                glMatrixMode(GL_MODELVIEW);
                glPushMatrix();
                ONEPIECE& piece = pieces[j * columns + i];
                piece.ReadyDraw();
                if (piece.shape >= 0 && piece.shape < 64) {
                    glCallList(card    ? cardLists[piece.shape]
                               : light ? lightLists[piece.shape]
                                       : modelLists[piece.shape]);
                    if (card && !FacingEye(piece, view.eye))
                        glCallList(finLists[piece.shape]);
                }
                glPopMatrix();
            }
        }
        if (carding)
            CardState(false, 0);

        if (!culling)
            glDisable(GL_CULL_FACE);
    }
    glMatrixMode(GL_TEXTURE);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
}
