// The drawing half of MS3D: immediate-mode triangles, normally compiled
// into a display list once at set-up.
#include <GL/gl.h>

#include "loading/MS3D.h"

void MS3D::Render()
{
    for (uint16_t g = 0; g < numGroups; ++g) {
        const MS3D_GROUP& group = groups[g];
        glBegin(GL_TRIANGLES);
        for (uint16_t k = 0; k < group.numTriangles; ++k) {
            const MS3D_TRIANGLE& t = triangles[group.triangleIndices[k]];
            for (int j = 0; j < 3; ++j) {
                glNormal3fv(t.vertexNormals[j]);
                glTexCoord2f(t.s[j], 1.0f - t.t[j]);
                glVertex3fv(vertices[t.vertexIndices[j]].location);
            }
        }
        glEnd();
    }
}
