// One whole frame of sixteen channels as the acquisition worker computes it: per channel the
// samples are copied out of the interleaved frame, then either
//  - spectral: window, transform, amplitude spectrum, peak search and the AC estimate, ours
//    against the same pipeline on FFTW's real-to-complex transform; or
//  - time domain: the window-weighted mean and deviation, against a plain loop that only reads
//    the same samples and window (the memory-bandwidth floor).
// Run with --benchmark_repetitions=N for medians; the ratio tables at the end are ours / reference.
#include "RatioReporter.h"

#include "ChannelEstimators.h"
#include "RealFft.h"

#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <numbers>
#include <random>
#include <vector>

namespace
{
constexpr int kChannels = 16;
constexpr double kFrameRate = 100000.0;

struct FftwFree
{
    void operator()(void* p) const { fftw_free(p); }
};

// The frame and the per-run buffers of the worker.
struct Frame
{
    explicit Frame(std::uint32_t length)
        : n(length), data(static_cast<std::size_t>(n) * kChannels), channel(n + 16), window(n + 16)
    {
        std::mt19937_64 rng(7);
        std::normal_distribution<double> noise(0.0, 1e-4);
        for (std::uint32_t k = 0; k < n; ++k) {
            for (int c = 0; c < kChannels; ++c) {
                const double f = 1000.0 + 137.0 * c;
                data[c + kChannels * static_cast<std::size_t>(k)] =
                    0.01 * std::sin(2.0 * std::numbers::pi * f * k / kFrameRate) + noise(rng);
            }
        }
    }

    void copyChannel(int c)
    {
        const double* src = data.data() + c;
        for (std::uint32_t k = 0; k < n; ++k) {
            channel[k] = src[kChannels * static_cast<std::size_t>(k)];
        }
    }

    std::uint32_t n;
    std::vector<double> data;
    std::vector<double> channel;
    std::vector<double> window;
};

void BM_SpectralFrame(benchmark::State& state)
{
    const auto n = static_cast<std::uint32_t>(state.range(0));
    Frame frame(n);
    std::atomic<bool> terminated {false};
    TREALFFT fft(n, &terminated);
    fft.SetLength(n);
    fft.MakeWindow(frame.window.data(), wtCosineSum5);
    std::vector<double> spectrum(n + 16);
    std::vector<double> amplitudes(n / 2 + 16);
    ChannelFrame input;
    input.Samples = frame.channel.data();
    input.Window = frame.window.data();
    input.Length = n;
    input.PowerGain = PowerGain(fft.Descriptor());
    input.FrameRate = kFrameRate;
    input.Analyzer = &fft;
    input.Spectrum = spectrum.data();
    input.Amplitudes = amplitudes.data();
    input.Terminated = &terminated;
    ChannelReading readings[kChannels];
    for (auto _ : state) {
        for (int c = 0; c < kChannels; ++c) {
            frame.copyChannel(c);
            ComputeChannel(input, "fft", "rms", 1, readings[c]);
        }
        benchmark::DoNotOptimize(readings);
    }
}

void BM_SpectralFrameFftw(benchmark::State& state)
{
    const auto n = static_cast<std::uint32_t>(state.range(0));
    Frame frame(n);
    WindowDescriptor descriptor;
    MakeWindow(wtCosineSum5, frame.window.data(), n, descriptor, nullptr);
    const double powerGain = PowerGain(descriptor);
    std::unique_ptr<double[], FftwFree> samples(fftw_alloc_real(n));
    std::unique_ptr<fftw_complex[], FftwFree> spectrum(fftw_alloc_complex(n / 2 + 1));
    fftw_plan plan = fftw_plan_dft_r2c_1d(static_cast<int>(n), samples.get(), spectrum.get(), FFTW_MEASURE);
    std::vector<double> amplitudes(n / 2 + 16);
    const std::uint32_t half = n / 2;
    const std::int64_t w = descriptor.PeakHalfWidth;
    ChannelReading readings[kChannels];
    for (auto _ : state) {
        for (int c = 0; c < kChannels; ++c) {
            frame.copyChannel(c);
            const double* x = frame.channel.data();
            const double* win = frame.window.data();
            double* s = samples.get();
            for (std::uint32_t i = 0; i < n; ++i) {
                s[i] = win[i] * x[i];
            }
            fftw_execute(plan);
            const fftw_complex* f = spectrum.get();
            amplitudes[0] = f[0][0] / n;
            for (std::uint32_t k = 1; k < half; ++k) {
                amplitudes[k] = std::sqrt(f[k][0] * f[k][0] + f[k][1] * f[k][1]) / half;
            }
            std::int64_t peak = -1;
            double best = -60000000.0;
            for (std::uint32_t k = static_cast<std::uint32_t>(w); k < half; ++k) {
                if (amplitudes[k] > best) {
                    best = amplitudes[k];
                    peak = k;
                }
            }
            double e = 0.0;
            double m = 0.0;
            for (std::int64_t i = peak - w; peak >= 0 && i < peak + w; ++i) {
                if (i > w && i < half) {
                    const double p = 0.5 * amplitudes[i] * amplitudes[i];
                    e += p;
                    m += i * p;
                }
            }
            readings[c].AcValue = std::sqrt(e / powerGain);
            readings[c].Frequency = m / e * kFrameRate / n;
        }
        benchmark::DoNotOptimize(readings);
    }
    fftw_destroy_plan(plan);
}

void BM_TimeDomainFrame(benchmark::State& state)
{
    const auto n = static_cast<std::uint32_t>(state.range(0));
    Frame frame(n);
    WindowDescriptor descriptor;
    MakeWindow(wtCosineSum5, frame.window.data(), n, descriptor, nullptr);
    ChannelFrame input;
    input.Samples = frame.channel.data();
    input.Window = frame.window.data();
    input.Length = n;
    input.CoherentSum = CoherentSum(descriptor, n);
    ChannelReading readings[kChannels];
    for (auto _ : state) {
        for (int c = 0; c < kChannels; ++c) {
            frame.copyChannel(c);
            ComputeChannel(input, "sum", "rms", 1, readings[c]);
        }
        benchmark::DoNotOptimize(readings);
    }
}

// The time-domain estimator alone on a channel already copied out, against the bandwidth floor.
void BM_TimeDomainEstimator(benchmark::State& state)
{
    const auto n = static_cast<std::uint32_t>(state.range(0));
    Frame frame(n);
    frame.copyChannel(0);
    WindowDescriptor descriptor;
    MakeWindow(wtCosineSum5, frame.window.data(), n, descriptor, nullptr);
    ChannelFrame input;
    input.Samples = frame.channel.data();
    input.Window = frame.window.data();
    input.Length = n;
    input.CoherentSum = CoherentSum(descriptor, n);
    ChannelReading reading;
    for (auto _ : state) {
        for (int c = 0; c < kChannels; ++c) {
            ComputeChannel(input, "sum", "rms", 1, reading);
            benchmark::DoNotOptimize(reading);
        }
    }
}

typedef double v2d __attribute__((vector_size(16)));

// Reads the samples and the window once and adds them up: nothing can read them faster.
void BM_MemoryBandwidth(benchmark::State& state)
{
    const auto n = static_cast<std::uint32_t>(state.range(0));
    Frame frame(n);
    frame.copyChannel(0);
    MakeWindow(wtCosineSum5, frame.window.data(), n, *std::make_unique<WindowDescriptor>(), nullptr);
    const double* x = frame.channel.data();
    const double* w = frame.window.data();
    for (auto _ : state) {
        for (int c = 0; c < kChannels; ++c) {
            v2d s0 {}, s1 {}, s2 {}, s3 {};
            for (std::uint32_t i = 0; i + 8 <= n; i += 8) {
                v2d a, b, d, e, g, h, k, l;
                __builtin_memcpy(&a, x + i, 16);
                __builtin_memcpy(&b, x + i + 2, 16);
                __builtin_memcpy(&d, x + i + 4, 16);
                __builtin_memcpy(&e, x + i + 6, 16);
                __builtin_memcpy(&g, w + i, 16);
                __builtin_memcpy(&h, w + i + 2, 16);
                __builtin_memcpy(&k, w + i + 4, 16);
                __builtin_memcpy(&l, w + i + 6, 16);
                s0 += a + g;
                s1 += b + h;
                s2 += d + k;
                s3 += e + l;
            }
            const v2d s = (s0 + s1) + (s2 + s3);
            benchmark::DoNotOptimize(s);
        }
    }
}

BENCHMARK(BM_SpectralFrame)->Arg(1 << 16)->Arg(1 << 20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SpectralFrameFftw)->Arg(1 << 16)->Arg(1 << 20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TimeDomainFrame)->Arg(1 << 16)->Arg(1 << 20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TimeDomainEstimator)->Arg(1 << 16)->Arg(1 << 20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MemoryBandwidth)->Arg(1 << 16)->Arg(1 << 20)->Unit(benchmark::kMillisecond);
} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter({{"BM_SpectralFrame", "BM_SpectralFrameFftw"},
                            {"BM_TimeDomainEstimator", "BM_MemoryBandwidth"}});
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
