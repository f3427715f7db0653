#include "side_by_side.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>

#ifdef _WIN32
#include <io.h>
#define isatty _isatty
#define STDOUT_FILENO 1
#else
#include <unistd.h>
#endif

namespace quillane::bench {
namespace {

std::vector<Comparison>& Comparisons() {
    static std::vector<Comparison> comparisons;
    return comparisons;
}

double SecondsPer(benchmark::TimeUnit unit) {
    switch (unit) {
        case benchmark::kNanosecond:
            return 1e-9;
        case benchmark::kMicrosecond:
            return 1e-6;
        case benchmark::kMillisecond:
            return 1e-3;
        case benchmark::kSecond:
            return 1;
    }
    return 1;
}

struct Samples {
    std::vector<double> wall;  // seconds per iteration, one per repetition
    std::vector<double> cpu;
    bool failed = false;
};

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// "12.3 ms", "4.56 µs": three significant digits in the unit that suits the value.
std::string Duration(double seconds) {
    const char* unit = "s";
    double value = seconds;
    if (seconds < 1e-6) {
        unit = "ns";
        value = seconds * 1e9;
    } else if (seconds < 1e-3) {
        unit = "µs";
        value = seconds * 1e6;
    } else if (seconds < 1) {
        unit = "ms";
        value = seconds * 1e3;
    }
    char text[32];
    std::snprintf(text, sizeof text,
                  value < 10    ? "%.2f %s"
                  : value < 100 ? "%.1f %s"
                                : "%.0f %s",
                  value, unit);
    return text;
}

// The console's usual table, and every repetition's figures kept for the summary.
class SideBySideReporter : public benchmark::ConsoleReporter {
  public:
    // Colours only for a terminal: scripts/bench.sh pipes the output.
    SideBySideReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_ColorTabular : OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        std::vector<Run> shown;
        for (const Run& run : runs) {
            // Repeated cases are shown by their aggregates (mean, median, spread) alone.
            if (run.run_type == Run::RT_Aggregate || run.repetitions <= 1) {
                shown.push_back(run);
            }
            if (run.run_type != Run::RT_Iteration) {
                continue;
            }
            // By function and arguments alone, whatever the case says about its iterations,
            // repetitions or clock.
            std::string name = run.run_name.function_name;
            if (!run.run_name.args.empty()) {
                name += "/" + run.run_name.args;
            }
            Samples& samples = samples_[name];
            if (run.error_occurred) {
                samples.failed = true;
                continue;
            }
            const double unit = SecondsPer(run.time_unit);
            samples.wall.push_back(run.GetAdjustedRealTime() * unit);
            samples.cpu.push_back(run.GetAdjustedCPUTime() * unit);
        }
        if (!shown.empty()) {
            ConsoleReporter::ReportRuns(shown);
        }
    }

    void Finalize() override {
        ConsoleReporter::Finalize();
        bool header = false;
        for (const Comparison& c : Comparisons()) {
            const auto ours = samples_.find(c.ours.benchmark);
            const auto theirs = samples_.find(c.theirs.benchmark);
            if (ours == samples_.end() || theirs == samples_.end()) {
                continue;
            }
            if (!header) {
                std::printf(
                    "\nFigures beside their baselines (medians of the repetitions above):\n");
                header = true;
            }
            Print(c, ours->second, theirs->second);
        }
        std::fflush(stdout);
    }

  private:
    static std::string Figure(double seconds, const Side& side) {
        std::string text = Duration(seconds / side.items);
        if (!side.per.empty()) {
            text += " per " + side.per;
        }
        return text;
    }

    static void Print(const Comparison& c, const Samples& ours, const Samples& theirs) {
        if (ours.failed || theirs.failed || ours.wall.empty() || theirs.wall.empty()) {
            std::printf("  %s: not measured (a run failed; see above)\n", c.figure.c_str());
            return;
        }
        const bool cpu = c.clock == Clock::Cpu;
        const double mine = Median(cpu ? ours.cpu : ours.wall);
        const double base = Median(cpu ? theirs.cpu : theirs.wall);
        const double ratio = (mine / c.ours.items) / (base / c.theirs.items);
        std::string goal;
        bool met = true;
        if (c.atMostRatio > 0) {
            char text[48];
            std::snprintf(text, sizeof text, "ratio at most %.2f", c.atMostRatio);
            goal = text;
            met = met && ratio <= c.atMostRatio;
        }
        if (c.underSeconds > 0) {
            goal += (goal.empty() ? "under " : " and under ") + Duration(c.underSeconds);
            met = met && mine < c.underSeconds;
        }
        if (!goal.empty()) {
            goal = " | goal " + goal + (met ? ": met" : ": NOT met");
        }
        std::printf("  %s: %s%s | baseline, %s: %s | ratio %.2f%s\n", c.figure.c_str(),
                    Figure(mine, c.ours).c_str(), cpu ? " CPU" : "", c.baseline.c_str(),
                    Figure(base, c.theirs).c_str(), ratio, goal.c_str());
    }

    std::map<std::string, Samples> samples_;
};

bool Given(int argc, char** argv, const char* flag) {
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], flag, std::strlen(flag)) == 0) {
            return true;
        }
    }
    return false;
}

}  // namespace

void Compare(Comparison comparison) {
    Comparisons().push_back(std::move(comparison));
}

int Main(int argc, char** argv) {
    std::vector<char*> args(argv, argv + argc);
    // Defaults that the command line may override: both sides of a comparison repeated, their
    // repetitions interleaved.
    static char interleave[] = "--benchmark_enable_random_interleaving=true";
    static char repetitions[] = "--benchmark_repetitions=9";
    if (!Given(argc, argv, "--benchmark_enable_random_interleaving")) {
        args.push_back(interleave);
    }
    if (!Given(argc, argv, "--benchmark_repetitions")) {
        args.push_back(repetitions);
    }
    int count = static_cast<int>(args.size());
    args.push_back(nullptr);
    benchmark::Initialize(&count, args.data());
    if (benchmark::ReportUnrecognizedArguments(count, args.data())) {
        return 1;
    }
    SideBySideReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}

}  // namespace quillane::bench
