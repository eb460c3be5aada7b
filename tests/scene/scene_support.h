// Shared set-up of the scene tests: a headless device and a console in a fresh working
// folder, writers for the files a level needs (tree files from their text form, .x meshes,
// BMP textures, effects) and readers for the console log and the recorded calls.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "d3d9.h"
#include "d3dx9.h"
#include "platform/headless/headless.h"

class Korvel_Camera_Manager;
class Korvel_Console;
class Korvel_Effect_Manager;
class Korvel_Light_Manager;
class Korvel_Object_Manager;

struct LogLine {
    std::string text;  // without the stamp; continuation lines joined back on
    std::string tag;   // "_TEXT_", "_ERROR_", ...
};

class SceneTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Files below the working folder; folders are made as needed. Paths use '/'.
    void WriteFile(const std::string& path, const std::string& bytes);
    void WriteTree(const std::string& path, const std::string& text);  // tree text form
    void WriteBmp(const std::string& path);                            // 2 x 2 pixels
    void WriteEffect(const std::string& path);  // techniques "ald_Phong" (1 pass), "ald_Phong_alpha" (2)
    void RemoveFile(const std::string& path);

    // Messages added since the console's start line.
    std::vector<LogLine> Log() const;
    std::vector<std::string> LogTexts() const;
    // Forgets the messages so far (the console keeps them; Log() skips them).
    void MarkLog();

    // Makes the camera, effect, light and object managers below and loads "POLYGON01" into
    // the first three, lights first. Like the engine's, they are never deleted.
    void LoadManagers();
    ID3DXEffect* Effect(const std::string& name) const;   // the listed effect of that name

    IDirect3DDevice9* device = nullptr;
    Korvel_Console* console = nullptr;
    Korvel_Camera_Manager* cameras = nullptr;
    Korvel_Effect_Manager* effects = nullptr;
    Korvel_Light_Manager* lights = nullptr;
    Korvel_Object_Manager* objects = nullptr;
    D3DXMATRIX world;

private:
    std::string home_, folder_;
    size_t logSkip_ = 0;
};

// An .x text mesh: a quad in the plane z = 0 split into `materials` subsets of one quad each,
// side by side along x. Material i has diffuse (0.1 * (i + 1), 0.5, 0.25, 1) and the texture
// textures[i] when that is not empty.
std::string QuadMesh(const std::vector<std::string>& textures);

// The floats of a recorded argument written as blank-separated numbers.
std::vector<float> Floats(const std::string& text);
