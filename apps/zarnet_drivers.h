#pragma once
#include "apps/zarnet_options.h"

// Runs the views on the X display of $DISPLAY until SIGTERM/SIGINT (or the
// window closes). Returns the exit status.
int RunOnDisplay(const ZarnetOptions& options);

// Renders options.seconds of simulated time headless into options.recordDir.
// Returns the exit status.
int RunRecord(const ZarnetOptions& options);
