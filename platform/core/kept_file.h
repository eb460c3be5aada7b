// Files the program was asked to keep (the log written at shutdown, F12 screenshots) when the
// level's folder cannot take them: they go to a folder of the user's, one per level, named after
// the level folder's absolute path so that levels stay apart,
//   $XDG_STATE_HOME/meshes/levels/<level folder>   ($HOME/.local/state when XDG_STATE_HOME is
//   unset or not absolute, as the XDG base directory rules say; on Windows
//   %LOCALAPPDATA%\meshes\levels\<drive>\<folder>),
// and one line on stderr says why and where. Nothing here runs, and nothing is said, while the
// level's folder takes the files. Header-only with a _WIN32 branch, like file_stamp.h.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#ifdef _WIN32
#include <direct.h>
#else
#include <unistd.h>
#endif

namespace keptfile {

#ifdef _WIN32
const char kSeparator = '\\';
#else
const char kSeparator = '/';
#endif

// The program's per-user folder from the two variables' values (null when unset); empty when
// neither gives one.
inline std::string StateFolder(const char* xdgStateHome, const char* home) {
    std::string sep(1, kSeparator);
#ifdef _WIN32
    (void)xdgStateHome;
    if (home && *home) return std::string(home) + sep + "meshes";   // %LOCALAPPDATA%
#else
    if (xdgStateHome && xdgStateHome[0] == '/') return std::string(xdgStateHome) + sep + "meshes";
    if (home && home[0] == '/') return std::string(home) + "/.local/state/meshes";
#endif
    return std::string();
}

inline std::string StateFolder() {
#ifdef _WIN32
    return StateFolder(nullptr, std::getenv("LOCALAPPDATA"));
#else
    return StateFolder(std::getenv("XDG_STATE_HOME"), std::getenv("HOME"));
#endif
}

// `path` taken from the working folder when it is relative; "." and empty are the working
// folder itself.
inline std::string AbsolutePath(const std::string& path) {
#ifdef _WIN32
    char buffer[4096];
    if (_fullpath(buffer, path.empty() ? "." : path.c_str(), sizeof buffer)) return buffer;
    return path;
#else
    if (!path.empty() && path[0] == '/') return path;
    char buffer[4096];
    if (!getcwd(buffer, sizeof buffer)) return path;
    std::string out = buffer;
    if (!path.empty() && path != ".") out += (out == "/" ? "" : "/") + path;
    return out;
#endif
}

// The folder that takes a level's files, below `stateFolder`: "levels" and then the level
// folder's absolute path, its drive letter as a folder on Windows. "." and ".." are left out,
// so that the result stays below `stateFolder`.
inline std::string LevelFallback(const std::string& stateFolder, const std::string& levelFolder) {
    std::string out = stateFolder + kSeparator + "levels";
    std::string part;
    for (size_t at = 0; at <= levelFolder.size(); ++at) {
        char c = at < levelFolder.size() ? levelFolder[at] : '/';
        if (c != '/' && c != '\\') {
            if (c != ':') part += c;
            continue;
        }
        if (!part.empty() && part != "." && part != "..") out += kSeparator + part;
        part.clear();
    }
    return out;
}

// Makes `folder` and the folders above it; false with errno set when it is not a folder after.
inline bool MakeFolders(const std::string& folder) {
    for (size_t at = 1; at <= folder.size(); ++at) {
        if (at < folder.size() && folder[at] != '/' && folder[at] != '\\') continue;
        std::string part = folder.substr(0, at);
        if (part.empty() || part.back() == ':') continue;
#ifdef _WIN32
        struct _stat64 st;
        if (_stat64(part.c_str(), &st) == 0) {
            if ((st.st_mode & _S_IFMT) == _S_IFDIR) continue;
            errno = ENOTDIR;
            return false;
        }
        if (_mkdir(part.c_str()) != 0 && errno != EEXIST) return false;
#else
        struct stat st;
        if (stat(part.c_str(), &st) == 0) {
            if (S_ISDIR(st.st_mode)) continue;
            errno = ENOTDIR;
            return false;
        }
        if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
#endif
    }
    return true;
}

// What keeping one file came to.
struct Kept {
    std::string path;      // where it was written; empty when nowhere
    std::string message;   // the line for stderr; empty when it was written where it belongs
};

// Writes a file the program was asked to keep. `write(path)` writes it and returns false, with
// errno telling why, when it cannot. When `path` cannot take it, `name(folder)` names it in
// the fallback folder of the level in `levelFolder`, which is made when missing. `what` names
// it in the message ("the log").
template <class Write, class Name>
Kept Keep(const char* what, const std::string& path, const std::string& levelFolder, Write write,
          Name name) {
    Kept kept;
    if (write(path)) {
        kept.path = path;
        return kept;
    }
    std::string failed = std::string("meshes: cannot write ") + what + " " + AbsolutePath(path) +
                         " (" + std::strerror(errno) + ")";
    std::string state = StateFolder();
    if (state.empty()) {
        kept.message = failed + ", and there is no folder of the user's to put it in";
        return kept;
    }
    std::string folder = LevelFallback(state, AbsolutePath(levelFolder));
    if (!MakeFolders(folder)) {
        kept.message = failed + ", nor make " + folder + " (" + std::strerror(errno) + ")";
        return kept;
    }
    std::string other = name(folder);
    if (!write(other)) {
        kept.message = failed + ", nor " + other + " (" + std::strerror(errno) + ")";
        return kept;
    }
    kept.path = other;
    kept.message = failed + "; it was written to " + other + " instead";
    return kept;
}

}  // namespace keptfile
