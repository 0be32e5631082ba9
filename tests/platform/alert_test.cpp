// Where alerts go: stderr by default, a recorder for tests.
#include "platform/alert.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(Alert, GoesToStderrByDefaultOnOneLine)
{
    AlertUseStderr();
    ::testing::internal::CaptureStderr();
    ShowAlert("Invalid Image", "TGA file be type 2 or type 10 ");
    ShowAlert(nullptr, nullptr);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "zarnet: Invalid Image: TGA file be type 2 or type 10 \nzarnet: : \n");
}

TEST(Alert, RecorderReceivesCaptionAndTextUntilReset)
{
    std::vector<std::string> seen;
    AlertSetRecorder([&](const char* caption, const char* text) { seen.push_back(std::string(caption) + "|" + text); });
    ShowAlert("ERROR", "Could not read RLE header");
    ShowAlert("ERROR", "%s%n");  // a text is never a format
    EXPECT_EQ(seen, (std::vector<std::string>{"ERROR|Could not read RLE header", "ERROR|%s%n"}));

    AlertSetRecorder(nullptr);  // an empty recorder means stderr again
    ::testing::internal::CaptureStderr();
    ShowAlert("ERROR", "x");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "zarnet: ERROR: x\n");
    EXPECT_EQ(seen.size(), 2u);
}

}  // namespace
