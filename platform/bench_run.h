// MESHES_BENCH=seconds: a timed run. Every backend reports each Present here. Runs of 2 s or
// more first let a second of frames pass uncounted (framestats::WarmUpFor); once the given
// time has passed since the first counted Present the backend posts WM_CLOSE to its main window, the
// program shuts down as it would for the user, and the entry prints one line of frame
// statistics (and one of the start-up) at exit. Does nothing when MESHES_BENCH is unset or empty.
#pragma once

#include <cstdio>
#include <string>

namespace platform {

// Reads MESHES_BENCH. False, with the reason in err, when it is set but not a number of
// seconds (above 0, at most a day); the run should then not start.
bool BenchStart(std::string& err);

// True between a successful BenchStart that found MESHES_BENCH and the end of the program.
bool BenchActive();

// Called by a backend after each Present. True exactly once: at the first Present at or past
// the run's time, when the backend should post WM_CLOSE to its main window.
bool BenchPresent();

// Called by a backend at each BeginScene; the first one marks the end of loading.
void BenchBeginScene();

// Writes the statistics line to `out` when a timed run was started, and after it a line with
// the wall time, process CPU time and peak memory from the start of the program to the first
// BeginScene and to the end of the first Present.
void BenchReport(std::FILE* out);

}  // namespace platform
