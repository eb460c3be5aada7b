// Where an effect's #include finds its file: one reader for the engine's effects and for
// fxtool. The name as written is taken relative to the folder of the including file unless it
// is absolute, and read as every file of the system is read (backslashes, doubled separators,
// "..", components found without regard to case).
#pragma once

#include <string>
#include <vector>

namespace core {

// The path that `written` names from the file `including` (or from a folder, when `including`
// ends in a separator).
std::string FxIncludePath(const std::string& written, const std::string& including);

// Reads an included file (at most 16 MB); false when it cannot be read.
bool FxReadIncludeFile(const std::string& path, std::string& text);

// Finds `written` next to `including`, then in each of `folders` in order. `path` is the file
// read.
bool FxFindInclude(const std::string& written, const std::string& including,
                   const std::vector<std::string>& folders, std::string& path, std::string& text);

}  // namespace core
