#pragma once
#include <cstdint>

#include "loading/MS3D_KEYFRAME.h"

// A skeleton joint with its key frames; read and scaled, never played back.
struct MS3D_JOINT {
    uint8_t flags;                   // editor flags, not interpreted
    char name[32];                   // as stored, not necessarily terminated
    char parentName[32];             // as stored, not necessarily terminated
    float rotation[3];               // initial rotation, radians
    float position[3];               // initial position, model units
    uint16_t numRotationKeys;        // length of rotationKeys
    uint16_t numTranslationKeys;     // length of translationKeys
    MS3D_KEYFRAME* rotationKeys;     // array new; released by MS3D
    MS3D_KEYFRAME* translationKeys;  // array new; released by MS3D
};
