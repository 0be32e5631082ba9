#pragma once
// A 2-D point in screen or view coordinates.
struct point2d {
    float x;  // horizontal coordinate
    float y;  // vertical coordinate
};

// A point2d holding x and y unchanged.
point2d Make2DPoint(float x, float y);
