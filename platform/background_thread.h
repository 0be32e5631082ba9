#pragma once

// Makes the calling thread yield to the rest of the process: work done on
// it (decoding the next picture) then takes the processor mostly when the
// frame loop and the renderer's threads leave it free, yet still finishes
// under full load (ten nice steps below the thread it came from). Best effort: nothing is reported when the system
// refuses.
void LowerCurrentThreadPriority();
