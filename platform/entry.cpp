// The program entry: selects the backend named by MESHES_PLATFORM, starts it, runs the
// engine's WinMain and finishes the backend. Linked only into the program (tests have their
// own main).
#include <cstdio>
#include <string>

#include "platform/backend.h"
#include "platform/bench_run.h"

int main(int argc, char** argv) {
#ifdef MESHES_WITH_SDL_GL
    platform::RegisterSdlGlBackend();
#endif
    std::string err;
    if (!platform::BenchStart(err)) {
        std::fprintf(stderr, "meshes: %s\n", err.c_str());
        return 2;
    }
    const std::string name = platform::RequestedBackend();
    if (!platform::Select(name.c_str(), err)) {
        std::fprintf(stderr, "meshes: %s\n", err.c_str());
        return 2;
    }
    if (!platform::Active().Start(err)) {
        std::fprintf(stderr, "meshes: platform '%s' cannot start: %s\n", name.c_str(), err.c_str());
        return 2;
    }
    std::string commandLine;   // the arguments after the program name, blank-separated
    for (int i = 1; i < argc; ++i) {
        if (i > 1) commandLine += ' ';
        commandLine += argv[i];
    }
    int rc = WinMain(GetModuleHandleA(NULL), NULL, &commandLine[0], SW_SHOWDEFAULT);
    platform::Active().Finish();
    platform::BenchReport(stdout);
    return rc;
}
