// Fuzzes drtool's text compiler. Any text that compiles must give a file that loads completely,
// whose dump compiles to the same bytes. The input is also read as a tree file: a file that
// loads completely must come back byte for byte, and the dump of any file must compile.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "tools/drtool/tree_records.h"

namespace {

bool SameRecords(const std::vector<drtool::Record>& a, const std::vector<drtool::Record>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i].name != b[i].name || a[i].flag != b[i].flag || a[i].params != b[i].params ||
            a[i].knots != b[i].knots || a[i].depth != b[i].depth)
            return false;
    return true;
}

drtool::ReadResult Read(const std::string& s) {
    return drtool::ReadRecords(reinterpret_cast<const unsigned char*>(s.data()), s.size());
}

// Compiles text that must compile and returns its bytes.
std::string MustCompile(const std::string& text) {
    drtool::ParseResult p = drtool::ParseText(text.data(), text.size());
    if (!p.ok) std::abort();
    return drtool::WriteRecords(p.records);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    drtool::ParseResult p = drtool::ParseText(reinterpret_cast<const char*>(data), size);
    if (p.ok) {
        std::string file = drtool::WriteRecords(p.records);
        drtool::ReadResult r = Read(file);
        if (!r.complete || !SameRecords(r.records, p.records)) std::abort();
        if (MustCompile(drtool::DumpText(r.records)) != file) std::abort();
    }

    drtool::ReadResult r = drtool::ReadRecords(data, size);
    std::string again = MustCompile(drtool::DumpText(r.records));
    if (r.complete) {
        if (again != std::string(reinterpret_cast<const char*>(data), size)) std::abort();
    } else if (!Read(again).complete) {
        std::abort();
    }
    return 0;
}
