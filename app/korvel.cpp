// The engine object: settings, the settings reader's entry point, level start-up and shutdown.
// Device creation lives with the rendering code (render/device.cpp).
#include "app/korvel.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/command_line.h"
#include "app/ini_reader.h"
#include "app/level_watch.h"
#include "console/console.h"
#include "console/time_line.h"
#include "core/kept_file.h"
#include "core/win_path.h"
#include "render/render_manager.h"
#include "scene/camera_manager.h"
#include "scene/effect_manager.h"
#include "scene/light_manager.h"
#include "scene/object_manager.h"

static const char kLevelName[] = "POLYGON01";
static const char kLogFile[] = "LOG.dr";
static const char kSettingsDump[] = "Wendlor2.0\\loaded_parameters";
static const D3DCOLOR kDefaultBackColour = 0xFF6482AA;

Korvel::Korvel()
    : direct3d(NULL), device(NULL), deviceAddress(NULL), cameraManager(NULL),
      objectManager(NULL), console(NULL), timeLine(NULL), renderManager(NULL),
      lightManager(NULL), effectManager(NULL), backColour(0), multisampleType(0), fillMode(0),
      multisampleAntialias(0), redTexture(NULL), whiteTexture(NULL), blueTexture(NULL),
      levelWatch(NULL) {}

Korvel::~Korvel() {
    SaveLog();
}

// A log the level's folder cannot take goes to the user's folder for the level (kept_file.h),
// and stderr says why and where, once: the second save at exit says nothing new.
void Korvel::SaveLog() {
    if (!console) return;
    Korvel_Console* log = console;
    keptfile::Kept kept = keptfile::Keep(
        "the log", kLogFile, "", [log](const std::string& path) { return log->Save(path.c_str()); },
        [](const std::string& folder) { return folder + keptfile::kSeparator + kLogFile; });
    if (!kept.message.empty() && kept.message != logReport) {
        std::fprintf(stderr, "%s\n", kept.message.c_str());
        std::fflush(stderr);
    }
    logReport = kept.message;
}

DynamicRow Korvel::LoadIni(const char* path) {
    Zarvik_cIniReader* reader = new Zarvik_cIniReader;
    Zarvik_string name;
    name = path;
    DynamicRow tree = reader->ReadIni(name);
    delete reader;

    // The dump's directory may be missing; the result is ignored on purpose.
    Zarvik_string dump;
    dump = winpath::Map(kSettingsDump).c_str();
    tree.iSaveToFile(dump);
    return tree;
}

void Korvel::SetDefaultSettings() {
    multisampleType = 0;
    fillMode = 3;
    redTexture = NULL;
    whiteTexture = NULL;
    blueTexture = NULL;
    backColour = kDefaultBackColour;
    multisampleAntialias = 0;
}

// The first `count` params of a settings knot as integers; false when the knot is absent or
// has fewer params.
static bool ReadIntegers(DynamicRow* tree, const char* key, unsigned int count, int* values) {
    unsigned int id = tree->iLookId(key);
    if (id == 0 || tree->iCountParams(id) < count) return false;
    unsigned int child = tree->TopId(id);
    for (unsigned int i = 0; i < count; ++i) {
        values[i] = tree->iLookName(child).toInt();
        child = tree->NextId(child);
    }
    return true;
}

void Korvel::ReadSettings(DynamicRow* tree) {
    SetDefaultSettings();
    if (!tree) return;

    int v[3];
    if (ReadIntegers(tree, "BACK_RENDERER_COLOR", 3, v))
        backColour = 0x01000000u + (D3DCOLOR)(v[0] & 0xFF) * 0x10000u +
                     (D3DCOLOR)(v[1] & 0xFF) * 0x100u + (D3DCOLOR)(v[2] & 0xFF);
    if (ReadIntegers(tree, "MULTISAMPLE_TYPE", 1, v))
        multisampleType = (unsigned short)(v[0] & 0xFFFF);
    if (ReadIntegers(tree, "MULTISAMPLEANTIALIAS", 1, v) && (v[0] == 0 || v[0] == 1))
        multisampleAntialias = (unsigned char)v[0];
    if (ReadIntegers(tree, "FILLMODE", 1, v) && v[0] >= 1 && v[0] <= 3)
        fillMode = (unsigned short)v[0];
}

void Korvel::StartLevel() {
    console = new Korvel_Console(&device);
    StartScene();
}

void Korvel::StartScene() {
    deviceAddress = &device;
    D3DXMatrixIdentity(&world);
    cameraManager = new Korvel_Camera_Manager(&world, console);
    effectManager = new Korvel_Effect_Manager(device, cameraManager, console);
    lightManager = new Korvel_Light_Manager(&world, console);
    objectManager =
        new Korvel_Object_Manager(&world, deviceAddress, effectManager, lightManager, console);
    if (timeLine) {
        timeLine->cameraManager = cameraManager;
        timeLine->objectManager = objectManager;
    } else {
        timeLine = new Korvel_TimeLine(cameraManager, objectManager);
    }
    renderManager =
        new Korvel_Render_Manager(device, cameraManager, objectManager, lightManager, console);

    console->AddMessage("[>>>] Initializing rendering manager : ", KIND_SYSTEM);
    renderManager->Initialize();
    renderManager->backColour = backColour;
    console->SetCommandQueue(&timeLine->queue);
    console->SetTargets(timeLine);

    console->AddMessage("[>>>] Loading level : POLYGON01", KIND_SYSTEM);
    console->AddMessage("[>>>] Loading Lights : ", KIND_SYSTEM);
    lightManager->Load(kLevelName);
    console->AddMessage("[i] Light Manager setup completed. ", KIND_COMMENT);
    console->AddMessage("[>>>] Loading Objects : ", KIND_SYSTEM);
    objectManager->Load(kLevelName);
    console->AddMessage("[>>>] Loading cameras : ", KIND_SYSTEM);
    cameraManager->Load(kLevelName);
    console->AddMessage("[i] Camera Manager setup completed. ", KIND_COMMENT);
    console->AddMessage("[>>>] Loading effects : ", KIND_SYSTEM);
    effectManager->Load(kLevelName);
    console->AddMessage("[i] Effect Manager setup completed. ", KIND_COMMENT);

    whiteTexture = new IDirect3DTexture9*(NULL);
    redTexture = new IDirect3DTexture9*(NULL);
    blueTexture = new IDirect3DTexture9*(NULL);
    if (FAILED(D3DXCreateTextureFromFileA(device, "textures\\_def\\white.bmp", whiteTexture)))
        console->AddMessage("missed: textures\\_def\\white.bmp", KIND_ERROR);
    if (FAILED(D3DXCreateTextureFromFileA(device, "textures\\_def\\red.bmp", redTexture)))
        console->AddMessage("missed: textures\\_def\\red.bmp", KIND_ERROR);
    if (FAILED(D3DXCreateTextureFromFileA(device, "textures\\_def\\Blue.bmp", blueTexture)))
        console->AddMessage("missed: textures\\_def\\Blue.bmp", KIND_ERROR);
}

void Korvel::ProcessTimeLine() {
    if (timeLine) timeLine->Process();
}

static void ReleaseCell(IDirect3DTexture9**& cell) {
    if (cell && *cell) (*cell)->Release();
    delete cell;
    cell = NULL;
}

void Korvel::ReleaseScene() {
    // The render manager draws with the others, objects with effects and lights: users first.
    delete renderManager;
    renderManager = NULL;
    delete objectManager;
    objectManager = NULL;
    delete effectManager;
    effectManager = NULL;
    delete lightManager;
    lightManager = NULL;
    delete cameraManager;
    cameraManager = NULL;
    if (timeLine) {
        timeLine->cameraManager = NULL;
        timeLine->objectManager = NULL;
    }
    ReleaseCell(whiteTexture);
    ReleaseCell(redTexture);
    ReleaseCell(blueTexture);
}

void Korvel::RestartLevel() {
    if (!console) return;
    unsigned int camera = cameraManager && cameraManager->current ? cameraManager->current->number : 0;
    ReleaseScene();
    StartScene();
    if (camera) cameraManager->SelectCamera(camera);  // no change when the level lost it
    if (levelWatch) levelWatch->Build(kLevelName, effectManager, objectManager, false);
}

void Korvel::WatchFiles() {
    bool watch = true;
    ReadWatchSetting(std::getenv("MESHES_WATCH"), &watch);
    if (!watch || levelWatch) return;
    levelWatch = new Korvel_Level_Watch;
    levelWatch->Build(kLevelName, effectManager, objectManager, false);
}

void Korvel::WatchLevel() {
    if (!console) return;
    if (console->reloadAsked) {
        console->reloadAsked = false;
        RestartLevel();
        return;
    }
    if (!levelWatch) return;
    // Objects loaded by a command are watched from the next pass on.
    if (objectManager && objectManager->objectCount != levelWatch->objectCount)
        levelWatch->Build(kLevelName, effectManager, objectManager, true);
    Korvel_Level_Changes changes;
    if (!levelWatch->Check(&changes)) return;
    if (changes.restart) {
        RestartLevel();
        return;
    }
    for (unsigned int number : changes.effects) effectManager->ReloadEffect(number);
    for (unsigned int id : changes.objects) objectManager->ReloadObject(id);
    levelWatch->Build(kLevelName, effectManager, objectManager, true);
}
