// The picture worker: pixels made off the caller's thread equal the ones
// made on it, the fallback stands in for a failed file, a newer job
// overtakes an older one, and dropped or abandoned jobs free what they made.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "pictures/PictureSteps.h"
#include "pictures/PictureWorker.h"
#include "tests/support/picture_writers.h"
#include "tests/support/scratch_dir.h"

using testpics::Bytes;

namespace {

// The texels MakePictureTexels gives, widened to opaque RGBA.
std::vector<unsigned char> ExpectedRgba(const std::string& path, int resolution)
{
    PictureTexels texels;
    if (!MakePictureTexels(path.c_str(), resolution, 0, &texels))
        return {};
    const size_t c = texels.type == 0x1908 /* GL_RGBA */ ? 4 : 3;
    std::vector<unsigned char> rgba;
    for (size_t i = 0; i < size_t(texels.width) * size_t(texels.height); ++i) {
        rgba.insert(rgba.end(), texels.texels + i * c, texels.texels + i * c + 3);
        rgba.push_back(255);
    }
    std::free(texels.texels);
    return rgba;
}

std::vector<unsigned char> Rgba(const PicturePixels& p)
{
    return p.rgba ? std::vector<unsigned char>(p.rgba, p.rgba + size_t(p.width) * size_t(p.height) * 4)
                  : std::vector<unsigned char>();
}

class PictureWorkerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const Bytes rgb = testpics::PatternPixels(60, 40, 3), rgba = testpics::PatternPixels(30, 50, 4);
        ASSERT_TRUE(WriteWholeFile(dir.Join("wide.png"), testpics::EncodePng(60, 40, 2, 8, rgb)));
        ASSERT_TRUE(WriteWholeFile(dir.Join("tall.png"), testpics::EncodePng(30, 50, 6, 8, rgba)));
        ASSERT_TRUE(WriteWholeFile(dir.Join("photo.jpg"), testpics::EncodeJpeg(60, 40, 3, rgb)));
        ASSERT_TRUE(WriteWholeFile(dir.Join("bad.png"), std::string("not a picture")));
    }
    ScratchDir dir;
};

TEST_F(PictureWorkerTest, MakesWhatTheLoaderMakesOrTheFallbackOrNothing)
{
    const struct {
        const char *path, *fallback;
        int resolution;
        const char* gives;  // the file whose picture comes out; null: none
        int width, height;  // its own size
    } cases[] = {
        // (A bad file or none given, with a fallback or without: next_picture_gl_test.cpp.)
        {"wide.png", "tall.png", 2, "wide.png", 60, 40},
        {"tall.png", "", 0, "tall.png", 30, 50},  // RGBA picture: alpha made opaque
        {"photo.jpg", "", 1, "photo.jpg", 60, 40},
        {"missing.png", "wide.png", 0, "wide.png", 60, 40},
        {"bad.png", "bad.png", 2, nullptr, 0, 0},
        {"", "", 0, nullptr, 0, 0},
    };
    PictureWorker worker;  // one worker for every job, as the engine keeps it
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.path) + " / " + c.fallback);
        const std::string path = *c.path ? dir.Join(c.path) : "", fallback = *c.fallback ? dir.Join(c.fallback) : "";
        worker.Start(path, fallback, c.resolution, 0);
        EXPECT_TRUE(worker.Busy());
        PicturePixels made;
        ASSERT_TRUE(worker.Wait(&made));
        EXPECT_FALSE(worker.Busy());
        EXPECT_FALSE(worker.Take(&made));  // taken once only
        EXPECT_EQ(Rgba(made), c.gives ? ExpectedRgba(dir.Join(c.gives), c.resolution) : std::vector<unsigned char>());
        EXPECT_EQ(made.fallback, c.gives != nullptr && std::string(c.gives) != c.path);
        EXPECT_EQ(made.pictureWidth, c.width);
        EXPECT_EQ(made.pictureHeight, c.height);
        FreePicturePixels(&made);
        FreePicturePixels(&made);  // safe twice
    }
}

TEST_F(PictureWorkerTest, TheLastJobWinsAndDroppedOrAbandonedJobsFreeTheirPixels)
{
    PictureWorker worker;
    PicturePixels made;
    EXPECT_FALSE(worker.Take(&made));  // no job yet
    EXPECT_FALSE(worker.Wait(&made));
    // Jobs started in quick succession: only the last one's result is seen.
    for (int round = 0; round < 50; ++round) {
        worker.Start(dir.Join("wide.png"), "", 2, 0);
        worker.Start(dir.Join(round % 2 ? "tall.png" : "photo.jpg"), "", 2, 0);
        ASSERT_TRUE(worker.Wait(&made));
        EXPECT_EQ(made.pictureWidth, round % 2 ? 30 : 60);
        FreePicturePixels(&made);
    }
    // A dropped job gives nothing, also once it has finished.
    for (int round = 0; round < 50; ++round) {
        worker.Start(dir.Join("photo.jpg"), "", 1, 0);
        worker.Drop();
        EXPECT_FALSE(worker.Busy());
        EXPECT_FALSE(worker.Wait(&made));
        EXPECT_FALSE(worker.Take(&made));
    }
    // Polling sees the job finish; then a new job after a drop works as ever.
    worker.Start(dir.Join("tall.png"), "", 0, 0);
    while (!worker.Take(&made)) {}
    EXPECT_EQ(Rgba(made).size(), size_t(512 * 512 * 4));
    FreePicturePixels(&made);
    // Workers destroyed with a job running, waiting or finished but not taken.
    for (int k = 0; k < 3; ++k) {
        PictureWorker abandoned;
        abandoned.Start(dir.Join("photo.jpg"), "", 1, 0);
        if (k > 0)
            abandoned.Start(dir.Join("wide.png"), "", 1, 0);
        if (k > 1) {
            while (abandoned.Busy() && !abandoned.Take(&made)) {}
            FreePicturePixels(&made);
            abandoned.Start(dir.Join("wide.png"), "", 1, 0);
        }
    }
}

TEST_F(PictureWorkerTest, AWorkerGoingAwayDoesntWaitForTheDecodeInProgress)
{
    // A picture whose making takes a while, timed through to the end first.
    ASSERT_TRUE(WriteWholeFile(dir.Join("large.jpg"),
                               testpics::EncodeJpeg(3000, 2000, 3, testpics::PatternPixels(3000, 2000, 3))));
    using Clock = std::chrono::steady_clock;
    const int fds = testpics::CountOpenFds();
    double whole = 0.0;
    {
        PictureWorker worker;
        const auto start = Clock::now();
        worker.Start(dir.Join("large.jpg"), "", 2, 0);
        PicturePixels made;
        ASSERT_TRUE(worker.Wait(&made));
        whole = std::chrono::duration<double>(Clock::now() - start).count();
        FreePicturePixels(&made);
    }
    for (int k = 0; k < 3; ++k) {
        auto* worker = new PictureWorker;
        worker->Start(dir.Join("large.jpg"), "", 2, 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(5 * k));
        const auto start = Clock::now();
        delete worker;  // the thread, if it is decoding, finishes alone and frees its pixels
        EXPECT_LT(std::chrono::duration<double>(Clock::now() - start).count(), whole / 2) << k;
    }
    // The threads left alone close the file when they are done with it; the
    // tests after this one count open files.
    for (int wait = 0; wait < 1000 && testpics::CountOpenFds() > fds; ++wait)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

}  // namespace
