// The program's entry. The one engine object lives for the whole process; destroying it at
// exit saves the console log once more. The arguments are read before anything else: usage
// errors, --help and --version end the program before a window exists.
#include <cstdio>

#include "app/command_line.h"
#include "app/korvel.h"
#include "app/program.h"

static Korvel engine;

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
    int rc = Launch(commandLine, stdout, stderr);
    if (rc >= 0) return rc;
    return RunProgram(&engine);
}
