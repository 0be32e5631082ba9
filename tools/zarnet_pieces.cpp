// zarnet-pieces: writes the 64 jigsaw piece shapes as MilkShape 3D models.
//
//   zarnet-pieces [-v] [--light] OUTDIR
//
// Writes OUTDIR/piece00.ms3d ... OUTDIR/piece63.ms3d; model i has the edge
// codes of row i of the shape table (top, right, bottom, left). Pack them in
// that order into "zar.vnt" with zarnet-pack, followed by the 64 of the
// light set (--light: the same outlines in fewer triangles, drawn for small
// pieces). -v lists each shape's codes and triangle count. The output
// depends on nothing but this program.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tools/file_io.h"
#include "tools/ms3d_writer.h"
#include "tools/piece_mesh.h"

int main(int argc, char** argv)
{
    bool verbose = false;
    bool light = false;
    std::string outDir;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-v") == 0)
            verbose = true;
        else if (std::strcmp(argv[i], "--light") == 0)
            light = true;
        else if (outDir.empty() && argv[i][0] != '-')
            outDir = argv[i];
        else {
            std::fprintf(stderr, "usage: zarnet-pieces [-v] [--light] OUTDIR\n");
            return 2;
        }
    }
    if (outDir.empty()) {
        std::fprintf(stderr, "usage: zarnet-pieces [-v] [--light] OUTDIR\n");
        return 2;
    }
    if (outDir.back() != '/')
        outDir += '/';

    const piecemesh::Params params = light ? piecemesh::LightParams() : piecemesh::Params{};
    auto table = piecemesh::ShapeTable();
    for (int i = 0; i < 64; ++i) {
        ms3dw::Mesh mesh;
        std::string why;
        if (!piecemesh::BuildPiece(table[i], params, mesh, &why)) {
            std::fprintf(stderr, "zarnet-pieces: shape %d: %s\n", i, why.c_str());
            return 1;
        }
        std::vector<uint8_t> bytes;
        if (!ms3dw::Write(mesh, bytes)) {
            std::fprintf(stderr, "zarnet-pieces: shape %d doesn't fit the model format\n", i);
            return 1;
        }
        char name[32];
        std::snprintf(name, sizeof name, "piece%02d.ms3d", i);
        if (!toolio::WriteFile(outDir + name, bytes)) {
            std::fprintf(stderr, "zarnet-pieces: can't write %s%s\n", outDir.c_str(), name);
            return 1;
        }
        if (verbose)
            std::printf("%2d: %+d %+d %+d %+d  %zu vertices, %zu triangles\n", i, table[i][0], table[i][1], table[i][2],
                        table[i][3], mesh.positions.size(), mesh.triangles.size());
    }
    return 0;
}
