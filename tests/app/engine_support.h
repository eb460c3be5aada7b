// Engine tests on the headless backend: a fresh working folder per test, writers for the files
// a level needs (trees built with DynamicRow), start-up and idle passes on the test's own
// engine, and the console log read back.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/korvel.h"
#include "param_tree/dynamic_row.h"
#include "platform/headless/headless.h"

struct LogLine {
    std::string text;  // stamp included
    std::string tag;
};

// A level file: root knot "POLYGON01", cameras listed under "_CAMERAS_".
struct LevelTree {
    LevelTree();
    unsigned int Knot(unsigned int parent, const char* name) { return tree.AddToId(parent, true, name); }
    void Param(unsigned int parent, const char* name) { tree.AddToId(parent, false, name); }
    void Key(unsigned int parent, const char* key, const std::vector<std::string>& values);
    unsigned int Camera(const char* name);  // listed, with a knot of its own below the root
    void Save();

    DynamicRow tree;
    unsigned int root, cameras = 0;
};

class EngineTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    void WriteFile(const std::string& path, const std::string& bytes);
    void WriteDefaults();  // the default textures and "fx\ald_Phong.fx"
    bool Exists(const std::string& path) const;
    std::string ReadFile(const std::string& path) const;

    bool Start();         // the program's start-up on `engine`
    void Frames(int n);   // loop iterations until n more frames were presented
    std::vector<LogLine> Log() const;
    std::vector<std::string> LogTexts() const;  // stamps removed

    Korvel* engine = nullptr;
    DynamicRow settings;
    std::string folder, home;
};
