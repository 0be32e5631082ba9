// The piece shapes compiled into display lists of the current GL context.
#include <GL/gl.h>

#include "loading/MS3D.h"
#include "puzzle/ONEPUZZLE.h"
#include "puzzle/PieceCards.h"
#include "puzzle/PieceShapes.h"

namespace {

// The mask atlas as a texture of its own (the picture's binding on the
// active unit left as it was), or 0 when GL can't take it.
unsigned int UploadCardAtlas(const PieceCardAtlas& atlas)
{
    GLint bound = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    for (int level = 0; level < kCardLevels; ++level) {
        const int side = atlas.size >> level;
        glTexImage2D(GL_TEXTURE_2D, level, GL_LUMINANCE_ALPHA, side, side, 0, GL_LUMINANCE_ALPHA, GL_UNSIGNED_BYTE,
                     atlas.levels[static_cast<size_t>(level)].data());
    }
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, kCardLevels - 1);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_NEAREST);
    // Seams stay thin when the level is chosen a little finer than the footprint.
    glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_LOD_BIAS, kCardLodBias);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(bound));
    if (glGetError() != GL_NO_ERROR) {
        glDeleteTextures(1, &texture);
        return 0;
    }
    return texture;
}

// One corner of a card: the picture's coordinates as the shapes have them
// (x/20 + 1, 1 - y/20 of the model unit) on unit 0, the shape's tile on unit 1.
void CardCorner(int shape, float x, float y, float z)
{
    float s = 0.0f, t = 0.0f;
    PieceCardAtlas::TileCoordinates(shape, x, y, &s, &t);
    glMultiTexCoord2f(GL_TEXTURE0, x / 20.0f + 1.0f, 1.0f - y / 20.0f);
    glMultiTexCoord2f(GL_TEXTURE1, s, t);
    glVertex3f(x * kModelToBoard, y * kModelToBoard, z * kModelToBoard);
}

// Shape `shape`'s card (`fins` false): the front square facing +z and the
// back one facing -z; or its fins (`fins` true): two planes through the
// middle (y = 0 and x = 0, each face one way), cut by the same mask to the
// piece's extent across its middle. The fins lie inside the piece, hidden
// behind its faces, until it turns edge on: then they show the sliver its
// side would. Each side reaches as far as the shape does: the whole tile
// where a knob sticks out, else a margin past the body's edge.
void CompileCard(int shape, bool fins)
{
    const float top = CardReach(shape, 0), right = CardReach(shape, 1);
    const float bottom = -CardReach(shape, 2), left = -CardReach(shape, 3);
    const float z = kPieceHalfThickness;
    const struct {
        float normal[3];
        float corners[4][3];
    } faces[] = {
        {{0, 0, 1}, {{left, bottom, z}, {right, bottom, z}, {right, top, z}, {left, top, z}}},
        {{0, 0, -1}, {{left, bottom, -z}, {left, top, -z}, {right, top, -z}, {right, bottom, -z}}},
        {{0, 1, 0}, {{left, 0, z}, {right, 0, z}, {right, 0, -z}, {left, 0, -z}}},
        {{0, -1, 0}, {{left, 0, z}, {left, 0, -z}, {right, 0, -z}, {right, 0, z}}},
        {{1, 0, 0}, {{0, bottom, z}, {0, bottom, -z}, {0, top, -z}, {0, top, z}}},
        {{-1, 0, 0}, {{0, bottom, z}, {0, top, z}, {0, top, -z}, {0, bottom, -z}}},
    };
    const size_t first = fins ? 2 : 0, last = fins ? 6 : 2;
    glBegin(GL_QUADS);
    for (size_t k = first; k < last; ++k) {
        glNormal3fv(faces[k].normal);
        for (const auto& corner : faces[k].corners)
            CardCorner(shape, corner[0], corner[1], corner[2]);
    }
    glEnd();
}

}  // namespace

bool ONEPUZZLE::BuildPieceShapes(char* resourcePath)
{
    for (unsigned int& list : lightLists)
        list = 0;
    // A second set-up of the same board replaces the cards it made before.
    for (unsigned int* lists : {cardLists, finLists}) {
        for (int i = 0; i < kPieceShapeCount; ++i) {
            if (lists[i] != 0)
                glDeleteLists(lists[i], 1);
            lists[i] = 0;
        }
    }
    if (cardTexture != 0)
        glDeleteTextures(1, &cardTexture);
    cardTexture = 0;
    PieceCardAtlas atlas;
    atlas.Reset();
    bool lightSet = false;
    const bool read = ReadPieceShapes(
        resourcePath,
        [this, &atlas](int shape, bool light, MS3D& model) {
            unsigned int& list = light ? lightLists[shape] : modelLists[shape];
            list = glGenLists(1);
            glNewList(list, GL_COMPILE);
            model.Render();
            glEndList();
            if (!light)
                atlas.AddShape(shape, model);
        },
        &lightSet);
    if (read && atlas.Complete()) {
        cardTexture = UploadCardAtlas(atlas);
        for (int i = 0; cardTexture != 0 && i < kPieceShapeCount; ++i) {
            cardLists[i] = glGenLists(1);
            glNewList(cardLists[i], GL_COMPILE);
            CompileCard(i, false);
            glEndList();
            finLists[i] = glGenLists(1);
            glNewList(finLists[i], GL_COMPILE);
            CompileCard(i, true);
            glEndList();
        }
    }
    if (read && !lightSet) {
        // No light set, or only part of one: the full shapes at every size.
        for (int i = 0; i < kPieceShapeCount; ++i) {
            if (lightLists[i] != 0 && lightLists[i] != modelLists[i])
                glDeleteLists(lightLists[i], 1);
            lightLists[i] = modelLists[i];
        }
    }
    return read;
}
