// The level's static objects, in a list with ids from 1 and a visible flag. Objects come from
// the level at start-up and from the load command while the program runs; none is removed.
#pragma once

#include <string>
#include <vector>

#include "d3dx9.h"
#include "strings/zarvik_string.h"

class DynamicRow;
class Korvel_Console;
class Korvel_Effect_Manager;
class Korvel_Light_Manager;
class Object_Super;

struct ObjectNode {
    unsigned int id;        // objectCount right after the object was added
    Object_Super* object;   // owned through the record
    Zarvik_string file;     // object parameter file as given
    unsigned char visible;  // 1 when added; only visible objects are drawn
    ObjectNode* next;       // null for the last
};

class Korvel_Object_Manager {
public:
    unsigned int objectCount;          // objects in the list, also the last id
    ObjectNode* first;                 // null while empty
    D3DXMATRIX* worldAddress;          // each new object's world starts as a copy of it
    IDirect3DDevice9** deviceAddress;  // handed to every object
    unsigned int errorCount;           // unreadable object files of the last level load
    Korvel_Console* console;
    Korvel_Effect_Manager* effectManager;
    Korvel_Light_Manager* lightManager;
    // Object files that could not be read, as named: watched, so that mending one starts the
    // level again.
    std::vector<std::string> unreadFiles;

    Korvel_Object_Manager(D3DXMATRIX* worldAddress, IDirect3DDevice9** deviceAddress,
                          Korvel_Effect_Manager* effectManager,
                          Korvel_Light_Manager* lightManager, Korvel_Console* console);
    virtual ~Korvel_Object_Manager();

    bool Load(const char* level);       // always true
    bool ReadObjects(DynamicRow* tree); // always true
    // The new object's id, or 0 when its object file could not be read.
    unsigned int AddObject(Zarvik_string path, D3DXVECTOR3 position, D3DXVECTOR3 rotation);

    // Loads object `id` again from its object file, mesh and textures, with the messages of
    // AddObject, and puts it in the place of the old one (same id, visibility and placement).
    // False, keeping the old object, when there is no such object or its file cannot be read.
    bool ReloadObject(unsigned int id);

    // Every visible object once per light (defined with the frame drawing in render/).
    void DrawObjects();

    // Console actions on the objects (defined with the commands in object_commands.cpp).
    void Execute(Zarvik_string text);
    void Echo(Zarvik_string text, short kind);
};
