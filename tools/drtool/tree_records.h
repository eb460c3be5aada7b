// Tree files as a flat stream of node records, and their text form.
// Works on the records exactly as stored (name bytes, knot flag, both counts, nesting given by
// the counts), so text made from a file compiles back to the same bytes. It does not build a
// DynamicRow and never recurses, so any nesting depth is safe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace drtool {

// Longest name the tree library can load: its name buffer holds 1023 bytes and a terminator.
constexpr size_t kMaxName = 1023;

// One node record, in file order (pre-order).
struct Record {
    std::string name;      // raw bytes, may hold any byte value
    uint8_t flag = 0;      // 0 for a param; any other value is read as a knot (the writer writes 1)
    uint16_t params = 0;   // stored param count
    uint16_t knots = 0;    // stored knot count; for a knot, (params + knots) mod 65536 children follow
    uint32_t depth = 0;    // 0 for a top-level record, parent's depth + 1 for a child
    size_t offset = 0;     // where the record starts in the file it was read from
};

// Result of reading a tree file. `records` holds every record read completely before the
// first fault; `complete` is true when the whole file loads with nothing left over or missing.
struct ReadResult {
    std::vector<Record> records;
    bool complete = true;
    size_t errorOffset = 0;  // first byte that is not part of a completely read record
    std::string error;       // what went wrong there
    uint32_t maxDepth = 0;   // deepest nesting seen
};

// Reads the records of a tree file held in memory, following the library loader's rules.
ReadResult ReadRecords(const unsigned char* data, size_t size);

// Writes records back as tree file bytes, every field as stored in the record.
std::string WriteRecords(const std::vector<Record>& records);

// Text form of the records: one node a line, knots with braces, names quoted and escaped when
// they are not plain words. Stored counts and flags are written only where they differ from
// what the nesting gives.
std::string DumpText(const std::vector<Record>& records);

// Result of compiling text. On failure `line` and `column` (from 1) point at the fault.
struct ParseResult {
    std::vector<Record> records;
    bool ok = true;
    size_t line = 0;
    size_t column = 0;
    std::string error;
};

// Compiles text into records, computing every count that the text does not state.
ParseResult ParseText(const char* text, size_t size);

// A name as it appears in text: bare when it is a plain word, quoted and escaped otherwise.
std::string QuoteName(const std::string& name);

}  // namespace drtool
