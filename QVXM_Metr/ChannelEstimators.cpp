#include "ChannelEstimators.h"

#include "RealFft.h"

#include <cmath>
#include <cstddef>

namespace
{
bool terminated(const ChannelFrame& frame)
{
    return frame.Terminated != nullptr && frame.Terminated->load(std::memory_order_relaxed);
}

typedef double v2d __attribute__((vector_size(16)));

inline v2d load2(const double* p)
{
    v2d v;
    __builtin_memcpy(&v, p, sizeof v);
    return v;
}

inline double sum2(v2d v) { return v[0] + v[1]; }

// Sum of x*w over n samples; four independent lanes pairs keep the adds from waiting on each other.
double weightedSum(const double* x, const double* w, std::size_t n)
{
    v2d s0 {}, s1 {}, s2 {}, s3 {};
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        s0 += load2(x + i) * load2(w + i);
        s1 += load2(x + i + 2) * load2(w + i + 2);
        s2 += load2(x + i + 4) * load2(w + i + 4);
        s3 += load2(x + i + 6) * load2(w + i + 6);
    }
    double s = sum2((s0 + s1) + (s2 + s3));
    for (; i < n; ++i) {
        s += x[i] * w[i];
    }
    return s;
}

// Sums of x*w and of x*(x*w) in one sweep, x*w rounded to double before the second product.
void weightedMoments(const double* x, const double* w, std::size_t n, double& m1, double& m2)
{
    v2d a0 {}, a1 {}, a2 {}, a3 {};
    v2d b0 {}, b1 {}, b2 {}, b3 {};
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        const v2d x0 = load2(x + i);
        const v2d x1 = load2(x + i + 2);
        const v2d x2 = load2(x + i + 4);
        const v2d x3 = load2(x + i + 6);
        const v2d p0 = x0 * load2(w + i);
        const v2d p1 = x1 * load2(w + i + 2);
        const v2d p2 = x2 * load2(w + i + 4);
        const v2d p3 = x3 * load2(w + i + 6);
        a0 += p0;
        a1 += p1;
        a2 += p2;
        a3 += p3;
        b0 += x0 * p0;
        b1 += x1 * p1;
        b2 += x2 * p2;
        b3 += x3 * p3;
    }
    double s1 = sum2((a0 + a1) + (a2 + a3));
    double s2 = sum2((b0 + b1) + (b2 + b3));
    for (; i < n; ++i) {
        const double p = x[i] * w[i];
        s1 += p;
        s2 += x[i] * p;
    }
    m1 = s1;
    m2 = s2;
}
} // namespace

ChannelOutcome ComputeTimeDomain(const ChannelFrame& frame, int channelMethod, ChannelReading& reading)
{
    if ((channelMethod != 0 && channelMethod != 1) || frame.Length == 0 || frame.Samples == nullptr
        || frame.Window == nullptr) {
        return ChannelOutcome::NotComputed;
    }
    const double s = frame.CoherentSum;
    if (channelMethod == 0) {
        reading.DcValue = weightedSum(frame.Samples, frame.Window, frame.Length) / s;
        return ChannelOutcome::Computed;
    }
    double sum1 = 0.0;
    double sum2 = 0.0;
    weightedMoments(frame.Samples, frame.Window, frame.Length, sum1, sum2);
    const double m1 = sum1 / s;
    const double m2 = sum2 / s;
    // Rounding can leave the difference slightly negative for a constant input.
    reading.AcValue = std::sqrt(std::fabs(m2 - m1 * m1));
    return ChannelOutcome::Computed;
}

ChannelOutcome ComputeSpectral(const ChannelFrame& frame, int channelMethod, ChannelReading& reading)
{
    if ((channelMethod != 0 && channelMethod != 1) || frame.Analyzer == nullptr
        || frame.Samples == nullptr || frame.Window == nullptr || frame.Spectrum == nullptr
        || frame.Amplitudes == nullptr || frame.Analyzer->Length() == 0) {
        return ChannelOutcome::NotComputed;
    }
    TREALFFT& fft = *frame.Analyzer;
    fft.ApplyWindow(frame.Samples, frame.Window);
    if (terminated(frame)) {
        return ChannelOutcome::Aborted;
    }
    fft.Transform(frame.Samples, frame.Spectrum);
    if (terminated(frame)) {
        return ChannelOutcome::Aborted;
    }
    fft.CalcAmplitudeSpectr(frame.Spectrum, frame.Amplitudes);
    if (terminated(frame)) {
        return ChannelOutcome::Aborted;
    }
    const std::int32_t peak = fft.FindPeak(frame.Amplitudes, PeakSearchFloor);
    if (terminated(frame)) {
        return ChannelOutcome::Aborted;
    }

    const double* a = frame.Amplitudes;
    const std::int64_t half = fft.Length() / 2;
    const double p = frame.PowerGain;
    if (channelMethod == 0) {
        const std::int64_t k = fft.Descriptor().MainLobeBins;
        double s = a[0] * a[0];
        for (std::int64_t i = 1; i < k && i < half; ++i) {
            s += 0.5 * a[i] * a[i];
        }
        const double value = std::sqrt(s / p);
        reading.DcValue = a[0] < 0.0 ? -value : value;
        return ChannelOutcome::Computed;
    }

    const std::int64_t w = fft.Descriptor().PeakHalfWidth;
    double e = 0.0;
    double m = 0.0;
    if (peak >= 0) {
        for (std::int64_t i = peak - w; i < peak + w; ++i) {
            if (i > w && i < half) {
                const double pi = 0.5 * a[i] * a[i];
                e += pi;
                m += static_cast<double>(i) * pi;
            }
        }
    }
    if (!(e / p > 0.0)) {
        return ChannelOutcome::NoSignal;
    }
    reading.AcValue = std::sqrt(e / p);
    reading.Frequency = (m / e) * frame.FrameRate / static_cast<double>(fft.Length());
    return ChannelOutcome::Computed;
}

ChannelOutcome ComputeChannel(const ChannelFrame& frame, std::string_view calcMethod,
                              std::string_view amplitudeType, int channelMethod,
                              ChannelReading& reading)
{
    const ChannelOutcome outcome = calcMethod == "fft"
        ? ComputeSpectral(frame, channelMethod, reading)
        : ComputeTimeDomain(frame, channelMethod, reading);
    if (outcome == ChannelOutcome::Computed && channelMethod == 1 && amplitudeType != "rms") {
        reading.AcValue *= std::sqrt(2.0);
    }
    return outcome;
}
