// The backend state, object bookkeeping, the call record and the trace file.
#include "platform/core/file_bytes.h"
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "platform/core/win_path.h"
#include "platform/headless/headless_impl.h"

namespace headless {

State& S() {
    static State* state = new State;   // never destroyed: static objects may call in at exit
    return *state;
}

void Track(Tracked* obj, const void* iface, const std::string& kind) {
    State& s = S();
    obj->name = kind + std::to_string(++s.counters[kind]);
    s.live[iface] = obj;
}

void Untrack(const void* iface) {
    State& s = S();
    s.live.erase(iface);
    if (s.newestDevice == iface) s.newestDevice = nullptr;
}

Tracked* Lookup(const void* iface) {
    auto it = S().live.find(iface);
    return it == S().live.end() ? nullptr : it->second;
}

bool TakeFailure(Kind kind) {
    return S().failNext.erase(kind) > 0;
}

void Record(const std::string& object, const std::string& method, std::vector<std::string> args,
            const std::string& result, std::vector<uint8_t> data) {
    Call c;
    c.object = object;
    c.method = method;
    c.args = std::move(args);
    c.result = result;
    c.data = std::move(data);
    State& s = S();
    if (s.trace) {
        std::string line = c.Text();
        line += '\n';
        std::fwrite(line.data(), 1, line.size(), s.trace);
    }
    s.calls.push_back(std::move(c));
    // Dropping the older half at once keeps the cost per call constant.
    if (!s.keepEveryCall && s.calls.size() >= 2 * kKeptCalls)
        s.calls.erase(s.calls.begin(), s.calls.end() - static_cast<std::ptrdiff_t>(kKeptCalls));
}

std::string Hex(uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08" PRIX32, v);
    return buf;
}

std::string Dec(long long v) { return std::to_string(v); }

std::string Flt(float f) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.9g", (double)f);
    return buf;
}

std::string Mat(const D3DMATRIX* m) {
    if (!m) return "null";
    std::string out;
    for (int i = 0; i < 16; ++i) {
        if (i) out += ' ';
        out += Flt(m->m[i / 4][i % 4]);
    }
    return out;
}

std::string Str(const char* s) { return s ? std::string(s) : std::string("null"); }

std::string Obj(const void* p) {
    if (!p) return "null";
    if (Tracked* t = Lookup(p)) return t->name;
    auto it = S().handleNames.find(p);
    if (it != S().handleNames.end()) return it->second;
    return "foreign";
}

std::string HrText(HRESULT hr) { return Hex((uint32_t)hr); }

bool ReadFileBytes(const char* path, std::vector<uint8_t>& out) {
    return core::ReadFileBytes(path, out);
}

namespace {

// Line breaks and tabs inside an argument, written so that one call stays one line.
std::string OneLine(const std::string& s) {
    std::string out;
    for (char c : s) {
        if (c == '\n') out += "\\n";
        else if (c == '\r') out += "\\r";
        else if (c == '\t') out += "\\t";
        else out += c;
    }
    return out;
}

}  // namespace

std::string Call::Text() const {
    std::string out = object + "." + method + "(";
    for (size_t i = 0; i < args.size(); ++i) {
        if (i) out += ", ";
        out += OneLine(args[i]);
    }
    out += ")";
    if (!result.empty()) out += " -> " + result;
    if (!data.empty()) {
        out += " [";
        for (size_t i = 0; i + 4 <= data.size(); i += 4) {
            float f;
            std::memcpy(&f, &data[i], 4);
            if (i) out += ' ';
            out += Flt(f);
        }
        out += "]";
    }
    return out;
}

void KeepEveryCall() { S().keepEveryCall = true; }
const std::vector<Call>& Calls() { return S().calls; }
void ClearCalls() { S().calls.clear(); }

std::vector<Call> CallsOf(const std::string& method, const std::string& object) {
    std::vector<Call> out;
    for (const Call& c : S().calls)
        if (c.method == method && (object.empty() || c.object == object)) out.push_back(c);
    return out;
}

size_t CountCalls(const std::string& method, const std::string& object) {
    size_t n = 0;
    for (const Call& c : S().calls)
        if (c.method == method && (object.empty() || c.object == object)) ++n;
    return n;
}

std::string NameOf(const void* object) {
    std::string n = Obj(object);
    return (n == "null" || n == "foreign") ? std::string() : n;
}

bool WriteTrace(const std::string& path) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    for (const Call& c : S().calls) out << c.Text() << '\n';
    return static_cast<bool>(out.flush());
}

bool OpenTrace(const std::string& path) {
    State& s = S();
    s.trace = std::fopen(path.c_str(), "wb");
    if (!s.trace) return false;
    for (const Call& c : s.calls) {   // anything made before the run started
        std::string line = c.Text() + '\n';
        std::fwrite(line.data(), 1, line.size(), s.trace);
    }
    return true;
}

bool CloseTrace() {
    State& s = S();
    if (!s.trace) return false;
    bool ok = std::ferror(s.trace) == 0;
    ok = std::fclose(s.trace) == 0 && ok;
    s.trace = nullptr;
    return ok;
}

void FailNext(Kind kind) { S().failNext.insert(kind); }

const std::vector<std::string>& MessageBoxes() { return S().messageBoxes; }

}  // namespace headless
