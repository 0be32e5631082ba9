// The view's OpenGL state: set-up for its size, the projection, and the
// clears of the frame loop.
#include <GL/gl.h>

#include "engine/SSMAIN.h"
#include "host/ViewGL.h"
#include "host/ZarnetView.h"
#include "platform/saver_backend.h"

void ZarnetView::glInit()
{
    Scrn = bounds();
    ApplyViewGLState(Scrn.width, Scrn.height);
    if (ssMain)
        ssMain->SetSize(Scrn.width, Scrn.height);
    glReshape();
}

void ZarnetView::glReshape()
{
    LoadViewProjection(Scrn.width, Scrn.height);
}

void ZarnetView::clearBuffers()
{
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

void ZarnetView::clearToBlack()
{
    if (!glView || !backend()->makeCurrent(glView))
        return;
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    backend()->flush(glView);
}
