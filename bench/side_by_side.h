#pragma once

// Every figure beside its baseline. A benchmark program registers its Google Benchmark cases and,
// for each figure it quotes, the case that measures it and the case that measures its baseline.
// Main() runs the cases with their repetitions interleaved at random (so that a burst of load on
// the machine falls on both sides alike), and then prints, per figure, the two medians and their
// ratio, and whether the goal is met.

#include <string>
#include <utility>
#include <vector>

namespace quillane::bench {

enum class Clock {
    Wall,  // real time
    Cpu,   // CPU time of this process (the server is another process)
};

// One side of a comparison: a benchmark case by its full name ("BM_Add/10000") and the number of
// items one of its iterations handles (entries, names), which the figure is divided by.
struct Side {
    Side(std::string benchmark_, double items_ = 1, std::string per_ = {})
        : benchmark(std::move(benchmark_)), items(items_), per(std::move(per_)) {}

    std::string benchmark;
    double items;
    std::string per;  // what an item is ("entry", "name"); empty: the figure is per iteration
};

struct Comparison {
    std::string figure = {};    // what is measured ("添加 of 10,000 names")
    Side ours = {""};           //
    std::string baseline = {};  // what the baseline is ("删除 of 10,000 names")
    Side theirs = {""};         //
    Clock clock = Clock::Wall;
    double atMostRatio = 0;   // goal: the ratio at most this; 0 for none
    double underSeconds = 0;  // goal: our figure (per iteration) under this; 0 for none
};

// Registers a comparison for the summary.
void Compare(Comparison comparison);

// Runs the benchmarks named on the command line (all by default), then prints the comparisons
// whose both sides ran. Repetitions are interleaved at random unless the command line says
// otherwise. Returns the process's exit status.
int Main(int argc, char** argv);

}  // namespace quillane::bench
