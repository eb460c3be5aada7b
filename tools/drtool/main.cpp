// drtool: prints tree files as text, compiles text into tree files, and checks tree files.
// Exit codes: 0 good, 1 bad input (tree file, text, or a file that cannot be read or written),
// 2 wrong usage.
#include <unistd.h>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "param_tree/dynamic_row.h"
#include "strings/zarvik_string.h"
#include "tools/drtool/tree_records.h"

namespace {

const char kUsage[] =
    "usage: drtool dump FILE        print the tree file FILE as text\n"
    "       drtool build TEXT OUT   compile the text file TEXT into the tree file OUT\n"
    "       drtool check FILE       tell whether FILE loads completely, and where it goes wrong\n"
    "       drtool --help           show this text\n"
    "FILE and TEXT may be '-' for standard input, OUT '-' for standard output.\n"
    "The text format is described in tools/drtool/README.md.\n"
    "Exit codes: 0 good, 1 bad file, 2 wrong usage.\n";

int Usage(const char* why) {
    if (why) std::fprintf(stderr, "drtool: %s\n", why);
    std::fputs(kUsage, stderr);
    return 2;
}

const char* Shown(const std::string& path) { return path == "-" ? "<stdin>" : path.c_str(); }

bool ReadAll(const std::string& path, std::string& out) {
    FILE* f = path == "-" ? stdin : std::fopen(path.c_str(), "rb");
    if (!f) {
        std::fprintf(stderr, "drtool: cannot open %s\n", path.c_str());
        return false;
    }
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
    bool ok = !std::ferror(f);
    if (f != stdin) std::fclose(f);
    if (!ok) std::fprintf(stderr, "drtool: cannot read %s\n", Shown(path));
    return ok;
}

bool WriteAll(const std::string& path, const std::string& data) {
    FILE* f = path == "-" ? stdout : std::fopen(path.c_str(), "wb");
    if (!f) {
        std::fprintf(stderr, "drtool: cannot open %s for writing\n", path.c_str());
        return false;
    }
    bool ok = std::fwrite(data.data(), 1, data.size(), f) == data.size();
    ok = (f == stdout ? std::fflush(f) == 0 : std::fclose(f) == 0) && ok;
    if (!ok) std::fprintf(stderr, "drtool: cannot write %s\n", path.c_str());
    return ok;
}

drtool::ReadResult ReadTree(const std::string& data) {
    return drtool::ReadRecords(reinterpret_cast<const unsigned char*>(data.data()), data.size());
}

void ReportFault(const std::string& path, const drtool::ReadResult& r) {
    std::fprintf(stderr, "%s: bad at byte %zu: %s\n", Shown(path), r.errorOffset, r.error.c_str());
}

int Dump(const std::string& path) {
    std::string data;
    if (!ReadAll(path, data)) return 1;
    drtool::ReadResult r = ReadTree(data);
    std::string text = drtool::DumpText(r.records);
    if (!WriteAll("-", text)) return 1;
    if (r.complete) return 0;
    ReportFault(path, r);
    std::fprintf(stderr, "%s: the text holds the %zu record(s) read before that byte\n",
                 Shown(path), r.records.size());
    return 1;
}

int Build(const std::string& textPath, const std::string& outPath) {
    std::string text;
    if (!ReadAll(textPath, text)) return 1;
    drtool::ParseResult p = drtool::ParseText(text.data(), text.size());
    if (!p.ok) {
        std::fprintf(stderr, "%s:%zu:%zu: %s\n", Shown(textPath), p.line, p.column, p.error.c_str());
        return 1;
    }
    return WriteAll(outPath, drtool::WriteRecords(p.records)) ? 0 : 1;
}

// The folder for temporary files: TEMP (or TMP) on Windows, TMPDIR elsewhere.
std::string TempFolder() {
#ifdef _WIN32
    for (const char* name : {"TEMP", "TMP"}) {
        const char* dir = std::getenv(name);
        if (dir && *dir) return dir;
    }
    return ".";
#else
    const char* dir = std::getenv("TMPDIR");
    return dir && *dir ? dir : "/tmp";
#endif
}

// Loads the file with the tree library, saves the tree again and compares the bytes.
// Returns false when the check could not run; `diff` is the first differing byte or npos.
bool LibraryResave(const std::string& data, size_t& diff, std::string& why) {
    std::string base = TempFolder();
    std::string in = base + "/drtool-in-XXXXXX", out = base + "/drtool-out-XXXXXX";
    if (out.size() > drtool::kMaxName) { why = "temporary path too long"; return false; }
    std::vector<char> inName(in.begin(), in.end()), outName(out.begin(), out.end());
    inName.push_back(0);
    outName.push_back(0);
    int fdIn = mkstemp(inName.data());
    if (fdIn < 0) { why = "cannot create a temporary file"; return false; }
    int fdOut = mkstemp(outName.data());
    if (fdOut < 0) {
        close(fdIn);
        unlink(inName.data());
        why = "cannot create a temporary file";
        return false;
    }
    close(fdOut);
    bool wrote = write(fdIn, data.data(), data.size()) == static_cast<ssize_t>(data.size());
    close(fdIn);
    bool ok = false;
    if (!wrote) {
        why = "cannot write a temporary file";
    } else {
        DynamicRow row;
        row.fresh();
        Zarvik_string inPath, outPath;
        inPath = inName.data();
        outPath = outName.data();
        if (!row.iLoadFromFile(inPath)) {
            why = "the library cannot open the file";
        } else {
            row.iSaveToFile(outPath);  // false for an empty tree, which leaves an empty file
            std::string again;
            if (!ReadAll(outName.data(), again)) {
                why = "cannot read the re-saved file";
            } else {
                size_t n = again.size() < data.size() ? again.size() : data.size();
                diff = std::string::npos;
                for (size_t i = 0; i < n && diff == std::string::npos; ++i)
                    if (again[i] != data[i]) diff = i;
                if (diff == std::string::npos && again.size() != data.size()) diff = n;
                ok = true;
            }
        }
    }
    unlink(inName.data());
    unlink(outName.data());
    return ok;
}

int Check(const std::string& path) {
    std::string data;
    if (!ReadAll(path, data)) return 1;
    drtool::ReadResult r = ReadTree(data);
    if (!r.complete) {
        std::printf("%s: bad at byte %zu: %s\n", Shown(path), r.errorOffset, r.error.c_str());
        std::printf("%s: %zu record(s) load completely before that byte\n", Shown(path),
                    r.records.size());
        return 1;
    }
    std::printf("%s: loads completely: %zu record(s), %zu byte(s)\n", Shown(path),
                r.records.size(), data.size());
    size_t diff = std::string::npos;
    std::string why;
    if (!LibraryResave(data, diff, why)) {
        std::printf("%s: note: re-save comparison not run: %s\n", Shown(path), why.c_str());
    } else if (diff == std::string::npos) {
        std::printf("%s: the tree library saves it back byte for byte\n", Shown(path));
    } else {
        // Name the record holding the first differing byte.
        const drtool::Record* at = nullptr;
        for (const drtool::Record& rec : r.records)
            if (rec.offset <= diff) at = &rec;
        std::printf("%s: note: saved again by the tree library it differs from byte %zu", Shown(path),
                    diff);
        if (at)
            std::printf(" (in the record of %s at byte %zu)", drtool::QuoteName(at->name).c_str(),
                        at->offset);
        std::printf("\n");
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
    // Tree files pass through standard input and output, so no newline translation there.
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) return Usage(nullptr);
    const std::string& cmd = args[0];
    if (cmd == "--help" || cmd == "-h" || cmd == "help") {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (cmd == "dump") {
        if (args.size() != 2) return Usage("dump takes one FILE");
        return Dump(args[1]);
    }
    if (cmd == "build") {
        if (args.size() != 3) return Usage("build takes TEXT and OUT");
        return Build(args[1], args[2]);
    }
    if (cmd == "check") {
        if (args.size() != 2) return Usage("check takes one FILE");
        return Check(args[1]);
    }
    return Usage(("unknown command '" + cmd + "'").c_str());
}
