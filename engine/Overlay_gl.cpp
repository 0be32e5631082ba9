// Drawing of the overlay: the banner (side strip and message strip on one
// line that slides in at the top or bottom edge) and the title card (the
// view fades to black with the message across the middle). Timing and
// placement: engine/Overlay.cpp.
#include <GL/gl.h>

#include "engine/Overlay.h"
#include "engine/SSMAIN.h"

namespace {

// One textured quad from (0, 0) to (width, height) with the whole texture on it.
void TexturedQuad(float width, float height)
{
    glBegin(GL_QUADS);
    glTexCoord2f(0.0f, 0.0f);
    glVertex2f(0.0f, 0.0f);
    glTexCoord2f(1.0f, 0.0f);
    glVertex2f(width, 0.0f);
    glTexCoord2f(1.0f, 1.0f);
    glVertex2f(width, height);
    glTexCoord2f(0.0f, 1.0f);
    glVertex2f(0.0f, height);
    glEnd();
}

}  // namespace

void SSMAIN::DoOverlay()
{
    AdvanceBanner(this);

    // Pixel coordinates, origin at the lower-left corner. Left loaded on
    // return: the view sets its perspective again before the next frame.
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0.0, screenWidth, 0.0, screenHeight, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();

    glDisable(GL_LIGHTING);
    glDisable(GL_DEPTH_TEST);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    glNormal3f(0.0f, 0.0f, 1.0f);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(GL_BLEND);

    // The banner is drawn every frame; while hidden it lies outside the view.
    glPushMatrix();
    glTranslatef(bannerPos.x, bannerPos.y, 0.0f);
    glBindTexture(GL_TEXTURE_2D, OverlayTexture(this, 1));
    TexturedQuad(256.0f, 32.0f);
    glPopMatrix();

    glPushMatrix();
    glTranslatef(screenWidth * 0.5f - 256.0f, bannerPos.y, 0.0f);
    glBindTexture(GL_TEXTURE_2D, OverlayTexture(this, messageTex));
    TexturedQuad(512.0f, 32.0f);
    glPopMatrix();
    glDisable(GL_BLEND);

    // The title card is laid out on a virtual 1024 x 768 view.
    glScalef(screenWidth / 1024.0f, screenHeight / 768.0f, 1.0f);
    AdvanceTitleCard(this);
    if (cardAlpha > 0.0f) {
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        glEnable(GL_BLEND);

        glColor4f(0.0f, 0.0f, 0.0f, cardAlpha);
        glDisable(GL_TEXTURE_2D);
        glBegin(GL_QUADS);
        glVertex2f(0.0f, 0.0f);
        glVertex2f(1024.0f, 0.0f);
        glVertex2f(1024.0f, 768.0f);
        glVertex2f(0.0f, 768.0f);
        glEnd();

        glEnable(GL_TEXTURE_2D);
        glColor4f(1.0f, 1.0f, 1.0f, cardAlpha);
        glPushMatrix();
        glTranslatef(0.0f, 352.0f, 0.0f);
        glBindTexture(GL_TEXTURE_2D, OverlayTexture(this, messageTex));
        TexturedQuad(1024.0f, 64.0f);
        glPopMatrix();

        glDisable(GL_BLEND);
        glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    }

    glEnable(GL_LIGHTING);
    glEnable(GL_DEPTH_TEST);
}
