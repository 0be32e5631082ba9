#include "apps/fps_meter.h"

#include <GL/gl.h>
#include <sys/resource.h>

#include <cstdio>

#include "apps/tiny_font.h"

namespace {

double ProcessCpuSeconds()
{
    struct rusage usage;
    if (getrusage(RUSAGE_SELF, &usage) != 0)
        return 0.0;
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}

}  // namespace

void FpsMeter::Frame(double now)
{
    if (start_ < 0.0) {
        start_ = now;
        cpuStart_ = ProcessCpuSeconds();
        return;
    }
    ++frames_;
    const double elapsed = now - start_;
    if (elapsed >= 1.0) {
        const double cpu = ProcessCpuSeconds();
        fps_ = frames_ / elapsed;
        cpu_ = (cpu - cpuStart_) / elapsed * 100.0;
        start_ = now;
        cpuStart_ = cpu;
        frames_ = 0;
    }
}

std::string FpsMeter::Text() const
{
    char text[64];
    std::snprintf(text, sizeof text, "FPS %.1f  CPU %.0f%%", fps_, cpu_);
    return text;
}

void FpsMeter::Draw(int width, int height) const
{
    if (width <= 0 || height <= 0)
        return;
    const std::string text = Text();
    const int scale = height >= 400 ? 3 : 2;  // pixels per font pixel
    const int margin = 4 * scale;
    const int textWidth = static_cast<int>(text.size()) * kGlyphAdvance * scale;

    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0.0, width, 0.0, height, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glViewport(0, 0, width, height);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_CULL_FACE);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);

    const int x0 = margin, y0 = margin;
    glColor4f(0.0f, 0.0f, 0.0f, 0.55f);
    glBegin(GL_QUADS);
    glVertex2i(x0 - scale * 2, y0 - scale * 2);
    glVertex2i(x0 + textWidth + scale, y0 - scale * 2);
    glVertex2i(x0 + textWidth + scale, y0 + (kGlyphHeight + 2) * scale);
    glVertex2i(x0 - scale * 2, y0 + (kGlyphHeight + 2) * scale);
    glEnd();

    glColor4f(1.0f, 1.0f, 0.6f, 1.0f);
    glBegin(GL_QUADS);
    for (size_t i = 0; i < text.size(); ++i) {
        const uint8_t* rows = GlyphRows(text[i]);
        const int gx = x0 + static_cast<int>(i) * kGlyphAdvance * scale;
        for (int r = 0; r < kGlyphHeight; ++r)
            for (int c = 0; c < kGlyphWidth; ++c) {
                if (!(rows[r] & (0x10 >> c)))
                    continue;
                const int px = gx + c * scale;
                const int py = y0 + (kGlyphHeight - 1 - r) * scale;
                glVertex2i(px, py);
                glVertex2i(px + scale, py);
                glVertex2i(px + scale, py + scale);
                glVertex2i(px, py + scale);
            }
    }
    glEnd();

    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glPopAttrib();  // the matrix mode too
}
