// The data files ("zar.vnt", "vantor.morvence") missing or damaged: the view
// never crashes; without a puzzle it draws black frames and the user is told
// once, naming the folder (after the reader's own words for a refused image).
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "engine/SSMAIN.h"
#include "host/ZarnetView.h"
#include "platform/headless_backend.h"
#include "tests/loading/loading_test_files.h"
#include "tests/support/scratch_dir.h"

namespace {

TEST(DataFileFaults, MissingOrDamagedDataFilesAreToldOnceAndNeverCrash)
{
    for (const std::string file : {"zar.vnt", "vantor.morvence"})
        for (const std::string damage :
             {"missing", "cut in half", "random bytes", "random behind its header", "a picture it refuses"}) {
            const bool refused = damage == "a picture it refuses";
            if (refused && file != "vantor.morvence")
                continue;
            SCOPED_TRACE(file + ", " + damage);
            ScratchDir dir;
            for (const char* name : {"zar.vnt", "vantor.morvence", "zarnet-default.png"})
                std::filesystem::copy_file(std::string(ZARNET_BUILD_RESOURCES) + name, dir.Join(name));
            std::string bytes;
            ASSERT_TRUE(ReadWholeFile(dir.Join(file), &bytes));
            std::mt19937 random(3);
            if (damage == "cut in half")
                bytes.resize(bytes.size() / 2);
            for (size_t i = damage == "random bytes" ? 0 : 24; damage.rfind("random", 0) == 0 && i < bytes.size(); ++i)
                bytes[i] = static_cast<char>(random());
            if (refused)  // a good picture, then a grey one (type 3)
                bytes = loadtest::MakeContainer(
                    {{loadtest::UncompressedTga(2, 2, 24, loadtest::TgaPattern(2, 2, 24)), 1, 0},
                     {loadtest::TgaHeaders(3, 2, 2, 24) + std::string(12, 'x'), 1, 0}});
            ASSERT_TRUE(damage == "missing" ? std::filesystem::remove(dir.Join(file))
                                            : WriteWholeFile(dir.Join(file), bytes));

            HeadlessDesktop desktop;
            desktop.screens = MakeVirtualScreens({{0, 0, 160, 100}}, 0);
            desktop.preferenceFolder = dir.Join("config");
            desktop.resourcePath = dir.Path();
            const SaverBackend backend = ConnectHeadless(&desktop);
            const SaverWindow window{0, false, 0, {160, 100}};
            std::vector<std::string> alerts;
            {
                ZarnetView view(&backend, &window);
                view.setAlertRoute([&](const char* caption, const char* text) {
                    alerts.push_back(caption + (": " + std::string(text)));
                });
                ASSERT_TRUE(view.initWithFrame({0, 0, 160, 100}, false) && view.glView) << "no headless GL";
                view.setFrameSize({160, 100});
                view.startAnimation();
                for (int i = 1; i <= 20; ++i) {
                    desktop.monotonic = 1000.0 + i * 0.03125;
                    view.animateOneFrame();
                }
                EXPECT_GE(view.glView->flushCount, 19) << "frames stopped";
                const bool made = view.ssMain && view.ssMain->puzzle;
                ASSERT_EQ(alerts.size(), made ? 0u : refused ? 2u : 1u);
                if (refused) {
                    EXPECT_EQ(alerts[0], "Invalid Image: TGA file be type 2 or type 10 ");
                }
                EXPECT_TRUE(made || alerts.back().find(dir.Path()) != std::string::npos) << alerts.back();
                const std::vector<uint8_t> frame = HeadlessReadPixels(view.glView);
                int lit = 0;  // of the last frame's colour samples; black without a puzzle
                for (size_t k = 0; k < frame.size(); ++k)
                    lit += k % 4 != 3 && frame[k] > 0;
                EXPECT_EQ(made, lit > 0) << lit;
            }
        }
}

}  // namespace
