// The cache of what loading a file gave: shared while in use, keyed on the file as found on
// disk, checked by content while the file's time stamp is too recent to tell a rewrite.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "platform/core/load_cache.h"

namespace fs = std::filesystem;

namespace {

struct Parsed {
    std::string text;
};

class LoadCacheTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("load_cache_" + std::to_string(::getpid()));
        fs::create_directories(dir / "Meshes");
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string File(const char* name) const { return (dir / name).string(); }
    void Write(const char* name, const std::string& text) {
        FILE* f = std::fopen(File(name).c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fwrite(text.data(), 1, text.size(), f);
        std::fclose(f);
    }
    // A time `seconds` before now.
    static struct timeval Ago(int seconds) {
        struct timeval t;
        gettimeofday(&t, nullptr);
        t.tv_sec -= seconds;
        return t;
    }
    void SetTime(const char* name, struct timeval t) {
        struct timeval times[2] = {t, t};
        ASSERT_EQ(utimes(File(name).c_str(), times), 0);
    }
    // The cached value, or one made from the bytes (as a loader does) and kept.
    std::shared_ptr<const Parsed> Load(const std::string& path, bool* made = nullptr) {
        core::LoadProbe probe;
        std::shared_ptr<const Parsed> v = cache.Find(path.c_str(), probe);
        if (made) *made = !v;
        if (v) return v;
        if (!probe.haveBytes && !core::ReadFileBytes(path.c_str(), probe.bytes)) return nullptr;
        probe.haveBytes = true;
        std::shared_ptr<const Parsed> p(new Parsed{std::string(probe.bytes.begin(), probe.bytes.end())});
        cache.Put(probe, p);
        return p;
    }

    fs::path dir;
    core::LoadCache<const Parsed> cache;
};

TEST_F(LoadCacheTest, SameFileIsSharedWhileInUseAndFreedWithTheLastUser) {
    Write("Meshes/ball.x", "sphere");
    bool made = false;
    std::shared_ptr<const Parsed> a = Load(File("Meshes/ball.x"), &made);
    ASSERT_TRUE(a && made);
    // The same file under a Windows-style name is the same file.
    std::string windowsName = dir.string() + "\\meshes\\BALL.X";
    std::shared_ptr<const Parsed> b = Load(windowsName, &made);
    EXPECT_FALSE(made);
    EXPECT_EQ(a.get(), b.get());
    EXPECT_EQ(cache.Live(), 1u);

    std::weak_ptr<const Parsed> watch = a;
    a.reset();
    EXPECT_FALSE(watch.expired()) << "still used by the second load";
    b.reset();
    EXPECT_TRUE(watch.expired()) << "the cache itself holds nothing";
    EXPECT_EQ(cache.Live(), 0u);
    std::shared_ptr<const Parsed> c = Load(File("Meshes/ball.x"), &made);
    EXPECT_TRUE(made) << "after the last user the file is read again";
    EXPECT_EQ(c->text, "sphere");
}

TEST_F(LoadCacheTest, ChangedFileIsReadAgain) {
    Write("a.x", "first");
    std::shared_ptr<const Parsed> a = Load(File("a.x"));
    // Same size and the same time stamp (as a quick rewrite can leave it): the content moved.
    struct stat first;
    ASSERT_EQ(stat(File("a.x").c_str(), &first), 0);
    Write("a.x", "other");
    struct timespec same[2] = {first.st_mtim, first.st_mtim};
    ASSERT_EQ(utimensat(AT_FDCWD, File("a.x").c_str(), same, 0), 0);
    bool made = false;
    std::shared_ptr<const Parsed> b = Load(File("a.x"), &made);
    EXPECT_TRUE(made);
    EXPECT_EQ(b->text, "other");
    EXPECT_EQ(a->text, "first") << "an earlier load keeps what it got";
    // Another size is another key.
    Write("a.x", "longer text");
    EXPECT_EQ(Load(File("a.x"))->text, "longer text");
    // Rewritten with the same bytes within the same time stamp: the content check finds it
    // unchanged.
    std::shared_ptr<const Parsed> c = Load(File("a.x"));
    struct stat st;
    ASSERT_EQ(stat(File("a.x").c_str(), &st), 0);
    Write("a.x", "longer text");
    struct timespec times[2] = {st.st_mtim, st.st_mtim};
    ASSERT_EQ(utimensat(AT_FDCWD, File("a.x").c_str(), times, 0), 0);
    std::shared_ptr<const Parsed> d = Load(File("a.x"), &made);
    EXPECT_FALSE(made);
    EXPECT_EQ(c.get(), d.get());
}

TEST_F(LoadCacheTest, OldFileIsKnownByItsTimeStampAlone) {
    Write("old.x", "kept");
    const struct timeval old = Ago(60);
    SetTime("old.x", old);
    std::shared_ptr<const Parsed> a = Load(File("old.x"));
    // A rewrite moves the time stamp: read again.
    Write("old.x", "news");
    bool made = false;
    std::shared_ptr<const Parsed> b = Load(File("old.x"), &made);
    EXPECT_TRUE(made);
    EXPECT_EQ(b->text, "news");
    // Put back with the old time stamp and size, the entry made from it is what the key finds:
    // the key is path, size and time.
    Write("old.x", "lost");
    SetTime("old.x", old);
    std::shared_ptr<const Parsed> c = Load(File("old.x"), &made);
    EXPECT_FALSE(made);
    EXPECT_EQ(c.get(), a.get());
}

TEST_F(LoadCacheTest, WhatIsNotARegularFileIsNeverKept) {
    core::LoadProbe probe;
    EXPECT_EQ(cache.Find(File("missing.x").c_str(), probe), nullptr);
    EXPECT_FALSE(probe.keyed);
    cache.Put(probe, std::make_shared<const Parsed>(Parsed{"x"}));
    EXPECT_EQ(cache.Live(), 0u);
    EXPECT_EQ(cache.Find(dir.string().c_str(), probe), nullptr);
    EXPECT_FALSE(probe.keyed);
    EXPECT_EQ(cache.Find(nullptr, probe), nullptr);
}

}  // namespace
