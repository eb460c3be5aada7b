// Watching the files the running level read: the level file, the object files, the meshes,
// the textures the objects use, the effect files, every file they #include and the textures
// they name. A round of looks at each file's size and modification time starts at most every
// 250 ms on the engine's clock and is spread over frames, at most kFilesPerPass files a frame,
// so that no frame pays for a large level at once. A change is reported once the file has
// looked the same in two rounds in a row, so that a file caught half-written is not loaded. It
// reads no file while checking and makes no Direct3D call; what to do about a change is the
// engine's business (Korvel::WatchLevel). ini.txt, the cursor and the command base are read at
// start-up only and are not watched.
#pragma once

#include <string>
#include <vector>

#include "app/korvel_timer.h"
#include "core/file_stamp.h"

class Korvel_Effect_Manager;
class Korvel_Object_Manager;

// What a check found changed.
struct Korvel_Level_Changes {
    bool restart = false;                 // the level file or an object file (read or not)
    std::vector<unsigned int> effects;    // numbers of effects to create again, ascending
    std::vector<unsigned int> objects;    // ids of objects to load again, ascending
    std::vector<std::string> files;       // the changed files, as named
    bool Any() const { return restart || !effects.empty() || !objects.empty(); }
};

class Korvel_Level_Watch {
public:
    static const unsigned int kIntervalMs = 250;
    static const size_t kFilesPerPass = 32;

    struct File {
        std::string path;            // as the level (or the including file) names it
        std::string mapped;          // where it was found (winpath::Map)
        filestamp::Stamp known;      // when the level last read it
        filestamp::Stamp seen;       // at the last check
        bool restart = false;        // level file or object file
        std::vector<unsigned int> effects;  // effect numbers reading it
        std::vector<unsigned int> objects;  // object ids reading it
    };

    std::vector<File> files;
    Korvel_Timer timer;              // paces the rounds
    size_t next = 0;                 // next file of the round; files.size(): round over
    unsigned int objectCount = 0;    // the object manager's count when the list was made

    Korvel_Level_Watch();

    // Makes the list from what the managers read. With `keep`, files already watched keep
    // their stamps (a change not yet acted on is still reported); new ones are stamped now.
    void Build(const char* levelFile, Korvel_Effect_Manager* effects,
               Korvel_Object_Manager* objects, bool keep);

    // Once per frame: starts a round when kIntervalMs have passed since the last one began,
    // and looks at the round's next kFilesPerPass files. True when one of them changed; files
    // reported changed count as read again.
    bool Check(Korvel_Level_Changes* changes);

    // Adds a file with what reads it; merges with an entry for the same file.
    File& Add(const std::string& path);
};

// The files an effect file includes with #include "name" (or <name>), directly or through
// other included files, each named relative to the folder of the file including it.
// Unreadable files and cycles end the search quietly; at most `limit` names.
std::vector<std::string> EffectIncludes(const std::string& effectFile, size_t limit = 64);
