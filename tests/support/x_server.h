// A private X display for the tests that open windows: Xvfb on a display it picks itself and,
// on request, a small window manager (openbox) that turns close requests into
// WM_DELETE_WINDOW. Both are ended by their pids when the test program ends. Where they cannot
// start, tests ask XProblem() and skip.
#pragma once

#include <string>
#include <vector>

namespace testsupport {

struct XOptions {
    bool windowManager = false;
    // Milliseconds before a held key repeats; 0 keeps the server's own delay.
    int autoRepeatDelayMs = 0;
};

// The server of the window tests: a held key repeats only after 5 s, so that a test can hold
// one down for a while.
inline const XOptions kSlowKeyRepeat{false, 5000};

// Starts the server (and the window manager when asked) once; later calls return the first
// result. True when DISPLAY now names the server.
bool StartX(const XOptions& options = XOptions());
// Why the server, the manager or something a test needs on top of them is missing.
const std::string& XProblem();
void SetXProblem(const std::string& why);

// True when `tool` is found on PATH.
bool Have(const std::string& tool);

// Runs a tool with these arguments on the session's display and waits for it. Its exit
// code, or -1 when it could not run; what it printed goes to *out when given.
int Tool(const std::vector<std::string>& argv, std::string* out = nullptr, int seconds = 60);

}  // namespace testsupport
