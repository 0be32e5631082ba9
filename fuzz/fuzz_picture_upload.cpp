// libFuzzer harness for the picture path as the saver takes it: the file is
// read, decoded, resampled and flipped to the texture size, and uploaded into
// a real (headless Mesa) GL context made once. The first input byte picks:
//   bit 0     the route: clear = the desktop picture's (loadPicFile, one
//             BuildTexture), set = the folder picture's (NextPicture: the
//             worker thread, then uploads in shares of 1 + 4 x bits 5-7 rows);
//   bits 1-5  all set: a fixed texture size, 512 square (resolution code 0)
//             or, with bit 6, 1024 square (code 1); otherwise code 2, the
//             picture's own size to the nearest power of two. The fixed
//             sizes are rare so that most inputs stay small and fast.
// The rest is the picture file. Pictures above 16 k pixels are skipped after
// their header is read, to keep each run fast: buffers up to 64 KB come from
// the sanitizer's pools, larger ones are mapped and unmapped every time.
//
// Checked: a picture whose header can't be read never gives a texture; a
// texture made has the size the steps promise and the picture's own size
// beside it; the GL is left without an error; and no texture outlives its
// input (Mesa hands out names in increasing order: every name between a probe
// made before the input and one made after it must be free again).
#include <unistd.h>

#include <GL/gl.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "loading/Texture.h"
#include "pictures/NextPicture.h"
#include "pictures/PictureSteps.h"
#include "pictures/Pictures.h"
#include "pictures/picture_decoder.h"
#include "platform/egl_headless.h"

namespace {

HeadlessGLContext* gl = nullptr;
std::string scratch;  // the file each input is written to
GLint maxTextureSize = 0;

void Fail(const char* what)
{
    std::fprintf(stderr, "fuzz_picture_upload: %s\n", what);
    __builtin_trap();
}

// The size of level 0 of `texture`.
void LevelSize(unsigned texture, GLint* width, GLint* height)
{
    glBindTexture(GL_TEXTURE_2D, texture);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, width);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, height);
    glBindTexture(GL_TEXTURE_2D, 0);
}

unsigned ProbeName()
{
    GLuint name = 0;
    glGenTextures(1, &name);
    glDeleteTextures(1, &name);
    return name;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    gl = new HeadlessGLContext;
    if (!gl->Create(16, 16)) {
        std::fprintf(stderr, "fuzz_picture_upload: no headless GL context: %s\n", gl->Error().c_str());
        std::exit(1);
    }
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxTextureSize);
    const char* dir = std::getenv("TMPDIR");
    if (access("/dev/shm", W_OK) == 0) {
        dir = "/dev/shm";
    }
    scratch = std::string(dir && *dir ? dir : "/tmp") + "/zarnet-fuzz-picture-" + std::to_string(getpid());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1 || size > (1u << 20)) {
        return 0;
    }
    const bool folderRoute = data[0] & 1;
    const int resolution = (data[0] & 0x3E) == 0x3E ? (data[0] >> 6) & 1 : 2;
    const int shareRows = 1 + 4 * (data[0] >> 5);
    ++data;
    --size;

    int width = 0, height = 0;
    const bool readable = ReadPictureSize(data, size, &width, &height);
    if (readable && static_cast<uint64_t>(width) * static_cast<uint64_t>(height) > (uint64_t{1} << 14)) {
        return 0;
    }
    const unsigned firstName = ProbeName();
    FILE* file = std::fopen(scratch.c_str(), "wb");
    if (!file) {
        return 0;
    }
    std::fwrite(data, 1, size, file);
    std::fclose(file);

    int texWidth = 0, texHeight = 0;
    PictureTextureSize(resolution, width, height, resolution == 2 ? maxTextureSize : 0, &texWidth, &texHeight);
    unsigned texture = 0;
    int pictureWidth = 0, pictureHeight = 0;
    bool made = false;
    if (!folderRoute) {
        Texture record;
        made = loadPicFile(scratch.c_str(), &record, resolution);
        texture = record.texID;  // the record only names it: deleted below, also after a failed upload
        pictureWidth = static_cast<int>(record.width);
        pictureHeight = static_cast<int>(record.height);
    } else {
        NextPicture next;
        next.Start(scratch.c_str(), "", resolution);
        const size_t budget = static_cast<size_t>(shareRows) * static_cast<size_t>(texWidth > 0 ? texWidth : 1) * 4;
        while (!next.Advance(budget)) {
            usleep(30);  // the worker decodes; a yield spins in the kernel, a long sleep idles
        }
        made = next.Take(&texture, &pictureWidth, &pictureHeight);
    }
    if (made && !readable) {
        Fail("a picture whose header can't be read gave a texture");
    }
    if (made) {
        if (pictureWidth != width || pictureHeight != height) {
            Fail("the picture's own size is not the header's");
        }
        GLint w = 0, h = 0;
        LevelSize(texture, &w, &h);
        if (w != texWidth || h != texHeight) {
            Fail("the texture is not of the size the steps promise");
        }
    }
    if (texture != 0) {
        glDeleteTextures(1, &texture);
    }
    if (glGetError() != GL_NO_ERROR) {
        Fail("the upload left a GL error");
    }
    for (unsigned name = firstName + 1, last = ProbeName(); name < last; ++name) {
        if (glIsTexture(name)) {
            Fail("a texture outlived its input");
        }
    }
    return 0;
}
