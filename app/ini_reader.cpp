// Text settings reader: "[NAME] = v1, v2" lines become knots with one param per value.
#include "app/ini_reader.h"

#include <cstdio>
#include <cstring>

#include "windows.h"
#include "core/file_stamp.h"
#include "core/win_path.h"

// "параметры инициализации" in Windows-1251.
const char kIniRootName[] =
    "\xEF\xE0\xF0\xE0\xEC\xE5\xF2\xF0\xFB\x20\xE8\xED\xE8\xF6\xE8\xE0\xEB\xE8\xE7\xE0\xF6\xE8\xE8";

// Each read takes at most 254 characters (line feed included) into a 256-byte buffer.
static const int kReadChunk = 255;

Zarvik_cIniReader::~Zarvik_cIniReader() {}

// The box shown when the file cannot be read; the caller then returns the root alone.
static void ReportUnreadable(Zarvik_string& path) {
    Zarvik_string text;
    text = "| File loading failed! |";
    text += path.getChars();
    text += " | ";
    MessageBoxA(NULL, text.getChars(), "ERROR", MB_OK | MB_ICONWARNING);
}

DynamicRow Zarvik_cIniReader::ReadIni(Zarvik_string path) {
    DynamicRow tree;
    tree.fresh();
    unsigned int rootId = tree.AddToId(0, true, kIniRootName);

    // Only a regular file: a pipe or device named ini.txt would block or never end.
    FILE* file = filestamp::OpenRegular(winpath::Map(path.getChars()).c_str(), "r");
    if (!file) {
        ReportUnreadable(path);
        return tree;
    }

    char buffer[256];
    while (fgets(buffer, kReadChunk, file)) {
        size_t length = strlen(buffer);
        while (length > 0 && (buffer[length - 1] == '\n' || buffer[length - 1] == '\r'))
            buffer[--length] = 0;

        Zarvik_string line;
        line = buffer;
        Zarvik_string name;
        Zarvik_string values;
        if (!line.getCommandBlock(&name, &values)) continue;

        unsigned int knotId = tree.AddToId(rootId, true, name);
        tree.AddToIdSeparated(knotId, values, ',');
    }
    // A folder opens on some systems but yields a read error, not an end: it is reported as
    // a missing file is, and the defaults apply.
    bool failed = ferror(file) != 0;
    fclose(file);
    if (failed) {
        ReportUnreadable(path);
        DynamicRow defaults;
        defaults.fresh();
        defaults.AddToId(0, true, kIniRootName);
        return defaults;
    }
    return tree;
}
