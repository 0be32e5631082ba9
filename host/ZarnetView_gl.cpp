// The view's OpenGL state: set-up for its size, the projection, and the
// clears of the frame loop.
#include <GL/gl.h>
#include <GL/glu.h>

#include "engine/SSMAIN.h"
#include "host/ZarnetView.h"
#include "platform/gl_surface.h"

void ZarnetView::glInit()
{
    Scrn = bounds();
    const int width = Scrn.width;
    const int height = Scrn.height;
    glViewport(0, 0, width, height);
    if (ssMain)
        ssMain->SetSize(width, height);

    glShadeModel(GL_SMOOTH);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClearDepth(1.0);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glEnable(GL_COLOR_MATERIAL);
    glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);
    glReshape();
}

void ZarnetView::glReshape()
{
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    // A zero-height view gives an infinite aspect; GLU then leaves the
    // projection as it is, and nothing is visible in a view without pixels.
    const float aspect = static_cast<float>(Scrn.width) / static_cast<float>(Scrn.height);
    gluPerspective(45.0, aspect, 1.0, 120.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

void ZarnetView::clearBuffers()
{
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

void ZarnetView::clearToBlack()
{
    if (!glView || !glView->makeCurrentContext())
        return;
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glView->flushBuffer();
}
