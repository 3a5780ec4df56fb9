#pragma once

// Console output plus, at the end, a table of time(ours) / time(reference) per argument, taken
// from the medians when the benchmarks run with --benchmark_repetitions.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

class RatioReporter : public benchmark::ConsoleReporter
{
public:
    struct Pair
    {
        std::string ours;
        std::string reference;
    };

    explicit RatioReporter(std::vector<Pair> pairs) : m_pairs(std::move(pairs)) {}

    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            const bool aggregate = run.run_type == Run::RT_Aggregate;
            if (aggregate && run.aggregate_name != "median") {
                continue;
            }
            Entry& slot = m_times[run.run_name.function_name][run.run_name.args];
            if (aggregate || !slot.median) {
                slot = {run.GetAdjustedRealTime(), aggregate, run.time_unit};
            }
        }
    }

    void Finalize() override
    {
        ConsoleReporter::Finalize();
        for (const Pair& pair : m_pairs) {
            const auto ours = m_times.find(pair.ours);
            const auto theirs = m_times.find(pair.reference);
            if (ours == m_times.end() || theirs == m_times.end()) {
                continue;
            }
            std::printf("\n%s / %s\n%10s %14s %14s %8s\n", pair.ours.c_str(), pair.reference.c_str(),
                        "N", "ours", "reference", "ratio");
            for (const auto& [args, t] : ours->second) {
                const auto it = theirs->second.find(args);
                if (it == theirs->second.end()) {
                    continue;
                }
                std::printf("%10s %11.2f %s %11.2f %s %8.2f\n", args.c_str(), t.time,
                            benchmark::GetTimeUnitString(t.unit), it->second.time,
                            benchmark::GetTimeUnitString(it->second.unit), t.time / it->second.time);
            }
        }
        std::fflush(stdout);
    }

private:
    struct Entry
    {
        double time = 0.0;
        bool median = false;
        benchmark::TimeUnit unit = benchmark::kNanosecond;
    };
    struct ByNumber
    {
        bool operator()(const std::string& a, const std::string& b) const
        {
            return a.size() != b.size() ? a.size() < b.size() : a < b;
        }
    };
    std::vector<Pair> m_pairs;
    std::map<std::string, std::map<std::string, Entry, ByNumber>> m_times;
};
