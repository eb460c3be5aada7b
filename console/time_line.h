// The command time line: lines queued by the console under the knot "TIME_LINE" (id 1) are run
// once per frame, in the order queued, against the camera and object managers, then removed.
#pragma once

#include <string>
#include <vector>

#include "strings/zarvik_string.h"
#include "param_tree/dynamic_row.h"

class Korvel_Camera_Manager;
class Korvel_Object_Manager;

// A value a command's argument can take: the text the command understands and, when the
// managers know it by another word too, that word (a camera's name, an object file's name).
struct Korvel_Choice {
    std::string text;
    std::string alias;
};

class Korvel_TimeLine {
public:
    Korvel_TimeLine(Korvel_Camera_Manager* cameraManager, Korvel_Object_Manager* objectManager);

    Korvel_Camera_Manager* cameraManager;  // not owned
    Korvel_Object_Manager* objectManager;  // not owned
    DynamicRow queue;                      // knot "TIME_LINE" with one param per queued line
    unsigned int queueId;                  // id of "TIME_LINE", 1

    // Runs every line queued before the call, then removes it; later lines wait a frame.
    void Process();
    // Runs one line: target word, then the rest goes to the target.
    void Execute(Zarvik_string line);
    // What the managers know now for the argument of `action` of `target`: the camera numbers
    // (with their names) for selecting a camera, the object ids (with their files' names) for
    // switching an object, the files of the loaded objects for loading one. Else nothing.
    std::vector<Korvel_Choice> Arguments(const std::string& target, const std::string& action);
};
