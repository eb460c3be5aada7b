// A private X server for the GL tests: Xvfb started on a display it picks itself, ended by
// its pid when the test program ends. Where it cannot start, tests ask Reason() and skip.
#pragma once

#include <string>

namespace sdltest {

// Starts the server once (later calls return the first result). True when DISPLAY now names it.
bool EnsureXvfb();
// Why the server or a GL context is missing, for the skip message.
const std::string& Reason();
void SetReason(const std::string& why);

}  // namespace sdltest
