// Writes small valid inputs for the two harnesses into <dir>/container_model
// and <dir>/tga, using the same writers as the unit tests.
#include <sys/stat.h>

#include <cstdio>
#include <string>

#include "tests/loading/loading_test_files.h"

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

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DIR\n", argv[0]);
        return 2;
    }
    using namespace loadtest;
    const std::string dir = argv[1];
    const std::string models = dir + "/container_model", tgas = dir + "/tga";
    mkdir(dir.c_str(), 0755);
    mkdir(models.c_str(), 0755);
    mkdir(tgas.c_str(), 0755);

    Model small = SmallModel();
    Model v3 = SmallModel();
    v3.version = 3;
    v3.joints.clear();
    v3.materials = 0;
    bool ok = Save(models + "/model_v4", "\x01" + WriteModel(small)) &&
              Save(models + "/model_v3", "\x01" + WriteModel(v3)) &&
              Save(models + "/container", "\x00" + MakeContainer({{WriteModel(small), 0, 0}, {WriteModel(v3), 1, 2}}));

    ok = ok && Save(tgas + "/rgb_uncompressed", UncompressedTga(4, 3, 24, TgaPattern(4, 3, 24))) &&
         Save(tgas + "/rgba_uncompressed", UncompressedTga(3, 2, 32, TgaPattern(3, 2, 32))) &&
         Save(tgas + "/rgb_rle",
              CompressedTga(
                  4, 2, 24,
                  {{false, 3, {1, 2, 3, 4, 5, 6, 7, 8, 9}}, {true, 4, {10, 11, 12}}, {false, 1, {13, 14, 15}}})) &&
         Save(tgas + "/rgba_rle",
              CompressedTga(2, 2, 32, {{true, 2, {1, 2, 3, 4}}, {false, 2, {5, 6, 7, 8, 9, 10, 11, 12}}}));
    if (!ok) {
        std::fprintf(stderr, "could not write the seeds under %s\n", dir.c_str());
        return 1;
    }
    return 0;
}
