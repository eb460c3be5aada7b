// Maps the system's Windows-style relative paths to POSIX paths.
// Backslashes become slashes; a component that does not exist as written is looked up again
// in its folder without regard to ASCII case, as Windows would find it. Header-only so that
// libraries using it gain no link dependency. It never creates anything.
#pragma once

#include <string>

#ifndef _WIN32
#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>
#endif

namespace winpath {

// Returns the path to open for `path`. Components that exist (exactly or case-blind) take the
// name found on disk; the first one that does not exist, and all after it, stay as written.
inline std::string Map(const char* path) {
#ifdef _WIN32
    return path ? std::string(path) : std::string();
#else
    std::string in = path ? path : "";
    for (char& c : in)
        if (c == '\\') c = '/';
    if (in.empty()) return in;

    std::string out;
    size_t pos = 0;
    if (in[0] == '/') { out = "/"; pos = 1; }
    bool found = true;  // false once a component is missing: the rest stays as written
    while (pos <= in.size()) {
        size_t slash = in.find('/', pos);
        if (slash == std::string::npos) slash = in.size();
        std::string comp = in.substr(pos, slash - pos);
        pos = slash + 1;
        if (comp.empty()) continue;  // doubled or trailing separator
        std::string dir = out.empty() ? "." : out;
        std::string candidate = (out.empty() || out == "/") ? out + comp : out + "/" + comp;
        if (found && comp != "." && comp != "..") {
            struct stat st;
            if (stat(candidate.c_str(), &st) != 0) {
                std::string match;
                if (DIR* d = opendir(dir.c_str())) {
                    while (dirent* e = readdir(d)) {
                        if (strcasecmp(e->d_name, comp.c_str()) == 0) { match = e->d_name; break; }
                    }
                    closedir(d);
                }
                if (!match.empty())
                    candidate = (out.empty() || out == "/") ? out + match : out + "/" + match;
                else
                    found = false;
            }
        }
        out = candidate;
        if (slash >= in.size()) break;
    }
    if (in.back() == '/' && !out.empty() && out.back() != '/') out += '/';
    return out;
#endif
}

}  // namespace winpath
