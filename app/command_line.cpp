// The program's arguments and the level folder it works in.
#include "app/command_line.h"

#include <cstdlib>
#include <cstring>

#include "core/file_stamp.h"
#include "core/win_path.h"

#ifndef MESHES_VERSION
#define MESHES_VERSION "0"
#endif

std::vector<std::string> SplitCommandLine(const char* line) {
    std::vector<std::string> args;
    if (!line) return args;
    const char* p = line;
    for (;;) {
        while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r') ++p;
        if (!*p) break;
        std::string arg;
        bool quoted = false;
        while (*p && (quoted || (*p != ' ' && *p != '\t' && *p != '\n' && *p != '\r'))) {
            if (*p == '\\') {
                size_t slashes = 0;
                while (*p == '\\') { ++slashes; ++p; }
                if (*p == '"') {
                    arg.append(slashes / 2, '\\');
                    if (slashes % 2) { arg += '"'; ++p; }
                    // an even count leaves the quote to toggle grouping below
                } else {
                    arg.append(slashes, '\\');
                }
                continue;
            }
            if (*p == '"') {
                // Inside quotes, a doubled quote is one literal quote.
                if (quoted && p[1] == '"') { arg += '"'; p += 2; continue; }
                quoted = !quoted;
                ++p;
                continue;
            }
            arg += *p++;
        }
        args.push_back(arg);
    }
    return args;
}

// An argument as a message shows it: control characters (a quoted line break) as '?', so that
// the message stays one line.
static std::string Shown(const std::string& arg) {
    std::string s = arg;
    for (char& c : s)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    return s;
}

Korvel_Launch ReadArguments(const std::vector<std::string>& args) {
    Korvel_Launch launch;
    bool options = true;
    std::vector<std::string> folders;
    for (const std::string& a : args) {
        if (options && a == "--") { options = false; continue; }
        if (options && (a == "--help" || a == "-h")) {
            launch.action = Korvel_Launch::HELP;
            return launch;
        }
        if (options && a == "--version") {
            launch.action = Korvel_Launch::VERSION;
            return launch;
        }
        if (options && a.size() > 1 && a[0] == '-') {
            launch.action = Korvel_Launch::FAIL;
            launch.message = "unknown option '" + Shown(a) + "' (meshes --help shows the usage)";
            return launch;
        }
        folders.push_back(a);
    }
    if (folders.size() > 1) {
        launch.action = Korvel_Launch::FAIL;
        launch.message = "one level folder at most, got '" + Shown(folders[0]) + "' and '" +
                         Shown(folders[1]) + "' (meshes --help shows the usage)";
        return launch;
    }
    if (!folders.empty()) {
        launch.folder = folders[0];
        if (launch.folder.empty()) {
            launch.action = Korvel_Launch::FAIL;
            launch.message = "the level folder is an empty name";
        }
    }
    return launch;
}

bool ReadWatchSetting(const char* value, bool* watch) {
    *watch = true;
    if (!value || !*value || std::strcmp(value, "1") == 0) return true;
    if (std::strcmp(value, "0") == 0) {
        *watch = false;
        return true;
    }
    return false;
}

const char* UsageText() {
    return
        "Usage: meshes [LEVEL_DIR]\n"
        "       meshes --help | --version\n"
        "\n"
        "Runs the level in LEVEL_DIR (default: the working directory) as if started there:\n"
        "POLYGON01, objects, meshes, textures, effects, ini.txt and mouse.cur are read from it,\n"
        "and LOG.dr and the settings dump are written there. While it runs, changes to the\n"
        "level's effect files (and their #includes), meshes, textures, object files and the\n"
        "level file are picked up and reloaded.\n"
        "\n"
        "Keys:\n"
        "  W A S D, arrows    walk          Left Shift        fly along the view\n"
        "  left mouse + move  turn          Tab               next camera\n"
        "  ` (left of 1)      console       F12               screenshot\n"
        "Console lines: hide, save FILE, clr, reload (start the level again),\n"
        "  cam_mngr camera.set N | camera.next | camera.speed X,\n"
        "  obj_mngr show.list | object.visible ID 0|1 | load.OBJECT_SIMPLE FILE, console TEXT\n"
        "\n"
        "Environment:\n"
        "  MESHES_PLATFORM    sdl (a window, default) or headless\n"
        "  MESHES_WATCH       0: do not watch the level's files for changes (default 1)\n"
        "  MESHES_BENCH       seconds: close after that time and print frame statistics\n"
        "  MESHES_SCREENSHOT  path.png[@N]: save frame N (default 1) in a window\n"
        "  MESHES_NO_DIALOGS  1: message boxes go to stderr\n"
        "  MESHES_SCRIPT, MESHES_FRAMES, MESHES_FRAME_MS, MESHES_TRACE, MESHES_SYSTEM_TIME\n"
        "                     headless runs: input script, frame count, virtual ms per frame,\n"
        "                     call trace file, fixed UTC time\n"
        "Relative paths in these variables are taken inside LEVEL_DIR.\n";
}

int Launch(const char* commandLine, std::FILE* out, std::FILE* err) {
    Korvel_Launch launch = ReadArguments(SplitCommandLine(commandLine));
    switch (launch.action) {
    case Korvel_Launch::HELP:
        std::fputs(UsageText(), out);
        std::fflush(out);
        return 0;
    case Korvel_Launch::VERSION:
        std::fprintf(out, "meshes %s\n", MESHES_VERSION);
        std::fflush(out);
        return 0;
    case Korvel_Launch::FAIL:
        std::fprintf(err, "meshes: %s\n", launch.message.c_str());
        return 2;
    case Korvel_Launch::RUN:
        break;
    }
    bool watch = true;
    if (!ReadWatchSetting(std::getenv("MESHES_WATCH"), &watch)) {
        std::fprintf(err, "meshes: MESHES_WATCH must be 0 or 1\n");
        return 2;
    }
    if (launch.folder.empty()) return -1;

    // The folder is found as every other path is (backslashes, any case).
    std::string folder = winpath::Map(launch.folder.c_str());
    if (!filestamp::Read(folder.c_str()).exists) {
        std::fprintf(err, "meshes: no such level folder: %s\n", Shown(launch.folder).c_str());
        return 2;
    }
    if (!filestamp::IsFolder(folder.c_str())) {
        std::fprintf(err, "meshes: not a folder: %s\n", Shown(launch.folder).c_str());
        return 2;
    }
    if (!filestamp::EnterFolder(folder.c_str())) {
        std::fprintf(err, "meshes: cannot enter the level folder: %s\n",
                     Shown(launch.folder).c_str());
        return 2;
    }
    return -1;
}
