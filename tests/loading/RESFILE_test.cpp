// The lump container: header checks, the directory, seeking, and what a
// failed reader leaves behind.
#include "loading/RESFILE.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/loading/loading_test_files.h"
#include "tests/support/scratch_dir.h"

namespace {

using loadtest::Lump;
using loadtest::MakeContainer;

std::vector<Lump> ThreeLumps()
{
    return {{"first lump", 1, 0}, {"2nd", 7, 2}, {"the third and last lump", 1, 1}};
}

class ResfileTest : public ::testing::Test {
protected:
    // Writes `bytes` to a fresh file and returns its path.
    std::string Write(const std::string& bytes, const std::string& name = "c.vnt")
    {
        std::string path = dir_.Join(name);
        EXPECT_TRUE(WriteWholeFile(path, bytes));
        return path;
    }
    // Reads `n` bytes at the stream's position.
    static std::string ReadN(RESFILE& res, size_t n)
    {
        std::string s(n, '\0');
        res.stream.read(s.data(), static_cast<std::streamsize>(n));
        return res.stream ? s : std::string("<read failed>");
    }

    ScratchDir dir_;
};

TEST_F(ResfileTest, OpensAndSeeksToEveryLump)
{
    const std::vector<Lump> lumps = ThreeLumps();
    const std::string bytes = MakeContainer(lumps);
    RESFILE res;
    ASSERT_TRUE(res.Open(Write(bytes).c_str()));
    EXPECT_EQ(res.fileSize, bytes.size());
    EXPECT_EQ(res.header.lumpCount, 3u);
    ASSERT_NE(res.directory, nullptr);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(res.directory[i].size, lumps[i].bytes.size());
        EXPECT_EQ(res.directory[i].lumpType, lumps[i].lumpType);
        EXPECT_EQ(res.directory[i].alphaMode, lumps[i].alphaMode);
    }
    // Out of order, and back again: each seek lands on the lump's first byte.
    for (int i : {2, 0, 1, 2}) {
        ASSERT_TRUE(res.SeekLump(i)) << i;
        EXPECT_EQ(ReadN(res, lumps[i].bytes.size()), lumps[i].bytes) << i;
    }
}

TEST_F(ResfileTest, OutOfRangeIndexFailsAndLeavesTheStreamWhereItWas)
{
    RESFILE res;
    ASSERT_TRUE(res.Open(Write(MakeContainer(ThreeLumps())).c_str()));
    ASSERT_TRUE(res.SeekLump(1));
    res.stream.get();
    const std::streampos before = res.stream.tellg();
    for (int index : {-1, 3, 4, -2147483647 - 1, 2147483647}) {
        EXPECT_FALSE(res.SeekLump(index)) << index;
        EXPECT_EQ(res.stream.tellg(), before) << index;
    }
    EXPECT_TRUE(res.SeekLump(2));  // lumpCount - 1
}

TEST_F(ResfileTest, EmptyContainerOpensButHasNoLumps)
{
    RESFILE res;
    ASSERT_TRUE(res.Open(Write(MakeContainer({})).c_str()));
    EXPECT_EQ(res.header.lumpCount, 0u);
    EXPECT_FALSE(res.SeekLump(0));
    EXPECT_FALSE(res.SeekLump(-1));
}

TEST_F(ResfileTest, UninterpretedFieldsChangeNothing)
{
    const std::vector<Lump> lumps = ThreeLumps();
    RESFILE res;
    ASSERT_TRUE(res.Open(Write(MakeContainer(lumps, {0xDEADBEEF, 0xFFFFFFFF, 0xA5})).c_str()));
    EXPECT_EQ(res.header.lumpCount, 3u);
    ASSERT_TRUE(res.SeekLump(2));
    EXPECT_EQ(ReadN(res, lumps[2].bytes.size()), lumps[2].bytes);
    EXPECT_EQ(res.directory[1].lumpType, 7u);
}

TEST_F(ResfileTest, TwoEntriesMayShareOneLump)
{
    std::string bytes = MakeContainer({{"shared bytes", 1, 0}, {"other", 1, 0}});
    const size_t directory = bytes.size() - 2 * 28;
    loadtest::PutU32(bytes, directory + 28 + 4, 24);  // entry 1 points at lump 0's bytes
    RESFILE res;
    ASSERT_TRUE(res.Open(Write(bytes).c_str()));
    ASSERT_TRUE(res.SeekLump(0));
    EXPECT_EQ(ReadN(res, 12), "shared bytes");
    ASSERT_TRUE(res.SeekLump(1));
    EXPECT_EQ(ReadN(res, 12), "shared bytes");
}

// Every way the header can be wrong; each must fail without a crash and
// without allocating a directory it can't fill.
TEST_F(ResfileTest, RefusesBadHeaders)
{
    const std::string good = MakeContainer(ThreeLumps());
    struct Case {
        const char* what;
        std::string bytes;
    };
    std::vector<Case> cases;
    for (int i = 0; i < 4; ++i) {
        std::string b = good;
        b[i] = static_cast<char>(b[i] ^ 0x20);  // "vANF", "VaNF", ...
        cases.push_back({"magic byte changed", b});
    }
    cases.push_back({"one byte appended", good + '\0'});
    cases.push_back({"last byte removed", good.substr(0, good.size() - 1)});
    {
        std::string b = good;
        loadtest::PutU32(b, 16, static_cast<uint32_t>(good.size()));  // length, not its complement
        cases.push_back({"size check not complemented", b});
    }
    {
        std::string b = good;
        loadtest::PutU32(b, 20, static_cast<uint32_t>(good.size()) - 27);  // directory runs off the end
        cases.push_back({"directory past the end", b});
    }
    {
        std::string b = good;
        loadtest::PutU32(b, 20, 0xFFFFFFF0u);
        cases.push_back({"directory offset far beyond the file", b});
    }
    {
        std::string b = good;
        loadtest::PutU32(b, 12, 4);  // one entry more than the file holds
        cases.push_back({"one entry too many", b});
    }
    {
        std::string b = good;
        loadtest::PutU32(b, 12, 0xFFFFFFFFu);  // would be a 120 GB directory
        cases.push_back({"huge lump count", b});
    }
    {
        // 0x0924924A entries x 28 bytes wraps to 24 bytes in 32-bit arithmetic.
        std::string b = good;
        loadtest::PutU32(b, 12, 0x0924924Au);
        cases.push_back({"lump count whose directory size wraps in 32 bits", b});
    }
    cases.push_back({"empty file", ""});
    cases.push_back({"header only partly there", good.substr(0, 23)});

    for (const Case& c : cases) {
        RESFILE res;
        EXPECT_FALSE(res.Open(Write(c.bytes).c_str())) << c.what;
        EXPECT_EQ(res.directory, nullptr) << c.what;
        EXPECT_FALSE(res.SeekLump(0)) << c.what;
    }
}

TEST_F(ResfileTest, MissingFileAndCallsOutOfOrder)
{
    RESFILE res;
    EXPECT_FALSE(res.SeekLump(0));  // before Open
    EXPECT_FALSE(res.Open(dir_.Join("no-such-file").c_str()));
    EXPECT_FALSE(res.Open(nullptr));
    EXPECT_FALSE(res.SeekLump(0));

    RESFILE opened;
    ASSERT_TRUE(opened.Open(Write(MakeContainer(ThreeLumps())).c_str()));
    opened.Close();
    opened.Close();  // harmless twice
    EXPECT_FALSE(opened.stream.is_open());
    EXPECT_EQ(opened.directory, nullptr);
    EXPECT_FALSE(opened.SeekLump(0));
}

// A lump reader that ran past the end leaves the stream failed; the
// container doesn't clear that, so every later seek fails.
TEST_F(ResfileTest, AReaderThatRanPastTheEndPoisonsLaterSeeks)
{
    RESFILE res;
    ASSERT_TRUE(res.Open(Write(MakeContainer(ThreeLumps())).c_str()));
    ASSERT_TRUE(res.SeekLump(2));
    char big[4096];
    res.stream.read(big, sizeof big);
    ASSERT_TRUE(res.stream.fail());
    for (int i = 0; i < 3; ++i) {
        EXPECT_FALSE(res.SeekLump(i)) << i;
    }
}

// Reading up to, but not past, the last byte is no failure.
TEST_F(ResfileTest, ReadingExactlyToTheEndDoesNotPoison)
{
    const std::vector<Lump> lumps = ThreeLumps();
    const std::string bytes = MakeContainer(lumps);
    RESFILE res;
    ASSERT_TRUE(res.Open(Write(bytes).c_str()));
    ASSERT_TRUE(res.SeekLump(0));
    std::string rest(bytes.size() - 24, '\0');
    res.stream.read(rest.data(), static_cast<std::streamsize>(rest.size()));
    ASSERT_FALSE(res.stream.fail());
    EXPECT_TRUE(res.SeekLump(1));
}

// Every prefix of a valid container, with its size check made to match so
// that the directory checks are what must catch it, fails cleanly; so does
// every prefix as it is.
TEST_F(ResfileTest, EveryTruncationFails)
{
    const std::string good = MakeContainer(ThreeLumps());
    const std::string path = dir_.Join("cut.vnt");
    for (size_t length = 0; length < good.size(); ++length) {
        std::string cut = good.substr(0, length);
        for (bool fixed : {false, true}) {
            if (fixed) {
                loadtest::FixSizeCheck(cut);
            }
            ASSERT_TRUE(WriteWholeFile(path, cut));
            RESFILE res;
            EXPECT_FALSE(res.Open(path.c_str())) << "length " << length << (fixed ? " (size check fixed)" : "");
        }
    }
}

TEST_F(ResfileTest, DestroyingAfterAFailedOpenAtAnyStepReleasesEverything)
{
    // The leak checker and ASan watch these: each object dies after a
    // different failed step.
    const std::string good = MakeContainer(ThreeLumps());
    std::string badMagic = good;
    badMagic[0] = 'X';
    std::string badDirectory = good;
    loadtest::PutU32(badDirectory, 20, static_cast<uint32_t>(good.size()) - 1);
    for (const std::string& bytes : {std::string("VAN"), badMagic, badDirectory, good + "x"}) {
        auto* res = new RESFILE;
        EXPECT_FALSE(res->Open(Write(bytes).c_str()));
        delete res;
    }
}

}  // namespace
