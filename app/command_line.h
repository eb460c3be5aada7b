// The program's arguments: `meshes [LEVEL_DIR]`, `--help`, `--version`. They are read from
// the command line WinMain is given, split by the rules Windows programs use, before anything
// touches the window system, so that usage errors end the program before a window opens.
// Environment variables of the engine itself (MESHES_WATCH) are checked here too.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

// What the arguments ask for.
struct Korvel_Launch {
    enum Action { RUN, HELP, VERSION, FAIL };
    Action action = RUN;
    std::string folder;   // the level folder; empty: the working directory
    std::string message;  // FAIL: one line, without the program name
};

// Splits a command line into arguments: blanks separate, double quotes group, and backslashes
// are literal unless they precede a quote (2n backslashes and a quote: n backslashes, the quote
// groups; 2n+1: n backslashes and a literal quote).
std::vector<std::string> SplitCommandLine(const char* line);

// Reads the arguments (program name not included). "--" ends the options.
Korvel_Launch ReadArguments(const std::vector<std::string>& args);

// True when MESHES_WATCH is unset, empty, "0" or "1"; `watch` is false only for "0".
bool ReadWatchSetting(const char* value, bool* watch);

// The usage text of --help.
const char* UsageText();

// Acts on the command line: prints the usage or the version to `out`, or one line to `err` with
// exit code 2 (a folder that is missing or cannot be entered, a second argument, an unknown
// option, a bad MESHES_WATCH), or enters the level folder. Returns the exit code to end
// with, or -1 when the program should run.
int Launch(const char* commandLine, std::FILE* out, std::FILE* err);
