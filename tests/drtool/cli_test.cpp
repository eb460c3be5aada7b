// Runs the built drtool: round trips through files and pipes, checks of bad files, usage.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

namespace {

struct Outcome {
    int code = -1;
    std::string out, err;
};

class DrtoolCli : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/drtool-e2e-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
    }
    void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }

    std::string Path(const std::string& name) const { return dir_ + "/" + name; }

    void Write(const std::string& name, const std::string& data) const {
        std::ofstream(Path(name), std::ios::binary) << data;
    }
    std::string Slurp(const std::string& path) const {
        std::ifstream f(path, std::ios::binary);
        std::stringstream ss;
        ss << f.rdbuf();
        return ss.str();
    }
    // Runs drtool with the arguments (a shell fragment), standard input from `in` if given.
    Outcome Tool(const std::string& args, const std::string& in = "") const {
        std::string cmd = std::string("'") + DRTOOL_PATH + "' " + args + " >'" + Path("out") +
                          "' 2>'" + Path("err") + "'";
        if (!in.empty()) cmd += " <'" + Path(in) + "'";
        int status = std::system(cmd.c_str());
        Outcome r;
        r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        r.out = Slurp(Path("out"));
        r.err = Slurp(Path("err"));
        return r;
    }
    // dump then build; returns the rebuilt bytes.
    std::string RoundTrip(const std::string& file) {
        Write("in.dr", file);
        Outcome d = Tool("dump '" + Path("in.dr") + "'");
        EXPECT_EQ(d.code, 0) << d.err;
        Write("in.txt", d.out);
        Outcome b = Tool("build '" + Path("in.txt") + "' '" + Path("back.dr") + "'");
        EXPECT_EQ(b.code, 0) << b.err;
        return Slurp(Path("back.dr"));
    }

    std::string dir_;
};

std::string Rec(const std::string& name, int flag, int params, int knots) {
    std::string s;
    s.push_back(static_cast<char>(name.size() & 0xFF));
    s.push_back(static_cast<char>(name.size() >> 8));
    s += name;
    s.push_back(static_cast<char>(flag));
    for (int v : {params, knots}) {
        s.push_back(static_cast<char>(v & 0xFF));
        s.push_back(static_cast<char>(v >> 8));
    }
    return s;
}

TEST_F(DrtoolCli, DumpAndBuildReproduceFilesByteForByte) {
    const std::string files[] = {
        "",
        Rec("R", 1, 2, 0) + Rec("a", 0, 0, 0) + Rec("bc", 0, 0, 0),
        // two top-level knots, an empty knot, odd counts, flag and names
        Rec("A", 1, 0, 1) + Rec("", 1, 0, 0) + Rec("B", 5, 2, 0) + Rec("x y", 0, 7, 7) +
            Rec(std::string("\x00\xB9\"\\", 4), 0, 0, 0),
    };
    for (const std::string& f : files) EXPECT_EQ(RoundTrip(f), f);
    std::mt19937 rng(7);
    for (int n = 0; n < 5; ++n) {
        std::string f;
        for (int k = 0; k < 50; ++k) {
            std::string name;
            for (unsigned len = rng() % 20; len > 0; --len) name.push_back(static_cast<char>(rng()));
            f += Rec(name, 0, static_cast<int>(rng() % 3), 0);
        }
        std::string tree = Rec("root", 1, 50, 0) + f;
        EXPECT_EQ(RoundTrip(tree), tree);
    }
}

TEST_F(DrtoolCli, DashReadsStandardInputAndWritesStandardOutput) {
    std::string file = Rec("R", 1, 1, 0) + Rec("a b", 0, 0, 0);
    Write("f.dr", file);
    Outcome d = Tool("dump -", "f.dr");
    EXPECT_EQ(d.code, 0);
    EXPECT_EQ(d.out, "R {\n    \"a b\"\n}\n");
    Write("f.txt", d.out);
    Outcome b = Tool("build - -", "f.txt");
    EXPECT_EQ(b.code, 0) << b.err;
    EXPECT_EQ(b.out, file);
    Outcome c = Tool("check -", "f.dr");
    EXPECT_EQ(c.code, 0);
    EXPECT_NE(c.out.find("<stdin>: loads completely: 2 record(s), 18 byte(s)"), std::string::npos)
        << c.out;
}

TEST_F(DrtoolCli, HandWrittenLevelCompilesToWhatTheLibraryWrites) {
    Write("level.txt",
          "# level\nPOLYGON01 {\n  _CAMERAS_ { cam { \"0 1.5 -5\" 90 } }\n"
          "  _LIGHTS_ {}\n  _OBJECTS_ { box { \"models\\\\box.x\" } \"\\xB9\" }\n}\n");
    Outcome b = Tool("build '" + Path("level.txt") + "' '" + Path("level.dr") + "'");
    ASSERT_EQ(b.code, 0) << b.err;
    Outcome c = Tool("check '" + Path("level.dr") + "'");
    EXPECT_EQ(c.code, 0);
    EXPECT_NE(c.out.find("loads completely: 10 record(s)"), std::string::npos) << c.out;
    EXPECT_NE(c.out.find("saves it back byte for byte"), std::string::npos) << c.out;
    EXPECT_NE(Slurp(Path("level.dr")).find("models\\box.x"), std::string::npos);
}

TEST_F(DrtoolCli, CheckReportsTheOffsetOfBadFiles) {
    std::string good = Rec("R", 1, 1, 0) + Rec("a", 0, 0, 0);  // 16 bytes
    struct Case { std::string file; const char* says; };
    const Case cases[] = {
        {good + "\x01", "bad at byte 16"},
        {good.substr(0, 11), "bad at byte 8"},
        {Rec("R", 1, 2, 0) + Rec("a", 0, 0, 0), "bad at byte 16"},
        {good + Rec(std::string(1024, 'n'), 0, 0, 0), "bad at byte 16: name length 1024"},
    };
    for (const Case& c : cases) {
        Write("bad.dr", c.file);
        Outcome r = Tool("check '" + Path("bad.dr") + "'");
        EXPECT_EQ(r.code, 1);
        EXPECT_NE(r.out.find(c.says), std::string::npos) << r.out;
        Outcome d = Tool("dump '" + Path("bad.dr") + "'");
        EXPECT_EQ(d.code, 1);
        EXPECT_NE(d.err.find(c.says), std::string::npos) << d.err;
    }
    Write("good.dr", good);
    Outcome r = Tool("check '" + Path("good.dr") + "'");
    EXPECT_EQ(r.code, 0);
    EXPECT_NE(r.out.find("saves it back byte for byte"), std::string::npos) << r.out;
}

TEST_F(DrtoolCli, CheckNotesFilesTheLibrarySavesDifferently) {
    // The second top-level knot is loaded below the first, so the first one's counts change.
    Write("two.dr", Rec("A", 1, 1, 0) + Rec("a", 0, 0, 0) + Rec("B", 1, 0, 0));
    Outcome r = Tool("check '" + Path("two.dr") + "'");
    EXPECT_EQ(r.code, 0);
    EXPECT_NE(r.out.find("differs from byte 6 (in the record of A at byte 0)"), std::string::npos)
        << r.out;
}

TEST_F(DrtoolCli, BadTextAndUsage) {
    Write("bad.txt", "R {\n  a\n  \"b\n}\n");
    Outcome b = Tool("build '" + Path("bad.txt") + "' '" + Path("o.dr") + "'");
    EXPECT_EQ(b.code, 1);
    EXPECT_NE(b.err.find("bad.txt:3:3: quoted name is not closed on its line"), std::string::npos)
        << b.err;
    EXPECT_NE(access(Path("o.dr").c_str(), F_OK), 0);  // nothing written

    EXPECT_EQ(Tool("dump '" + Path("missing.dr") + "'").code, 1);
    Outcome h = Tool("--help");
    EXPECT_EQ(h.code, 0);
    EXPECT_NE(h.out.find("drtool build TEXT OUT"), std::string::npos);
    for (const char* args : {"", "dump", "dump a b", "build x", "check", "frobnicate x"}) {
        Outcome u = Tool(args);
        EXPECT_EQ(u.code, 2) << args;
        EXPECT_NE(u.err.find("usage:"), std::string::npos) << args;
    }
}

}  // namespace
