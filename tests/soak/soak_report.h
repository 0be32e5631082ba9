#pragma once
// Whole runs of `zarnet --record` over a picture folder, and their
// `--soak-report` files: one flat JSON object per line, samples first, the
// "soak-end" summary last.
#include <sys/stat.h>

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

// Settings under `configHome`: pictures from `pictures` at their own size (texture code 2), locked in place.
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

// `zarnet --record FRAMES OPTIONS --wait-real-time --soak-report REPORT` (the options split at spaces) with the
// settings under `configHome`: while a picture is made, ticks follow the real clock. The exit code.
inline int RunRecorder(const std::string& frames, const std::string& options, const std::string& report,
                       const std::string& configHome, int timeoutMs)
{
    std::vector<std::string> argv = {BuildProgramPath("zarnet"), "--record", frames};
    std::istringstream words(options + " --wait-real-time --soak-report " + report);
    for (std::string word; words >> word;)
        argv.push_back(word);
    return RunProgram(argv, EnvironmentWith({"XDG_CONFIG_HOME=" + configHome}), nullptr, timeoutMs);
}

using SoakSample = std::map<std::string, double>;  // the numeric fields of a line, true as 1 and false as 0

// The report's lines of samples, then the summary's (empty when there is none).
inline std::vector<SoakSample> ReadSoakReport(const std::string& path, SoakSample* end)
{
    static const std::regex field(R"re("(\w+)":(true|false|[-+.0-9eE]+))re");
    std::vector<SoakSample> samples;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        SoakSample fields;
        for (std::sregex_iterator m(line.begin(), line.end(), field), last; m != last; ++m)
            fields[(*m)[1]] = (*m)[2] == "true" ? 1.0 : std::strtod((*m)[2].str().c_str(), nullptr);
        if (line.find("\"event\":\"soak-end\"") != std::string::npos)
            *end = fields;
        else if (line.find("\"sample\":") != std::string::npos)
            samples.push_back(fields);
    }
    return samples;
}
