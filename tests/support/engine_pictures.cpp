#include "tests/support/engine_pictures.h"

#include <GL/gl.h>
#include <GL/glu.h>
#include <gif_lib.h>
#include <jpeglib.h>
#include <png.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

#include "puzzle/ONEPUZZLE.h"

namespace {

constexpr int kBase = 40;    // lowest red/green value of a cell
constexpr int kRange = 200;  // red/green span across the board
constexpr int kBlue = 250;   // blue of every cell

int Level(int index, int count)
{
    if (count <= 1)
        return kBase;
    return kBase + static_cast<int>(std::lround(static_cast<double>(kRange) * index / (count - 1)));
}

}  // namespace

Rgb CellColour(int i, int j, int cols, int rows)
{
    return Rgb{Level(i, cols), Level(j, rows), kBlue};
}

bool DecodeCell(Rgb sampled, int cols, int rows, int* i, int* j)
{
    if (sampled.b < 60)
        return false;
    // Lighting scales all three channels alike; blue is full in every cell.
    const double scale = static_cast<double>(kBlue) / sampled.b;
    const double r = sampled.r * scale, g = sampled.g * scale;
    const double fi = (r - kBase) * (cols - 1) / kRange;
    const double fj = (g - kBase) * (rows - 1) / kRange;
    const long ci = std::lround(fi), cj = std::lround(fj);
    if (ci < 0 || cj < 0 || ci >= cols || cj >= rows)
        return false;
    // Far from any cell's colour: not a cell (e.g. a seam's shading or a blend).
    if (std::fabs(fi - ci) > 0.35 || std::fabs(fj - cj) > 0.35)
        return false;
    *i = static_cast<int>(ci);
    *j = static_cast<int>(cj);
    return true;
}

std::vector<uint8_t> CellPicture(int width, int height, int cols, int rows)
{
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y) {
        const int j = static_cast<int>(static_cast<long>(y) * rows / height);
        for (int x = 0; x < width; ++x) {
            const int i = static_cast<int>(static_cast<long>(x) * cols / width);
            const Rgb c = CellColour(i, j, cols, rows);
            uint8_t* p = rgb.data() + (static_cast<size_t>(y) * width + x) * 3;
            p[0] = static_cast<uint8_t>(c.r);
            p[1] = static_cast<uint8_t>(c.g);
            p[2] = static_cast<uint8_t>(c.b);
        }
    }
    return rgb;
}

std::vector<uint8_t> SolidPicture(int width, int height, Rgb colour)
{
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
    for (size_t k = 0; k < rgb.size(); k += 3) {
        rgb[k] = static_cast<uint8_t>(colour.r);
        rgb[k + 1] = static_cast<uint8_t>(colour.g);
        rgb[k + 2] = static_cast<uint8_t>(colour.b);
    }
    return rgb;
}

bool WriteTestPNG(const std::string& path, int width, int height, const std::vector<uint8_t>& rgb,
                  bool sixteenBit)
{
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (png == nullptr || info == nullptr || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(file);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, width, height, sixteenBit ? 16 : 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    const size_t channelBytes = sixteenBit ? 2 : 1;
    std::vector<uint8_t> row(static_cast<size_t>(width) * 3 * channelBytes);
    for (int y = 0; y < height; ++y) {
        const uint8_t* src = rgb.data() + static_cast<size_t>(y) * width * 3;
        for (size_t k = 0; k < static_cast<size_t>(width) * 3; ++k) {
            if (sixteenBit) {
                row[2 * k] = src[k];      // value * 257, big-endian
                row[2 * k + 1] = src[k];
            } else {
                row[k] = src[k];
            }
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return std::fclose(file) == 0;
}

bool WriteTestJPEG(const std::string& path, int width, int height, const std::vector<uint8_t>& rgb, bool grey)
{
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        return false;
    jpeg_compress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, file);
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = grey ? 1 : 3;
    cinfo.in_color_space = grey ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 95, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<uint8_t> row(static_cast<size_t>(width) * 3);
    while (cinfo.next_scanline < cinfo.image_height) {
        const uint8_t* src = rgb.data() + static_cast<size_t>(cinfo.next_scanline) * width * 3;
        if (grey) {
            for (int x = 0; x < width; ++x)
                row[x] = static_cast<uint8_t>((src[3 * x] + src[3 * x + 1] + src[3 * x + 2]) / 3);
        } else {
            std::copy(src, src + static_cast<size_t>(width) * 3, row.begin());
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return std::fclose(file) == 0;
}

bool WriteTestGIF(const std::string& path, int width, int height, const std::vector<uint8_t>& rgb)
{
    std::map<uint32_t, int> index;
    std::vector<GifColorType> colours;
    std::vector<GifPixelType> pixels(static_cast<size_t>(width) * height);
    for (size_t k = 0; k < pixels.size(); ++k) {
        const uint32_t key = (uint32_t{rgb[3 * k]} << 16) | (uint32_t{rgb[3 * k + 1]} << 8) | rgb[3 * k + 2];
        auto it = index.find(key);
        if (it == index.end()) {
            if (colours.size() >= 256)
                return false;
            it = index.emplace(key, static_cast<int>(colours.size())).first;
            colours.push_back(GifColorType{rgb[3 * k], rgb[3 * k + 1], rgb[3 * k + 2]});
        }
        pixels[k] = static_cast<GifPixelType>(it->second);
    }
    while (colours.size() < 256)
        colours.push_back(GifColorType{0, 0, 0});

    int error = 0;
    GifFileType* gif = EGifOpenFileName(path.c_str(), false, &error);
    if (gif == nullptr)
        return false;
    ColorMapObject* map = GifMakeMapObject(256, colours.data());
    bool ok = map != nullptr && EGifPutScreenDesc(gif, width, height, 8, 0, map) == GIF_OK &&
              EGifPutImageDesc(gif, 0, 0, width, height, false, nullptr) == GIF_OK;
    for (int y = 0; ok && y < height; ++y)
        ok = EGifPutLine(gif, pixels.data() + static_cast<size_t>(y) * width, width) == GIF_OK;
    GifFreeMapObject(map);
    return EGifCloseFile(gif, &error) == GIF_OK && ok;
}

bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

std::vector<uint8_t> ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

unsigned UploadGrabTexture(int width, int height, const std::vector<uint8_t>& rgb, int limit)
{
    std::vector<uint8_t> grab(static_cast<size_t>(width) * height * 4);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const uint8_t* src = rgb.data() + (static_cast<size_t>(height - 1 - y) * width + x) * 3;
            uint8_t* dst = grab.data() + (static_cast<size_t>(y) * width + x) * 4;
            dst[0] = src[0];
            dst[1] = src[1];
            dst[2] = src[2];
            dst[3] = 255;
        }
    }
    auto side = [limit](int s) {
        const int exponent = static_cast<int>(std::floor(std::log(static_cast<double>(s)) / std::log(2.0) + 0.5));
        return std::min(1 << exponent, limit);
    };
    const int tw = side(width), th = side(height);
    std::vector<uint8_t> scaled(static_cast<size_t>(tw) * th * 4);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    if (gluScaleImage(GL_RGBA, width, height, GL_UNSIGNED_BYTE, grab.data(), tw, th, GL_UNSIGNED_BYTE,
                      scaled.data()) != 0)
        return 0;
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, tw, th, 0, GL_RGBA, GL_UNSIGNED_BYTE, scaled.data());
    return name;
}

std::string FreshFixtureDir(const std::string& name)
{
    const std::filesystem::path dir = std::filesystem::path("fixtures") / name;
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
    std::filesystem::create_directories(dir, ignored);
    return dir.string() + "/";
}

CellReport CheckBoardCells(const Frame& frame, const EngineView& view, const ONEPUZZLE& puzzle, double sx,
                           double sy)
{
    CellReport report;
    for (int j = 0; j < puzzle.rows; ++j) {
        for (int i = 0; i < puzzle.columns; ++i) {
            const int row = puzzle.rows - 1 - j;
            const double x = i + (puzzle.columns - 1) * -0.5;
            const double y = row + (puzzle.rows - 1) * -0.5;
            double wx = 0.0, wy = 0.0;
            view.ProjectBoardPoint(x, y, puzzle.boardZ, sx, sy, &wx, &wy);
            if (wx < 2.0 || wy < 2.0 || wx > frame.width - 3.0 || wy > frame.height - 3.0)
                continue;  // the board may reach beyond the view (landscape picture, wider view)
            const Rgb seen = frame.MeanAround(static_cast<int>(wx), static_cast<int>(wy), 1);
            int di = -1, dj = -1;
            ++report.checked;
            if (DecodeCell(seen, puzzle.columns, puzzle.rows, &di, &dj) && di == i && dj == j) {
                ++report.matched;
            } else if (report.firstMisses.size() < 400) {
                report.firstMisses += "cell (" + std::to_string(i) + "," + std::to_string(j) + ") at (" +
                                      std::to_string(static_cast<int>(wx)) + "," +
                                      std::to_string(static_cast<int>(wy)) + ") shows rgb(" +
                                      std::to_string(seen.r) + "," + std::to_string(seen.g) + "," +
                                      std::to_string(seen.b) + "); ";
            }
        }
    }
    return report;
}
