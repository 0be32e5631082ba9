#pragma once
// The benchmarks' large input photographs, written to a JPEG file a row at a
// time (a whole 6000 x 4000 picture never sits in memory). Quality 90, as
// bench/README.md's figures were measured with.
#include <cstdio>
#include <vector>

#include <jpeglib.h>

// Writes a width x height RGB JPEG to `path`, row y (top first) made by
// makeRow(y, &row) as width * 3 samples. False when the file can't be
// written; a failing encoder ends the program (acceptable in a benchmark).
template <class MakeRow> bool WriteJpegRows(const char* path, int width, int height, MakeRow makeRow)
{
    FILE* file = std::fopen(path, "wb");
    if (file == nullptr) {
        return false;
    }
    jpeg_compress_struct cinfo;
    jpeg_error_mgr error;
    cinfo.err = jpeg_std_error(&error);
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, file);
    cinfo.image_width = JDIMENSION(width);
    cinfo.image_height = JDIMENSION(height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 90, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<unsigned char> row;
    for (int y = 0; y < height; ++y) {
        makeRow(y, &row);
        JSAMPROW pointer = row.data();
        jpeg_write_scanlines(&cinfo, &pointer, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return std::fclose(file) == 0;
}
