// The list of files the running level read, and the paced look at their stamps.
#include "app/level_watch.h"

#include <algorithm>
#include <fstream>

#include "core/win_path.h"
#include "scene/effect_manager.h"
#include "scene/object_manager.h"
#include "scene/static_object.h"

Korvel_Level_Watch::Korvel_Level_Watch() {
    timer.Reset();
}

Korvel_Level_Watch::File& Korvel_Level_Watch::Add(const std::string& path) {
    std::string mapped = winpath::Map(path.c_str());
    for (File& f : files)
        if (f.mapped == mapped) return f;
    files.push_back(File());
    files.back().path = path;
    files.back().mapped = mapped;
    return files.back();
}

static bool Named(const std::string& path) {
    return !path.empty() && path != "none";
}

static void AddEffects(Korvel_Level_Watch* watch, EffectNode* node) {
    for (; node; node = node->next) {
        std::string file = node->file.getChars();
        if (!Named(file)) continue;
        watch->Add(file).effects.push_back(node->number);
        for (const std::string& included : EffectIncludes(file))
            watch->Add(included).effects.push_back(node->number);
        for (const std::string& texture : node->binding.watched)
            watch->Add(texture).effects.push_back(node->number);
    }
}

void Korvel_Level_Watch::Build(const char* levelFile, Korvel_Effect_Manager* effects,
                               Korvel_Object_Manager* objects, bool keep) {
    std::vector<File> old;
    old.swap(files);
    if (!keep) old.clear();

    Add(levelFile).restart = true;
    if (objects) {
        for (ObjectNode* node = objects->first; node; node = node->next) {
            Add(node->file.getChars()).restart = true;
            Static_CObject* object = dynamic_cast<Static_CObject*>(node->object);
            if (!object) continue;
            if (Named(object->meshFile)) Add(object->meshFile).objects.push_back(node->id);
            for (const std::string& texture : object->textureFiles)
                Add(texture).objects.push_back(node->id);
        }
        for (const std::string& file : objects->unreadFiles)
            if (Named(file)) Add(file).restart = true;
        objectCount = objects->objectCount;
    }
    if (effects) {
        AddEffects(this, effects->first);
        AddEffects(this, effects->failed);
    }
    next = files.size();  // a new list waits for the next round

    for (File& f : files) {
        auto was = std::find_if(old.begin(), old.end(),
                                [&f](const File& o) { return o.mapped == f.mapped; });
        if (was != old.end()) {
            f.known = was->known;
            f.seen = was->seen;
        } else {
            f.known = filestamp::Read(f.mapped.c_str());
            f.seen = f.known;
        }
    }
}

static void SortUnique(std::vector<unsigned int>* v) {
    std::sort(v->begin(), v->end());
    v->erase(std::unique(v->begin(), v->end()), v->end());
}

bool Korvel_Level_Watch::Check(Korvel_Level_Changes* changes) {
    if (next >= files.size()) {
        if (timer.Elapsed() < kIntervalMs) return false;
        timer.Reset();
        next = 0;
    }
    size_t end = (std::min)(files.size(), next + kFilesPerPass);
    for (; next < end; ++next) {
        File& f = files[next];
        filestamp::Stamp now = filestamp::Read(f.mapped.c_str());
        if (now == f.known) {
            f.seen = now;  // changed and changed back: nothing to do
            continue;
        }
        if (now != f.seen) {
            f.seen = now;  // first sight of a change, or still being written
            continue;
        }
        f.known = now;
        changes->files.push_back(f.path);
        changes->restart = changes->restart || f.restart;
        changes->effects.insert(changes->effects.end(), f.effects.begin(), f.effects.end());
        changes->objects.insert(changes->objects.end(), f.objects.begin(), f.objects.end());
    }
    SortUnique(&changes->effects);
    SortUnique(&changes->objects);
    return changes->Any();
}

// The name of an #include line ("name" or <name>), or empty.
static std::string IncludeName(const std::string& line) {
    size_t p = line.find_first_not_of(" \t");
    if (p == std::string::npos || line[p] != '#') return "";
    p = line.find_first_not_of(" \t", p + 1);
    if (p == std::string::npos || line.compare(p, 7, "include") != 0) return "";
    p = line.find_first_not_of(" \t", p + 7);
    if (p == std::string::npos || (line[p] != '"' && line[p] != '<')) return "";
    char close = line[p] == '"' ? '"' : '>';
    size_t end = line.find(close, p + 1);
    if (end == std::string::npos || end == p + 1) return "";
    return line.substr(p + 1, end - p - 1);
}

std::vector<std::string> EffectIncludes(const std::string& effectFile, size_t limit) {
    // Includes sit at the top of a file: only its first bytes are looked at, and only plain
    // files are opened (a device or pipe named by an #include would never end).
    const size_t kMaxBytes = size_t(1) << 20;
    std::vector<std::string> found;
    std::vector<std::string> pending(1, effectFile);
    std::vector<std::string> visited;
    while (!pending.empty() && found.size() < limit) {
        std::string file = pending.back();
        pending.pop_back();
        std::string mapped = winpath::Map(file.c_str());
        if (std::find(visited.begin(), visited.end(), mapped) != visited.end()) continue;
        visited.push_back(mapped);
        filestamp::Stamp stamp = filestamp::Read(mapped.c_str());
        if (!stamp.regular || stamp.size == 0) continue;
        std::ifstream in(mapped, std::ios::binary);
        std::string text(stamp.size < kMaxBytes ? static_cast<size_t>(stamp.size) : kMaxBytes, '\0');
        in.read(&text[0], static_cast<std::streamsize>(text.size()));
        text.resize(static_cast<size_t>(in.gcount()));
        size_t slash = file.find_last_of("/\\");
        std::string folder = slash == std::string::npos ? "" : file.substr(0, slash + 1);
        for (size_t at = 0; at < text.size() && found.size() < limit;) {
            size_t end = text.find('\n', at);
            if (end == std::string::npos) end = text.size();
            std::string name = IncludeName(text.substr(at, end - at));
            at = end + 1;
            if (name.empty()) continue;
            bool absolute = name[0] == '/' || name[0] == '\\' ||
                            (name.size() > 1 && name[1] == ':');
            std::string path = absolute ? name : folder + name;
            if (std::find(found.begin(), found.end(), path) != found.end()) continue;
            found.push_back(path);
            pending.push_back(path);
        }
    }
    return found;
}
