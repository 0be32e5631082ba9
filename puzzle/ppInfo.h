#pragma once

// The 64 piece shapes: four edge codes each, in the order top (+y),
// right (+x), bottom (-y), left (-x). 0 is a straight (border) edge; +1 and
// -1 are the two complementary forms of an interlocking edge, so two pieces
// meeting on an edge carry opposite codes there. The table holds every
// combination in which top and bottom are not both 0 and right and left are
// not both 0, ordered by (top, right, bottom, left) with top, right and
// bottom running 0, +1, -1 and left running 0, -1, +1.
extern const int ppInfo[64][4];
