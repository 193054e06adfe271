// Runs the registered benchmarks and prints how each `numerator` compares
// with its `denominator` (median per iteration) against its `target`.
#pragma once

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

namespace bench {

class RecordingReporter : public benchmark::ConsoleReporter {
public:
    // Colour only on a terminal.
    RecordingReporter() : ConsoleReporter(isatty(STDOUT_FILENO) != 0 ? OO_Defaults : OO_Tabular) {}
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            const bool single = run.run_type == Run::RT_Iteration;
            if (!run.error_occurred && (single || run.aggregate_name == "median")) {
                seconds[run.run_name.function_name] = run.GetAdjustedRealTime();
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> seconds;
};

struct Comparison {
    std::string numerator;
    std::string denominator;
    double target;
};

inline int runAndCompare(int argc, char** argv, std::initializer_list<Comparison> comparisons)
{
    // Interleaved repetitions, so that both sides see the same machine; flags given later win.
    std::vector<char*> args{argv[0]};
    std::string defaults[] = {"--benchmark_repetitions=7", "--benchmark_enable_random_interleaving=true",
                              "--benchmark_report_aggregates_only=true"};
    for (std::string& flag : defaults) {
        args.push_back(flag.data());
    }
    args.insert(args.end(), argv + 1, argv + argc);
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    RecordingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    for (const auto& [numerator, denominator, target] : comparisons) {
        if (reporter.seconds.count(numerator) != 0 && reporter.seconds.count(denominator) != 0) {
            const double ratio = reporter.seconds[numerator] / reporter.seconds[denominator];
            std::printf("%s / %s = %.3f (target at most %g: %s)\n", numerator.c_str(), denominator.c_str(), ratio,
                        target, ratio <= target ? "met" : "NOT met");
        }
    }
    return 0;
}

}  // namespace bench
