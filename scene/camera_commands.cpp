// Console actions of the camera manager: select a camera by number, switch to the next one,
// change the current camera's speed. Unknown actions are ignored without a message.
#include "scene/camera_manager.h"

#include <cstdio>

#include "console/console.h"
#include "scene/camera.h"

namespace {

// Reports the camera that is current after a selection, changed or not.
void ReportCurrent(Korvel_Camera_Manager* manager) {
    if (!manager->current || !manager->console) return;
    char text[96];
    // \xB9 is the numero sign in code page 1251.
    std::snprintf(text, sizeof(text), "Currient camera was changed to: camera \xB9 %d",
                  static_cast<int>(manager->current->number));
    manager->console->AddMessage(text, KIND_SYSTEM);
}

}  // namespace

void Korvel_Camera_Manager::Execute(Zarvik_string text) {
    Zarvik_string action;
    Zarvik_string argument;
    text.DivideTwoParameters(&action, &argument);

    if (action == "camera.set" || action == "Camera.Set") {
        SelectCamera(static_cast<unsigned int>(argument.toInt()));
        ReportCurrent(this);
    } else if (action == "camera.next") {
        NextCamera();
        ReportCurrent(this);
    } else if (action == "camera.speed") {
        if (!current || !current->camera) return;
        const float speed = argument.toFloat();
        current->camera->speed = speed;
        if (!console) return;
        char message[96];
        std::snprintf(message, sizeof(message), "Currient camera speed was changed to: %f",
                      static_cast<double>(speed));
        console->AddMessage(message, KIND_SYSTEM);
    }
}
