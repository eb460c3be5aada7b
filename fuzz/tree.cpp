// Fuzzes the tree file reader: any bytes must load without crashing, and a tree that loaded must
// save and load again to the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

#include "param_tree/dynamic_row.h"

namespace {

std::string ScratchPath(const char *tag) {
    return "/tmp/fuzz_tree_" + std::to_string(getpid()) + "_" + tag + ".dr";
}

Zarvik_string Z(const std::string &s) {
    Zarvik_string z;
    z = s.c_str();
    return z;
}

std::vector<unsigned char> Slurp(const std::string &path) {
    std::vector<unsigned char> out;
    FILE *f = std::fopen(path.c_str(), "rb");
    if (!f) return out;
    unsigned char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.insert(out.end(), buf, buf + n);
    std::fclose(f);
    return out;
}

void Release(DynamicRow &t) {
    while (t.root) {
        if (!t.DeleteById(t.root->id)) std::abort();
    }
}

// Touches every child of every knot the way the engine reads trees.
void WalkAll(DynamicRow &t) {
    for (unsigned int id = 1; id <= t.lastId; ++id) {
        unsigned int n = 0;
        for (unsigned int c = t.TopId(id); c; c = t.NextId(c)) {
            Zarvik_string name = t.iLookName(c);
            if (++n > t.lastId) std::abort();  // a child list longer than the tree
            (void)name;
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const std::string in = ScratchPath("in"), out1 = ScratchPath("a"), out2 = ScratchPath("b");
    FILE *f = std::fopen(in.c_str(), "wb");
    if (!f) return 0;
    if (size) std::fwrite(data, 1, size, f);
    std::fclose(f);

    DynamicRow t;
    t.iLoadFromFile(Z(in));
    WalkAll(t);
    t.iLookId("none");
    if (t.root && t.iSaveToFile(Z(out1))) {
        DynamicRow again;
        if (!again.iLoadFromFile(Z(out1))) std::abort();
        if (again.lastId != t.lastId) std::abort();
        if (!again.iSaveToFile(Z(out2))) std::abort();
        if (Slurp(out1) != Slurp(out2)) std::abort();
        Release(again);
    }
    Release(t);

    // The same bytes read below an existing knot through an open stream.
    DynamicRow u;
    unsigned int k = u.AddToId(0, true, "K");
    FILE *m = size ? fmemopen(const_cast<uint8_t *>(data), size, "rb") : nullptr;
    if (m) {
        u.ReadFromFile(m, k, data[0]);
        std::fclose(m);
    }
    WalkAll(u);
    Release(u);
    return 0;
}
