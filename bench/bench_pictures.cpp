// Picture loading: loadPicFile (read, decode, resample, upload) for a
// 6000 x 4000 JPEG at resolution codes 0, 1 and 2, with the JPEG decoded at
// the smallest DCT scale that covers the texture (as loadPicFile does) and at
// full size; a 4000 x 3000 PNG; and the decodes alone. The input pictures are
// generated on the first run into /tmp (smooth gradients plus noise, JPEG
// quality 90) and reused after that.
#include <GL/gl.h>
#include <benchmark/benchmark.h>

#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "loading/Textures.h"
#include "pictures/PictureSteps.h"
#include "pictures/Pictures.h"
#include "pictures/picture_decoder.h"
#include "pictures/png_writer.h"
#include "platform/egl_headless.h"
#include "tests/support/picture_writers.h"

namespace {

constexpr const char* kJpegPath = "/tmp/zarnet-bench-6000x4000.jpg";
constexpr const char* kPngPath = "/tmp/zarnet-bench-4000x3000.png";

// One row of a photograph-like picture: broad gradients, a few soft waves
// and pixel noise, so that neither codec finds it unusually easy.
void PhotoRow(int y, int width, int height, unsigned* seed, std::vector<unsigned char>* row)
{
    row->resize(size_t(width) * 3);
    const double v = double(y) / height;
    for (int x = 0; x < width; ++x) {
        const double u = double(x) / width;
        const double wave = 30.0 * std::sin(u * 9.0 + v * 4.0) * std::cos(v * 7.0 - u * 3.0);
        for (int k = 0; k < 3; ++k) {
            *seed = *seed * 1664525u + 1013904223u;
            const int noise = int((*seed >> 24) % 25) - 12;
            const double base = k == 0 ? 60 + 150 * u : k == 1 ? 40 + 120 * v + 40 * u : 170 - 110 * v;
            const int value = int(base + wave + noise);
            (*row)[size_t(x) * 3 + k] = static_cast<unsigned char>(value < 0 ? 0 : value > 255 ? 255 : value);
        }
    }
}

bool Exists(const char* path)
{
    struct stat info;
    return stat(path, &info) == 0 && info.st_size > 0;
}

bool WriteJpeg(const char* path, int width, int height)
{
    unsigned seed = 12345;
    std::vector<unsigned char> row;
    auto photo = [&](int y, unsigned char* out) {
        PhotoRow(y, width, height, &seed, &row);
        std::copy(row.begin(), row.end(), out);
    };
    return testpics::WriteJpegFile(path, width, height, false, photo, 90);  // quality 90, as measured
}

bool WritePng(const char* path, int width, int height)
{
    std::vector<unsigned char> pixels, row;
    unsigned seed = 777;
    for (int y = 0; y < height; ++y) {
        PhotoRow(y, width, height, &seed, &row);
        pixels.insert(pixels.end(), row.begin(), row.end());
    }
    return WritePNGRGB(path, width, height, pixels.data());
}

bool Inputs()
{
    return (Exists(kJpegPath) || WriteJpeg(kJpegPath, 6000, 4000)) &&
           (Exists(kPngPath) || WritePng(kPngPath, 4000, 3000));
}

// loadPicFile's steps with the JPEG decoded at full size, for comparison.
bool LoadPicFileFullDecode(const char* path, Texture* texture, int resolution)
{
    GLint maxTextureSize = 0;
    if (resolution != 0 && resolution != 1) {
        glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxTextureSize);
    }
    DecodedPicture picture;
    if (!DecodePictureFile(path, 0, 0, &picture)) {
        return false;
    }
    int width = 0, height = 0;
    PictureTextureSize(resolution, picture.fullWidth, picture.fullHeight, maxTextureSize, &width, &height);
    const size_t c = picture.bitsPerPixel == 32 ? 4 : 3;
    auto* texels = static_cast<unsigned char*>(std::malloc(c * size_t(width) * size_t(height)));
    if (texels == nullptr || !ResamplePicture(picture, width, height, texels)) {
        std::free(texels);
        FreeDecodedPicture(&picture);
        return false;
    }
    texture->imageData = reinterpret_cast<char*>(texels);
    texture->type = c == 4 ? GL_RGBA : GL_RGB;
    texture->width = unsigned(width);
    texture->height = unsigned(height);
    const bool built = BuildTexture(texture, 0);
    texture->width = unsigned(picture.fullWidth);
    texture->height = unsigned(picture.fullHeight);
    FreeDecodedPicture(&picture);
    return built;
}

template <bool (*Load)(const char*, Texture*, int)> void RunLoad(benchmark::State& state, const char* path)
{
    if (!Inputs()) {
        state.SkipWithError("can't write the input pictures to /tmp");
        return;
    }
    HeadlessGLContext gl;
    if (!gl.Create(64, 64)) {
        state.SkipWithError(gl.Error().c_str());
        return;
    }
    const int resolution = int(state.range(0));
    for (auto _ : state) {
        Texture texture;
        if (!Load(path, &texture, resolution)) {
            glDeleteTextures(1, &texture.texID);
            state.SkipWithError("the picture didn't load");
            break;
        }
        glFinish();
        glDeleteTextures(1, &texture.texID);  // the record only names it
    }
}

void BM_LoadPicFileJpegScaledDecode(benchmark::State& state)
{
    RunLoad<loadPicFile>(state, kJpegPath);
}
void BM_LoadPicFileJpegFullDecode(benchmark::State& state)
{
    RunLoad<LoadPicFileFullDecode>(state, kJpegPath);
}
void BM_LoadPicFilePng(benchmark::State& state)
{
    RunLoad<loadPicFile>(state, kPngPath);
}

BENCHMARK(BM_LoadPicFileJpegScaledDecode)->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LoadPicFileJpegFullDecode)->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LoadPicFilePng)->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->UseRealTime();

// The decode alone, at the size needed for each resolution code's texture
// (0: 512 x 512, 1: 1024 x 1024, 2: full size).
void BM_DecodeJpeg(benchmark::State& state)
{
    if (!Inputs()) {
        state.SkipWithError("can't write the input pictures to /tmp");
        return;
    }
    PictureFile file;
    if (!ReadPictureFile(kJpegPath, &file)) {
        state.SkipWithError("can't read the JPEG");
        return;
    }
    const int need = int(state.range(0));
    for (auto _ : state) {
        DecodedPicture picture;
        if (!DecodePicture(file.data(), file.size(), need, need, &picture)) {
            state.SkipWithError("the JPEG didn't decode");
            break;
        }
        state.counters["decodedWidth"] = picture.width;
        FreeDecodedPicture(&picture);
    }
    FreePictureFile(&file);
}
BENCHMARK(BM_DecodeJpeg)->Arg(512)->Arg(1024)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_DecodePng(benchmark::State& state)
{
    if (!Inputs()) {
        state.SkipWithError("can't write the input pictures to /tmp");
        return;
    }
    PictureFile file;
    if (!ReadPictureFile(kPngPath, &file)) {
        state.SkipWithError("can't read the PNG");
        return;
    }
    for (auto _ : state) {
        DecodedPicture picture;
        if (!DecodePicture(file.data(), file.size(), 0, 0, &picture)) {
            state.SkipWithError("the PNG didn't decode");
            break;
        }
        FreeDecodedPicture(&picture);
    }
    FreePictureFile(&file);
}
BENCHMARK(BM_DecodePng)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
