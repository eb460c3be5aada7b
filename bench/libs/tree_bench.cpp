// Parameter tree timings: building a wide knot, saving, loading and walking 100,000 nodes.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <unistd.h>

#include "param_tree/dynamic_row.h"

namespace {

const unsigned int kNodes = 100000;

std::string ScratchFile() { return "/tmp/bench_libs_" + std::to_string(getpid()) + ".dr"; }

Zarvik_string Z(const std::string &s) {
    Zarvik_string z;
    z = s.c_str();
    return z;
}

// A root knot with 1000 knots of 99 params each: 100,001 nodes that the file format can hold.
void BuildFileTree(DynamicRow &t) {
    unsigned int r = t.AddToId(0, true, "LEVEL");
    for (int k = 0; k < 1000; ++k) {
        unsigned int knot = t.AddToId(r, true, "_OBJECT_");
        for (int p = 0; p < 99; ++p) t.AddToId(knot, false, "0.250000");
    }
}

void BM_AddToIdWideKnot(benchmark::State &state) {
    for (auto _ : state) {
        DynamicRow t;
        unsigned int r = t.AddToId(0, true, "R");
        for (unsigned int i = 0; i < kNodes; ++i) t.AddToId(r, false, "param");
        benchmark::DoNotOptimize(t.lastId);
        state.PauseTiming();
        t.DeleteById(r);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_AddToIdWideKnot)->Unit(benchmark::kMillisecond);

void BM_SaveFile(benchmark::State &state) {
    DynamicRow t;
    BuildFileTree(t);
    Zarvik_string path = Z(ScratchFile());
    for (auto _ : state) {
        if (!t.iSaveToFile(path)) state.SkipWithError("save failed");
    }
    std::remove(path.getChars());
    t.DeleteById(1);
}
BENCHMARK(BM_SaveFile)->Unit(benchmark::kMillisecond);

void BM_LoadFile(benchmark::State &state) {
    Zarvik_string path = Z(ScratchFile());
    {
        DynamicRow t;
        BuildFileTree(t);
        t.iSaveToFile(path);
        t.DeleteById(1);
    }
    for (auto _ : state) {
        DynamicRow t;
        if (!t.iLoadFromFile(path) || t.lastId != kNodes + 1) state.SkipWithError("load failed");
        state.PauseTiming();
        t.DeleteById(1);
        state.ResumeTiming();
    }
    std::remove(path.getChars());
}
BENCHMARK(BM_LoadFile)->Unit(benchmark::kMillisecond);

void BM_WalkChildren(benchmark::State &state) {
    DynamicRow t;
    unsigned int r = t.AddToId(0, true, "R");
    for (unsigned int i = 0; i < kNodes; ++i) t.AddToId(r, false, "param");
    for (auto _ : state) {
        unsigned int n = 0;
        for (unsigned int c = t.TopId(r); c; c = t.NextId(c)) {
            Zarvik_string name = t.iLookName(c);
            benchmark::DoNotOptimize(name.getChars()[0]);
            ++n;
        }
        if (n != kNodes) state.SkipWithError("walk missed children");
    }
    t.DeleteById(r);
}
BENCHMARK(BM_WalkChildren)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
