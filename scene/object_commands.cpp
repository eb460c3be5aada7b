// Console actions of the object manager: load a static object, list the objects, show or hide
// one by id; and the echo of a text into the log. Unknown actions are ignored.
#include "scene/object_manager.h"

#include <cstdio>
#include <string>

#include "console/console.h"

void Korvel_Object_Manager::Echo(Zarvik_string text, short kind) {
    if (console) console->AddMessage(text, kind);
}

void Korvel_Object_Manager::Execute(Zarvik_string text) {
    Zarvik_string action;
    Zarvik_string argument;
    text.DivideTwoParameters(&action, &argument);

    if (action == "load.OBJECT_SIMPLE") {
        AddObject(argument, D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(0, 0, 0));
    } else if (action == "show.list") {
        if (!console) return;
        for (ObjectNode* node = first; node; node = node->next) {
            std::string line = "id:" + std::to_string(static_cast<int>(node->id)) +
                               "  visible:" + std::to_string(static_cast<int>(node->visible)) +
                               "  file:" + node->file.getChars();
            console->AddMessage(line.c_str(), KIND_SYSTEM);
        }
    } else if (action == "object.visible") {
        Zarvik_string idText;
        Zarvik_string valueText;
        argument.DivideTwoParameters(&idText, &valueText);
        if (!(idText != "") || !(valueText != "")) {
            if (console) console->AddMessage("What are you mean?)", KIND_ERROR);
            return;
        }
        const unsigned int id = static_cast<unsigned int>(idText.toInt());
        for (ObjectNode* node = first; node; node = node->next) {
            if (node->id != id) continue;
            node->visible = valueText.toInt() != 0 ? 1 : 0;
            if (console) {
                std::string line = "[Object] id: " + std::to_string(static_cast<int>(node->id)) +
                                   "  visible(changed): " +
                                   std::to_string(static_cast<int>(node->visible));
                console->AddMessage(line.c_str(), KIND_SYSTEM);
            }
            return;
        }
    }
}
