#include <GL/gl.h>

#include "puzzle/Frustum.h"

void ExtractFrustum()
{
    float projection[16];
    float modelview[16];
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    glGetFloatv(GL_MODELVIEW_MATRIX, modelview);
    FrustumPlanesFromMatrices(projection, modelview, frustum);
}
