// The piece shapes compiled into display lists of the current GL context.
#include <GL/gl.h>

#include "loading/MS3D.h"
#include "puzzle/ONEPUZZLE.h"
#include "puzzle/PieceShapes.h"

bool ONEPUZZLE::BuildPieceShapes(char* resourcePath)
{
    return ReadPieceShapes(resourcePath, [this](int shape, MS3D& model) {
        modelLists[shape] = glGenLists(1);
        glNewList(modelLists[shape], GL_COMPILE);
        model.Render();
        glEndList();
    });
}
