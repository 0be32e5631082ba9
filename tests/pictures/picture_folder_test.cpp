// Choosing pictures from a folder: kinds by lower-cased extension, names as
// stored, the n-th match, the random choice, path joining, no leaked handles.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <set>
#include <string>

#include "pictures/PictureSteps.h"
#include "pictures/Pictures.h"
#include "tests/support/picture_writers.h"

namespace {

// The folder of the classic mix: one of each kind, plus names that must not count.
class MixedFolder : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(folder_.Path().empty());
        for (const char* name : {"a.jpg", "B.GIF", "c.Png", "d.jpeg", "e.txt", ".jpg"}) {
            ASSERT_TRUE(testpics::WriteFileBytes(folder_.Join(name), {1, 2, 3}));
        }
        path_ = folder_.Path();
    }
    char* Folder() { return path_.data(); }

    testpics::TempFolder folder_;
    std::string path_;
};

TEST_F(MixedFolder, CountsEachKindByLowerCasedExtension) {
    EXPECT_EQ(CountFiles(Folder(), ".jpg"), 1);  // a.jpg; not d.jpeg, not the bare ".jpg"
    EXPECT_EQ(CountFiles(Folder(), ".gif"), 1);
    EXPECT_EQ(CountFiles(Folder(), ".png"), 1);
    EXPECT_EQ(CountFiles(Folder(), ".txt"), 1);
    EXPECT_EQ(CountFiles(Folder(), ".jpeg"), 1);
}

TEST_F(MixedFolder, FindsNamesAsStoredAndStopsAtTheCount) {
    struct Case {
        const char* extension;
        int n;
        bool found;
        const char* name;
    };
    Case const cases[] = {
        {".jpg", 0, true, "a.jpg"}, {".gif", 0, true, "B.GIF"}, {".png", 0, true, "c.Png"},
        {".jpg", 1, false, ""},     {".gif", 1, false, ""},     {".png", 5, false, ""},
        {".bmp", 0, false, ""},     {".jpg", -1, false, ""},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(testing::Message() << c.extension << " #" << c.n);
        char name[1024] = "untouched";
        std::string extension = c.extension;
        EXPECT_EQ(FindNthFile(Folder(), name, extension.data(), c.n), c.found);
        EXPECT_STREQ(name, c.found ? c.name : "untouched");
    }
}

TEST_F(MixedFolder, RandomChoiceFollowsKindOrderAndNeverPicksOtherNames) {
    // rand() % 3 names jpg, gif, png in that order.
    const char* const byIndex[] = {"a.jpg", "B.GIF", "c.Png"};
    std::set<std::string> seen;
    for (unsigned seed = 1; seed <= 60; ++seed) {
        std::srand(seed);
        int const r = std::rand() % 3;
        std::srand(seed);
        char name[1024] = "";
        ASSERT_TRUE(ChooseRandomImageFile(Folder(), name));
        EXPECT_STREQ(name, byIndex[r]);
        seen.insert(name);
    }
    EXPECT_EQ(seen.size(), 3u);
}

TEST(PictureFolder, MissingOrEmptyFolderHasNothingToChoose) {
    testpics::TempFolder folder;
    std::string empty = folder.Path();
    std::string missing = folder.Join("not-there");
    for (std::string* path : {&empty, &missing}) {
        SCOPED_TRACE(*path);
        EXPECT_EQ(CountFiles(path->c_str(), ".jpg"), 0);
        char name[1024] = "untouched";
        char jpg[] = ".jpg";
        EXPECT_FALSE(FindNthFile(path->data(), name, jpg, 0));
        EXPECT_FALSE(ChooseRandomImageFile(path->data(), name));
        EXPECT_STREQ(name, "untouched");
    }
}

TEST(PictureFolder, SubFolderWithAPictureNameCounts) {
    testpics::TempFolder folder;
    ASSERT_EQ(mkdir(folder.Join("x.jpg").c_str(), 0700), 0);
    std::string path = folder.Path();
    EXPECT_EQ(CountFiles(path.c_str(), ".jpg"), 1);
    char name[1024] = "";
    ASSERT_TRUE(ChooseRandomImageFile(path.data(), name));
    EXPECT_STREQ(name, "x.jpg");
}

TEST(PictureFolder, EveryMatchIsFoundOnceInDirectoryOrder) {
    testpics::TempFolder folder;
    std::set<std::string> written;
    for (int i = 0; i < 25; ++i) {
        std::string const name = "p" + std::to_string(i) + (i % 2 ? ".PNG" : ".png");
        ASSERT_TRUE(testpics::WriteFileBytes(folder.Join(name), {0}));
        written.insert(name);
    }
    std::string path = folder.Path();
    char png[] = ".png";
    ASSERT_EQ(CountFiles(path.c_str(), png), 25);
    std::set<std::string> found;
    for (int n = 0; n < 25; ++n) {
        char name[1024] = "";
        ASSERT_TRUE(FindNthFile(path.data(), name, png, n));
        found.insert(name);
    }
    EXPECT_EQ(found, written);
    char name[1024];
    EXPECT_FALSE(FindNthFile(path.data(), name, png, 25));
}

TEST(PictureFolder, JoinsFolderAndName) {
    struct Case {
        std::string folder, name;
        bool ok;
        std::string path;
    };
    std::string const long1000(1000, 'f');
    Case const cases[] = {
        {"/tmp/pics", "B.GIF", true, "/tmp/pics/B.GIF"},
        {"/tmp/pics/", "B.GIF", true, "/tmp/pics/B.GIF"},
        {"/", "a.jpg", true, "/a.jpg"},
        {"ab", "a.jpg", true, "ab/a.jpg"},     // short folders get their slash too
        {".", "a.jpg", true, "./a.jpg"},
        {"abc", "a.jpg", true, "abc/a.jpg"},
        {"", "a.jpg", true, "a.jpg"},
        {"/" + long1000, std::string(22, 'n'), true, "/" + long1000 + "/" + std::string(22, 'n')},  // 1024
        {"/" + long1000, std::string(23, 'n'), false, ""},                                          // 1025
        {"/" + long1000 + "/", std::string(22, 'n'), true, "/" + long1000 + "/" + std::string(22, 'n')},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.folder.substr(0, 20) + " + " + c.name.substr(0, 20));
        char path[kPicturePathSize];
        EXPECT_EQ(JoinPicturePath(c.folder.c_str(), c.name.c_str(), path), c.ok);
        EXPECT_EQ(std::string(path), c.path);
    }
}

TEST_F(MixedFolder, LeavesNoFolderHandleOpen) {
    int const before = testpics::CountOpenFds();
    ASSERT_GT(before, 0);
    std::string missing = folder_.Join("gone");
    for (int i = 0; i < 300; ++i) {
        char name[1024];
        char gif[] = ".gif";
        ChooseRandomImageFile(Folder(), name);
        FindNthFile(Folder(), name, gif, i % 3);  // found, then not found twice
        CountFiles(missing.c_str(), gif);
        ChooseRandomImageFile(missing.data(), name);
    }
    EXPECT_EQ(testpics::CountOpenFds(), before);
}

}  // namespace
