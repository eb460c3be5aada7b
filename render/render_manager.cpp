// The render manager's shared resources: four default textures, three fonts and one effect,
// each failure counted and named in the log. They live as long as the manager, which the
// engine replaces only when it starts the level again.
#include "render/render_manager.h"

#include "console/console.h"

Korvel_Render_Manager::Korvel_Render_Manager(IDirect3DDevice9* device,
                                             Korvel_Camera_Manager* cameraManager,
                                             Korvel_Object_Manager* objectManager,
                                             Korvel_Light_Manager* lightManager,
                                             Korvel_Console* console)
    : device(device), errorCount(0), cameraManager(cameraManager), objectManager(objectManager),
      console(console), lightManager(lightManager), backColour(0), infoFont(NULL),
      largeFont(NULL), smallFont(NULL), redTexture(NULL), whiteTexture(NULL), blueTexture(NULL),
      yellowTexture(NULL), effect(NULL) {}

template <class T>
static void ReleaseObject(T*& object) {
    if (object) object->Release();
    object = NULL;
}

static void ReleaseCell(IDirect3DTexture9**& cell) {
    if (cell) ReleaseObject(*cell);
    delete cell;
    cell = NULL;
}

Korvel_Render_Manager::~Korvel_Render_Manager() {
    ReleaseObject(infoFont);
    ReleaseObject(largeFont);
    ReleaseObject(smallFont);
    ReleaseCell(whiteTexture);
    ReleaseCell(redTexture);
    ReleaseCell(blueTexture);
    ReleaseCell(yellowTexture);
    ReleaseObject(effect);
}

void Korvel_Render_Manager::Initialize() {
    errorCount = 0;
    whiteTexture = new IDirect3DTexture9*(NULL);
    redTexture = new IDirect3DTexture9*(NULL);
    blueTexture = new IDirect3DTexture9*(NULL);
    yellowTexture = new IDirect3DTexture9*(NULL);

    struct { const char* file; IDirect3DTexture9** cell; const char* message; } textures[] = {
        {"textures\\_def\\white.bmp", whiteTexture, "missed: textures\\_def\\white.bmp"},
        {"textures\\_def\\red.bmp", redTexture, "missed: textures\\_def\\red.bmp"},
        {"textures\\_def\\Blue.bmp", blueTexture, "missed: textures\\_def\\Blue.bmp"},
        {"textures\\_def\\yellow.bmp", yellowTexture, "missed: textures\\_def\\yellow.bmp"},
    };
    for (auto& t : textures) {
        if (FAILED(D3DXCreateTextureFromFileA(device, t.file, t.cell))) {
            ++errorCount;
            console->AddMessage(t.message, KIND_ERROR);
        }
    }

    CreateFonts();
    CreateEffect();

    Zarvik_string text;
    text = "Rendering manager inicialized with ";
    text += (int)errorCount;
    text += " errors.";
    console->AddMessage(text, KIND_COMMENT);
}

void Korvel_Render_Manager::CreateFonts() {
    HDC screen = GetDC(NULL);
    int pixelsPerInch = GetDeviceCaps(screen, LOGPIXELSY);
    int infoHeight = -MulDiv(8, pixelsPerInch, 72);
    int largeHeight = -MulDiv(16, pixelsPerInch, 72);
    ReleaseDC(NULL, screen);

    struct { int height; UINT weight; const char* face; ID3DXFont** font; const char* message; }
    fonts[] = {
        {infoHeight, 700, "Verdana", &infoFont, "failed: CreateFont Font8Verdana"},
        {largeHeight, 700, "Verdana", &largeFont, "failed: CreateFont Font16Verdana"},
        {14, 400, "Kartika", &smallFont, "failed: CreateFont Font6Kartika"},
    };
    for (auto& f : fonts) {
        if (FAILED(D3DXCreateFontA(device, f.height, 0, f.weight, 0, FALSE, DEFAULT_CHARSET, 0, 0,
                                   0, f.face, f.font))) {
            ++errorCount;
            console->AddMessage(f.message, KIND_ERROR);
        }
    }
}

void Korvel_Render_Manager::CreateEffect() {
    if (FAILED(D3DXCreateEffectFromFileA(device, "fx\\ald_Phong.fx", NULL, NULL, 0, NULL, &effect,
                                         NULL))) {
        ++errorCount;
        console->AddMessage("missed:  fx\\ald_Phong.fx", KIND_ERROR);
    }
}
