// The program's top level: the globals shared by the entry and the window procedure, and the
// entry's stages as functions, so that a test can drive start-up, single loop iterations and
// shutdown on an engine of its own. WinMain (app/main.cpp) runs them in order on the one
// static engine.
#pragma once

#include "windows.h"
#include "app/korvel_timer.h"
#include "param_tree/dynamic_row.h"

class Korvel;

struct Korvel_Program {
    int screenWidth;                // outer window width, 640 unless "SCREEN" says otherwise
    int screenHeight;               // outer window height, 480 by default
    unsigned char mouseButtonDown;  // 1 while the left button is held over the window
    Korvel_Timer frameTimer;        // restarted at the start of every idle pass
    Korvel_Timer fpsTimer;          // closes each frames-per-second window; not reset before the loop
    Korvel* engine;                 // the engine the entry and the window procedure drive
    HINSTANCE instance;             // module handle
    HWND window;
    HCURSOR cursor;                 // from "mouse.cur"; null when the file is missing
    MSG message;                    // the last message taken
    unsigned int frames;            // idle passes in the current frames-per-second window
    unsigned int fps;               // idle passes of the last closed window; shown on screen
};

extern Korvel_Program program;

// Zeroes every global and makes `engine` the one the program drives.
void ResetProgram(Korvel* engine);

// The "SCREEN" knot of the settings tree sets the window size (one value: height 100).
void ApplyScreenSettings(DynamicRow* settings);

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Settings, window, device, level, shown window and cursor. False when the device could not be
// created: then no window is shown and only EndProgram remains to be run.
bool StartProgram(DynamicRow* settings);

// One iteration of the main loop: one message handled, or an idle pass when none is waiting.
// False once WM_QUIT has been taken.
bool LoopStep();

// Frame count, frame, frames-per-second window, commands, keyboard and mouse steering, then
// the reloads of what changed in the level.
void IdlePass();

// Unregisters the window class; the entry's result (always 0).
int EndProgram();

// The whole entry on `engine`: start-up, loop until WM_QUIT, shutdown.
int RunProgram(Korvel* engine);
