#pragma once

// Time for the views. Frame timing reads a monotonic clock, so that a change
// of the system time can neither stall nor skip frames; seeding the random
// generator reads wall-clock seconds. A host driver hands its views one
// clock; tests and the headless recorder step a manual one.
class Clock {
public:
    virtual ~Clock() = default;
    // Seconds on a clock that never jumps (arbitrary origin).
    virtual double MonotonicSeconds() = 0;
    // Seconds since 1970-01-01 UTC.
    virtual double WallSeconds() = 0;
};

// The system's clocks (CLOCK_MONOTONIC and CLOCK_REALTIME).
class SystemClock final : public Clock {
public:
    double MonotonicSeconds() override;
    double WallSeconds() override;
};

// A clock that moves only when told to: the fixed time step of the headless
// recorder and the tests' injected time.
class ManualClock final : public Clock {
public:
    ManualClock(double monotonic = 0.0, double wall = 0.0);
    double MonotonicSeconds() override;
    double WallSeconds() override;
    // Moves both readings on by `seconds`.
    void Advance(double seconds);
    // Sets the monotonic reading.
    void SetMonotonic(double seconds);
    // Sets the wall-clock reading.
    void SetWall(double seconds);

private:
    double monotonic_;  // current monotonic reading, seconds
    double wall_;       // current wall-clock reading, seconds since 1970
};
