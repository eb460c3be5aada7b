// The command time line: one knot "TIME_LINE" whose params are the queued lines. Once per frame
// the lines present when processing starts are run in order and removed.
#include "console/time_line.h"

#include "console/console.h"
#include "scene/camera.h"
#include "scene/camera_manager.h"
#include "scene/object_manager.h"

Korvel_TimeLine::Korvel_TimeLine(Korvel_Camera_Manager* cameras, Korvel_Object_Manager* objects)
    : cameraManager(cameras), objectManager(objects), queueId(0) {
    queue.fresh();
    queueId = queue.AddToId(0, true, "TIME_LINE");
}

void Korvel_TimeLine::Process() {
    if (queue.lastId <= 1) return;  // nothing was ever queued
    const unsigned count = queue.iCountParams(queueId);
    for (unsigned k = 0; k < count; ++k) {
        unsigned id = queue.TopId(queueId);
        if (id == 0) continue;
        Execute(queue.iLookName(id));
        queue.DeleteById(id);
    }
}

void Korvel_TimeLine::Execute(Zarvik_string line) {
    Zarvik_string target;
    Zarvik_string rest;
    line.DivideTwoParameters(&target, &rest);

    if (target == "console") {
        if (objectManager) objectManager->Echo(rest, KIND_TEXT);
    } else if (target == "cam_mngr" || target == "camera_manager") {
        if (cameraManager) cameraManager->Execute(rest);
    } else if (target == "obj_mngr" || target == "object_manager") {
        if (objectManager) objectManager->Execute(rest);
    }
}

std::vector<Korvel_Choice> Korvel_TimeLine::Arguments(const std::string& target,
                                                      const std::string& action) {
    std::vector<Korvel_Choice> out;
    if ((target == "cam_mngr" || target == "camera_manager") && cameraManager &&
        (action == "camera.set" || action == "Camera.Set")) {
        for (CameraNode* node = cameraManager->first; node; node = node->next)
            out.push_back({std::to_string(node->number),
                           node->camera ? node->camera->name.getChars() : ""});
    } else if ((target == "obj_mngr" || target == "object_manager") && objectManager) {
        for (ObjectNode* node = objectManager->first; node; node = node->next) {
            std::string file = node->file.getChars();
            if (action == "object.visible") {
                const std::string name = file.substr(file.find_last_of('\\') + 1);
                out.push_back({std::to_string(node->id), name});
            } else if (action == "load.OBJECT_SIMPLE") {
                bool known = false;
                for (const Korvel_Choice& c : out) known = known || c.text == file;
                if (!known) out.push_back({file, ""});
            }
        }
    }
    return out;
}
