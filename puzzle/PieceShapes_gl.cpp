// The piece shapes compiled into display lists of the current GL context.
#include <GL/gl.h>

#include "loading/MS3D.h"
#include "puzzle/ONEPUZZLE.h"
#include "puzzle/PieceShapes.h"

bool ONEPUZZLE::BuildPieceShapes(char* resourcePath)
{
    for (unsigned int& list : lightLists)
        list = 0;
    bool lightSet = false;
    const bool read = ReadPieceShapes(
        resourcePath,
        [this](int shape, bool light, MS3D& model) {
            unsigned int& list = light ? lightLists[shape] : modelLists[shape];
            list = glGenLists(1);
            glNewList(list, GL_COMPILE);
            model.Render();
            glEndList();
        },
        &lightSet);
    if (read && !lightSet) {
        // No light set, or only part of one: the full shapes at every size.
        for (int i = 0; i < kPieceShapeCount; ++i) {
            if (lightLists[i] != 0 && lightLists[i] != modelLists[i])
                glDeleteLists(lightLists[i], 1);
            lightLists[i] = modelLists[i];
        }
    }
    return read;
}
