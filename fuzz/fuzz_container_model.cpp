// libFuzzer harness for the lump container and the MS3D reader.
// The first input byte picks the path: even = the rest is a container
// file, every lump of which is read as a model; odd = the rest is one
// model read straight from memory. A loaded model is scaled and walked the
// way Render walks it, so an index the reader let through shows up as an
// out-of-bounds access under ASan.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <sstream>
#include <string>

#include "loading/MS3D.h"
#include "loading/RESFILE.h"

namespace {

float WalkLikeRender(const MS3D& model)
{
    float sum = 0;
    for (uint16_t g = 0; g < model.numGroups; ++g) {
        const MS3D_GROUP& group = model.groups[g];
        for (uint16_t k = 0; k < group.numTriangles; ++k) {
            const MS3D_TRIANGLE& t = model.triangles[group.triangleIndices[k]];
            for (int j = 0; j < 3; ++j) {
                sum += t.vertexNormals[j][0] + t.s[j] + t.t[j] + model.vertices[t.vertexIndices[j]].location[2];
            }
        }
    }
    return sum;
}

void LoadModel(std::istream* stream)
{
    MS3D model;
    if (model.LoadFromFStream(stream)) {
        model.Scale(0.025f);
        volatile float sink = WalkLikeRender(model);
        (void)sink;
    }
}

const std::string& ScratchPath()
{
    static const std::string path = [] {
        const char* dir = std::getenv("TMPDIR");
        return std::string(dir && *dir ? dir : "/tmp") + "/zarnet-fuzz-container-" + std::to_string(getpid());
    }();
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1 || size > (1u << 20)) {
        return 0;
    }
    const std::string body(reinterpret_cast<const char*>(data + 1), size - 1);
    if (data[0] & 1) {
        std::istringstream in(body);
        LoadModel(&in);
        return 0;
    }
    FILE* file = std::fopen(ScratchPath().c_str(), "wb");
    if (!file) {
        return 0;
    }
    std::fwrite(body.data(), 1, body.size(), file);
    std::fclose(file);
    RESFILE container;
    if (container.Open(ScratchPath().c_str())) {
        const int count = container.header.lumpCount > 256 ? 256 : static_cast<int>(container.header.lumpCount);
        for (int i = 0; i < count; ++i) {
            if (!container.SeekLump(i)) {
                break;  // a reader ran past the end: the stream stays failed
            }
            LoadModel(&container.stream);
        }
    }
    return 0;
}
