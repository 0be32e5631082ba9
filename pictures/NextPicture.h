#pragma once
#include <cstddef>

#include "pictures/PictureWorker.h"

// The next folder picture, made without holding up a frame: the worker
// decodes and resamples it on its own thread, then each frame that asks
// uploads a share of its rows into a texture of its own, so that even a
// picture of many megapixels spreads over frames of ordinary length. The
// caller chooses the file (and so draws from rand()) where it needs to;
// nothing here draws from it. All member functions run with the view's GL
// context current.
class NextPicture {
public:
    NextPicture() = default;
    // Drop and ReleaseSpare.
    ~NextPicture();
    NextPicture(const NextPicture&) = delete;
    NextPicture& operator=(const NextPicture&) = delete;

    // Starts making the picture at `path` (empty: none chosen), with
    // `fallbackPath` in its place when that gives no picture, at the texture
    // size of `resolution` (code 2 capped by GL_MAX_TEXTURE_SIZE). Drops a
    // picture still in the making.
    void Start(const char* path, const char* fallbackPath, int resolution);
    // Started and not yet taken.
    bool Pending() const { return stage_ != Stage::Idle; }
    // The worker is done and the texture is being filled.
    bool Uploading() const { return stage_ == Stage::Uploading; }
    // One frame's share of the work: collects the worker's pixels once they
    // are ready and uploads at most `budgetBytes` of them (at least one
    // row). True when the picture is complete, or when none could be made.
    bool Advance(size_t budgetBytes);
    // After Advance returned true: hands over the texture (the caller owns
    // it from now on) and the picture's own size. False, nothing handed over
    // and the outputs untouched, when neither file gave a picture.
    bool Take(unsigned* texture, int* width, int* height);
    // Makes the picture at once on this thread (no worker) and uploads it
    // whole; then Take as after Advance.
    void MakeNow(const char* path, const char* fallbackPath, int resolution);
    // Forgets a picture in the making and deletes its texture.
    void Drop();
    // Keeps `texture` (a picture texture no longer shown; from now on owned
    // here) to be filled by a later picture of the same texture size:
    // making a texture's storage costs a software renderer far more than
    // filling it (some 370 ms against 10 ms for 8192 x 4096). Replaces and
    // deletes the one kept before. 0 keeps nothing.
    void Recycle(unsigned texture);
    // Makes a texture of the same size as `texture` to be recycled, so that
    // already the first picture of that size finds one. Meant for the
    // engine's set-up, which may take long.
    void Reserve(unsigned texture);
    // Deletes the kept texture.
    void ReleaseSpare();

private:
    enum class Stage { Idle, Making, Uploading, Done };
    bool BeginUpload();                   // storage for pixels_ (the spare when it fits); false when GL refuses it
    bool UploadRows(size_t budgetBytes);  // true when every row is in

    PictureWorker worker_;
    Stage stage_ = Stage::Idle;
    PicturePixels pixels_{};  // the worker's result while it is uploaded; owned
    unsigned texture_ = 0;    // the texture being filled; owned until taken
    int rowsDone_ = 0;        // rows of pixels_ uploaded so far
    unsigned spare_ = 0;      // a texture kept for a picture of its size; owned
    int spareWidth_ = 0;      // its size, texels
    int spareHeight_ = 0;
    int pictureWidth_ = 0;  // the finished picture's own size, pixels
    int pictureHeight_ = 0;
};
