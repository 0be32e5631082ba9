// The next folder picture's upload: texture storage once, then rows in
// shares, each share bounded in bytes.
#include "pictures/NextPicture.h"

#include <GL/gl.h>

namespace {

// The cap on the texture's sides for code 2; the fixed sizes need none.
int MaxTextureSizeFor(int resolution)
{
    GLint size = 0;
    if (resolution != 0 && resolution != 1)
        glGetIntegerv(GL_MAX_TEXTURE_SIZE, &size);
    return size;
}

// The size of level 0 of `texture`; the binding is left as it was.
void TextureSize(unsigned texture, GLint* width, GLint* height)
{
    GLint bound = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    glBindTexture(GL_TEXTURE_2D, texture);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, width);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, height);
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(bound));
}

}  // namespace

NextPicture::~NextPicture()
{
    Drop();
    ReleaseSpare();
}

void NextPicture::Recycle(unsigned texture)
{
    ReleaseSpare();
    if (texture == 0 || !glIsTexture(texture))
        return;
    GLint width = 0, height = 0;
    TextureSize(texture, &width, &height);
    spare_ = texture;
    spareWidth_ = width;
    spareHeight_ = height;
}

void NextPicture::Reserve(unsigned texture)
{
    ReleaseSpare();
    if (texture == 0 || !glIsTexture(texture))
        return;
    GLint bound = 0, width = 0, height = 0;
    TextureSize(texture, &width, &height);
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    GLuint spare = 0;
    glGenTextures(1, &spare);
    glBindTexture(GL_TEXTURE_2D, spare);
    glTexImage2D(GL_TEXTURE_2D, 0, 4, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(bound));
    spare_ = spare;
    spareWidth_ = width;
    spareHeight_ = height;
}

void NextPicture::ReleaseSpare()
{
    if (spare_ != 0)
        glDeleteTextures(1, &spare_);
    spare_ = 0;
    spareWidth_ = 0;
    spareHeight_ = 0;
}

void NextPicture::Start(const char* path, const char* fallbackPath, int resolution)
{
    Drop();
    worker_.Start(path ? path : "", fallbackPath ? fallbackPath : "", resolution, MaxTextureSizeFor(resolution));
    stage_ = Stage::Making;
}

bool NextPicture::Advance(size_t budgetBytes)
{
    if (stage_ == Stage::Making) {
        if (!worker_.Take(&pixels_))
            return false;
        stage_ = Stage::Done;
        if (pixels_.rgba == nullptr)
            return true;  // neither file gave a picture
        if (!BeginUpload()) {
            FreePicturePixels(&pixels_);
            return true;
        }
        stage_ = Stage::Uploading;
    }
    if (stage_ == Stage::Uploading) {
        if (!UploadRows(budgetBytes))
            return false;
        pictureWidth_ = pixels_.pictureWidth;
        pictureHeight_ = pixels_.pictureHeight;
        FreePicturePixels(&pixels_);
        stage_ = Stage::Done;
    }
    return stage_ == Stage::Done;
}

bool NextPicture::Take(unsigned* texture, int* width, int* height)
{
    if (stage_ != Stage::Done)
        return false;
    stage_ = Stage::Idle;
    if (texture_ == 0)
        return false;
    *texture = texture_;
    *width = pictureWidth_;
    *height = pictureHeight_;
    texture_ = 0;
    return true;
}

void NextPicture::MakeNow(const char* path, const char* fallbackPath, int resolution)
{
    Drop();
    MakePicturePixels(path ? path : "", fallbackPath ? fallbackPath : "", resolution, MaxTextureSizeFor(resolution),
                      &pixels_);
    stage_ = Stage::Done;
    if (pixels_.rgba != nullptr && BeginUpload()) {
        UploadRows(static_cast<size_t>(-1));
        pictureWidth_ = pixels_.pictureWidth;
        pictureHeight_ = pixels_.pictureHeight;
    }
    FreePicturePixels(&pixels_);
}

void NextPicture::Drop()
{
    worker_.Drop();
    FreePicturePixels(&pixels_);
    if (texture_ != 0)
        glDeleteTextures(1, &texture_);
    texture_ = 0;
    rowsDone_ = 0;
    stage_ = Stage::Idle;
}

bool NextPicture::BeginUpload()
{
    GLint bound = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    for (int k = 0; k < 8 && glGetError() != GL_NO_ERROR; ++k) {}  // earlier errors are not this upload's
    const bool reuse = spare_ != 0 && spareWidth_ == pixels_.width && spareHeight_ == pixels_.height;
    if (reuse) {
        texture_ = spare_;
        spare_ = 0;
    } else {
        ReleaseSpare();
        glGenTextures(1, &texture_);
    }
    glBindTexture(GL_TEXTURE_2D, texture_);
    // As BuildTexture makes a picture's texture: RGBA, repeat, linear.
    if (!reuse)
        glTexImage2D(GL_TEXTURE_2D, 0, 4, pixels_.width, pixels_.height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    const bool made = glGetError() == GL_NO_ERROR;
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(bound));
    if (!made) {
        glDeleteTextures(1, &texture_);
        texture_ = 0;
        return false;
    }
    rowsDone_ = 0;
    return true;
}

bool NextPicture::UploadRows(size_t budgetBytes)
{
    const size_t rowBytes = static_cast<size_t>(pixels_.width) * 4;
    size_t rows = budgetBytes / rowBytes;
    if (rows < 1)
        rows = 1;
    const int left = pixels_.height - rowsDone_;
    const int share = rows < static_cast<size_t>(left) ? static_cast<int>(rows) : left;
    GLint bound = 0, alignment = 4;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);  // RGBA rows are whole words
    glBindTexture(GL_TEXTURE_2D, texture_);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, rowsDone_, pixels_.width, share, GL_RGBA, GL_UNSIGNED_BYTE,
                    pixels_.rgba + static_cast<size_t>(rowsDone_) * rowBytes);
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(bound));
    glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);
    rowsDone_ += share;
    return rowsDone_ >= pixels_.height;
}
