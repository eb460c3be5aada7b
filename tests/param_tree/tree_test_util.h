// Helpers shared by the tree tests: a scratch folder and whole-file byte access.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "param_tree/dynamic_row.h"

#ifdef _WIN32
#include <direct.h>
#include <process.h>

#include <random>
#else
#include <sys/stat.h>
#endif

namespace treetest {

typedef std::vector<unsigned char> Bytes;

inline bool MakeDir(const std::string &path) {
#ifdef _WIN32
    return _mkdir(path.c_str()) == 0;
#else
    return mkdir(path.c_str(), 0755) == 0;
#endif
}

// A new empty folder under the system's temporary folder.
inline std::string ScratchDir() {
#ifdef _WIN32
    // A name made of the process, a counter and a random number; a folder that exists already
    // is never reused.
    const char *temp = std::getenv("TEMP");
    std::string base = temp && *temp ? temp : ".";
    static unsigned counter = 0;
    std::random_device random;
    for (int i = 0; i < 1000; ++i) {
        std::string dir = base + "\\dynrows_test_" + std::to_string(_getpid()) + "_" +
                          std::to_string(++counter) + "_" + std::to_string(random());
        if (MakeDir(dir)) return dir;
    }
    return base;
#else
    std::string tmpl = "/tmp/dynrows_test_XXXXXX";
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back(0);
    const char *dir = mkdtemp(buf.data());
    return dir ? std::string(dir) : std::string("/tmp");
#endif
}

inline void WriteBytes(const std::string &path, const Bytes &bytes) {
    FILE *f = std::fopen(path.c_str(), "wb");
    if (!f) return;
    if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

inline Bytes ReadBytes(const std::string &path) {
    Bytes out;
    FILE *f = std::fopen(path.c_str(), "rb");
    if (!f) return out;
    int c;
    while ((c = std::fgetc(f)) != EOF) out.push_back(static_cast<unsigned char>(c));
    std::fclose(f);
    return out;
}

inline Zarvik_string Path(const std::string &p) {
    Zarvik_string s;
    s = p.c_str();
    return s;
}

inline std::string Name(DynamicRow &t, unsigned int id) { return t.iLookName(id).getChars(); }

// Appends one record to `out`.
inline void Record(Bytes &out, const std::string &name, unsigned char knot, unsigned short params,
                   unsigned short knots) {
    out.push_back(name.size() & 0xFF);
    out.push_back((name.size() >> 8) & 0xFF);
    out.insert(out.end(), name.begin(), name.end());
    out.push_back(knot);
    out.push_back(params & 0xFF);
    out.push_back(params >> 8);
    out.push_back(knots & 0xFF);
    out.push_back(knots >> 8);
}

// Names of the children of `id`, walked with TopId / NextId.
inline std::vector<std::string> Children(DynamicRow &t, unsigned int id) {
    std::vector<std::string> out;
    for (unsigned int c = t.TopId(id); c; c = t.NextId(c)) out.push_back(Name(t, c));
    return out;
}

}  // namespace treetest
