// The program's entry. The one engine object lives for the whole process; destroying it at
// exit saves the console log once more.
#include "app/korvel.h"
#include "app/program.h"

static Korvel engine;

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    return RunProgram(&engine);
}
