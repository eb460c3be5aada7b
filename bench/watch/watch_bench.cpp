// The cost of watching a level's files: the frame that starts a round of looks (the most a
// frame pays: kFilesPerPass files), a whole round over 100 files, an average frame at 60 frames
// a second, and a frame between rounds (a clock reading). The files are real files in a scratch
// folder, named with backslashes and found as the engine finds them.
#include <benchmark/benchmark.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "app/level_watch.h"
#include "platform/headless/headless.h"

namespace {

struct Folder {
    std::string path;
    std::string home;
    bool ok = false;

    explicit Folder(int files) {
        char buffer[4096], pattern[] = "/tmp/meshes_watch_bench_XXXXXX";
        if (!getcwd(buffer, sizeof(buffer)) || !mkdtemp(pattern)) return;
        home = buffer;
        path = pattern;
        if (chdir(pattern) != 0) return;
        for (const char* dir : {"objects", "meshes", "textures", "fx"}) mkdir(dir, 0755);
        for (int i = 0; i < files; ++i) std::ofstream(Name(i)) << "file " << i << "\n";
        ok = true;
    }
    ~Folder() {
        if (!home.empty() && chdir(home.c_str()) == 0 && !path.empty())
            std::system(("rm -rf '" + path + "'").c_str());
    }
    // A level's mix: a quarter each of object files, meshes, textures and effects.
    static std::string Name(int i) {
        static const char* dirs[] = {"objects/", "meshes/", "textures/", "fx/"};
        return std::string(dirs[i % 4]) + "f" + std::to_string(i);
    }
    static std::string LevelName(int i) {
        std::string s = Name(i);
        s[s.find('/')] = '\\';
        return s;
    }
};

void Fill(Korvel_Level_Watch& watch, int files) {
    for (int i = 0; i < files; ++i) {
        Korvel_Level_Watch::File& f = watch.Add(Folder::LevelName(i));
        f.objects.push_back(static_cast<unsigned int>(i + 1));
        f.known = filestamp::Read(f.mapped.c_str());
        f.seen = f.known;
    }
}

struct Watched {
    Folder folder;
    Korvel_Level_Watch watch;
    explicit Watched(int files) : folder(files) { Fill(watch, files); }
};

// Each iteration is the first frame of a round.
void BM_FrameStartingARound(benchmark::State& state) {
    headless::Reset();
    Watched w(static_cast<int>(state.range(0)));
    if (!w.folder.ok) return state.SkipWithError("no scratch folder");
    for (auto _ : state) {
        w.watch.next = w.watch.files.size();
        headless::AdvanceTime(Korvel_Level_Watch::kIntervalMs);
        Korvel_Level_Changes changes;
        benchmark::DoNotOptimize(w.watch.Check(&changes));
    }
}
BENCHMARK(BM_FrameStartingARound)->Arg(100)->Arg(1000)->Unit(benchmark::kMicrosecond);

// Each iteration is a whole round, over as many frames as it takes.
void BM_WholeRound(benchmark::State& state) {
    headless::Reset();
    Watched w(static_cast<int>(state.range(0)));
    if (!w.folder.ok) return state.SkipWithError("no scratch folder");
    for (auto _ : state) {
        headless::AdvanceTime(Korvel_Level_Watch::kIntervalMs);
        do {
            Korvel_Level_Changes changes;
            benchmark::DoNotOptimize(w.watch.Check(&changes));
        } while (w.watch.next < w.watch.files.size());
    }
}
BENCHMARK(BM_WholeRound)->Arg(100)->Unit(benchmark::kMicrosecond);

// Frames 16 ms apart: the average a frame pays.
void BM_FrameAt60Fps(benchmark::State& state) {
    headless::Reset();
    Watched w(100);
    if (!w.folder.ok) return state.SkipWithError("no scratch folder");
    for (auto _ : state) {
        headless::AdvanceTime(16);
        Korvel_Level_Changes changes;
        benchmark::DoNotOptimize(w.watch.Check(&changes));
    }
}
BENCHMARK(BM_FrameAt60Fps)->Unit(benchmark::kMicrosecond);

// A frame between rounds: the watcher only reads the clock.
void BM_FrameBetweenRounds(benchmark::State& state) {
    headless::Reset();
    Watched w(100);
    for (auto _ : state) {
        Korvel_Level_Changes changes;
        benchmark::DoNotOptimize(w.watch.Check(&changes));
    }
}
BENCHMARK(BM_FrameBetweenRounds)->Unit(benchmark::kNanosecond);

// Baseline in the same run: one stat of each of the 100 files by its final path, the least
// any look at them can cost.
void BM_BaselineStat(benchmark::State& state) {
    headless::Reset();
    Folder folder(100);
    for (auto _ : state) {
        for (int i = 0; i < 100; ++i) {
            struct stat st;
            benchmark::DoNotOptimize(stat(Folder::Name(i).c_str(), &st));
        }
    }
}
BENCHMARK(BM_BaselineStat)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
