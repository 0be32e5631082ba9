// zarnet-contact-sheet: one PNG of moments of a recorded cycle, for a
// person to look at. Reads the frames and the --stats lines of
// `zarnet --record DIR --stats` and picks, by the cycle's events:
//   assembled   the first frame saved: the board whole before it blows apart;
//   scattered   5 s after the blow-apart;
//   assembling  halfway from the end of the scatter to the countdown;
//   nearly      5 s before the countdown starts;
//   finishing   2 s into the countdown, the last pieces flying home;
//   whole       just before the board blows apart again.
// Moments whose events didn't happen are left out. Each tile is captioned
// with its name and time.
//
//   zarnet-contact-sheet --frames DIR --stats FILE --out FILE.png [--columns N]
#include <dirent.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "apps/tiny_font.h"
#include "pictures/picture_decoder.h"
#include "pictures/png_writer.h"

namespace {

struct Options {
    std::string frames;  // folder of frame-NNNNNN.png (NNNNNN = tick)
    std::string stats;   // JSON lines of --stats
    std::string out;     // PNG to write
    int columns = 3;     // tiles per row
};

struct Moment {
    std::string name;  // caption
    double t;          // seconds into the recording
};

// The number after "key": in a JSON line; false when absent.
bool NumberOf(const std::string& line, const char* key, double* value)
{
    const std::string k = std::string("\"") + key + "\":";
    const size_t at = line.find(k);
    if (at == std::string::npos)
        return false;
    char* end = nullptr;
    const char* start = line.c_str() + at + k.size();
    *value = std::strtod(start, &end);
    return end != start;
}

std::string EventOf(const std::string& line)
{
    const std::string k = "\"event\":\"";
    const size_t at = line.find(k);
    if (at == std::string::npos)
        return "";
    const size_t start = at + k.size();
    const size_t end = line.find('"', start);
    return end == std::string::npos ? "" : line.substr(start, end - start);
}

// The moments worth showing, from the recording's events.
std::vector<Moment> ChooseMoments(const std::string& statsPath, double* fps)
{
    std::ifstream in(statsPath);
    std::string line;
    double firstFrame = -1.0, blowApart = -1.0, scatterEnd = -1.0, countdown = -1.0, again = -1.0;
    *fps = 0.0;
    while (std::getline(in, line)) {
        const std::string event = EventOf(line);
        double t = 0.0;
        if (!NumberOf(line, "t", &t))
            continue;
        if (event == "start")
            NumberOf(line, "fps", fps);
        else if (event == "new-board" && firstFrame < 0.0)
            firstFrame = t;
        else if (event == "blow-apart" && blowApart < 0.0)
            blowApart = t;
        else if (event == "assembling" && scatterEnd < 0.0)
            scatterEnd = t;
        else if (event == "countdown" && countdown < 0.0 && scatterEnd >= 0.0)
            countdown = t;
        else if (event == "blow-apart" && countdown >= 0.0 && again < 0.0)
            again = t;
    }
    std::vector<Moment> moments;
    if (firstFrame >= 0.0)
        moments.push_back({"assembled", firstFrame});
    if (blowApart >= 0.0)
        moments.push_back({"scattered", blowApart + 5.0});
    if (scatterEnd >= 0.0 && countdown >= 0.0) {
        moments.push_back({"assembling", (scatterEnd + countdown) / 2.0});
        if (countdown - 5.0 > (scatterEnd + countdown) / 2.0)
            moments.push_back({"nearly there", countdown - 5.0});
        moments.push_back({"finishing", countdown + 2.0});
    }
    if (again >= 0.0)
        moments.push_back({"whole", again - 0.5});
    return moments;
}

// Tick numbers of the saved frames.
std::vector<long> SavedTicks(const std::string& folder)
{
    std::vector<long> ticks;
    DIR* dir = opendir(folder.c_str());
    if (!dir)
        return ticks;
    while (dirent* entry = readdir(dir)) {
        long tick = 0;
        char tail[8] = {};
        if (std::sscanf(entry->d_name, "frame-%ld.%4s", &tick, tail) == 2 && std::strcmp(tail, "png") == 0)
            ticks.push_back(tick);
    }
    closedir(dir);
    return ticks;
}

// Share of a frame's pixels that are (nearly) black.
double DarkShare(const DecodedPicture& p)
{
    const int channels = p.bitsPerPixel / 8;
    size_t dark = 0;
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) {
            const unsigned char* s =
                p.pixels + static_cast<size_t>(y) * p.bytesPerRow + static_cast<size_t>(x) * channels;
            if (s[0] + s[1] + s[2] < 24)
                ++dark;
        }
    const size_t all = static_cast<size_t>(p.width) * static_cast<size_t>(p.height);
    return all ? static_cast<double>(dark) / static_cast<double>(all) : 1.0;
}

struct Canvas {
    int width, height;
    std::vector<uint8_t> rgba;  // top row first

    Canvas(int w, int h) : width(w), height(h), rgba(static_cast<size_t>(w) * h * 4)
    {
        for (size_t i = 0; i < rgba.size(); i += 4) {
            rgba[i] = rgba[i + 1] = rgba[i + 2] = 24;
            rgba[i + 3] = 255;
        }
    }
    void Put(int x, int y, uint8_t r, uint8_t g, uint8_t b)
    {
        if (x < 0 || y < 0 || x >= width || y >= height)
            return;
        uint8_t* p = &rgba[(static_cast<size_t>(y) * width + x) * 4];
        p[0] = r;
        p[1] = g;
        p[2] = b;
    }
    void Text(int x, int y, const std::string& text, int scale)
    {
        for (size_t i = 0; i < text.size(); ++i) {
            const uint8_t* rows = GlyphRows(text[i]);
            for (int r = 0; r < kGlyphHeight; ++r)
                for (int c = 0; c < kGlyphWidth; ++c)
                    if (rows[r] & (0x10 >> c))
                        for (int dy = 0; dy < scale; ++dy)
                            for (int dx = 0; dx < scale; ++dx)
                                Put(x + (static_cast<int>(i) * kGlyphAdvance + c) * scale + dx, y + r * scale + dy, 235,
                                    235, 220);
        }
    }
};

bool ParseOptions(int argc, char** argv, Options* o)
{
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i];
        if (name == "--frames")
            o->frames = argv[i + 1];
        else if (name == "--stats")
            o->stats = argv[i + 1];
        else if (name == "--out")
            o->out = argv[i + 1];
        else if (name == "--columns")
            o->columns = std::atoi(argv[i + 1]);
        else
            return false;
    }
    return argc % 2 == 1 && !o->frames.empty() && !o->stats.empty() && !o->out.empty() && o->columns >= 1 &&
           o->columns <= 16;
}

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!ParseOptions(argc, argv, &options)) {
        std::fprintf(stderr, "usage: zarnet-contact-sheet --frames DIR --stats FILE --out FILE.png [--columns N]\n");
        return 2;
    }
    double fps = 0.0;
    const std::vector<Moment> moments = ChooseMoments(options.stats, &fps);
    const std::vector<long> ticks = SavedTicks(options.frames);
    if (moments.empty() || ticks.empty() || fps <= 0.0) {
        std::fprintf(stderr, "zarnet-contact-sheet: no frames or no events to choose from\n");
        return 1;
    }

    struct Tile {
        std::string caption;
        DecodedPicture picture;
    };
    std::vector<Tile> tiles;
    long lastTick = -1;
    for (const Moment& m : moments) {
        const long wanted = std::lround(m.t * fps);
        // Saved frames nearest first; within a few seconds of the moment,
        // one that the overlay's title card has turned black is passed over
        // for the next nearest, so each tile shows the board.
        std::vector<long> nearest = ticks;
        std::sort(nearest.begin(), nearest.end(),
                  [wanted](long a, long b) { return std::labs(a - wanted) < std::labs(b - wanted); });
        const long window = std::lround(5.0 * fps);
        Tile tile{"", {}};
        long chosen = -1;
        bool card = false;  // only title-card frames near this moment
        for (long tick : nearest) {
            const bool last = std::labs(tick - wanted) > window;
            if (last)
                tick = nearest[0];
            char path[4096];
            std::snprintf(path, sizeof path, "%s/frame-%06ld.png", options.frames.c_str(), tick);
            FreeDecodedPicture(&tile.picture);
            if (!DecodePictureFile(path, 0, 0, &tile.picture)) {
                std::fprintf(stderr, "zarnet-contact-sheet: can't read %s\n", path);
                break;
            }
            const bool dark = DarkShare(tile.picture) >= 0.9;
            if (last || !dark) {
                chosen = tick;
                card = dark;
                break;
            }
        }
        if (chosen < 0 || chosen == lastTick) {
            FreeDecodedPicture(&tile.picture);
            continue;  // unreadable, or no frame closer to this moment than the last tile's
        }
        lastTick = chosen;
        char caption[128];
        std::snprintf(caption, sizeof caption, "%s  t=%.1fs", card ? "title card" : m.name.c_str(), chosen / fps);
        tile.caption = caption;
        tiles.push_back(tile);
    }
    if (tiles.empty())
        return 1;

    const int tileW = tiles[0].picture.width, tileH = tiles[0].picture.height;
    const int scale = tileW >= 400 ? 2 : 1, gap = 8, captionH = (kGlyphHeight + 4) * scale;
    const int columns = std::min(options.columns, static_cast<int>(tiles.size()));
    const int rows = (static_cast<int>(tiles.size()) + columns - 1) / columns;
    Canvas sheet(gap + columns * (tileW + gap), gap + rows * (tileH + captionH + gap));
    for (size_t i = 0; i < tiles.size(); ++i) {
        const int x0 = gap + static_cast<int>(i % columns) * (tileW + gap);
        const int y0 = gap + static_cast<int>(i / columns) * (tileH + captionH + gap);
        const DecodedPicture& p = tiles[i].picture;
        const int channels = p.bitsPerPixel / 8;
        for (int y = 0; y < std::min(tileH, p.height); ++y)
            for (int x = 0; x < std::min(tileW, p.width); ++x) {
                const unsigned char* s =
                    p.pixels + static_cast<size_t>(y) * p.bytesPerRow + static_cast<size_t>(x) * channels;
                sheet.Put(x0 + x, y0 + y, s[0], s[1], s[2]);
            }
        sheet.Text(x0 + 2 * scale, y0 + tileH + 2 * scale, tiles[i].caption, scale);
        FreeDecodedPicture(&tiles[i].picture);
    }
    if (!WritePNG(options.out.c_str(), sheet.width, sheet.height, sheet.rgba.data())) {
        std::fprintf(stderr, "zarnet-contact-sheet: can't write %s\n", options.out.c_str());
        return 1;
    }
    return 0;
}
