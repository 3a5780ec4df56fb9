// Our forward transform against FFTW's real-to-complex transform (FFTW_MEASURE, planning not
// timed), one thread, N = 2^10 ... 2^24. Run with --benchmark_repetitions=N for medians; the ratio
// table at the end is ours / FFTW.
#include "RatioReporter.h"

#include <rfft/RealTransform.h>

#include <benchmark/benchmark.h>
#include <fftw3.h>

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

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter(std::vector<RatioReporter::Pair> {{"BM_Rfft", "BM_Fftw"}});
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
