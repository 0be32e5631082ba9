// The picture worker: decoding and resampling off the frame, on a thread
// that touches nothing but the files and its own buffers.
#include "pictures/PictureWorker.h"

#include <cstdlib>
#include <utility>

#include "pictures/PictureSteps.h"
#include "platform/background_thread.h"

namespace {

bool MakeOne(const std::string& path, int resolution, int maxTextureSize, PicturePixels* pixels)
{
    if (path.empty())
        return false;
    PictureTexels texels;
    if (!MakePictureTexels(path.c_str(), resolution, maxTextureSize, &texels, true))
        return false;
    *pixels =
        PicturePixels{texels.texels, texels.width, texels.height, texels.pictureWidth, texels.pictureHeight, false};
    return true;
}

}  // namespace

void FreePicturePixels(PicturePixels* pixels)
{
    std::free(pixels->rgba);
    *pixels = PicturePixels{};
}

bool MakePicturePixels(const std::string& path, const std::string& fallbackPath, int resolution, int maxTextureSize,
                       PicturePixels* pixels)
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
    bool working = false;
    {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        shared_->stop = true;
        shared_->jobWaiting = false;
        working = shared_->working;
    }
    shared_->wake.notify_one();
    if (thread_.joinable()) {
        if (working)
            thread_.detach();  // it frees its pixels and the shared state when done
        else
            thread_.join();
    }
}

void PictureWorker::Start(const std::string& path, const std::string& fallbackPath, int resolution, int maxTextureSize)
{
    {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        FreePicturePixels(&shared_->result);  // an earlier result nobody took
        shared_->job = Job{path, fallbackPath, resolution, maxTextureSize, ++shared_->started};
        shared_->jobWaiting = true;
    }
    outstanding_ = true;
    if (!thread_.joinable())
        thread_ = std::thread(&PictureWorker::Run, shared_);
    shared_->wake.notify_one();
}

bool PictureWorker::TakeLocked(PicturePixels* pixels)
{
    if (!outstanding_ || shared_->finished != shared_->started)
        return false;
    *pixels = shared_->result;
    shared_->result = PicturePixels{};
    outstanding_ = false;
    return true;
}

bool PictureWorker::Take(PicturePixels* pixels)
{
    std::lock_guard<std::mutex> lock(shared_->mutex);
    return TakeLocked(pixels);
}

bool PictureWorker::Wait(PicturePixels* pixels)
{
    std::unique_lock<std::mutex> lock(shared_->mutex);
    if (!outstanding_)
        return false;
    shared_->done.wait(lock, [this] { return shared_->finished == shared_->started; });
    return TakeLocked(pixels);
}

void PictureWorker::Drop()
{
    std::lock_guard<std::mutex> lock(shared_->mutex);
    shared_->jobWaiting = false;
    FreePicturePixels(&shared_->result);
    shared_->finished = ++shared_->started;  // a job still running finishes under an old number
    outstanding_ = false;
}

void PictureWorker::Run(std::shared_ptr<Shared> shared)
{
    // The frames come first: on two cores a decode at full priority halves
    // what a software renderer gets.
    LowerCurrentThreadPriority();
    std::unique_lock<std::mutex> lock(shared->mutex);
    for (;;) {
        shared->wake.wait(lock, [&] { return shared->stop || shared->jobWaiting; });
        if (shared->stop)
            return;
        const Job job = std::move(shared->job);
        shared->jobWaiting = false;
        shared->working = true;
        lock.unlock();
        PicturePixels made;
        MakePicturePixels(job.path, job.fallbackPath, job.resolution, job.maxTextureSize, &made);
        lock.lock();
        shared->working = false;
        if (job.number == shared->started && !shared->stop) {
            FreePicturePixels(&shared->result);
            shared->result = made;
            shared->finished = job.number;
            shared->done.notify_all();
        } else {
            FreePicturePixels(&made);  // dropped, overtaken or abandoned meanwhile
        }
    }
}
