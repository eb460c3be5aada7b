// Where an effect's #include finds its file: one reader for the engine's effects and for
// fxtool. The name as written is taken relative to the folder of the including file, then of
// the effect, then to the current folder, unless it is absolute, and read as every file of the
// system is read (backslashes, doubled separators, "..", components found without regard to
// case).
#pragma once

#include <string>
#include <vector>

namespace core {

// The path that `written` names from the file `including` (or from a folder, when `including`
// ends in a separator).
std::string FxIncludePath(const std::string& written, const std::string& including);

// Reads an included file (at most 16 MB); false when it cannot be read.
bool FxReadIncludeFile(const std::string& path, std::string& text);

// Where `written` is looked for, in order, as Direct3D's compiler reads includes by default:
// next to `including`, next to `effect` (the file compiled, for the includes of included
// files), in the current folder; then in each of `folders`. Without repeats.
std::vector<std::string> FxIncludeCandidates(const std::string& written, const std::string& including,
                                             const std::string& effect,
                                             const std::vector<std::string>& folders = {});

// The first of FxIncludeCandidates that reads. `path` is the file read.
bool FxFindInclude(const std::string& written, const std::string& including, const std::string& effect,
                   const std::vector<std::string>& folders, std::string& path, std::string& text);

}  // namespace core
