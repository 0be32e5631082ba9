// Writes small valid inputs for the harnesses into DIR/<harness name>, using
// the same writers as the unit tests: a harness's first byte (where it has
// one) is chosen so that the seeds cover each of its routes.
#include <sys/stat.h>
#include <webp/encode.h>

#include <cstdio>
#include <string>
#include <vector>

#include "fuzz/wallpaper_inputs.h"
#include "tests/loading/loading_test_files.h"
#include "tests/support/picture_writers.h"

namespace {

bool Save(const std::string& path, const std::string& bytes)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        return false;
    }
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

std::string Text(const testpics::Bytes& bytes)
{
    return std::string(bytes.begin(), bytes.end());
}

std::string Webp(int width, int height)
{
    const testpics::Bytes rgba = testpics::PatternPixels(width, height, 4);
    uint8_t* out = nullptr;
    const size_t size = WebPEncodeLosslessRGBA(rgba.data(), width, height, width * 4, &out);
    std::string bytes(reinterpret_cast<const char*>(out), size);
    WebPFree(out);
    return bytes;
}

// One small picture of every kind the decoder reads.
std::vector<std::pair<std::string, std::string>> Pictures()
{
    using namespace testpics;
    const Bytes rgb = PatternPixels(24, 16, 3);
    return {{"png", Text(EncodeAs(Kind::Png, 24, 16, rgb))},
            {"png_rgba", Text(EncodePng(5, 3, 6, 8, PatternPixels(5, 3, 4)))},
            {"png16", Text(EncodeAs(Kind::Png16, 6, 4, PatternPixels(6, 4, 3)))},
            {"jpeg", Text(EncodeAs(Kind::Jpeg, 24, 16, rgb))},
            {"jpeg_grey", Text(EncodeAs(Kind::GreyJpeg, 16, 8, PatternPixels(16, 8, 3)))},
            {"gif", Text(EncodeAs(Kind::Gif, 8, 6, Bytes(8 * 6 * 3, 90)))},
            {"webp", Webp(7, 5)},
            {"svg", "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"20\" height=\"10\" viewBox=\"0 0 20 10\">"
                    "<rect width=\"20\" height=\"10\" fill=\"#3a6\"/><circle cx=\"5\" cy=\"5\" r=\"4\" "
                    "fill=\"#fff\" fill-opacity=\"0.5\"/></svg>\n"}};
}

std::string Settings(const std::string& body)
{
    return "[vmZarnetSS]\n" + body;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DIR\n", argv[0]);
        return 2;
    }
    using namespace loadtest;
    const std::string dir = argv[1];
    mkdir(dir.c_str(), 0755);
    for (const char* harness : {"fuzz_container_model", "fuzz_tga", "fuzz_picture_decoder", "fuzz_picture_upload",
                                "fuzz_keyfile_store", "fuzz_wallpaper"}) {
        mkdir((dir + "/" + harness).c_str(), 0755);
    }
    const std::string models = dir + "/fuzz_container_model/", tgas = dir + "/fuzz_tga/";

    Model small = SmallModel();
    Model v3 = SmallModel();
    v3.version = 3;
    v3.joints.clear();
    v3.materials = 0;
    bool ok = Save(models + "model_v4", "\x01" + WriteModel(small)) &&
              Save(models + "model_v3", "\x01" + WriteModel(v3)) &&
              Save(models + "container",
                   std::string(1, '\0') + MakeContainer({{WriteModel(small), 0, 0}, {WriteModel(v3), 1, 2}}));

    ok = ok && Save(tgas + "rgb_uncompressed", UncompressedTga(4, 3, 24, TgaPattern(4, 3, 24))) &&
         Save(tgas + "rgba_uncompressed", UncompressedTga(3, 2, 32, TgaPattern(3, 2, 32))) &&
         Save(tgas + "rgb_rle",
              CompressedTga(
                  4, 2, 24,
                  {{false, 3, {1, 2, 3, 4, 5, 6, 7, 8, 9}}, {true, 4, {10, 11, 12}}, {false, 1, {13, 14, 15}}})) &&
         Save(tgas + "rgba_rle",
              CompressedTga(2, 2, 32, {{true, 2, {1, 2, 3, 4}}, {false, 2, {5, 6, 7, 8, 9, 10, 11, 12}}}));

    // Pictures: full size and a size need for the decoder; for the upload
    // code 2 on both routes (shares of 5 rows), and codes 0 and 1 once each.
    int k = 0;
    for (const auto& [name, bytes] : Pictures()) {
        ok = ok && Save(dir + "/fuzz_picture_decoder/" + name, std::string(1, k % 2 ? '\x01' : '\0') + bytes) &&
             Save(dir + "/fuzz_picture_upload/" + name, std::string(1, k % 2 ? '\x21' : '\x00') + bytes);
        ++k;
    }
    ok = ok && Save(dir + "/fuzz_picture_upload/png_code0", std::string(1, '\x1E') + Pictures()[0].second) &&
         Save(dir + "/fuzz_picture_upload/jpeg_code1_folder", std::string(1, '\x3F') + Pictures()[3].second);

    // Settings files: as the saver writes them, and as a hand or an older
    // version may leave them.
    const std::string keyfiles = dir + "/fuzz_keyfile_store/";
    ok = ok &&
         Save(keyfiles + "saved", Settings("version=1\nMainMonitorOnly=false\nLockInPlace=true\nPuzzleWidth=8\n"
                                           "Percentage=75\nBGType=2\nBGPath=/home/user/Pictures\nBGRes=2\n")) &&
         Save(keyfiles + "escapes", Settings("# kept comment\nBGPath=/home/user/My\\sPictures\\\\x\\n\n"
                                             "PuzzleWidth= +12 \nMainMonitorOnly=1\nBGType=9223372036854775808\n")) &&
         Save(keyfiles + "not_utf8", Settings("BGPath=/home/user/Bilder\xe4\\t\nBGRes=-1\n[Other]\nBGType=1\n")) &&
         Save(keyfiles + "locale", Settings("BGPath[de]=/home/user/Bilder\nBGPath=/p\nBGPath=/q\nversion=true\n"));

    // Wallpaper settings of every source naming the pictures the harness lays out.
    const std::string root = kWallpaperRoot;
    const std::string sep = kPartSeparator;
    const std::string xml = "<background><starttime><year>2020</year></starttime><static><duration>60</duration><file>"
                            "<size width=\"1920\" height=\"1080\">" +
                            root +
                            "/a.png</size><size width=\"1280\" height=\"1024\">b.jpg</size></file></static>"
                            "<transition><from>a.png</from><to>b.jpg</to></transition></background>\n";
    const std::string wallpapers[] = {
        // XFCE: per monitor, by RandR name and by number.
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<channel name=\"xfce4-desktop\" version=\"1.0\">"
        "<property name=\"backdrop\" type=\"empty\"><property name=\"screen0\" type=\"empty\">"
        "<property name=\"monitorHDMI-1\" type=\"empty\"><property name=\"workspace0\" type=\"empty\">"
        "<property name=\"last-image\" type=\"string\" value=\"" +
            root +
            "/a.png\"/></property></property><property name=\"monitor1\" type=\"empty\">"
            "<property name=\"last-image\" type=\"string\" value=\"file://" +
            root + "/bg.xml\"/></property></property></property></channel>\n" + sep + xml,
        // KDE: two containments, connectors, the current activity.
        "[Containments][1]\nactivityId=abc\nlastScreen=0\nwallpaperplugin=org.kde.image\n\n"
        "[Containments][1][Wallpaper][org.kde.image][General]\nImage=file://" +
            root +
            "/pkg\n\n[Containments][2]\nactivityId=abc\nlastScreen=1\n\n"
            "[Containments][2][Wallpaper][org.kde.image][General]\nImage[$e]=" +
            root + "/b.jpg\n" + sep + xml + sep + "[ScreenConnectors]\n0=HDMI-1\n1=DP-2\n" + sep +
            "[main]\ncurrentActivity=abc\n",
        // LXQt: a quoted QSettings value.
        "[Desktop]\nWallpaperMode=stretch\nWallpaper=\"" + root + "/a.png\"\n",
        // LXDE: one picture per workspace.
        "[*]\nwallpaper_mode=crop\nwallpaper_common=0\nwallpaper0=" + root + "/bg.xml\nwallpaper=" + root + "/a.png\n" +
            sep + xml,
        // feh: quoted arguments, one per screen.
        "#!/bin/sh\nfeh --no-fehbg --bg-fill '" + root + "/a.png' \"" + root + "/b.jpg\" \n",
        // nitrogen: the whole desktop and a Xinerama screen.
        "[xin_-1]\nfile=" + root + "/a.png\nmode=5\nbgcolor=#000000\n\n[xin_1]\nfile=" + root + "/pkg\n",
    };
    for (size_t i = 0; i < sizeof wallpapers / sizeof wallpapers[0]; ++i) {
        const std::string name =
            std::string(kSources[i].desktop[0] ? kSources[i].desktop : "wm") + "_" + std::to_string(i);
        ok = ok && Save(dir + "/fuzz_wallpaper/" + name, std::string(1, char(i | (i % 2 ? 8 : 0))) + wallpapers[i]);
    }
    if (!ok) {
        std::fprintf(stderr, "could not write the seeds under %s\n", dir.c_str());
        return 1;
    }
    return 0;
}
