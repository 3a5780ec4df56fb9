#include "rfft/RealTransform.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace rfft
{
namespace
{
// Passes on blocks up to this size run block by block while the block stays in the cache.
constexpr int kCacheBlockBits = 15;
constexpr double kPi = 3.1415926535897932384626433832795;
constexpr double kSqrt2Half = 1.4142135623730951 * 0.5;

bool is_pow2(long x)
{
    RFFT_ASSERT(x > 0);
    return (x & (x - 1)) == 0;
}

int floor_log2(long x)
{
    int bits = 0;
    while ((1L << (bits + 1)) <= x) {
        ++bits;
    }
    return bits;
}

#if defined(__SSE2__)
using v2d = __m128d;
inline v2d ld(const double* p) { return _mm_loadu_pd(p); }
inline void st(double* p, v2d v) { _mm_storeu_pd(p, v); }
inline v2d rev2(v2d v) { return _mm_shuffle_pd(v, v, 1); }
inline v2d ldr(const double* p) { return rev2(_mm_loadu_pd(p)); }
inline void str(double* p, v2d v) { _mm_storeu_pd(p, rev2(v)); }
inline v2d splat(double v) { return _mm_set1_pd(v); }
#endif

// Twiddles of a pass whose cosines come from the table: cos(i pi/n) = t[i], sin = t[half - i].
struct TableTwiddles
{
    const double* t;
    std::ptrdiff_t half;
    double c(std::ptrdiff_t i) const { return t[i]; }
    double s(std::ptrdiff_t i) const { return t[half - i]; }
#if defined(__SSE2__)
    v2d cv(std::ptrdiff_t i) const { return ld(t + i); }
    v2d sv(std::ptrdiff_t i) const { return ldr(t + half - i - 1); }
#endif
};

// Twiddles of a pass above the table limit: the angle i pi/n splits into a coarse part taken
// from the last table block and a fine part that the pass's oscillator produced, so that no
// rounding accumulates along the pass.
struct RotatedTwiddles
{
    const double* coarseCos;
    const double* coarseSin;
    const double* fineCos;
    const double* fineSin;
    int shift;
    std::ptrdiff_t mask;
    double c(std::ptrdiff_t i) const
    {
        const std::ptrdiff_t k = i >> shift;
        const std::ptrdiff_t r = i & mask;
        return coarseCos[k] * fineCos[r] - coarseSin[k] * fineSin[r];
    }
    double s(std::ptrdiff_t i) const
    {
        const std::ptrdiff_t k = i >> shift;
        const std::ptrdiff_t r = i & mask;
        return coarseCos[k] * fineSin[r] + coarseSin[k] * fineCos[r];
    }
#if defined(__SSE2__)
    // i is even and the fine period at least 2, so both lanes share the coarse angle.
    v2d cv(std::ptrdiff_t i) const
    {
        const std::ptrdiff_t k = i >> shift;
        const std::ptrdiff_t r = i & mask;
        return splat(coarseCos[k]) * ld(fineCos + r) - splat(coarseSin[k]) * ld(fineSin + r);
    }
    v2d sv(std::ptrdiff_t i) const
    {
        const std::ptrdiff_t k = i >> shift;
        const std::ptrdiff_t r = i & mask;
        return splat(coarseCos[k]) * ld(fineSin + r) + splat(coarseSin[k]) * ld(fineCos + r);
    }
#endif
};

// Butterflies of indices i and half - i of one block, in place: together they read and write
// the same eight positions.
inline void pair_scalar(double* p, std::ptrdiff_t n, std::ptrdiff_t i, double c, double s)
{
    const std::ptrdiff_t half = n / 2;
    const double a = p[i];
    const double b = p[half + i];
    const double cc = p[n + i];
    const double d = p[n + half + i];
    const double a2 = p[half - i];
    const double b2 = p[n - i];
    const double c2 = p[n + half - i];
    const double d2 = p[2 * n - i];
    const double v1 = cc * c - d * s;
    const double v2 = s * cc + c * d;
    const double w1 = c2 * s - d2 * c;
    const double w2 = c * c2 + s * d2;
    p[i] = a + v1;
    p[n - i] = a - v1;
    p[n + i] = v2 + b;
    p[2 * n - i] = v2 - b;
    p[half - i] = a2 + w1;
    p[half + i] = a2 - w1;
    p[n + half - i] = w2 + b2;
    p[n + half + i] = w2 - b2;
}

#if defined(__SSE2__)
// The same for indices i, i+1 and their mirrors half - i, half - i - 1.
inline void pair_vector(double* p, std::ptrdiff_t n, std::ptrdiff_t i, v2d c, v2d s)
{
    const std::ptrdiff_t half = n / 2;
    const v2d a = ld(p + i);
    const v2d b = ld(p + half + i);
    const v2d cc = ld(p + n + i);
    const v2d d = ld(p + n + half + i);
    const v2d a2 = ldr(p + half - i - 1);
    const v2d b2 = ldr(p + n - i - 1);
    const v2d c2 = ldr(p + n + half - i - 1);
    const v2d d2 = ldr(p + 2 * n - i - 1);
    const v2d v1 = cc * c - d * s;
    const v2d v2 = s * cc + c * d;
    const v2d w1 = c2 * s - d2 * c;
    const v2d w2 = c * c2 + s * d2;
    st(p + i, a + v1);
    str(p + n - i - 1, a - v1);
    st(p + n + i, v2 + b);
    str(p + 2 * n - i - 1, v2 - b);
    str(p + half - i - 1, a2 + w1);
    st(p + half + i, a2 - w1);
    str(p + n + half - i - 1, w2 + b2);
    st(p + n + half + i, w2 - b2);
}
#endif

// One pass (sub-transforms of length n merged into length 2n) over every block of [p, p+total).
template <typename Twiddles>
void merge_pass(double* p, std::ptrdiff_t total, std::ptrdiff_t n, const Twiddles& tw)
{
    const std::ptrdiff_t half = n / 2;
    const std::ptrdiff_t quarter = half / 2;
    for (double* blk = p; blk < p + total; blk += 2 * n) {
        const double x0 = blk[0];
        const double xn = blk[n];
        blk[0] = x0 + xn;
        blk[n] = x0 - xn;
        pair_scalar(blk, n, 1, tw.c(1), tw.s(1));
        std::ptrdiff_t i = 2;
#if defined(__SSE2__)
        for (; i + 1 < quarter; i += 2) {
            pair_vector(blk, n, i, tw.cv(i), tw.sv(i));
        }
#endif
        for (; i < quarter; ++i) {
            pair_scalar(blk, n, i, tw.c(i), tw.s(i));
        }
        // The middle index pairs with itself.
        const double c = tw.c(quarter);
        const double s = tw.s(quarter);
        const double a = blk[quarter];
        const double b = blk[half + quarter];
        const double cc = blk[n + quarter];
        const double d = blk[n + half + quarter];
        const double v1 = cc * c - d * s;
        const double v2 = s * cc + c * d;
        blk[quarter] = a + v1;
        blk[half + quarter] = a - v1;
        blk[n + quarter] = v2 + b;
        blk[n + half + quarter] = v2 - b;
    }
}
} // namespace

RealTransform::RealTransform(std::int32_t length, const std::atomic<bool>* abortFlag)
    : _length(length), _abortFlag(abortFlag)
{
    RFFT_ASSERT(is_pow2 (length));
    _bits = floor_log2(length);
    RFFT_ASSERT(_bits <= MAX_LENGTH_BITS);
    init_br_lut();
    init_trigo_lut();
    init_trigo_osc();
    _buffer.resize(_length);
}

void RealTransform::init_br_lut()
{
    _br_lut.resize(_length);
    std::int32_t* lut = _br_lut.data();
    lut[0] = 0;
    // Reversal of j from that of j with its lowest set bit cleared.
    for (std::int32_t j = 1; j < _length; ++j) {
        const std::int32_t low = j & -j;
        const std::int32_t lowRev = _length / (2 * low);
        lut[j] = lut[j - low] | lowRev;
    }
}

void RealTransform::init_trigo_lut()
{
    if (_bits < 4) {
        return;
    }
    // Only the passes that read the table get a block.
    const int lastPass = std::min(_bits - 1, TABLE_PASS_LIMIT);
    _trigo_lut.resize((1 << lastPass) - 4);
    for (int pass = 3; pass <= lastPass; ++pass) {
        const std::int32_t level = 1 << (pass - 1);
        double* block = _trigo_lut.data() + level - 4;
        const double mul = kPi / static_cast<double>(level * 2);
        for (std::int32_t i = 0; i < level; ++i) {
            block[i] = std::cos(static_cast<double>(i) * mul);
        }
    }
}

void RealTransform::init_trigo_osc()
{
    const int count = _bits - TABLE_PASS_LIMIT;
    if (count <= 0) {
        return;
    }
    _trigo_osc.resize(count);
    std::int32_t fineTotal = 0;
    for (int j = 0; j < count; ++j) {
        const int pass = TABLE_PASS_LIMIT + 1 + j;
        _trigo_osc[j].set_step(kPi / static_cast<double>(1L << pass));
        fineTotal += 2 << (pass - TABLE_PASS_LIMIT);
    }
    // Coarse sines of the last table block, then per pass the oscillator's fine rotations.
    const std::int32_t coarse = 1 << (TABLE_PASS_LIMIT - 1);
    _fine.resize(coarse + fineTotal);
    double* sines = _fine.data();
    const double* cosines = _trigo_lut.data() + coarse - 4;
    sines[0] = 0.0;
    for (std::int32_t k = 1; k < coarse; ++k) {
        sines[k] = cosines[coarse - k];
    }
    double* fine = sines + coarse;
    for (int j = 0; j < count; ++j) {
        const std::int32_t period = 1 << (j + 1);
        Oscillator& osc = _trigo_osc[j];
        osc.clear_buffers();
        for (std::int32_t r = 0; r < period; ++r) {
            fine[r] = osc.get_cos();
            fine[period + r] = osc.get_sin();
            osc.step();
        }
        fine += 2 * period;
    }
}

bool RealTransform::aborted() const
{
    return _abortFlag != nullptr && _abortFlag->load(std::memory_order_relaxed);
}

void RealTransform::forward(double* f, const double* x)
{
    RFFT_ASSERT(f != 0);
    RFFT_ASSERT(x != 0);
    RFFT_ASSERT(x != f);
    RFFT_ASSERT(f != work_buffer ());
    RFFT_ASSERT(x != work_buffer ());

    switch (_bits) {
    case 0:
        f[0] = x[0];
        return;
    case 1:
        f[0] = x[0] + x[1];
        f[1] = x[0] - x[1];
        return;
    case 2: {
        f[1] = x[0] - x[2];
        f[3] = x[1] - x[3];
        const double s0 = x[0] + x[2];
        const double s1 = x[1] + x[3];
        f[0] = s0 + s1;
        f[2] = s0 - s1;
        return;
    }
    default:
        break;
    }

    do_bit_rev_pass_1_2_3(f, x);
    if (aborted()) {
        return;
    }
    // Passes whose blocks fit in the cache run block by block, the rest sweep the whole array.
    const int blockBits = std::min<int>(_bits, kCacheBlockBits);
    const std::ptrdiff_t blockLength = std::ptrdiff_t(1) << blockBits;
    if (blockBits > 3) {
        for (std::ptrdiff_t start = 0; start < _length; start += blockLength) {
            for (int pass = 3; pass < blockBits; ++pass) {
                do_pass(f + start, blockLength, pass);
            }
            if (aborted()) {
                return;
            }
        }
    }
    for (int pass = blockBits; pass < _bits; ++pass) {
        do_pass(f, _length, pass);
        if (aborted()) {
            return;
        }
    }
}

void RealTransform::do_pass(double* df, std::ptrdiff_t total, int pass) const
{
    RFFT_ASSERT(df != 0);
    RFFT_ASSERT(pass >= 3);
    RFFT_ASSERT(pass < _bits);
    const std::ptrdiff_t n = std::ptrdiff_t(1) << pass;
    const std::ptrdiff_t half = n / 2;
    if (pass <= TABLE_PASS_LIMIT) {
        merge_pass(df, total, n, TableTwiddles {_trigo_lut.data() + half - 4, half});
        return;
    }
    RFFT_ASSERT(pass > TABLE_PASS_LIMIT);
    const std::ptrdiff_t coarse = std::ptrdiff_t(1) << (TABLE_PASS_LIMIT - 1);
    const int shift = pass - TABLE_PASS_LIMIT;
    const std::ptrdiff_t period = std::ptrdiff_t(1) << shift;
    const double* fine = _fine.data() + coarse + 2 * (period - 2);
    merge_pass(df, total, n,
               RotatedTwiddles {_trigo_lut.data() + coarse - 4, _fine.data(), fine, fine + period,
                                shift, period - 1});
}

void RealTransform::do_bit_rev_pass_1_2_3(double* df, const double* sf) const
{
    RFFT_ASSERT(df != 0);
    RFFT_ASSERT(sf != 0);
    RFFT_ASSERT(df != sf);
    const std::int32_t* lut = _br_lut.data();
    const std::ptrdiff_t eighth = _length / 8;
    std::ptrdiff_t o[8];
    for (int c = 0; c < 8; ++c) {
        o[c] = lut[c];
    }
    // Reading in ascending source order keeps the loads sequential; each group of eight outputs
    // fills one cache line of the destination.
    std::ptrdiff_t start = 0;
#if defined(__SSE2__)
    const v2d h = splat(kSqrt2Half);
    for (; start + 1 < eighth; start += 2) {
        const double* src = sf + start;
        const v2d a0 = ld(src + o[0]);
        const v2d a1 = ld(src + o[1]);
        const v2d a2 = ld(src + o[2]);
        const v2d a3 = ld(src + o[3]);
        const v2d a4 = ld(src + o[4]);
        const v2d a5 = ld(src + o[5]);
        const v2d a6 = ld(src + o[6]);
        const v2d a7 = ld(src + o[7]);
        const v2d s01 = a0 + a1;
        const v2d s23 = a2 + a3;
        const v2d s45 = a4 + a5;
        const v2d s67 = a6 + a7;
        const v2d e0 = s01 + s23;
        const v2d e1 = a0 - a1;
        const v2d e2 = s01 - s23;
        const v2d e3 = a2 - a3;
        const v2d e4 = s45 + s67;
        const v2d e5 = a4 - a5;
        const v2d e6 = s45 - s67;
        const v2d e7 = a6 - a7;
        const v2d d0 = e0 + e4;
        const v2d d4 = e0 - e4;
        const v2d v = (e5 - e7) * h;
        const v2d d1 = e1 + v;
        const v2d d3 = e1 - v;
        const v2d w = (e5 + e7) * h;
        const v2d d5 = w + e3;
        const v2d d7 = w - e3;
        double* g0 = df + (lut[start] >> 3) * 8;
        double* g1 = df + (lut[start + 1] >> 3) * 8;
        st(g0, _mm_unpacklo_pd(d0, d1));
        st(g0 + 2, _mm_unpacklo_pd(e2, d3));
        st(g0 + 4, _mm_unpacklo_pd(d4, d5));
        st(g0 + 6, _mm_unpacklo_pd(e6, d7));
        st(g1, _mm_unpackhi_pd(d0, d1));
        st(g1 + 2, _mm_unpackhi_pd(e2, d3));
        st(g1 + 4, _mm_unpackhi_pd(d4, d5));
        st(g1 + 6, _mm_unpackhi_pd(e6, d7));
    }
#endif
    for (; start < eighth; ++start) {
        const double* src = sf + start;
        const double a0 = src[o[0]];
        const double a1 = src[o[1]];
        const double a2 = src[o[2]];
        const double a3 = src[o[3]];
        const double a4 = src[o[4]];
        const double a5 = src[o[5]];
        const double a6 = src[o[6]];
        const double a7 = src[o[7]];
        const double s01 = a0 + a1;
        const double s23 = a2 + a3;
        const double s45 = a4 + a5;
        const double s67 = a6 + a7;
        const double e0 = s01 + s23;
        const double e1 = a0 - a1;
        const double e3 = a2 - a3;
        const double e4 = s45 + s67;
        const double e5 = a4 - a5;
        const double e7 = a6 - a7;
        double* g = df + (lut[start] >> 3) * 8;
        g[0] = e0 + e4;
        g[4] = e0 - e4;
        g[2] = s01 - s23;
        g[6] = s45 - s67;
        const double v = (e5 - e7) * kSqrt2Half;
        g[1] = e1 + v;
        g[3] = e1 - v;
        const double w = (e5 + e7) * kSqrt2Half;
        g[5] = w + e3;
        g[7] = w - e3;
    }
}
}
