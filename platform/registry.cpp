// The table of registered backends and the active one.
#include "platform/backend.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/headless/headless_backend.h"

namespace platform {
namespace {

struct Entry {
    std::string name;
    BackendFactory factory;
    Backend* instance;   // made on first selection, kept until the process ends
};

// Heap-held so that nothing here is destroyed before static objects that still call in.
struct Registry {
    std::vector<Entry> entries;
    Backend* active = nullptr;
    bool startPending = false;   // StartOnFirstUse was called and Start has not run yet
    bool started = false;
};

Registry& Reg() {
    static Registry* reg = [] {
        Registry* r = new Registry;
        r->entries.push_back({"headless", &headless::CreateBackend, nullptr});
        return r;
    }();
    return *reg;
}

Entry* Find(const std::string& name) {
    for (Entry& e : Reg().entries)
        if (e.name == name) return &e;
    return nullptr;
}

}  // namespace

void RegisterBackend(const char* name, BackendFactory factory) {
    if (!name || !factory) return;
    if (Entry* e = Find(name)) {
        e->factory = factory;
        return;
    }
    Reg().entries.push_back({name, factory, nullptr});
}

std::vector<std::string> BackendNames() {
    std::vector<std::string> names;
    for (const Entry& e : Reg().entries) names.push_back(e.name);
    return names;
}

bool Select(const char* name, std::string& err) {
    Entry* e = Find(name ? name : "");
    if (!e) {
        err = std::string("unknown platform '") + (name ? name : "") + "' (MESHES_PLATFORM); known:";
        for (const Entry& k : Reg().entries) err += " " + k.name;
        return false;
    }
    if (!e->instance) e->instance = e->factory();
    Reg().active = e->instance;
    return true;
}

std::string RequestedBackend() {
    const char* env = std::getenv("MESHES_PLATFORM");
    if (env && *env) return env;
    return Find("sdl") ? "sdl" : "headless";
}

Backend& Active() {
    Registry& reg = Reg();
    if (!reg.active) {
        std::string err;
        if (!Select(RequestedBackend().c_str(), err)) {
            std::fprintf(stderr, "meshes: %s\n", err.c_str());
            std::exit(2);
        }
    }
    if (reg.startPending) {
        reg.startPending = false;
        std::string err;
        if (!reg.active->Start(err)) {
            std::fprintf(stderr, "meshes: platform '%s' cannot start: %s\n", reg.active->Name(),
                         err.c_str());
            std::exit(2);
        }
        reg.started = true;
    }
    return *reg.active;
}

void StartOnFirstUse() {
    Reg().startPending = true;
}

bool Started() {
    return Reg().started;
}

}  // namespace platform
