// Our forward transform against FFTW's real-to-complex transform (FFTW_MEASURE, planning not
// timed), one thread. Run with --benchmark_repetitions=N to get medians; the ratio column is
// printed at the end from the medians of both.
#include <rfft/RealTransform.h>

#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <random>
#include <vector>

namespace
{
struct FftwFree
{
    void operator()(void* p) const { fftw_free(p); }
};
using FftwDoubles = std::unique_ptr<double[], FftwFree>;

FftwDoubles fftwDoubles(std::size_t n)
{
    return FftwDoubles(static_cast<double*>(fftw_malloc(n * sizeof(double))));
}

void fillRandom(double* x, std::size_t n)
{
    std::mt19937_64 rng(12345);
    std::uniform_real_distribution<double> dist(-1.0, 1.0);
    for (std::size_t i = 0; i < n; ++i) {
        x[i] = dist(rng);
    }
}

void BM_Rfft(benchmark::State& state)
{
    const auto n = static_cast<std::int32_t>(state.range(0));
    rfft::RealTransform fft(n);
    std::vector<double> x(static_cast<std::size_t>(n));
    std::vector<double> f(static_cast<std::size_t>(n));
    fillRandom(x.data(), x.size());
    for (auto _ : state) {
        fft.forward(f.data(), x.data());
        benchmark::DoNotOptimize(f.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * n);
}

void BM_Fftw(benchmark::State& state)
{
    const auto n = static_cast<std::size_t>(state.range(0));
    FftwDoubles x = fftwDoubles(n);
    FftwDoubles out = fftwDoubles(n + 2);
    fftw_plan plan = fftw_plan_dft_r2c_1d(static_cast<int>(n), x.get(),
                                          reinterpret_cast<fftw_complex*>(out.get()), FFTW_MEASURE);
    fillRandom(x.get(), n);
    for (auto _ : state) {
        fftw_execute(plan);
        benchmark::DoNotOptimize(out.get());
        benchmark::ClobberMemory();
    }
    fftw_destroy_plan(plan);
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(n));
}

BENCHMARK(BM_Rfft)->RangeMultiplier(2)->Range(1 << 10, 1 << 24)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Fftw)->RangeMultiplier(2)->Range(1 << 10, 1 << 24)->Unit(benchmark::kMicrosecond);

// Collects the per-size times (median when repeated) and prints ours / FFTW at the end.
class RatioReporter : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            const bool aggregate = run.run_type == Run::RT_Aggregate;
            if (aggregate && run.aggregate_name != "median") {
                continue;
            }
            const std::string name = run.run_name.function_name;
            const std::string args = run.run_name.args;
            auto& slot = name == "BM_Rfft" ? ours[args] : theirs[args];
            if (aggregate || !slot.second) {
                slot = {run.GetAdjustedRealTime(), aggregate};
            }
        }
    }
    void Finalize() override
    {
        ConsoleReporter::Finalize();
        std::printf("\n%10s %14s %14s %8s\n", "N", "ours (us)", "FFTW (us)", "ratio");
        for (const auto& [args, t] : ours) {
            const auto it = theirs.find(args);
            if (it == theirs.end()) {
                continue;
            }
            std::printf("%10s %14.2f %14.2f %8.2f\n", args.c_str(), t.first, it->second.first,
                        t.first / it->second.first);
        }
    }

private:
    struct ByNumber
    {
        bool operator()(const std::string& a, const std::string& b) const
        {
            return std::stoll(a) < std::stoll(b);
        }
    };
    std::map<std::string, std::pair<double, bool>, ByNumber> ours;
    std::map<std::string, std::pair<double, bool>, ByNumber> theirs;
};
} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
