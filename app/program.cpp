// Entry stages, main loop and window procedure.
#include "app/program.h"

#include <cstring>

#include "app/korvel.h"
#include "console/console.h"
#include "render/render_manager.h"
#include "scene/camera_manager.h"

Korvel_Program program;

static const char kClassName[] = "Zarvik";
static const char kWindowTitle[] = "|Zarvik|0.0.4|June 1|";
static const DWORD kFpsWindowMs = 1000;

void ResetProgram(Korvel* engine) {
    memset(&program, 0, sizeof(program));
    program.engine = engine;
}

void ApplyScreenSettings(DynamicRow* settings) {
    unsigned int id = settings->iLookId("SCREEN");
    if (id == 0) return;
    unsigned int count = settings->iCountParams(id);
    if (count == 0) return;
    unsigned int first = settings->TopId(id);
    program.screenWidth = settings->iLookName(first).toInt();
    program.screenHeight = count >= 2 ? settings->iLookName(settings->NextId(first)).toInt() : 100;
}

// Makes the console's next input poll pass its timing gates. Messages can arrive before the
// level has started (the console does not exist yet); they are ignored then.
static void ExpireConsoleTimers() {
    if (program.engine && program.engine->console) program.engine->console->ExpireInputTimers();
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_DESTROY:
        if (program.engine) program.engine->SaveLog();
        PostQuitMessage(0);
        return 0;
    case WM_KEYDOWN:
        ExpireConsoleTimers();
        break;
    case WM_LBUTTONDOWN:
        program.mouseButtonDown = 1;
        break;
    case WM_LBUTTONUP:
        program.mouseButtonDown = 0;
        ExpireConsoleTimers();
        break;
    case WM_MOUSEWHEEL:   // scrolls the console's messages while it is shown
        if (program.engine && program.engine->console)
            program.engine->console->Wheel(GET_WHEEL_DELTA_WPARAM(wParam));
        return 0;
    default:
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

bool StartProgram(DynamicRow* settings) {
    Korvel* engine = program.engine;
    program.screenWidth = 640;
    program.screenHeight = 480;
    *settings = engine->LoadIni("ini.txt");
    ApplyScreenSettings(settings);

    program.instance = GetModuleHandleA(NULL);
    WNDCLASSEXA windowClass;
    memset(&windowClass, 0, sizeof(windowClass));
    // 48 is the structure's size in a 32-bit program, which the Linux platform layer accepts
    // too; a 64-bit Windows refuses any size but its own.
#ifdef _WIN64
    windowClass.cbSize = sizeof(WNDCLASSEXA);
#else
    windowClass.cbSize = 48;
#endif
    windowClass.style = CS_CLASSDC;
    windowClass.lpfnWndProc = MainWindowProc;
    windowClass.hInstance = program.instance;
    windowClass.lpszClassName = kClassName;
    RegisterClassExA(&windowClass);

    program.window = CreateWindowExA(0, kClassName, kWindowTitle, WS_OVERLAPPEDWINDOW, 0, 0,
                                     program.screenWidth, program.screenHeight, NULL, NULL,
                                     program.instance, NULL);
    engine->ReadSettings(settings);
    if (FAILED(engine->CreateDevice(program.window))) return false;

    engine->StartLevel();
    engine->WatchFiles();
    ShowWindow(program.window, SW_SHOWDEFAULT);
    UpdateWindow(program.window);
    program.cursor = LoadCursorFromFileA("mouse.cur");
    memset(&program.message, 0, sizeof(program.message));
    program.frames = 0;
    program.fps = 0;
    return true;
}

void IdlePass() {
    Korvel* engine = program.engine;
    program.frames += 1;
    program.frameTimer.Reset();
    engine->renderManager->Render((int)program.fps);
    if (program.fpsTimer.Elapsed() > kFpsWindowMs) {
        program.fpsTimer.Reset();
        program.fps = program.frames;
        program.frames = 0;
    }
    engine->ProcessTimeLine();
    float step = (float)program.frameTimer.Elapsed();
    engine->cameraManager->KeyboardSteer(step);
    engine->cameraManager->MouseLook(program.window, program.mouseButtonDown);
    engine->WatchLevel();
}

bool LoopStep() {
    if (program.message.message == WM_QUIT) return false;
    SetCursor(program.cursor);
    if (PeekMessageA(&program.message, NULL, 0, 0, PM_REMOVE)) {
        TranslateMessage(&program.message);
        DispatchMessageA(&program.message);
    } else {
        IdlePass();
    }
    return program.message.message != WM_QUIT;
}

int EndProgram() {
    UnregisterClassA(kClassName, program.instance);
    return 0;
}

int RunProgram(Korvel* engine) {
    ResetProgram(engine);
    DynamicRow settings;
    if (StartProgram(&settings)) {
        while (LoopStep()) {
        }
    }
    return EndProgram();
}
