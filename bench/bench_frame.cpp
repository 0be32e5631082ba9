// One frame of the engine as the host view draws it: Update + Draw of the
// default board (25 pieces along the longer side, desktop grab at 1280 x 720,
// texture resolution 1) in the headless Mesa context, finished on the GPU
// (llvmpipe here). Reported per phase of the puzzle's cycle, as median and
// 95th percentile of the single frames.
#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/glu.h>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/SSMAIN.h"
#include "host/ViewGL.h"
#include "platform/egl_headless.h"
#include "puzzle/ONEPUZZLE.h"
#include "puzzle/SETTINGS.h"

namespace {

constexpr int kWidth = 1280;
constexpr int kHeight = 720;
constexpr double kStep = 1.0 / 60.0;

// A desktop-like grab: soft gradients, 1024 x 1024 texture (BGRES 1).
unsigned GrabTexture()
{
    const int side = 1024;
    std::vector<unsigned char> rgba(static_cast<size_t>(side) * side * 4);
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) {
            unsigned char* p = rgba.data() + (static_cast<size_t>(y) * side + x) * 4;
            p[0] = static_cast<unsigned char>(128 + 100 * std::sin(x * 0.01));
            p[1] = static_cast<unsigned char>(128 + 100 * std::cos(y * 0.013));
            p[2] = static_cast<unsigned char>((x ^ y) & 0xFF);
            p[3] = 255;
        }
    }
    unsigned name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, side, side, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    return name;
}

// Fragments shaded while drawing, from the pipeline statistics: the fill a
// frame asks of the renderer, steady whatever else the machine is doing.
class ShadedFragments {
public:
    ShadedFragments() { glGenQueries(1, &query_); }
    ~ShadedFragments() { glDeleteQueries(1, &query_); }
    void Begin() { glBeginQuery(GL_FRAGMENT_SHADER_INVOCATIONS_ARB, query_); }
    void End()
    {
        glEndQuery(GL_FRAGMENT_SHADER_INVOCATIONS_ARB);
        GLuint64 count = 0;
        glGetQueryObjectui64v(query_, GL_QUERY_RESULT, &count);
        total_ += static_cast<double>(count);
        ++frames_;
    }
    double MillionsPerFrame() const { return frames_ > 0 ? total_ / 1e6 / frames_ : 0.0; }

private:
    GLuint query_ = 0;  // the query object
    double total_ = 0;  // fragments over all frames
    int frames_ = 0;    // frames counted
};

double Percentile(std::vector<double> v, double q)
{
    if (v.empty())
        return 0.0;
    std::sort(v.begin(), v.end());
    const size_t k = static_cast<size_t>(std::ceil(q * static_cast<double>(v.size()))) - 1;
    return v[std::min(k, v.size() - 1)];
}

// The default board (desktop grab, texture 1024, 75 %, lock in place) with
// `across` pieces along the longer side, set up in a fresh headless context of
// 1280 x 720. False, with the benchmark skipped, when that can't be done. The
// caller declares gl, settings and engine in that order, so the engine goes first.
bool SetUpEngine(benchmark::State& state, HeadlessGLContext& gl, SETTINGS& settings, SSMAIN& engine, int across)
{
    srand(1);
    if (!gl.Create(kWidth, kHeight)) {
        state.SkipWithError(gl.Error().c_str());
        return false;
    }
    ApplyViewGLState(kWidth, kHeight);
    LoadViewProjection(kWidth, kHeight);
    settings = SETTINGS{};
    settings.BGRES = 1;
    settings.BGTYPE = 0;
    settings.PERCENTAGE = 75;
    settings.PUZZLEWIDTH = across;
    settings.LOCKINPLACE = true;
    settings.picWidth = kWidth;
    settings.picHeight = kHeight;
    char resources[] = ZARNET_BUILD_RESOURCES;
    engine.SetSize(kWidth, kHeight);
    engine.pictureTex = GrabTexture();
    if (!engine.Setup(false, kWidth, kHeight, &settings, resources)) {
        state.SkipWithError("engine set-up failed (data files built?)");
        return false;
    }
    return true;
}

// Phases of the cycle: 0 the board standing assembled (re-cut whenever it
// would blow apart), 1 scattering (no joining), 2 assembling (joining on),
// for boards of 25 and 100 pieces across.
void BM_Frame(benchmark::State& state)
{
    const int phase = static_cast<int>(state.range(0));
    const int across = static_cast<int>(state.range(1));
    HeadlessGLContext gl;
    SETTINGS settings;
    {
        SSMAIN engine;
        if (!SetUpEngine(state, gl, settings, engine, across))
            return;
        ONEPUZZLE& puzzle = *engine.puzzle;
        if (phase == 1) {
            while (puzzle.restartTimer > -1.0f)
                puzzle.Move(static_cast<float>(kStep));
        } else if (phase == 2) {
            while (puzzle.restartTimer != 21.0f)
                puzzle.Move(static_cast<float>(kStep));
            for (int k = 0; k < 600; ++k)  // ten seconds into assembling: groups forming
                puzzle.Move(static_cast<float>(kStep));
        }

        std::vector<double> frames;
        ShadedFragments shaded;
        for (auto _ : state) {
            if (phase == 0 && puzzle.restartTimer < 0.2f) {
                state.PauseTiming();
                puzzle.NewPuzzle();
                puzzle.restartTimer = 1.0f;
                state.ResumeTiming();
            }
            const auto start = std::chrono::steady_clock::now();
            glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
            engine.Update(kStep);
            LoadViewProjection(kWidth, kHeight);
            shaded.Begin();
            engine.Draw();
            shaded.End();
            glFinish();
            const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
            frames.push_back(took.count());
        }
        state.counters["shaded_M"] = shaded.MillionsPerFrame();
        state.counters["pieces"] = puzzle.pieceCount;
        state.counters["median_ms"] = Percentile(frames, 0.5);
        state.counters["p95_ms"] = Percentile(frames, 0.95);
    }
}

BENCHMARK(BM_Frame)
    ->ArgNames({"phase", "across"})
    ->ArgsProduct({{0, 1, 2}, {25, 100}})
    ->Iterations(300)
    ->Unit(benchmark::kMillisecond);

// Where a frame of the assembled board goes (25 and 100 pieces across): the
// same frame drawn whole, with GL_CULL_FACE on, without lighting, through a
// one-pixel scissor (everything but the fill), and without the pieces (clear
// and overlay). Run with LP_NUM_THREADS=0 so that llvmpipe's work is counted
// in this thread.
enum CostPart { kWhole, kCulled, kUnlit, kNoFill, kNoPieces };

void BM_FrameCost(benchmark::State& state)
{
    const int part = static_cast<int>(state.range(0));
    const int across = static_cast<int>(state.range(1));
    HeadlessGLContext gl;
    SETTINGS settings;
    SSMAIN engine;
    if (!SetUpEngine(state, gl, settings, engine, across))
        return;
    ONEPUZZLE& puzzle = *engine.puzzle;
    puzzle.restartTimer = 21.0f;  // stands assembled: no countdown, no blow-up
    ShadedFragments shaded;
    for (auto _ : state) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        engine.Update(kStep);
        LoadViewProjection(kWidth, kHeight);
        if (part == kCulled)
            glEnable(GL_CULL_FACE);
        if (part == kUnlit)
            glDisable(GL_LIGHTING);
        if (part == kNoFill) {
            // A one-pixel scissor rather than viewport: the pieces still
            // choose their shapes by their size in the real one.
            glScissor(0, 0, 1, 1);
            glEnable(GL_SCISSOR_TEST);
        }
        const int columns = puzzle.columns;
        if (part == kNoPieces)
            puzzle.columns = 0;
        shaded.Begin();
        engine.Draw();
        shaded.End();
        puzzle.columns = columns;
        glFinish();
        glDisable(GL_CULL_FACE);
        glEnable(GL_LIGHTING);
        glDisable(GL_SCISSOR_TEST);
    }
    state.counters["pieces"] = puzzle.pieceCount;
    state.counters["shaded_M"] = shaded.MillionsPerFrame();
}

BENCHMARK(BM_FrameCost)
    ->ArgNames({"part", "across"})
    ->ArgsProduct({{kWhole, kCulled, kUnlit, kNoFill, kNoPieces}, {25, 100}})
    ->Iterations(30)
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
