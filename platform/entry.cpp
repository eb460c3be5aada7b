// The program entry: selects the backend named by MESHES_PLATFORM, runs the engine's WinMain
// with the arguments as a Windows command line, and finishes the backend. The backend starts
// at the program's first call into it, so the program can read its arguments and enter its
// folder first. Linked only into the program (tests have their own main).
#include <cstdio>
#include <string>

#include "platform/backend.h"
#include "platform/bench_run.h"

// One argument as a Windows command line carries it: quoted when it holds blanks or quotes,
// with backslashes doubled before a quote.
static std::string QuoteArgument(const std::string& arg) {
    if (!arg.empty() && arg.find_first_of(" \t\n\"") == std::string::npos) return arg;
    std::string out = "\"";
    size_t slashes = 0;
    for (char c : arg) {
        if (c == '\\') {
            ++slashes;
        } else if (c == '"') {
            out.append(slashes * 2 + 1, '\\');
            slashes = 0;
        } else {
            out.append(slashes, '\\');
            slashes = 0;
        }
        if (c != '\\') out += c;
    }
    out.append(slashes * 2, '\\');
    out += '"';
    return out;
}

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
    platform::StartOnFirstUse();
    std::string commandLine;   // the arguments after the program name, quoted as Windows would
    for (int i = 1; i < argc; ++i) {
        if (i > 1) commandLine += ' ';
        commandLine += QuoteArgument(argv[i]);
    }
    // No module handle yet: asking the backend for it would start it. The program takes its
    // handle from GetModuleHandleA.
    int rc = WinMain(NULL, NULL, &commandLine[0], SW_SHOWDEFAULT);
    if (platform::Started()) platform::Active().Finish();
    platform::BenchReport(stdout);
    return rc;
}
