// Loading the two data files at set-up, in a headless GL context: the
// overlay textures from "vantor.morvence" (decode + upload) and the 64 piece
// shapes from "zar.vnt" (read, convert, compile into display lists).
#include <GL/gl.h>
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "loading/Textures.h"
#include "platform/egl_headless.h"
#include "puzzle/ONEPUZZLE.h"

namespace {

std::vector<char> PathOf(const char* name)
{
    std::string path = std::string(ZARNET_BUILD_RESOURCES) + name;
    return std::vector<char>(path.c_str(), path.c_str() + path.size() + 1);
}

bool LoadOverlayTextures()
{
    std::vector<char> path = PathOf("vantor.morvence");
    Texture* textures = nullptr;
    int count = 0;
    bool ok = LoadTexturesFromDataFile(path.data(), &textures, &count);
    for (int i = 0; i < count; ++i)  // the GL names are the caller's to delete
        glDeleteTextures(1, &textures[i].texID);
    delete[] textures;
    return ok;
}

bool BuildShapes()
{
    std::vector<char> directory = PathOf("");
    ONEPUZZLE puzzle;
    bool ok = puzzle.BuildPieceShapes(directory.data());
    if (ok) {
        for (unsigned list : puzzle.modelLists)
            glDeleteLists(list, 1);
        for (unsigned list : puzzle.lightLists)
            glDeleteLists(list, 1);  // the full set's again when there is no light set: deleted twice, harmless
    }
    glFinish();
    return ok;
}

void BM_LoadOverlayTextures(benchmark::State& state)
{
    HeadlessGLContext gl;
    if (!gl.Create(64, 64)) {
        state.SkipWithError(gl.Error().c_str());
        return;
    }
    for (auto _ : state)
        if (!LoadOverlayTextures())
            state.SkipWithError("vantor.morvence didn't load");
}
BENCHMARK(BM_LoadOverlayTextures)->Unit(benchmark::kMillisecond);

void BM_BuildPieceShapes(benchmark::State& state)
{
    HeadlessGLContext gl;
    if (!gl.Create(64, 64)) {
        state.SkipWithError(gl.Error().c_str());
        return;
    }
    for (auto _ : state)
        if (!BuildShapes())
            state.SkipWithError("zar.vnt didn't load");
}
BENCHMARK(BM_BuildPieceShapes)->Unit(benchmark::kMillisecond);

// What an engine set-up spends on its data files.
void BM_LoadBothDataFiles(benchmark::State& state)
{
    HeadlessGLContext gl;
    if (!gl.Create(64, 64)) {
        state.SkipWithError(gl.Error().c_str());
        return;
    }
    for (auto _ : state)
        if (!LoadOverlayTextures() || !BuildShapes())
            state.SkipWithError("a data file didn't load");
}
BENCHMARK(BM_LoadBothDataFiles)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
