// The engine's GL side: set-up of the lights and the overlay, each frame's
// drawing, the folder picture loaded at set-up, and the release.
#include "engine/SSMAIN.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <cstdio>
#include <new>

#include "loading/Textures.h"
#include "pictures/NextPicture.h"
#include "pictures/PictureSteps.h"
#include "pictures/Pictures.h"
#include "platform/desktop_background.h"  // kDefaultPictureName
#include "puzzle/Frustum.h"
#include "puzzle/ONEPUZZLE.h"

namespace {

// Cleans up and deletes the puzzle, if any.
void DropPuzzle(ONEPUZZLE*& puzzle)
{
    if (puzzle != nullptr) {
        puzzle->Cleanup();
        delete puzzle;
        puzzle = nullptr;
    }
}

// Deletes the overlay textures' GL names and destroys the records, both
// last to first (as array delete destroys them).
void ReleaseTextures(Texture*& textures, int& textureCount)
{
    if (textures != nullptr) {
        for (int i = textureCount - 1; i >= 0; --i) {
            if (textures[i].texID != 0) {
                glDeleteTextures(1, &textures[i].texID);
                textures[i].texID = 0;
            }
        }
        delete[] textures;
        textures = nullptr;
    }
    textureCount = 0;
}

}  // namespace

bool SSMAIN::Setup(bool isPreview, int width, int height, SETTINGS* viewSettings, char* resourcePath)
{
    preview = isPreview;
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);

    settings = viewSettings;
    if (!JoinPicturePath(resourcePath, kDefaultPictureName, fallbackPicture))
        fallbackPicture[0] = '\0';
    pictureWidth = settings->picWidth;
    pictureHeight = settings->picHeight;

    DropPuzzle(puzzle);
    puzzle = new (std::nothrow) ONEPUZZLE;
    if (puzzle == nullptr)
        return false;

    ReleaseTextures(textures, textureCount);
    char path[1024];
    const int length = std::snprintf(path, sizeof path, "%svantor.morvence", resourcePath);
    setupFailure = LoadFailure{};
    if (length < 0 || length >= static_cast<int>(sizeof path) ||
        !LoadTexturesFromDataFile(path, &textures, &textureCount, &setupFailure)) {
        // A texture that could not be decoded is the one failure the user
        // is told of (setupFailure), by the view.
        // A puzzle that was never set up must not be moved or drawn, nor the
        // overlay drawn with textures that don't exist: drop it.
        DropPuzzle(puzzle);
        return false;
    }

    screenWidth = width;
    screenHeight = height;

    // A point light at the eye: the position is given under the identity
    // model-view the view has loaded.
    const GLfloat ambient[] = {0.0f, 0.0f, 0.0f, 0.0f};
    const GLfloat diffuse[] = {1.0f, 1.0f, 1.0f, 1.0f};
    const GLfloat specular[] = {0.3f, 0.3f, 0.3f, 1.0f};
    const GLfloat position[] = {0.0f, 0.0f, 0.0f, 1.0f};
    glLightfv(GL_LIGHT0, GL_AMBIENT, ambient);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, diffuse);
    glLightfv(GL_LIGHT0, GL_SPECULAR, specular);
    glLightfv(GL_LIGHT0, GL_POSITION, position);
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    glCullFace(GL_BACK);

    // The view that Draw sets up each frame (a translation by -40 along z),
    // so that the frustum planes are valid in board coordinates.
    gluLookAt(0.0, 0.0, 40.0, 0.0, 0.0, 0.0, 0.0, 1.0, 0.0);
    ExtractFrustum();

    if (settings->BGTYPE == 2) {
        LoadPic();
        // Storage for the next picture, made now rather than in a frame.
        if (nextPicture == nullptr)
            nextPicture = new (std::nothrow) NextPicture;
        if (nextPicture != nullptr) {
            nextPicture->Drop();
            nextPicture->Reserve(pictureTex);
        }
    }

    puzzle->picWidth = pictureWidth;
    puzzle->picHeight = pictureHeight;
    if (!puzzle->Setup(settings, resourcePath) || !puzzle->NewPuzzle()) {
        DropPuzzle(puzzle);
        return false;
    }
    return true;
}

void SSMAIN::Draw()
{
    if (puzzle == nullptr)
        return;

    glLoadIdentity();

    // Folder source: a new picture and a freshly cut board, seen assembled
    // for the last two seconds of the countdown before it blows apart. While
    // the picture is still being made the finished board stands still.
    bool waiting = false;
    if (settings->BGTYPE == 2 && puzzle->newPicture) {
        if (ChangePic()) {
            puzzle->picWidth = pictureWidth;
            puzzle->picHeight = pictureHeight;
            if (!puzzle->NewPuzzle()) {
                DropPuzzle(puzzle);
                return;
            }
        } else {
            waiting = true;
        }
    }

    if (!waiting)
        puzzle->Move(static_cast<float>(frameTime));

    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, pictureTex);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);

    glPushMatrix();
    if (settings->BGTYPE == 0)
        glScalef(puzzle->boardScaleX, puzzle->boardScaleY, 1.0f);
    glTranslatef(0.0f, 0.0f, -40.0f);
    puzzle->Draw();
    glPopMatrix();

    if (!preview) {
        // The overlay's clocks wait with the board (no banner is drawn from
        // rand() before the new board is cut).
        const double step = frameTime;
        if (waiting)
            frameTime = 0.0;
        DoOverlay();
        frameTime = step;
    }

    glDisable(GL_TEXTURE_2D);
}

void SSMAIN::LoadPic()
{
    glDeleteTextures(1, &pictureTex);
    pictureTex = 0;  // the old name is gone; never bind it again

    char name[1024];
    char path[kPicturePathSize];
    const bool chosen = ChooseRandomImageFile(settings->BGPath, name) && JoinPicturePath(settings->BGPath, name, path);
    NextPicture picture;
    picture.MakeNow(chosen ? path : "", fallbackPicture, settings->BGRES);
    unsigned texture = 0;
    int width = 0, height = 0;
    if (picture.Take(&texture, &width, &height)) {
        pictureTex = texture;
        pictureWidth = width;
        pictureHeight = height;
    }
}

void SSMAIN::Cleanup()
{
    delete nextPicture;  // waits for a decode in progress; deletes a half-filled texture
    nextPicture = nullptr;
    DropPuzzle(puzzle);
    ReleaseTextures(textures, textureCount);
    glDeleteTextures(1, &pictureTex);
    pictureTex = 0;
    glDisable(GL_LIGHTING);
    glDisable(GL_LIGHT0);
    glDisable(GL_CULL_FACE);
}
