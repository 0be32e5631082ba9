#pragma once
// The overlay's timing and placement, kept apart from its drawing
// (SSMAIN::DoOverlay in Overlay_gl.cpp) so it can be checked without GL.
// The state lives in the engine's fields; these functions advance it by the
// engine's frameTime.

class SSMAIN;

// The y (pixels, origin at the bottom of the view) that the banner line
// slides towards: 40 px below the top or 5 px above the bottom while shown,
// 40 px beyond that edge while hidden.
float BannerTargetY(bool shown, bool fromTop, int screenHeight);

// One frame of the banner: counts bannerTimer down; when it falls below 0
// the banner switches between shown (20 s) and hidden (30 s), and on showing
// picks the message (4 or 5), the side (left or right strip) and the other
// edge, starting just outside the view (two rand() draws). Then moves
// bannerPos.y by the fraction frameTime of the way to its target.
void AdvanceBanner(SSMAIN* engine);

// One frame of the title card: counts cardTimer down; below 0 the card
// fades in at 0.5 per second and holds, and cardTimer restarts at 40 once it
// is below -20; otherwise the card fades out at 0.5 per second. A value that
// passed 1 (or 0) is set to exactly 1 (or 0) at the next frame.
void AdvanceTitleCard(SSMAIN* engine);

// texID of textures[index] of the engine, or 0 when the engine holds no such
// texture (a container with fewer entries than the overlay uses).
unsigned OverlayTexture(const SSMAIN* engine, unsigned index);
