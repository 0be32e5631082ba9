// The picture worker: decoding and resampling off the frame, on a thread
// that touches nothing but the files and its own buffers.
#include "pictures/PictureWorker.h"

#include <GL/gl.h>  // GL_RGBA only; no GL calls here

#include <cstdlib>
#include <utility>

#include "pictures/PictureSteps.h"
#include "platform/background_thread.h"

namespace {

// Widens RGB texels to RGBA in place of the buffer (alpha 255 everywhere,
// also over an RGBA picture's own alpha, as alpha mode 0 uploads it).
unsigned char* OpaqueRgba(PictureTexels& texels)
{
    size_t const count = size_t(texels.width) * size_t(texels.height);
    if (texels.type == GL_RGBA) {
        for (size_t i = 0; i < count; ++i)
            texels.texels[i * 4 + 3] = 255;
        unsigned char* rgba = texels.texels;
        texels.texels = nullptr;
        return rgba;
    }
    auto* rgba = static_cast<unsigned char*>(std::malloc(count * 4));
    if (rgba == nullptr)
        return nullptr;
    unsigned char const* in = texels.texels;
    unsigned char* out = rgba;
    for (size_t i = 0; i < count; ++i, in += 3, out += 4) {
        out[0] = in[0];
        out[1] = in[1];
        out[2] = in[2];
        out[3] = 255;
    }
    return rgba;
}

bool MakeOne(const std::string& path, int resolution, int maxTextureSize, PicturePixels* pixels)
{
    if (path.empty())
        return false;
    PictureTexels texels;
    if (!MakePictureTexels(path.c_str(), resolution, maxTextureSize, &texels))
        return false;
    unsigned char* rgba = OpaqueRgba(texels);
    std::free(texels.texels);
    if (rgba == nullptr)
        return false;
    *pixels = PicturePixels{rgba, texels.width, texels.height, texels.pictureWidth, texels.pictureHeight, false};
    return true;
}

}  // namespace

void FreePicturePixels(PicturePixels* pixels)
{
    std::free(pixels->rgba);
    *pixels = PicturePixels{};
}

bool MakePicturePixels(const std::string& path, const std::string& fallbackPath, int resolution,
                       int maxTextureSize, PicturePixels* pixels)
{
    *pixels = PicturePixels{};
    if (MakeOne(path, resolution, maxTextureSize, pixels))
        return true;
    if (!MakeOne(fallbackPath, resolution, maxTextureSize, pixels))
        return false;
    pixels->fallback = true;
    return true;
}

PictureWorker::~PictureWorker()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
        jobWaiting_ = false;
    }
    wake_.notify_one();
    if (thread_.joinable())
        thread_.join();
    FreePicturePixels(&result_);
}

void PictureWorker::Start(const std::string& path, const std::string& fallbackPath, int resolution,
                          int maxTextureSize)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        FreePicturePixels(&result_);  // an earlier result nobody took
        job_ = Job{path, fallbackPath, resolution, maxTextureSize, ++started_};
        jobWaiting_ = true;
    }
    outstanding_ = true;
    if (!thread_.joinable())
        thread_ = std::thread(&PictureWorker::Run, this);
    wake_.notify_one();
}

bool PictureWorker::TakeLocked(PicturePixels* pixels)
{
    if (!outstanding_ || finished_ != started_)
        return false;
    *pixels = result_;
    result_ = PicturePixels{};
    outstanding_ = false;
    return true;
}

bool PictureWorker::Take(PicturePixels* pixels)
{
    std::lock_guard<std::mutex> lock(mutex_);
    return TakeLocked(pixels);
}

bool PictureWorker::Wait(PicturePixels* pixels)
{
    std::unique_lock<std::mutex> lock(mutex_);
    if (!outstanding_)
        return false;
    done_.wait(lock, [this] { return finished_ == started_; });
    return TakeLocked(pixels);
}

void PictureWorker::Drop()
{
    std::lock_guard<std::mutex> lock(mutex_);
    jobWaiting_ = false;
    FreePicturePixels(&result_);
    finished_ = ++started_;  // a job still running finishes under an old number
    outstanding_ = false;
}

void PictureWorker::Run()
{
    // The frames come first: on two cores a decode at full priority halves
    // what a software renderer gets.
    LowerCurrentThreadPriority();
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stop_ || jobWaiting_; });
        if (stop_)
            return;
        const Job job = std::move(job_);
        jobWaiting_ = false;
        lock.unlock();
        PicturePixels made;
        MakePicturePixels(job.path, job.fallbackPath, job.resolution, job.maxTextureSize, &made);
        lock.lock();
        if (job.number == started_) {
            FreePicturePixels(&result_);
            result_ = made;
            finished_ = job.number;
            done_.notify_all();
        } else {
            FreePicturePixels(&made);  // dropped or overtaken meanwhile
        }
    }
}
