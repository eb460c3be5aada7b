// Reading and writing tree file records. The reader follows the library loader: a record is a
// 16-bit name length, the name, the knot flag and two 16-bit counts; a record with a non-zero
// flag is followed by (params + knots) mod 65536 child records; top-level records follow each
// other until the end of the file.
#include "tools/drtool/tree_records.h"

#include <string>

namespace drtool {

namespace {

uint16_t Get16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

void Put16(std::string& out, uint16_t v) {
    out.push_back(static_cast<char>(v & 0xFF));
    out.push_back(static_cast<char>(v >> 8));
}

struct OpenKnot {
    size_t index;        // record index of the knot
    uint32_t remaining;  // child records still to come
};

}  // namespace

ReadResult ReadRecords(const unsigned char* data, size_t size) {
    ReadResult r;
    std::vector<OpenKnot> open;
    size_t pos = 0;
    auto fail = [&](size_t at, std::string why) {
        r.complete = false;
        r.errorOffset = at;
        r.error = std::move(why);
        return r;
    };
    for (;;) {
        while (!open.empty() && open.back().remaining == 0) open.pop_back();
        if (pos == size) {
            if (open.empty()) return r;
            const Record& k = r.records[open.back().index];
            return fail(pos, "file ends while the knot " + QuoteName(k.name) + " at byte " +
                                 std::to_string(k.offset) + " still needs " +
                                 std::to_string(open.back().remaining) + " more child record(s)");
        }
        size_t left = size - pos;
        if (left < 2)
            return fail(pos, "file ends inside a record's name length (1 byte left)");
        uint16_t len = Get16(data + pos);
        if (len > kMaxName)
            return fail(pos, "name length " + std::to_string(len) + " is longer than " +
                                 std::to_string(kMaxName) + " bytes");
        size_t need = 2u + len + 5u;
        if (left < need)
            return fail(pos, "record cut off: it needs " + std::to_string(need) + " bytes, " +
                                 std::to_string(left) + " remain");
        Record rec;
        rec.offset = pos;
        rec.depth = static_cast<uint32_t>(open.size());
        rec.name.assign(reinterpret_cast<const char*>(data + pos + 2), len);
        const unsigned char* tail = data + pos + 2 + len;
        rec.flag = tail[0];
        rec.params = Get16(tail + 1);
        rec.knots = Get16(tail + 3);
        pos += need;
        if (!open.empty()) open.back().remaining--;
        if (rec.depth > r.maxDepth) r.maxDepth = rec.depth;
        uint32_t children = static_cast<uint16_t>(rec.params + rec.knots);
        r.records.push_back(std::move(rec));
        if (r.records.back().flag != 0 && children > 0)
            open.push_back({r.records.size() - 1, children});
    }
}

std::string WriteRecords(const std::vector<Record>& records) {
    std::string out;
    for (const Record& rec : records) {
        Put16(out, static_cast<uint16_t>(rec.name.size()));
        out += rec.name;
        out.push_back(static_cast<char>(rec.flag));
        Put16(out, rec.params);
        Put16(out, rec.knots);
    }
    return out;
}

}  // namespace drtool
