#include "RealFft.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace
{
struct WindowTableEntry
{
    std::uint16_t terms;
    std::uint32_t mainLobeBins;
    std::uint32_t peakHalfWidth;
    double enbw;
    double coefs[9];
};

// The rectangular window is the one-term sum a0 = 1, so that its gains come out right.
constexpr WindowTableEntry kWindows[WindowTypeCount] = {
    {1, 1, 1, 1.0, {1.0}},
    {2, 2, 15, 1.5, {0.5, -0.5}},
    {2, 3, 15, 1.36, {0.54, -0.46}},
    {3, 3, 15, 1.73, {0.42, -0.5, 0.08}},
    {3, 3, 15, 1.70371, {0.4243800934609435, -0.4973406350967378, 0.07827927144231873}},
    {4, 4, 4, 1.97611,
     {0.3635819267707608, -0.4891774371450171, 0.1365995139786921, -0.01064112210553003}},
    {5, 5, 5, 2.21535,
     {0.3232153788877343, -0.471492143957626, 0.1755341299601972, -0.02849699010614994,
      0.001261357088292677}},
    {7, 7, 7, 2.63025,
     {0.2712203605850388, -0.4334446123274422, 0.2180041228929303, -0.06578534329560609,
      0.01076186730534183, -0.0007700127105808265, 0.00001368088305992921}},
    {9, 9, 9, 2.98588,
     {0.2384331152777942, -0.400554534864382, 0.2358242530472107, -0.09527918858383112,
      0.02537395516617152, -0.004152432907505835, 0.000368560416329818,
      -0.0000138435559391703, 0.0000001161808358932861}},
};

constexpr std::uint32_t kWindowChunk = 0x40000;
constexpr double kTwoPi = 6.283185307179586;

bool aborted(const std::atomic<bool>* flag)
{
    return flag != nullptr && flag->load(std::memory_order_relaxed);
}

bool isPow2(std::uint32_t n)
{
    return n != 0 && (n & (n - 1)) == 0;
}
} // namespace

void MakeWindow(int type, double* values, std::uint32_t n, WindowDescriptor& descriptor,
                const std::atomic<bool>* abortFlag)
{
    std::fill(std::begin(descriptor.Coefs), std::end(descriptor.Coefs), 0.0);
    if (type < 0 || type >= WindowTypeCount) {
        descriptor.MainLobeBins = 0;
        descriptor.PeakHalfWidth = 0;
        descriptor.Enbw = 0.0;
        descriptor.TermCount = 0;
        return;
    }
    const WindowTableEntry& entry = kWindows[type];
    descriptor.MainLobeBins = entry.mainLobeBins;
    descriptor.PeakHalfWidth = entry.peakHalfWidth;
    descriptor.Enbw = entry.enbw;
    descriptor.TermCount = entry.terms;
    std::copy(entry.coefs, entry.coefs + entry.terms, descriptor.Coefs);
    if (values == nullptr) {
        return;
    }
    if (type == wtRectangular) {
        std::fill(values, values + n, 1.0);
        return;
    }

    const double* a = entry.coefs;
    const int terms = entry.terms;
    const double length = static_cast<double>(n);
    for (std::uint32_t start = 0; start < n; start += std::min(kWindowChunk, n - start)) {
        if (aborted(abortFlag)) {
            return;
        }
        const std::uint32_t end = start + std::min(kWindowChunk, n - start);
        for (std::uint32_t i = start; i < end; ++i) {
            const double c1 = std::cos(static_cast<double>(i) * kTwoPi / length);
            // Higher harmonics from the first by the product identities: c_k = cos(k x).
            double c[9];
            c[1] = c1;
            c[2] = 2.0 * c1 * c1 - 1.0;
            c[3] = 2.0 * c1 * c[2] - c1;
            c[4] = 2.0 * c[2] * c[2] - 1.0;
            c[5] = 2.0 * c[2] * c[3] - c1;
            c[6] = 2.0 * c[3] * c[3] - 1.0;
            c[7] = 2.0 * c[3] * c[4] - c1;
            c[8] = 2.0 * c[4] * c[4] - 1.0;
            double w = a[1] * c1 + a[0];
            for (int k = 2; k < terms; ++k) {
                w += a[k] * c[k];
            }
            values[i] = w;
        }
    }
}

double CoherentSum(const WindowDescriptor& descriptor, std::uint32_t n)
{
    return static_cast<double>(n) * descriptor.Coefs[0];
}

double PowerGain(const WindowDescriptor& descriptor)
{
    long double gain = static_cast<long double>(descriptor.Coefs[0]) * descriptor.Coefs[0];
    for (int k = 1; k < descriptor.TermCount && k < WindowCoefSlots; ++k) {
        gain += 0.5L * static_cast<long double>(descriptor.Coefs[k]) * descriptor.Coefs[k];
    }
    return static_cast<double>(gain);
}

TREALFFT::TREALFFT(std::uint32_t length, const std::atomic<bool>* abortFlag)
    : AbortFlag(abortFlag), FLength(length)
{
    if (length > 0) {
        FFft = std::make_unique<rfft::RealTransform>(static_cast<std::int32_t>(length), abortFlag);
    }
}

bool TREALFFT::SetLength(std::uint32_t length)
{
    if (!isPow2(length) || length > (1u << rfft::RealTransform::MAX_LENGTH_BITS)) {
        return false;
    }
    if (length != FLength || !FFft) {
        // The new engine keeps the abort flag, so a stop request is still honoured mid-transform.
        FFft = std::make_unique<rfft::RealTransform>(static_cast<std::int32_t>(length), AbortFlag);
        FLength = length;
    }
    return true;
}

void TREALFFT::MakeWindow(double* values, int type)
{
    ::MakeWindow(type, values, FLength, FDescriptor, AbortFlag);
}

void TREALFFT::ApplyWindow(double* samples, const double* window) const
{
    if (samples == nullptr || window == nullptr) {
        return;
    }
    for (std::uint32_t i = 0; i < FLength; ++i) {
        samples[i] = window[i] * samples[i];
    }
}

bool TREALFFT::Transform(const double* samples, double* spectrum)
{
    if (samples == nullptr || spectrum == nullptr || FLength == 0 || !FFft) {
        return false;
    }
    FFft->forward(spectrum, samples);
    return true;
}

bool TREALFFT::CalcAmplitudeSpectr(const double* spectrum, double* amplitudes) const
{
    if (spectrum == nullptr || amplitudes == nullptr || FLength == 0 || !FFft) {
        return false;
    }
    const std::size_t half = FLength / 2;
    amplitudes[0] = spectrum[0] / static_cast<double>(FLength);
    if (half == 0) {
        return true;
    }
    // N/2 is a power of two, so multiplying by its reciprocal equals dividing by it.
    const double scale = 1.0 / static_cast<double>(half);
    const double* re = spectrum;
    const double* im = spectrum + half;
    std::size_t k = 1;
#if defined(__SSE2__)
    const __m128d s = _mm_set1_pd(scale);
    for (; k + 1 < half; k += 2) {
        const __m128d r = _mm_loadu_pd(re + k);
        const __m128d q = _mm_loadu_pd(im + k);
        _mm_storeu_pd(amplitudes + k, _mm_mul_pd(_mm_sqrt_pd(_mm_add_pd(_mm_mul_pd(r, r), _mm_mul_pd(q, q))), s));
    }
#endif
    for (; k < half; ++k) {
        amplitudes[k] = std::sqrt(re[k] * re[k] + im[k] * im[k]) * scale;
    }
    return true;
}

std::int32_t TREALFFT::FindPeak(const double* amplitudes, double floor) const
{
    double best = std::max(floor, -60000000.0);
    std::int32_t peak = -1;
    if (amplitudes == nullptr) {
        return peak;
    }
    const std::uint32_t half = FLength / 2;
    for (std::uint32_t i = FDescriptor.PeakHalfWidth; i < half; ++i) {
        if (amplitudes[i] > best) {
            best = amplitudes[i];
            peak = static_cast<std::int32_t>(i);
        }
    }
    return peak;
}
