#include "tests/app/engine_support.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "app/program.h"
#include "console/console.h"
#include "tests/support/level_run.h"

LevelTree::LevelTree() {
    tree.fresh();
    root = Knot(0, "POLYGON01");
}

void LevelTree::Key(unsigned int parent, const char* key, const std::vector<std::string>& values) {
    unsigned int id = Knot(parent, key);
    for (const std::string& v : values) Param(id, v.c_str());
}

unsigned int LevelTree::Camera(const char* name) {
    if (!cameras) cameras = Knot(root, "_CAMERAS_");
    Param(cameras, name);
    return Knot(root, name);
}

void LevelTree::Save() {
    Zarvik_string name;
    name = "POLYGON01";
    ASSERT_TRUE(tree.iSaveToFile(name));
}

void EngineTest::SetUp() {
    headless::Reset();
    char buffer[4096];
    ASSERT_TRUE(getcwd(buffer, sizeof(buffer)));
    home = buffer;
    folder = testsupport::FreshFolder("engine");
    ASSERT_FALSE(folder.empty());
    ASSERT_EQ(chdir(folder.c_str()), 0);
    engine = new Korvel;
}

void EngineTest::TearDown() {
    delete engine;  // saves "LOG.dr" when a console exists, as at process exit
    ASSERT_EQ(chdir(home.c_str()), 0);
    ASSERT_EQ(std::system(("rm -rf '" + folder + "'").c_str()), 0);
}

void EngineTest::WriteFile(const std::string& path, const std::string& bytes) {
    testsupport::WriteFile(path, bytes);
}

void EngineTest::WriteDefaults() {
    // 1 x 1 pixel, 24 bits.
    const unsigned char bmp[58] = {'B', 'M', 58, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0, 40, 0, 0, 0,
                                   1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 24, 0, 0, 0, 0, 0, 4};
    for (const char* name : {"white", "red", "Blue", "yellow"})
        WriteFile(std::string("textures/_def/") + name + ".bmp",
                  std::string(reinterpret_cast<const char*>(bmp), sizeof(bmp)));
    WriteFile("fx/ald_Phong.fx", "technique ald_Phong { pass P0 { } }\n");
}

bool EngineTest::Exists(const std::string& path) const {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

std::string EngineTest::ReadFile(const std::string& path) const {
    std::stringstream bytes;
    bytes << std::ifstream(path, std::ios::binary).rdbuf();
    return bytes.str();
}

bool EngineTest::Start() {
    ResetProgram(engine);
    return StartProgram(&settings);
}

void EngineTest::Frames(int n) {
    DWORD target = headless::PresentCount() + n;
    for (int guard = 0; headless::PresentCount() < target && guard < 100000; ++guard)
        if (!LoopStep()) break;
}

std::vector<LogLine> EngineTest::Log() const {
    std::vector<LogLine> lines;
    if (!engine->console) return lines;
    DynamicRow& log = engine->console->log;
    for (unsigned int id = log.TopId(engine->console->logRootId); id; id = log.NextId(id))
        lines.push_back({log.iLookName(id).getChars(), log.iLookName(log.TopId(id)).getChars()});
    return lines;
}

std::vector<std::string> EngineTest::LogTexts() const {
    std::vector<std::string> texts;
    for (const LogLine& line : Log()) {
        size_t end = line.text.find("] ");
        bool stamped = line.text.rfind("[Currient", 0) != 0 && end != std::string::npos;
        texts.push_back(stamped ? line.text.substr(end + 2) : line.text);
    }
    return texts;
}
