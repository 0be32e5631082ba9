// Drawing of the board: every piece's compiled shape at its position and
// rotation, with a texture matrix that maps the shape's texture coordinates
// (x/20 + 1, 1 - y/20 over the body square, model units) onto the piece's own
// cell of the bound picture. A piece in column i and array row j samples
//   u = (i + 0.5 + x/40) / columns,  v = 1 - (j + 0.5 - y/40) / rows,
// so tabs show the neighbour's part of the picture and the assembled board
// shows it unbroken. v is negative before the texture's repeat wraps it.
#include <GL/gl.h>

#include "puzzle/ONEPIECE.h"
#include "puzzle/ONEPUZZLE.h"

void ONEPIECE::ReadyDraw()
{
    glTranslatef(pos.x, pos.y, pos.z);
    glMultMatrixd(rotation.m);
}

void ONEPUZZLE::Draw()
{
    if (pieces != nullptr) {
        for (int i = 0; i < columns; ++i) {
            for (int j = 0; j < rows; ++j) {
                glMatrixMode(GL_TEXTURE);
                glLoadIdentity();
                glTranslatef(static_cast<float>(i) * texCellWidth,
                             -(static_cast<float>(j) * texCellHeight), 0.0f);
                glScalef(0.5f * texCellWidth, -0.5f * texCellHeight, 1.0f);

                glMatrixMode(GL_MODELVIEW);
                glPushMatrix();
                ONEPIECE& piece = pieces[j * columns + i];
                piece.ReadyDraw();
                if (piece.shape >= 0 && piece.shape < 64)
                    glCallList(modelLists[piece.shape]);
                glPopMatrix();
            }
        }
    }
    glMatrixMode(GL_TEXTURE);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
}
