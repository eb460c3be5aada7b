// Tree files: byte layout, round trips, loading into a filled tree, bad files, failing writes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <csignal>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>
#ifndef _WIN32
#include <sys/resource.h>
#endif

#include "tree_test_util.h"

using treetest::Bytes;
using treetest::Children;
using treetest::Name;
using treetest::Path;
using treetest::ReadBytes;
using treetest::Record;
using treetest::WriteBytes;

namespace {

typedef std::vector<std::string> Names;

class TreeFile : public ::testing::Test {
protected:
    void SetUp() override { dir = treetest::ScratchDir(); }
    std::string File(const char *name) const { return dir + "/" + name; }
    std::string dir;
};

// Root knot 'R' with the params 'a' and 'bc'.
const Bytes kExample = {0x01, 0x00, 0x52, 0x01, 0x02, 0x00, 0x00, 0x00,
                        0x01, 0x00, 0x61, 0x00, 0x00, 0x00, 0x00, 0x00,
                        0x02, 0x00, 0x62, 0x63, 0x00, 0x00, 0x00, 0x00, 0x00};

TEST_F(TreeFile, WorkedExampleIsByteExact) {
    DynamicRow t;
    unsigned int r = t.AddToId(0, true, "R");
    t.AddToId(r, "a");
    t.AddToId(r, "bc");
    ASSERT_TRUE(t.iSaveToFile(Path(File("ex.dr"))));
    EXPECT_EQ(ReadBytes(File("ex.dr")), kExample);

    DynamicRow back;
    ASSERT_TRUE(back.iLoadFromFile(Path(File("ex.dr"))));
    EXPECT_EQ(Name(back, 1), "R");
    EXPECT_EQ(Children(back, 1), (Names{"a", "bc"}));
    EXPECT_EQ(back.iCountParams(1), 2u);
    EXPECT_EQ(back.lastId, 3u);
}

TEST_F(TreeFile, EmptyTreeSavesNothingAndFails) {
    WriteBytes(File("old.dr"), kExample);
    DynamicRow t;
    EXPECT_FALSE(t.iSaveToFile(Path(File("old.dr"))));
    EXPECT_TRUE(ReadBytes(File("old.dr")).empty());
}

TEST_F(TreeFile, ZeroLengthFileLoadsNothing) {
    WriteBytes(File("empty.dr"), {});
    DynamicRow t;
    EXPECT_TRUE(t.iLoadFromFile(Path(File("empty.dr"))));
    EXPECT_EQ(t.root, nullptr);
    EXPECT_FALSE(t.iLoadFromFile(Path(File("missing.dr"))));
    EXPECT_FALSE(t.iLoadFromFile(Path(dir)));  // a folder opens but cannot be read
}

// Anything but a regular file fails at once, as a missing file does: a device would read
// without end and a pipe would wait for a writer. A link to a file is followed.
#ifndef _WIN32  // named pipes, symbolic links and alarm() are POSIX
TEST_F(TreeFile, OnlyRegularFilesLoad) {
    ASSERT_EQ(mkfifo(File("pipe.dr").c_str(), 0644), 0);
    WriteBytes(File("ex.dr"), kExample);
    ASSERT_EQ(symlink(File("ex.dr").c_str(), File("link.dr").c_str()), 0);
    alarm(20);  // a load that blocks ends the test here instead of hanging the run
    for (const std::string& path : {std::string("/dev/zero"), std::string("/dev/null"),
                                    File("pipe.dr"), dir}) {
        DynamicRow t;
        EXPECT_FALSE(t.iLoadFromFile(Path(path))) << path;
        EXPECT_EQ(t.root, nullptr) << path;
    }
    alarm(0);
    DynamicRow linked;
    EXPECT_TRUE(linked.iLoadFromFile(Path(File("link.dr"))));
    EXPECT_EQ(Name(linked, 1), "R");
}
#endif

TEST_F(TreeFile, ChildlessKnotAndEmptyName) {
    DynamicRow t;
    unsigned int r = t.AddToId(0, true, "");
    t.AddToId(r, true, "k");
    ASSERT_TRUE(t.iSaveToFile(Path(File("k.dr"))));
    Bytes expect;
    Record(expect, "", 1, 0, 1);
    Record(expect, "k", 1, 0, 0);
    EXPECT_EQ(ReadBytes(File("k.dr")), expect);
    DynamicRow back;
    ASSERT_TRUE(back.iLoadFromFile(Path(File("k.dr"))));
    EXPECT_EQ(Name(back, 1), "");
    EXPECT_TRUE(back.isKnot(2));
    EXPECT_EQ(back.TopId(2), 0u);
}

TEST_F(TreeFile, RoundTripKeepsShapeAndRenumbers) {
    DynamicRow t;
    unsigned int r = t.AddToId(0, true, "root");
    unsigned int k1 = t.AddToId(r, true, "one");
    unsigned int gone = t.AddToId(r, "gone");
    unsigned int k2 = t.AddToId(r, true, "two");
    t.AddToId(k1, "1a");
    t.AddToId(k1, true, "1b");
    t.AddToId(k2, "2a");
    t.DeleteById(gone);
    ASSERT_TRUE(t.iSaveToFile(Path(File("rt.dr"))));
    DynamicRow back;
    ASSERT_TRUE(back.iLoadFromFile(Path(File("rt.dr"))));
    EXPECT_EQ(back.lastId, 6u);
    EXPECT_EQ(Children(back, 1), (Names{"one", "two"}));
    EXPECT_EQ(Children(back, 2), (Names{"1a", "1b"}));
    EXPECT_EQ(Children(back, 5), (Names{"2a"}));
    EXPECT_TRUE(back.isKnot(4));
    EXPECT_EQ(back.iCountKnots(1), 2u);
    EXPECT_EQ(back.iCountParams(2), 1u);
}

TEST_F(TreeFile, SecondTopLevelKnotGoesBelowTheFirst) {
    Bytes b;
    Record(b, "A", 1, 1, 0);
    Record(b, "a1", 0, 0, 0);
    Record(b, "B", 1, 1, 0);
    Record(b, "b1", 0, 0, 0);
    Record(b, "p", 0, 0, 0);
    WriteBytes(File("two.dr"), b);
    DynamicRow t;
    ASSERT_TRUE(t.iLoadFromFile(Path(File("two.dr"))));
    EXPECT_EQ(Children(t, 1), (Names{"a1", "B", "p"}));
    EXPECT_EQ(Children(t, 3), (Names{"b1"}));
    EXPECT_EQ(t.NextId(1), 0u);

    ASSERT_TRUE(t.iLoadFromFile(Path(File("two.dr"))));  // a second copy lands below the root
    EXPECT_EQ(Children(t, 1), (Names{"a1", "B", "p", "A", "B", "p"}));
    EXPECT_EQ(Children(t, 6), (Names{"a1"}));
}

TEST_F(TreeFile, BackslashPathsAreMappedCaseBlind) {
    DynamicRow t;
    t.AddToId(0, true, "R");
    std::string sub = File("Levels");
    ASSERT_TRUE(treetest::MakeDir(sub));
    ASSERT_TRUE(t.iSaveToFile(Path(dir + "\\Levels\\Tree.DR")));
    DynamicRow back;
    ASSERT_TRUE(back.iLoadFromFile(Path(dir + "\\LEVELS\\tree.dr")));
    EXPECT_EQ(Name(back, 1), "R");
}

TEST_F(TreeFile, CountsInTheFileAreTheChildrenWritten) {
    DynamicRow t;
    unsigned int r = t.AddToId(0, true, "R");
    unsigned int a = t.AddToId(r, "a");
    t.AddToId(a, "b");  // added through a param: the knot's counter stays 1
    ASSERT_EQ(t.iCountParams(r), 1u);
    ASSERT_TRUE(t.iSaveToFile(Path(File("c.dr"))));
    DynamicRow back;
    ASSERT_TRUE(back.iLoadFromFile(Path(File("c.dr"))));
    EXPECT_EQ(Children(back, 1), (Names{"a", "b"}));
    EXPECT_EQ(back.NextId(1), 0u);
}

TEST_F(TreeFile, KnotWithMoreChildrenThanTheFormatCountsIsNotSaved) {
    DynamicRow t;
    unsigned int r = t.AddToId(0, true, "R");
    for (int i = 0; i < 40000; ++i) t.AddToId(r, "p");
    for (int i = 0; i < 30000; ++i) t.AddToId(r, true, "k");
    EXPECT_FALSE(t.iSaveToFile(Path(File("big.dr"))));
}

TEST_F(TreeFile, WriteToFileAndReadFromFileWorkOnOpenStreams) {
    DynamicRow t;
    unsigned int r = t.AddToId(0, true, "R");
    t.AddToId(r, "a");
    t.AddToId(r, "bc");
    FILE *f = std::fopen(File("s.dr").c_str(), "wb");
    ASSERT_NE(f, nullptr);
    t.WriteToFile(f, t.root);
    std::fclose(f);
    EXPECT_EQ(ReadBytes(File("s.dr")), kExample);

    DynamicRow u;
    unsigned int k = u.AddToId(0, true, "K");
    f = std::fopen(File("s.dr").c_str(), "rb");
    ASSERT_NE(f, nullptr);
    u.ReadFromFile(f, k, 1);  // one record with its two children
    std::fclose(f);
    EXPECT_EQ(Children(u, k), (Names{"R"}));
    EXPECT_EQ(Children(u, 2), (Names{"a", "bc"}));
}

TEST_F(TreeFile, FileCutAnywhereStopsCleanlyKeepingWhatWasRead) {
    for (size_t cut = 0; cut < kExample.size(); ++cut) {
        WriteBytes(File("cut.dr"), Bytes(kExample.begin(), kExample.begin() + cut));
        DynamicRow t;
        bool ok = t.iLoadFromFile(Path(File("cut.dr")));
        size_t records = cut < 8 ? 0 : cut < 16 ? 1 : 2;
        EXPECT_EQ(t.lastId, records) << "cut at " << cut;
        // Only an end before any record, or inside the first name length, is a clean end.
        EXPECT_EQ(ok, cut < 2) << "cut at " << cut;
    }
}

TEST_F(TreeFile, PromisedChildrenThatNeverComeStopTheLoad) {
    Bytes b;
    Record(b, "R", 1, 3, 2);
    Record(b, "a", 0, 0, 0);
    Record(b, "K", 1, 0, 65535);
    Record(b, "x", 0, 0, 0);
    WriteBytes(File("short.dr"), b);
    DynamicRow t;
    EXPECT_FALSE(t.iLoadFromFile(Path(File("short.dr"))));
    EXPECT_EQ(Children(t, 1), (Names{"a", "K"}));
    EXPECT_EQ(Children(t, 3), (Names{"x"}));
}

TEST_F(TreeFile, OverlongNameStopsTheLoad) {
    Bytes b;
    Record(b, "R", 1, 2, 0);
    Record(b, std::string(1023, 'n'), 0, 0, 0);
    b.push_back(0x00);  // a name length of 1024
    b.push_back(0x04);
    b.insert(b.end(), 1029, 'z');
    WriteBytes(File("long.dr"), b);
    DynamicRow t;
    EXPECT_FALSE(t.iLoadFromFile(Path(File("long.dr"))));
    EXPECT_EQ(t.lastId, 2u);
    EXPECT_EQ(Name(t, 2), std::string(1023, 'n'));
}

TEST_F(TreeFile, MillionNestedKnotsLoadWithoutRecursion) {
    const unsigned int depth = 1000000;
    Bytes b;
    b.reserve(depth * 8);
    for (unsigned int i = 0; i < depth; ++i) Record(b, "k", 1, 0, 1);  // the last promises more
    WriteBytes(File("nest.dr"), b);
    b = Bytes();
    DynamicRow t;
    EXPECT_FALSE(t.iLoadFromFile(Path(File("nest.dr"))));
    EXPECT_EQ(t.lastId, depth);
    EXPECT_EQ(t.TopId(depth - 1), depth);
    EXPECT_EQ(t.iLookId("none such"), 0u);
    ASSERT_TRUE(t.iSaveToFile(Path(File("nest2.dr"))));
    EXPECT_EQ(ReadBytes(File("nest2.dr")).size(), size_t(depth) * 8);
    EXPECT_TRUE(t.DeleteById(1));
    std::remove(File("nest.dr").c_str());
    std::remove(File("nest2.dr").c_str());
}

// Names in `dir` other than `keep`: a save must leave no temporary file behind.
Names Leftovers(const std::string &dir, const Names &keep) {
    Names out;
    if (DIR *d = opendir(dir.c_str())) {
        while (dirent *e = readdir(d)) {
            std::string n = e->d_name;
            if (n == "." || n == "..") continue;
            bool kept = false;
            for (const std::string &k : keep) kept = kept || k == n;
            if (!kept) out.push_back(n);
        }
        closedir(d);
    }
    return out;
}

TEST_F(TreeFile, FailedSaveLeavesThePreviousFileAsItWas) {
    WriteBytes(File("old.dr"), kExample);
    DynamicRow big;
    unsigned int r = big.AddToId(0, true, "R");
    for (int i = 0; i < 70000; ++i) big.AddToId(r, "p");
    EXPECT_FALSE(big.iSaveToFile(Path(File("old.dr"))));  // more children than the format counts
    EXPECT_EQ(ReadBytes(File("old.dr")), kExample);

    DynamicRow wide;
    r = wide.AddToId(0, true, "R");
    for (int i = 0; i < 2000; ++i) wide.AddToId(r, "a longer param name to fill the file");
#ifndef _WIN32
    // A write that fails part way: the file size limit stops it after 4 KiB (POSIX only:
    // Windows has no per-process file size limit).
    struct rlimit before;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &before), 0);
    struct rlimit small = before;
    small.rlim_cur = 4096;
    void (*oldHandler)(int) = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    bool saved = wide.iSaveToFile(Path(File("old.dr")));
    setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(saved);
    EXPECT_EQ(ReadBytes(File("old.dr")), kExample);
    EXPECT_EQ(Leftovers(dir, {"old.dr"}), Names{});
#endif

    // And a save that works replaces it, leaving nothing else.
    ASSERT_TRUE(wide.iSaveToFile(Path(File("old.dr"))));
    DynamicRow back;
    ASSERT_TRUE(back.iLoadFromFile(Path(File("old.dr"))));
    EXPECT_EQ(back.iCountParams(1), 2000u);
    EXPECT_EQ(Leftovers(dir, {"old.dr"}), Names{});
}

#ifndef _WIN32  // symbolic links are a POSIX matter here
TEST_F(TreeFile, SaveThroughALinkReplacesTheFileItNames) {
    WriteBytes(File("real.dr"), {});
    ASSERT_EQ(symlink("real.dr", File("link.dr").c_str()), 0);
    DynamicRow t;
    unsigned int r = t.AddToId(0, true, "R");
    t.AddToId(r, "a");
    t.AddToId(r, "bc");
    ASSERT_TRUE(t.iSaveToFile(Path(File("link.dr"))));
    EXPECT_EQ(ReadBytes(File("real.dr")), kExample);
    struct stat st;
    ASSERT_EQ(lstat(File("link.dr").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(Leftovers(dir, {"real.dr", "link.dr"}), Names{});
}
#endif

TEST_F(TreeFile, FailedWritesReportFalse) {
    DynamicRow t;
    unsigned int r = t.AddToId(0, true, "R");
    t.AddToId(r, "a");
    EXPECT_FALSE(t.iSaveToFile(Path(File("no_such_dir/x.dr"))));
    EXPECT_FALSE(t.iSaveToFile(Path(dir)));  // a folder cannot be written as a file
#ifdef _WIN32
    // Windows has no full device (Wine opens the Unix /dev/full but does not fail its writes).
    GTEST_SKIP() << "no full device on Windows";
#endif
    FILE *probe = std::fopen("/dev/full", "wb");
    if (!probe) GTEST_SKIP() << "/dev/full is not available";
    std::fclose(probe);
    EXPECT_FALSE(t.iSaveToFile(Path("/dev/full")));
}

}  // namespace
