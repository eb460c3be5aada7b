// Folder and file facts the engine needs beyond the Win32 subset: entering the level folder,
// telling a folder from a file, a file's size and modification time, so that a changed file
// can be noticed without reading it, and opening only regular files. Header-only, like win_path.h, with a _WIN32 branch
// that uses the C runtime's own calls. Paths are taken as given: callers map system paths
// with winpath::Map first.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdio>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <direct.h>
#include <io.h>
#else
#include <unistd.h>
#endif

namespace filestamp {

// What a look at a file found. Two stamps of the same file differ when it was written in
// between (or appeared, or went away), as far as size and modification time can tell.
struct Stamp {
    bool exists = false;
    bool regular = false;           // a plain file (not a folder or device)
    unsigned long long size = 0;    // bytes
    long long modified = 0;         // modification time in the system's steps (ns; 100 ns on Windows)

    bool operator==(const Stamp& o) const {
        return exists == o.exists && regular == o.regular && size == o.size &&
               modified == o.modified;
    }
    bool operator!=(const Stamp& o) const { return !(*this == o); }
};

inline Stamp Read(const char* path) {
    Stamp s;
    if (!path || !*path) return s;
#ifdef _WIN32
    // The C runtime's stat keeps whole seconds; the file system keeps 100 ns steps.
    WIN32_FILE_ATTRIBUTE_DATA d;
    if (!GetFileAttributesExA(path, GetFileExInfoStandard, &d)) return s;
    s.exists = true;
    s.regular = (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    s.size = (static_cast<unsigned long long>(d.nFileSizeHigh) << 32) | d.nFileSizeLow;
    s.modified = static_cast<long long>(
                     (static_cast<unsigned long long>(d.ftLastWriteTime.dwHighDateTime) << 32) |
                     d.ftLastWriteTime.dwLowDateTime);
    return s;
#else
    struct stat st;
    if (stat(path, &st) != 0) return s;
    s.regular = S_ISREG(st.st_mode);
#if defined(__APPLE__)
    s.modified = static_cast<long long>(st.st_mtimespec.tv_sec) * 1000000000LL + st.st_mtimespec.tv_nsec;
#else
    s.modified = static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
#endif
    s.exists = true;
    s.size = static_cast<unsigned long long>(st.st_size);
    return s;
#endif
}

inline bool IsFolder(const char* path) {
    if (!path || !*path) return false;
#ifdef _WIN32
    struct _stat64 st;
    return _stat64(path, &st) == 0 && (st.st_mode & _S_IFMT) == _S_IFDIR;
#else
    struct stat st;
    return stat(path, &st) == 0 && S_ISDIR(st.st_mode);
#endif
}

// Opens `path` for reading only when it is a regular file: a folder, a device such as
// /dev/zero or a pipe gives nullptr at once, as a missing file does, instead of blocking in
// the open or reading without end.
inline FILE* OpenRegular(const char* path, const char* mode) {
    if (!path || !*path) return nullptr;
#ifdef _WIN32
    DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return nullptr;
    FILE* file = std::fopen(path, mode);
    if (file && GetFileType(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)))) !=
                    FILE_TYPE_DISK) {
        std::fclose(file);
        return nullptr;
    }
    return file;
#else
    // Checked before opening, as opening a pipe waits for a writer; checked again on the open
    // file in case the name was replaced in between.
    struct stat st;
    if (stat(path, &st) != 0 || !S_ISREG(st.st_mode)) return nullptr;
    FILE* file = std::fopen(path, mode);
    if (file && (fstat(fileno(file), &st) != 0 || !S_ISREG(st.st_mode))) {
        std::fclose(file);
        return nullptr;
    }
    return file;
#endif
}

// Makes `path` the working directory; false when it cannot be entered.
inline bool EnterFolder(const char* path) {
    if (!path || !*path) return false;
#ifdef _WIN32
    return _chdir(path) == 0;
#else
    return chdir(path) == 0;
#endif
}

}  // namespace filestamp
