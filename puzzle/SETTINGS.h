#pragma once
#include <cstdint>

// The user's settings as the view holds them and hands them to the engine
// by pointer. Stored under the module "vmZarnetSS" (see host/Preferences.h);
// picWidth/picHeight are run-time values and never stored.
struct SETTINGS {
    int BGRES;            // texture resolution: 0 = 512, 1 = 1024, 2 = picture's own size (powers of two)
    int BGTYPE;           // picture source: 0 = desktop grab, 1 = desktop picture file, 2 = folder
    char BGPath[1024];    // picture folder for source 2, NUL-terminated
    int32_t PERCENTAGE;   // finishing share in percent
    int32_t PUZZLEWIDTH;  // pieces along the picture's longer side
    bool LOCKINPLACE;     // groups of three or more fly home on their own
    int picWidth;         // pixel width of the picture being shown (set at set-up)
    int picHeight;        // pixel height of the picture being shown
};
