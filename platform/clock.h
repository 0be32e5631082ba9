#pragma once

// The system's clocks. Frame timing reads the monotonic one, so that a change
// of the system time can neither stall nor skip frames; seeding the random
// generator reads wall-clock seconds. The views read theirs through their
// backend's table (the headless one steps its own).

// Seconds on CLOCK_MONOTONIC (arbitrary origin, never jumps).
double MonotonicSeconds();
// Seconds since 1970-01-01 UTC (CLOCK_REALTIME).
double WallSeconds();
