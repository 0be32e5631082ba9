// A long unattended run of `zarnet --record` over a folder of mixed pictures
// (some damaged), with forced picture changes and size changes: what the
// process holds stays flat after the first cycle and every assembling ends in
// a countdown. ZARNET_SOAK_SECONDS sets a longer run than CI's (tools/soak.sh
// runs seven days), ZARNET_SOAK_KEEP a folder to keep the report in.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <string>
#include <vector>

#include "tests/soak/soak_report.h"
#include "tests/support/picture_writers.h"

namespace {

using testpics::Kind;

// The mixed folder: every kind the folder source takes, sizes from a few
// pixels to a few megapixels, odd shapes; then files that give no picture.
void MakeMixedFolder(const std::string& folder)
{
    struct Picture {
        const char* name;
        Kind kind;
        int width, height;
    };
    const Picture pictures[] = {
        {"tiny.png", Kind::Png, 3, 2},           {"strip.jpg", Kind::Jpeg, 1200, 40},
        {"tower.gif", Kind::Gif, 30, 700},       {"photo.jpg", Kind::Jpeg, 2400, 1600},
        {"portrait.JPG", Kind::Jpeg, 900, 1350}, {"grey.jpg", Kind::GreyJpeg, 640, 480},
        {"deep.png", Kind::Png16, 800, 600},     {"wide.png", Kind::Png, 1920, 1080},
        {"square.gif", Kind::Gif, 512, 512},     {"odd.png", Kind::Png, 723, 725},
        {"small.jpg", Kind::Jpeg, 160, 120},     {"Screen Shot.PNG", Kind::Png, 1366, 768},
    };
    for (const Picture& p : pictures) {
        testpics::Bytes rgb = testpics::PatternPixels(p.width, p.height, 3);
        if (p.kind == Kind::Gif)  // at most 256 colours
            for (unsigned char& c : rgb)
                c &= 0xC0;
        const testpics::Bytes bytes = testpics::EncodeAs(p.kind, p.width, p.height, rgb);
        ASSERT_FALSE(bytes.empty()) << p.name;
        ASSERT_TRUE(WriteWholeFile(folder + "/" + p.name, bytes)) << p.name;
    }
    // RGBA and interlaced PNG.
    ASSERT_TRUE(WriteWholeFile(folder + "/alpha.png",
                               testpics::EncodePng(300, 200, 6, 8, testpics::PatternPixels(300, 200, 4))));
    ASSERT_TRUE(WriteWholeFile(folder + "/interlaced.png",
                               testpics::EncodePng(400, 300, 2, 8, testpics::PatternPixels(400, 300, 3), true)));
    // Damaged: a JPEG and a PNG cut short, text named like a GIF, an empty
    // PNG, a folder named like a JPEG.
    const testpics::Bytes jpeg = testpics::EncodeAs(Kind::Jpeg, 640, 480, testpics::PatternPixels(640, 480, 3));
    ASSERT_TRUE(WriteWholeFile(folder + "/cut.jpg", testpics::Bytes(jpeg.begin(), jpeg.begin() + jpeg.size() / 3)));
    const testpics::Bytes png = testpics::EncodeAs(Kind::Png, 640, 480, testpics::PatternPixels(640, 480, 3));
    ASSERT_TRUE(WriteWholeFile(folder + "/cut.png", testpics::Bytes(png.begin(), png.begin() + png.size() / 2)));
    ASSERT_TRUE(WriteWholeFile(folder + "/notes.gif", std::string("not a picture\n")));
    ASSERT_TRUE(WriteWholeFile(folder + "/empty.png", std::string()));
    ASSERT_EQ(mkdir((folder + "/album.jpg").c_str(), 0755), 0);
}

// The ceiling of resident memory for a folder of pictures of at most a few
// megapixels; AddressSanitizer's shadow and quarantine take about as much
// again twice over.
#if defined(__SANITIZE_ADDRESS__)
constexpr double kMemoryCeilingKb = 3 * 384 * 1024;
#else
constexpr double kMemoryCeilingKb = 384 * 1024;
#endif

double SoakSeconds()
{
    const char* text = std::getenv("ZARNET_SOAK_SECONDS");
    return text && std::atof(text) > 0 ? std::atof(text) : 3 * 3600.0;  // three simulated hours
}

TEST(Soak, FolderSourceHoldsFlatOverManyCycles)
{
    ScratchDir dir;
    ASSERT_EQ(mkdir(dir.Join("pictures").c_str(), 0755), 0);
    MakeMixedFolder(dir.Join("pictures"));
    ASSERT_TRUE(WriteFolderSettings(dir.Path(), dir.Join("pictures"), 11, 75));

    const double seconds = SoakSeconds();
    const char* keep = std::getenv("ZARNET_SOAK_KEEP");
    const std::string report = keep && *keep ? std::string(keep) + "/soak.jsonl" : dir.Join("soak.jsonl");
    // Steps of half a second at a small viewport: the frame loop takes any
    // step up to 2 s, and the board's cost barely depends on the pixels.
    ASSERT_EQ(RunRecorder(dir.Join("frames"),
                          "--size 64x48 --seconds " + std::to_string(seconds) +
                              " --fps 2 --seed 11 --every 1000000 --picture-change-every 1800 --resize-every 240 "
                              "--sample-every 1200",
                          report, dir.Path(), 24 * 3600 * 1000),
              0);

    SoakSample end;
    const std::vector<SoakSample> samples = ReadSoakReport(report, &end);
    ASSERT_TRUE(end.count("t")) << "no summary in " << report;
    ASSERT_GE(samples.size(), 3u);
    std::printf("soak: %.0f simulated s in %.0f s, %.0f frames, %.0f cycles, %.0f forced picture changes, "
                "%.0f size changes, assembling median %.0f s, longest %.1f s, frames median %.2f ms, max %.2f ms, "
                "peak %.0f kB\n",
                end.at("t"), end.at("wallS"), end.at("frames"), end.at("cycles"), end.at("forcedChanges"),
                end.at("resizes"), end.at("medianAssemblingS"), end.at("longestAssemblingS"), end.at("medianFrameMs"),
                end.at("maxFrameMs"), end.at("hwmKb"));

    // Every cycle runs to its end: a cycle of a board this size takes a few
    // simulated minutes, so there is one for at least every fifteen. (The
    // board is 11 pieces across so that even the strip and the tower give
    // more than 20 pieces: on a board of 20 or fewer one group of the whole
    // board holds all but its root, 19 of 20 at best, short of the 95 % the
    // countdown needs, and such a board stays assembling for good.)
    EXPECT_GE(end.at("cycles"), seconds / 900.0);
    EXPECT_EQ(end.at("nonFiniteFrames"), 0);
    // A forced change is skipped while a picture change is under way.
    EXPECT_GE(end.at("forcedChanges"), seconds / 1800.0 / 2.0);
    // No assembling is cut short by a forced change after half an hour, and
    // none that ended took that long: every board reaches its countdown.
    EXPECT_LT(end.at("longestAssemblingS"), 1800.0);
    EXPECT_LT(end.at("assemblingNowS"), 1800.0);
    EXPECT_LE(end.at("assemblingCut"), end.at("forcedChanges"));

    // Flat from the first sample after the first completed cycle on:
    // descriptors, threads and GL objects the same in every sample, resident
    // memory under its ceiling, and what the program holds from the
    // allocator settled: over the later half of these samples it may not
    // exceed the earlier half's peak by more than the largest picture can
    // hold at once (its 2048 x 2048 RGBA texture, the spare, and the
    // 2400 x 1600 photo being decoded into the next one; which of them are
    // alive at a sample depends on the worker's timing). Resident memory
    // grows for longer (the allocator keeps freed decoder buffers, the
    // software renderer its caches), hence the ceiling instead.
    std::vector<SoakSample> after;
    std::copy_if(samples.begin(), samples.end(), std::back_inserter(after),
                 [](const SoakSample& s) { return s.count("cycles") && s.at("cycles") >= 1; });
    ASSERT_GE(after.size(), 4u) << "samples after the first cycle";
    double peaks[2] = {0.0, 0.0};  // of the earlier and the later half
    for (size_t i = 0; i < after.size(); ++i) {
        const SoakSample& s = after[i];
        for (const char* key : {"fds", "threads", "textures", "lists"})
            EXPECT_EQ(s.at(key), after[0].at(key)) << key << " at t " << s.at("t");
        EXPECT_LT(s.at("rssKb"), kMemoryCeilingKb) << "at t " << s.at("t");
        peaks[i >= after.size() / 2] = std::max(peaks[i >= after.size() / 2], s.at("heapKb"));
    }
    EXPECT_LE(peaks[1], peaks[0] + 48 * 1024) << "allocated memory grows";
}

}  // namespace
