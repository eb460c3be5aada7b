// Tree file records and their text form: exact round trips, escapes, faults and their offsets.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "tools/drtool/tree_records.h"

namespace {

using drtool::Record;

std::string Bytes(std::initializer_list<int> b) {
    std::string s;
    for (int v : b) s.push_back(static_cast<char>(v));
    return s;
}

drtool::ReadResult Read(const std::string& s) {
    return drtool::ReadRecords(reinterpret_cast<const unsigned char*>(s.data()), s.size());
}

drtool::ParseResult Parse(const std::string& s) { return drtool::ParseText(s.data(), s.size()); }

// Bytes compiled from text; empty with a failure when the text does not compile.
std::string Compile(const std::string& text) {
    drtool::ParseResult p = Parse(text);
    EXPECT_TRUE(p.ok) << p.line << ":" << p.column << " " << p.error << "\n" << text;
    return drtool::WriteRecords(p.records);
}

// Checks that the file is read completely and that its text compiles to the same bytes.
void ExpectRoundTrip(const std::string& file) {
    drtool::ReadResult r = Read(file);
    ASSERT_TRUE(r.complete) << r.errorOffset << " " << r.error;
    std::string text = drtool::DumpText(r.records);
    for (unsigned char c : text) ASSERT_TRUE(c == '\n' || (c >= 0x20 && c < 0x7F)) << text;
    EXPECT_EQ(Compile(text), file) << text;
}

// A random record stream that loads completely: any name bytes, odd flags, stated counts
// that differ from the children's kinds, several top-level records, empty knots.
std::string RandomFile(std::mt19937& rng, int records) {
    std::vector<Record> out;
    std::vector<size_t> open;  // knot indices still taking children
    std::vector<int> want;
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    for (int i = 0; i < records || !open.empty(); ++i) {
        while (!open.empty() && want.back() == 0) { open.pop_back(); want.pop_back(); }
        if (i >= records && open.empty()) break;
        Record r;
        int len = pick(10) == 0 ? pick(1024) : pick(12);
        for (int k = 0; k < len; ++k)
            r.name.push_back(static_cast<char>(pick(3) ? 'a' + pick(26) : pick(256)));
        bool knot = pick(3) == 0 && i < records;
        r.flag = knot ? (pick(8) ? 1 : 1 + pick(255)) : 0;
        int children = knot ? pick(5) : 0;
        r.params = static_cast<uint16_t>(pick(2) ? children : pick(children + 1));
        r.knots = static_cast<uint16_t>(children - r.params);
        if (!knot && pick(6) == 0) { r.params = static_cast<uint16_t>(rng()); r.knots = 3; }
        if (!open.empty()) want.back()--;
        r.depth = static_cast<uint32_t>(open.size());
        out.push_back(r);
        if (knot && children) { open.push_back(out.size() - 1); want.push_back(children); }
    }
    return drtool::WriteRecords(out);
}

TEST(DrtoolFormat, WorkedExampleBytesAndText) {
    std::string file = Bytes({1, 0, 'R', 1, 2, 0, 0, 0, 1, 0, 'a', 0, 0, 0, 0, 0,
                              2, 0, 'b', 'c', 0, 0, 0, 0, 0});
    EXPECT_EQ(drtool::DumpText(Read(file).records), "R {\n    a\n    bc\n}\n");
    EXPECT_EQ(Compile("R { a bc }"), file);
    ExpectRoundTrip(file);
}

TEST(DrtoolFormat, RandomFilesRoundTripByteForByte) {
    std::mt19937 rng(12345);
    for (int n = 0; n < 300; ++n) ExpectRoundTrip(RandomFile(rng, n % 60));
    ExpectRoundTrip("");
}

TEST(DrtoolFormat, NamesAreQuotedAndEscapedWhenNotPlainWords) {
    EXPECT_EQ(drtool::QuoteName("_CAMERAS_"), "_CAMERAS_");
    EXPECT_EQ(drtool::QuoteName("-0.5,1:2/x=y"), "-0.5,1:2/x=y");
    EXPECT_EQ(drtool::QuoteName(""), "\"\"");
    EXPECT_EQ(drtool::QuoteName("cam_mngr camera.next"), "\"cam_mngr camera.next\"");
    EXPECT_EQ(drtool::QuoteName("a\"b\\c"), "\"a\\\"b\\\\c\"");
    EXPECT_EQ(drtool::QuoteName("\n\t\r"), "\"\\n\\t\\r\"");
    EXPECT_EQ(drtool::QuoteName(std::string("\x00\x01\x7f", 3)), "\"\\x00\\x01\\x7F\"");
    EXPECT_EQ(drtool::QuoteName("camera \xB9"), "\"camera \\xB9\"");
    EXPECT_EQ(drtool::QuoteName("#{}[]"), "\"#{}[]\"");
    // Escapes read back in either hex case; raw bytes above 127 are taken as they are.
    drtool::ParseResult p = Parse("\"\\xb9\\xB9\\\"\\\\\\n\" \xB9x \"\xE9 \"");
    ASSERT_TRUE(p.ok) << p.error;
    ASSERT_EQ(p.records.size(), 3u);
    EXPECT_EQ(p.records[0].name, "\xB9\xB9\"\\\n");
    EXPECT_EQ(p.records[1].name, "\xB9x");
    EXPECT_EQ(p.records[2].name, "\xE9 ");
}

TEST(DrtoolFormat, HandWrittenTextGetsCountsFromNesting) {
    std::string text =
        "\xEF\xBB\xBF# demo level\n"
        "POLYGON01 {\n"
        "    _CAMERAS_ {            # two cameras\n"
        "        cam1 { \"0 1.5 -5\" }\n"
        "        cam2\n"
        "        {\n"
        "            \"1 1 1\" x\n"
        "        }\n"
        "    }\n"
        "    _LIGHTS_ {}\n"
        "    note\n"
        "}\n"
        "second{}";
    drtool::ParseResult p = Parse(text);
    ASSERT_TRUE(p.ok) << p.error;
    ASSERT_EQ(p.records.size(), 10u);
    const Record& root = p.records[0];
    EXPECT_EQ(root.name, "POLYGON01");
    EXPECT_EQ(root.flag, 1);
    EXPECT_EQ(root.params, 1);  // note
    EXPECT_EQ(root.knots, 2);   // _CAMERAS_, _LIGHTS_
    EXPECT_EQ(p.records[1].knots, 2);
    EXPECT_EQ(p.records[1].params, 0);
    EXPECT_EQ(p.records[4].params, 2);  // cam2
    EXPECT_EQ(p.records[6].name, "x");
    EXPECT_EQ(p.records[6].depth, 3u);
    EXPECT_EQ(p.records[7].name, "_LIGHTS_");
    EXPECT_EQ(p.records[7].flag, 1);
    EXPECT_EQ(p.records[7].params + p.records[7].knots, 0);
    EXPECT_EQ(p.records[9].name, "second");
    EXPECT_EQ(p.records[9].depth, 0u);
    ExpectRoundTrip(drtool::WriteRecords(p.records));
    EXPECT_TRUE(Parse("# only a comment\n\n").records.empty());
}

TEST(DrtoolFormat, StatedCountsAndFlagsAreWrittenAsGiven) {
    EXPECT_EQ(Compile("K [params=0 knots=2] { a b }"),
              Bytes({1, 0, 'K', 1, 0, 0, 2, 0, 1, 0, 'a', 0, 0, 0, 0, 0, 1, 0, 'b', 0, 0, 0, 0, 0}));
    EXPECT_EQ(Compile("K [flag=200] {}"), Bytes({1, 0, 'K', 200, 0, 0, 0, 0}));
    EXPECT_EQ(Compile("p [params=513 knots=1]"), Bytes({1, 0, 'p', 0, 1, 2, 1, 0}));
    // The loader adds the counts in 16 bits, so 65535 + 1 promises no children.
    EXPECT_EQ(Compile("K [knots=1 params=65535] {}"), Bytes({1, 0, 'K', 1, 255, 255, 1, 0}));
    // A dump states only what the nesting does not give.
    EXPECT_EQ(drtool::DumpText(Read(Bytes({1, 0, 'K', 9, 0, 0, 1, 0, 1, 0, 'a', 0, 0, 0, 0, 0}))
                                   .records),
              "K [flag=9 params=0 knots=1] {\n    a\n}\n");
}

TEST(DrtoolFormat, TextFaultsNameTheirLineAndColumn) {
    struct Case { std::string text; size_t line, column; };
    const Case cases[] = {
        {"R {\n  a\n", 1, 1},                   // knot not closed
        {"a }", 1, 3},                          // stray brace
        {"{ a }", 1, 1},                        // brace without a name
        {"\"abc", 1, 1},                        // quote not closed
        {"x \"ab\ncd\"", 1, 3},                 // quote runs past the line
        {"\"a\\qb\"", 1, 3},                    // unknown escape
        {"\"\\x4\"", 1, 2},                     // one hex digit
        {"\"a\tb\"", 1, 3},                     // raw control byte
        {"a\"b\"", 1, 2},                       // quote inside a bare name
        {"\"a\"b", 1, 4},                       // text glued to a quoted name
        {"K [flag=0] {}", 1, 1},                // knot flag 0
        {"p [flag=2]", 1, 1},                   // knot flag without braces
        {"p [params=1]", 1, 3},                // counts go in pairs
        {"p [params=65536 knots=0]", 1, 11},    // out of range
        {"p [flag=1 flag=1] {}", 1, 11},        // given twice
        {"p [size=1]", 1, 4},                   // unknown key
        {"R {\n  K [params=1 knots=0] { a b }\n}", 2, 3},  // stated counts do not add up
    };
    for (const Case& c : cases) {
        drtool::ParseResult p = Parse(c.text);
        EXPECT_FALSE(p.ok) << c.text;
        EXPECT_EQ(p.line, c.line) << c.text << ": " << p.error;
        EXPECT_EQ(p.column, c.column) << c.text << ": " << p.error;
        EXPECT_TRUE(p.records.empty());
    }
    std::string longest(drtool::kMaxName, 'n');
    EXPECT_TRUE(Parse(longest).ok);
    EXPECT_FALSE(Parse(longest + "n").ok);
}

TEST(DrtoolFormat, FileFaultsReportTheFirstByteNotLoaded) {
    std::string good = Bytes({1, 0, 'R', 1, 1, 0, 0, 0, 1, 0, 'a', 0, 0, 0, 0, 0});  // 16 bytes
    struct Case { std::string file; size_t offset; size_t records; const char* word; };
    const Case cases[] = {
        {good + Bytes({7}), 16, 2, "name length"},                      // trailing byte
        {good + Bytes({5, 0, 'x', 'y'}), 16, 2, "cut off"},             // trailing garbage
        {good.substr(0, 12), 8, 1, "cut off"},                          // child cut short
        {good.substr(0, 8), 8, 1, "needs 1 more"},                      // child missing
        {Bytes({0, 4, 0, 0, 0, 0, 0}), 0, 0, "1024"},                   // name too long
        {good + Bytes({1, 0, 'S', 1, 0, 0, 2, 0}) + good, 40, 5, "needs 1 more"},
    };
    for (const Case& c : cases) {
        drtool::ReadResult r = Read(c.file);
        EXPECT_FALSE(r.complete);
        EXPECT_EQ(r.errorOffset, c.offset) << r.error;
        EXPECT_EQ(r.records.size(), c.records) << r.error;
        EXPECT_NE(r.error.find(c.word), std::string::npos) << r.error;
    }
    // Counts are ignored for params, and a name of 1023 bytes still loads.
    ExpectRoundTrip(Bytes({0, 0, 0, 9, 9, 9, 9}));
    ExpectRoundTrip(Bytes({0xFF, 0x03}) + std::string(1023, 'z') + Bytes({0, 0, 0, 0, 0}));
}

TEST(DrtoolFormat, DumpOfACutFileCompilesToTheRecordsThatWereRead) {
    // R promises three children, one follows: the text keeps what was read with fresh counts.
    std::string cut = Bytes({1, 0, 'R', 1, 3, 0, 0, 0, 1, 0, 'a', 0, 0, 0, 0, 0});
    drtool::ReadResult r = Read(cut);
    ASSERT_FALSE(r.complete);
    std::string text = drtool::DumpText(r.records);
    EXPECT_EQ(text, "R {\n    a\n}\n");
    EXPECT_TRUE(Read(Compile(text)).complete);
}

TEST(DrtoolFormat, DeepNestingNeedsNoRecursion) {
    const int depth = 100000;
    std::string text;
    for (int i = 0; i < depth; ++i) text += "k{";
    text += "leaf";
    text.append(depth, '}');
    std::string file = Compile(text);
    drtool::ReadResult r = Read(file);
    ASSERT_TRUE(r.complete);
    EXPECT_EQ(r.maxDepth, static_cast<uint32_t>(depth));
    EXPECT_EQ(Compile(drtool::DumpText(r.records)), file);
}

}  // namespace
