#pragma once
#include <string>

// The --fps read-out: frames shown per second and the process's CPU load,
// measured over each second and drawn into the corner of the frame.
class FpsMeter {
public:
    // Counts one shown frame at monotonic time `now` (seconds); refreshes
    // the figures once a second.
    void Frame(double now);
    // "FPS 59.8  CPU 35%" (CPU in percent of one core; above 100 when the
    // renderer's threads use more than one).
    std::string Text() const;
    // Draws Text() at the lower-left corner of a width x height frame with
    // the current GL context, leaving the GL state as it found it.
    void Draw(int width, int height) const;

private:
    double start_ = -1.0;    // start of the current second, monotonic seconds; < 0 before the first frame
    double cpuStart_ = 0.0;  // process CPU seconds at start_
    int frames_ = 0;         // frames in the current second
    double fps_ = 0.0;       // last second's frame rate
    double cpu_ = 0.0;       // last second's CPU load, percent of one core
};
