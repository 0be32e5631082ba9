#pragma once
// Whole runs of `zarnet --record` over a picture folder, and reading their
// `--soak-report` files: one JSON object per line of plain numbers (and the
// odd true/false), samples first, the "soak-end" summary last.
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "host/Preferences.h"
#include "tests/support/child_process.h"
#include "tests/support/scratch_dir.h"

// Settings under `configHome` that take pictures from `pictures` in the size
// of their own (texture code 2), locked in place, `puzzleWidth` pieces across.
inline bool WriteFolderSettings(const std::string& configHome, const std::string& pictures, int puzzleWidth,
                                int percentage)
{
    mkdir(configHome.c_str(), 0700);
    mkdir((configHome + "/zarnet").c_str(), 0700);
    return WriteWholeFile(configHome + "/zarnet/vmZarnetSS.conf",
                          std::string("[vmZarnetSS]\nversion=") + kPrefsVersion +
                              "\nMainMonitorOnly=false\nLockInPlace=true\nPuzzleWidth=" + std::to_string(puzzleWidth) +
                              "\nPercentage=" + std::to_string(percentage) + "\nBGType=2\nBGPath=" + pictures +
                              "/\nBGRes=2\n");
}

// `zarnet --record FRAMES OPTIONS --wait-real-time --soak-report REPORT` (the
// options split at spaces) with the settings under `configHome`: while a
// picture is made, ticks follow the real clock, as on a display. The exit code.
inline int RunRecorder(const std::string& frames, const std::string& options, const std::string& report,
                       const std::string& configHome, int timeoutMs)
{
    std::vector<std::string> argv = {BuildProgramPath("zarnet"), "--record", frames};
    std::istringstream words(options + " --wait-real-time --soak-report");
    for (std::string word; words >> word;)
        argv.push_back(word);
    argv.push_back(report);
    return RunProgram(argv, EnvironmentWith({"XDG_CONFIG_HOME=" + configHome}), nullptr, timeoutMs);
}

using SoakSample = std::map<std::string, double>;

struct SoakReport {
    std::vector<SoakSample> samples;
    SoakSample end;         // the summary line
    bool complete = false;  // the summary was found
};

// The numeric (and true = 1 / false = 0) fields of one flat JSON line; string values are left out.
inline SoakSample ParseSoakLine(const std::string& line)
{
    static const std::regex field(R"re("(\w+)":(true|false|[-+.0-9eE]+))re");
    SoakSample fields;
    for (std::sregex_iterator m(line.begin(), line.end(), field), end; m != end; ++m)
        fields[(*m)[1]] = (*m)[2] == "true" ? 1.0 : std::strtod((*m)[2].str().c_str(), nullptr);
    return fields;
}

inline SoakReport ReadSoakReport(const std::string& path)
{
    SoakReport report;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        if (line.find("\"event\":\"soak-end\"") != std::string::npos) {
            report.end = ParseSoakLine(line);
            report.complete = true;
        } else if (line.find("\"sample\":") != std::string::npos) {
            report.samples.push_back(ParseSoakLine(line));
        }
    }
    return report;
}

// What the program holds from the allocator must settle after the first
// cycle: over the later half of the samples after it, it may not exceed the
// earlier half's peak by more than what the largest picture can hold at
// once: its texture (2048 x 2048 RGBA, 16 MB), the spare, and the decoded
// photo being made into the next one (2400 x 1600 x 3, 11 MB), counted
// while they exist; which of them happen to be alive at a sample depends
// on the worker's timing. (Resident memory grows for longer:
// the allocator keeps freed decoder buffers, the software renderer its
// caches; it is held under a ceiling instead.)
constexpr double kSoakHeapGrowthKb = 48 * 1024;
// The ceiling of resident memory, for the soak's folder of pictures of at
// most a few megapixels; AddressSanitizer's shadow and quarantine take
// about as much again twice over.
#if defined(__SANITIZE_ADDRESS__)
constexpr double kSoakMemoryCeilingKb = 3 * 384 * 1024;
#else
constexpr double kSoakMemoryCeilingKb = 384 * 1024;
#endif

struct FlatCheck {
    bool ok = true;
    std::string why;
};

// From the first sample after the first completed cycle on: descriptors,
// threads, live textures and display lists never change, allocated memory
// shows no growth and resident memory stays under its ceiling.
inline FlatCheck CheckFlatAfterFirstCycle(const SoakReport& report)
{
    FlatCheck check;
    std::vector<const SoakSample*> after;
    for (const SoakSample& s : report.samples)
        if (s.count("cycles") && s.at("cycles") >= 1)
            after.push_back(&s);
    if (after.size() < 4) {
        check.ok = false;
        check.why = "fewer than four samples after the first cycle";
        return check;
    }
    const SoakSample& base = *after.front();
    double earlierPeak = 0.0, laterPeak = 0.0;
    for (size_t i = 0; i < after.size(); ++i) {
        const SoakSample& s = *after[i];
        for (const char* key : {"fds", "threads", "textures", "lists"})
            if (s.at(key) != base.at(key)) {
                check.ok = false;
                check.why += std::string(key) + " " + std::to_string(base.at(key)) + " -> " +
                             std::to_string(s.at(key)) + " at t " + std::to_string(s.at("t")) + "\n";
            }
        double& peak = i < after.size() / 2 ? earlierPeak : laterPeak;
        peak = std::max(peak, s.at("heapKb"));
        if (s.at("rssKb") > kSoakMemoryCeilingKb) {
            check.ok = false;
            check.why += "resident " + std::to_string(s.at("rssKb")) + " kB at t " + std::to_string(s.at("t")) + "\n";
        }
    }
    if (laterPeak > earlierPeak + kSoakHeapGrowthKb) {
        check.ok = false;
        check.why += "allocated memory grows: peak " + std::to_string(earlierPeak) + " kB, later " +
                     std::to_string(laterPeak) + " kB\n";
    }
    return check;
}
