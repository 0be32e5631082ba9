// The engine's state between frames: its clocks and the folder source's
// next picture. The GL side (set-up, drawing, release) is in SSMAIN_gl.cpp.
#include "engine/SSMAIN.h"

#include <new>

#include "pictures/NextPicture.h"
#include "pictures/PictureSteps.h"
#include "pictures/Pictures.h"

namespace {

// How much of the next picture one frame uploads while the board waits for
// it: about a millisecond of copying in a software renderer, so a 24 MP
// picture at its own size (8192 x 4096 texels) takes some 32 frames.
constexpr size_t kUploadBytesPerFrame = size_t(4) << 20;

}  // namespace

SSMAIN::SSMAIN()
    : frameTime(0.0), screenWidth(0), screenHeight(0), preview(false), bannerTimer(115.0f), bannerShown(false),
      bannerFromTop(false), bannerPos{0.0f, -35.0f}, messageTex(5), cardTimer(90.0f), cardAlpha(0.0f), textureCount(0),
      textures(nullptr), puzzle(nullptr), pictureTex(0), pictureWidth(0), pictureHeight(0), settings(nullptr),
      nextPicture(nullptr), fallbackPicture{}
{
}

SSMAIN::~SSMAIN()
{
    Cleanup();
}

void SSMAIN::SetSize(int width, int height)
{
    screenWidth = width;
    screenHeight = height;
}

void SSMAIN::Update(double dt)
{
    frameTime = dt;
}

bool SSMAIN::ChangePic()
{
    if (nextPicture == nullptr) {
        nextPicture = new (std::nothrow) NextPicture;
        if (nextPicture == nullptr) {
            LoadPic();
            return true;
        }
    }
    if (!nextPicture->Pending()) {
        char name[1024];
        char path[kPicturePathSize];
        const bool chosen =
            ChooseRandomImageFile(settings->BGPath, name) && JoinPicturePath(settings->BGPath, name, path);
        nextPicture->Start(chosen ? path : "", fallbackPicture, settings->BGRES);
    }
    if (!nextPicture->Advance(kUploadBytesPerFrame))
        return false;

    unsigned texture = 0;
    int width = 0, height = 0;
    nextPicture->Recycle(pictureTex);  // the shown picture's texture, to be filled by a later one
    pictureTex = 0;
    if (nextPicture->Take(&texture, &width, &height)) {
        pictureTex = texture;
        pictureWidth = width;
        pictureHeight = height;
    }
    return true;
}
