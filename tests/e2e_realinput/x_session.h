// A private X display for end-to-end runs: Xvfb on a display it picks itself and, on request,
// a small window manager (openbox) that turns close requests into WM_DELETE_WINDOW. Both are
// ended by their pids when the test program ends.
#pragma once

#include <string>
#include <vector>

namespace e2e {

// Starts the server (and the window manager when asked) once; later calls return the first
// result. True when DISPLAY now names the server. Why not: SessionProblem().
bool EnsureX(bool windowManager);
const std::string& SessionProblem();

// True when `tool` is found on PATH.
bool Have(const std::string& tool);

// Runs a tool with these arguments on the session's display and waits for it. Its exit
// code, or -1 when it could not run; what it printed goes to *out when given.
int Tool(const std::vector<std::string>& argv, std::string* out = nullptr, int seconds = 60);

}  // namespace e2e
