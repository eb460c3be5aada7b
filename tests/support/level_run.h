// Running the built program on a private copy of a level, and reading back what it wrote.
#pragma once

#include <sys/types.h>

#include <string>
#include <utility>
#include <vector>

namespace testsupport {

// A new empty folder /tmp/meshes_<tag>_XXXXXX; "" when it cannot be made.
std::string FreshFolder(const std::string& tag);

// Writes `bytes` to `file`, making the folders it needs; false when it cannot.
bool WriteFile(const std::string& file, const std::string& bytes);

// A fresh folder under /tmp holding a copy of the level folder `from`, without the build's
// bookkeeping and without the log and pictures of earlier runs; "" when it cannot be made.
std::string CopyLevel(const std::string& from, const std::string& tag);

// Variables for the program: a null value removes the variable.
using Env = std::vector<std::pair<std::string, const char*>>;

// Starts `program` in `folder` with its output in folder/out.txt; the child's pid.
pid_t Start(const std::string& program, const std::string& folder, const Env& env);

struct Outcome {
    bool exited = false;   // it ended by itself (exit code in code)
    int code = -1;
    int signal = 0;        // the signal that ended it, when it did not exit
    bool hung = false;     // still running after the time allowed: killed by its pid
};
std::string Describe(const Outcome& o);

// Waits up to `seconds` for the child; a hung child is killed.
Outcome Wait(pid_t child, int seconds);
// True once the child has ended (reaped here; its outcome in *o).
bool Ended(pid_t child, Outcome* o);

// The lines of a log tree file read with drtool: "TAG text", the stamp "[q:r] " taken off.
// On failure the reason is in *error and the result is empty.
std::vector<std::string> ReadLog(const std::string& drtool, const std::string& file,
                                 std::string* error);
// The first stamped line whose stamp is not "[digits:digits] ", or "" when all are.
std::string BadStamp(const std::string& drtool, const std::string& file);

// Empty when `want` occurs in `have` in this order (other lines may lie between);
// otherwise names the first line of `want` not found.
std::string InOrder(const std::vector<std::string>& have, const std::vector<std::string>& want);

std::string ReadText(const std::string& file);
bool Exists(const std::string& file);

}  // namespace testsupport
