#pragma once

// One key of a joint's animation: a rotation or a translation at a time.
struct MS3D_KEYFRAME {
    float time;      // seconds
    float value[3];  // rotation angles (radians) or position (model units)
};
