#include "rfft/RealTransform.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <type_traits>

namespace rfft
{
namespace
{
// Passes on blocks up to this many doubles run block by block while the block stays in the cache.
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

// Two doubles side by side; SSE2 on x86-64, plain pairs elsewhere.
typedef double v2d __attribute__((vector_size(16)));

inline v2d ld(const double* p)
{
    v2d v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
inline void st(double* p, v2d v) { std::memcpy(p, &v, sizeof v); }
inline v2d swap2(v2d v) { return __builtin_shufflevector(v, v, 1, 0); }
inline v2d lo2(v2d a, v2d b) { return __builtin_shufflevector(a, b, 0, 2); }
inline v2d hi2(v2d a, v2d b) { return __builtin_shufflevector(a, b, 1, 3); }
inline v2d splat(double v) { return v2d {v, v}; }
} // namespace

// Twiddles of a pass whose cosines come from the table: cos(i pi/n) = t[i], sin = t[half - i].
struct TableTwiddles
{
    const double* t;
    std::ptrdiff_t half;
    double c(std::ptrdiff_t i) const { return t[i]; }
    double s(std::ptrdiff_t i) const { return t[half - i]; }
    // Lanes (i, i+1).
    v2d cv(std::ptrdiff_t i) const { return ld(t + i); }
    v2d sv(std::ptrdiff_t i) const { return swap2(ld(t + half - i - 1)); }
};

// Twiddles of a pass above the table limit: the angle i pi/n splits into a coarse part from the
// last table block and a fine part that the pass's oscillator produced at construction, so that
// no rounding accumulates along the pass.
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
    // Lanes (i, i+1) for even i: the fine period is at least 2, so they share the coarse angle.
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
};

// Table twiddles of a pass whose length is known at compile time, so that every position and
// twiddle of a butterfly is one fixed offset from the running index.
template <std::ptrdiff_t H>
struct FixedTableTwiddles
{
    const double* t;
    static constexpr std::ptrdiff_t half = H;
    double c(std::ptrdiff_t i) const { return t[i]; }
    double s(std::ptrdiff_t i) const { return t[half - i]; }
    v2d cv(std::ptrdiff_t i) const { return ld(t + i); }
    v2d sv(std::ptrdiff_t i) const { return swap2(ld(t + half - i - 1)); }
};

namespace
{
// The butterflies of indices i and half - i of one pass; together they read and write the same
// eight positions, so the pass runs in place. Inputs at i, half+i, n+i, n+half+i (a, b, cc, d)
// and at half-i, n-i, n+half-i, 2n-i (a2, b2, c2, d2); outputs for positions
// i, n-i, n+i, 2n-i, half-i, half+i, n+half-i, n+half+i.
template <typename V>
inline void butterfly_pair(V a, V b, V cc, V d, V a2, V b2, V c2, V d2, V c, V s, V* o)
{
    const V v1 = cc * c - d * s;
    const V v2 = s * cc + c * d;
    const V w1 = c2 * s - d2 * c;
    const V w2 = c * c2 + s * d2;
    o[0] = a + v1;
    o[1] = a - v1;
    o[2] = v2 + b;
    o[3] = v2 - b;
    o[4] = a2 + w1;
    o[5] = a2 - w1;
    o[6] = w2 + b2;
    o[7] = w2 - b2;
}

// The self-paired index quarter = n/4 of a pass.
template <typename V>
inline void butterfly_middle(V a, V b, V cc, V d, V c, V s, V* o)
{
    const V v1 = cc * c - d * s;
    const V v2 = s * cc + c * d;
    o[0] = a + v1; // quarter
    o[1] = a - v1; // half + quarter
    o[2] = v2 + b; // n + quarter
    o[3] = v2 - b; // n + half + quarter
}

// Until the last pass the two halves of the array are independent transforms with the same
// twiddles, so the work buffer holds them interleaved: position k of both halves is one pair of
// lanes at w + 2k, and every butterfly works on both halves at once.
struct Halves
{
    double* w;
    v2d get(std::ptrdiff_t k) const { return ld(w + 2 * k); }
    void put(std::ptrdiff_t k, v2d v) const { st(w + 2 * k, v); }
};

template <typename Tw>
inline void halves_pair(Halves h, std::ptrdiff_t n, std::ptrdiff_t i, const Tw& tw)
{
    const std::ptrdiff_t half = n / 2;
    v2d o[8];
    butterfly_pair<v2d>(h.get(i), h.get(half + i), h.get(n + i), h.get(n + half + i),
                        h.get(half - i), h.get(n - i), h.get(n + half - i), h.get(2 * n - i),
                        splat(tw.c(i)), splat(tw.s(i)), o);
    h.put(i, o[0]);
    h.put(n - i, o[1]);
    h.put(n + i, o[2]);
    h.put(2 * n - i, o[3]);
    h.put(half - i, o[4]);
    h.put(half + i, o[5]);
    h.put(n + half - i, o[6]);
    h.put(n + half + i, o[7]);
}

template <typename Tw>
inline void halves_middle(Halves h, std::ptrdiff_t n, const Tw& tw)
{
    const std::ptrdiff_t half = n / 2;
    const std::ptrdiff_t quarter = half / 2;
    v2d o[4];
    butterfly_middle<v2d>(h.get(quarter), h.get(half + quarter), h.get(n + quarter),
                          h.get(n + half + quarter), splat(tw.c(quarter)), splat(tw.s(quarter)), o);
    h.put(quarter, o[0]);
    h.put(half + quarter, o[1]);
    h.put(n + quarter, o[2]);
    h.put(n + half + quarter, o[3]);
}

// One pass (sub-transforms of n merged into 2n) over `positions` positions of both halves.
template <typename Tw>
void halves_pass(double* w, std::ptrdiff_t positions, std::ptrdiff_t n, const Tw& tw)
{
    const std::ptrdiff_t quarter = n / 4;
    for (std::ptrdiff_t blk = 0; blk < positions; blk += 2 * n) {
        const Halves h {w + 2 * blk};
        const v2d x0 = h.get(0);
        const v2d xn = h.get(n);
        h.put(0, x0 + xn);
        h.put(n, x0 - xn);
        for (std::ptrdiff_t i = 1; i < quarter; ++i) {
            halves_pair(h, n, i, tw);
        }
        halves_middle(h, n, tw);
    }
}

// Passes p (n -> 2n) and p+1 (2n -> 4n) in one sweep: the butterflies of pass p at i in both
// blocks of 2n feed exactly those of pass p+1 at i and at n/2 - i.
template <typename NT, typename TwA, typename TwB>
void halves_two_passes(double* w, std::ptrdiff_t positions, NT nArg, const TwA& ta, const TwB& tb)
{
    const std::ptrdiff_t n = nArg;
    const std::ptrdiff_t half = n / 2;
    const std::ptrdiff_t quarter = half / 2;
    const std::ptrdiff_t n2 = 2 * n;
    for (std::ptrdiff_t blk = 0; blk < positions; blk += 2 * n2) {
        const Halves h {w + 2 * blk};
        const Halves g {w + 2 * (blk + n2)};
        // Index 0 of pass p in both blocks, then indices 0 and n/2 of pass p+1.
        {
            const v2d a0 = h.get(0);
            const v2d an = h.get(n);
            const v2d b0 = g.get(0);
            const v2d bn = g.get(n);
            const v2d u = a0 + an;
            const v2d v = b0 + bn;
            h.put(0, u + v);
            g.put(0, u - v);
            h.put(n, a0 - an);
            g.put(n, b0 - bn);
            v2d o[4];
            butterfly_middle<v2d>(h.get(half), h.get(n + half), g.get(half), g.get(n + half),
                                  splat(tb.c(half)), splat(tb.s(half)), o);
            h.put(half, o[0]);
            h.put(n + half, o[1]);
            g.put(half, o[2]);
            g.put(n + half, o[3]);
        }
        for (std::ptrdiff_t i = 1; i < quarter; ++i) {
            const v2d ca = splat(ta.c(i));
            const v2d sa = splat(ta.s(i));
            v2d x[8];
            v2d y[8];
            butterfly_pair<v2d>(h.get(i), h.get(half + i), h.get(n + i), h.get(n + half + i),
                                h.get(half - i), h.get(n - i), h.get(n + half - i),
                                h.get(2 * n - i), ca, sa, x);
            butterfly_pair<v2d>(g.get(i), g.get(half + i), g.get(n + i), g.get(n + half + i),
                                g.get(half - i), g.get(n - i), g.get(n + half - i),
                                g.get(2 * n - i), ca, sa, y);
            v2d o[8];
            // Pass p+1 at i: positions i, n-i, n+i, 2n-i of the first block, then of the second.
            butterfly_pair<v2d>(x[0], x[2], y[0], y[2], x[1], x[3], y[1], y[3], splat(tb.c(i)),
                                splat(tb.s(i)), o);
            h.put(i, o[0]);
            g.put(-i, o[1]);
            g.put(i, o[2]);
            g.put(n2 - i, o[3]);
            h.put(n - i, o[4]);
            h.put(n + i, o[5]);
            g.put(n - i, o[6]);
            g.put(n + i, o[7]);
            // Pass p+1 at m = half - i.
            const std::ptrdiff_t m = half - i;
            butterfly_pair<v2d>(x[4], x[6], y[4], y[6], x[5], x[7], y[5], y[7], splat(tb.c(m)),
                                splat(tb.s(m)), o);
            h.put(m, o[0]);
            g.put(-m, o[1]);
            g.put(m, o[2]);
            g.put(n2 - m, o[3]);
            h.put(n - m, o[4]);
            h.put(n + m, o[5]);
            g.put(n - m, o[6]);
            g.put(n + m, o[7]);
        }
        // Middle of pass p in both blocks, then the pair (n/4, 3n/4) of pass p+1.
        v2d x[4];
        v2d y[4];
        butterfly_middle<v2d>(h.get(quarter), h.get(half + quarter), h.get(n + quarter),
                              h.get(n + half + quarter), splat(ta.c(quarter)), splat(ta.s(quarter)), x);
        butterfly_middle<v2d>(g.get(quarter), g.get(half + quarter), g.get(n + quarter),
                              g.get(n + half + quarter), splat(ta.c(quarter)), splat(ta.s(quarter)), y);
        // x/y: positions quarter, half+quarter (= n - quarter), n+quarter, n+half+quarter (= 2n - quarter).
        v2d o[8];
        butterfly_pair<v2d>(x[0], x[2], y[0], y[2], x[1], x[3], y[1], y[3], splat(tb.c(quarter)),
                            splat(tb.s(quarter)), o);
        h.put(quarter, o[0]);
        g.put(-quarter, o[1]);
        g.put(quarter, o[2]);
        g.put(n2 - quarter, o[3]);
        h.put(n - quarter, o[4]);
        h.put(n + quarter, o[5]);
        g.put(n - quarter, o[6]);
        g.put(n + quarter, o[7]);
    }
}

template <int P>
void fixed_two_passes(double* w, std::ptrdiff_t positions, const double* ta, const double* tb)
{
    constexpr std::ptrdiff_t n = std::ptrdiff_t(1) << P;
    halves_two_passes(w, positions, std::integral_constant<std::ptrdiff_t, n> {},
                      FixedTableTwiddles<n / 2> {ta}, FixedTableTwiddles<n> {tb});
}

// Passes p and p+1 from the table with p known at compile time; false for any other p.
bool table_two_passes(double* w, std::ptrdiff_t positions, int pass, const double* ta,
                      const double* tb)
{
    switch (pass) {
    case 3: fixed_two_passes<3>(w, positions, ta, tb); return true;
    case 4: fixed_two_passes<4>(w, positions, ta, tb); return true;
    case 5: fixed_two_passes<5>(w, positions, ta, tb); return true;
    case 6: fixed_two_passes<6>(w, positions, ta, tb); return true;
    case 7: fixed_two_passes<7>(w, positions, ta, tb); return true;
    case 8: fixed_two_passes<8>(w, positions, ta, tb); return true;
    case 9: fixed_two_passes<9>(w, positions, ta, tb); return true;
    case 10: fixed_two_passes<10>(w, positions, ta, tb); return true;
    case 11: fixed_two_passes<11>(w, positions, ta, tb); return true;
    default: return false;
    }
}

// Passes 1, 2 and 3 on eight bit-reversed inputs a[c] = x[r + rev(c)].
template <typename V>
inline void group_of_eight(const V* a, V* d)
{
    const V s01 = a[0] + a[1];
    const V s23 = a[2] + a[3];
    const V s45 = a[4] + a[5];
    const V s67 = a[6] + a[7];
    const V e0 = s01 + s23;
    const V e1 = a[0] - a[1];
    const V e2 = s01 - s23;
    const V e3 = a[2] - a[3];
    const V e4 = s45 + s67;
    const V e5 = a[4] - a[5];
    const V e6 = s45 - s67;
    const V e7 = a[6] - a[7];
    const V h = V {} + kSqrt2Half;
    const V v = (e5 - e7) * h;
    const V u = (e5 + e7) * h;
    d[0] = e0 + e4;
    d[4] = e0 - e4;
    d[2] = e2;
    d[6] = e6;
    d[1] = e1 + v;
    d[3] = e1 - v;
    d[5] = u + e3;
    d[7] = u - e3;
}

// The last pass joins the two interleaved halves of w into the packed spectrum f.
template <typename NT, typename Tw>
void last_pass(double* f, const double* w, NT nArg, const Tw& tw)
{
    const std::ptrdiff_t n = nArg;
    const std::ptrdiff_t half = n / 2;
    const std::ptrdiff_t quarter = half / 2;
    // Element k of the first half is w[2k], of the second half w[2k + 1].
    f[0] = w[0] + w[1];
    f[n] = w[0] - w[1];
    f[half] = w[2 * half];
    f[n + half] = w[2 * half + 1];
    auto scalarPair = [&](std::ptrdiff_t i) {
        double o[8];
        butterfly_pair<double>(w[2 * i], w[2 * (half + i)], w[2 * i + 1], w[2 * (half + i) + 1],
                               w[2 * (half - i)], w[2 * (n - i)], w[2 * (half - i) + 1],
                               w[2 * (n - i) + 1], tw.c(i), tw.s(i), o);
        f[i] = o[0];
        f[n - i] = o[1];
        f[n + i] = o[2];
        f[2 * n - i] = o[3];
        f[half - i] = o[4];
        f[half + i] = o[5];
        f[n + half - i] = o[6];
        f[n + half + i] = o[7];
    };
    scalarPair(1);
    std::ptrdiff_t i = 2;
    for (; i + 1 < quarter; i += 2) {
        // Lanes (i, i+1); mirrored positions are read and written as (k - i, k - i - 1).
        const v2d p0 = ld(w + 2 * i);
        const v2d p1 = ld(w + 2 * i + 2);
        const v2d q0 = ld(w + 2 * (half + i));
        const v2d q1 = ld(w + 2 * (half + i) + 2);
        const v2d r0 = ld(w + 2 * (half - i));
        const v2d r1 = ld(w + 2 * (half - i) - 2);
        const v2d t0 = ld(w + 2 * (n - i));
        const v2d t1 = ld(w + 2 * (n - i) - 2);
        v2d o[8];
        butterfly_pair<v2d>(lo2(p0, p1), lo2(q0, q1), hi2(p0, p1), hi2(q0, q1), lo2(r0, r1),
                            lo2(t0, t1), hi2(r0, r1), hi2(t0, t1), tw.cv(i), tw.sv(i), o);
        st(f + i, o[0]);
        st(f + n - i - 1, swap2(o[1]));
        st(f + n + i, o[2]);
        st(f + 2 * n - i - 1, swap2(o[3]));
        st(f + half - i - 1, swap2(o[4]));
        st(f + half + i, o[5]);
        st(f + n + half - i - 1, swap2(o[6]));
        st(f + n + half + i, o[7]);
    }
    for (; i < quarter; ++i) {
        scalarPair(i);
    }
    double o[4];
    butterfly_middle<double>(w[2 * quarter], w[2 * (half + quarter)], w[2 * quarter + 1],
                             w[2 * (half + quarter) + 1], tw.c(quarter), tw.s(quarter), o);
    f[quarter] = o[0];
    f[half + quarter] = o[1];
    f[n + quarter] = o[2];
    f[n + half + quarter] = o[3];
}
template <int P>
void fixed_last_pass(double* f, const double* w, const double* t)
{
    constexpr std::ptrdiff_t n = std::ptrdiff_t(1) << P;
    last_pass(f, w, std::integral_constant<std::ptrdiff_t, n> {}, FixedTableTwiddles<n / 2> {t});
}

// The last pass from the table with its length known at compile time; false for any other pass.
bool table_last_pass(double* f, const double* w, int pass, const double* t)
{
    switch (pass) {
    case 9: fixed_last_pass<9>(f, w, t); return true;
    case 10: fixed_last_pass<10>(f, w, t); return true;
    case 11: fixed_last_pass<11>(f, w, t); return true;
    case 12: fixed_last_pass<12>(f, w, t); return true;
    default: return false;
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

    if (_bits == 3) {
        do_bit_rev_pass_1_2_3(f, x);
        return;
    }
    double* w = work_buffer();
    do_bit_rev_pass_1_2_3(w, x);
    if (aborted()) {
        return;
    }
    // Passes inside each half run on cache-sized blocks while they fit, then sweep the whole
    // array two passes at a time; the last pass joins the halves into f.
    const int halfBits = _bits - 1;
    const int blockBits = std::min(halfBits, kCacheBlockBits - 1);
    const std::ptrdiff_t blockPositions = std::ptrdiff_t(1) << blockBits;
    const std::ptrdiff_t halfLength = std::ptrdiff_t(1) << halfBits;
    if (blockBits > 3) {
        for (std::ptrdiff_t start = 0; start < halfLength; start += blockPositions) {
            do_passes(w + 2 * start, blockPositions, 3, blockBits);
            if (aborted()) {
                return;
            }
        }
    }
    for (int pass = std::max(blockBits, 3); pass < halfBits; pass += 2) {
        do_passes(w, halfLength, pass, std::min(pass + 2, halfBits));
        if (aborted()) {
            return;
        }
    }
    do_last_pass(f, w);
}

TableTwiddles RealTransform::table_twiddles(int level) const
{
    RFFT_ASSERT(level >= 3);
    const std::ptrdiff_t half = std::ptrdiff_t(1) << (level - 1);
    return TableTwiddles {_trigo_lut.data() + half - 4, half};
}

RotatedTwiddles RealTransform::rotated_twiddles(int pass) const
{
    RFFT_ASSERT(pass > TABLE_PASS_LIMIT);
    const std::ptrdiff_t coarse = std::ptrdiff_t(1) << (TABLE_PASS_LIMIT - 1);
    const int shift = pass - TABLE_PASS_LIMIT;
    const std::ptrdiff_t period = std::ptrdiff_t(1) << shift;
    const double* fine = _fine.data() + coarse + 2 * (period - 2);
    return RotatedTwiddles {_trigo_lut.data() + coarse - 4, _fine.data(), fine, fine + period,
                            shift, period - 1};
}

void RealTransform::do_passes(double* df, std::ptrdiff_t positions, int first, int end) const
{
    RFFT_ASSERT(df != 0);
    int pass = first;
    RFFT_ASSERT(pass >= 3);
    RFFT_ASSERT(end < _bits);
    for (; pass + 1 < end; pass += 2) {
        const std::ptrdiff_t n = std::ptrdiff_t(1) << pass;
        if (pass + 1 <= TABLE_PASS_LIMIT) {
            const TableTwiddles ta = table_twiddles(pass);
            const TableTwiddles tb = table_twiddles(pass + 1);
            if (!table_two_passes(df, positions, pass, ta.t, tb.t)) {
                halves_two_passes(df, positions, n, ta, tb);
            }
        } else if (pass <= TABLE_PASS_LIMIT) {
            halves_two_passes(df, positions, n, table_twiddles(pass), rotated_twiddles(pass + 1));
        } else {
            halves_two_passes(df, positions, n, rotated_twiddles(pass), rotated_twiddles(pass + 1));
        }
    }
    if (pass < end) {
        RFFT_ASSERT(pass < _bits);
        const std::ptrdiff_t n = std::ptrdiff_t(1) << pass;
        if (pass <= TABLE_PASS_LIMIT) {
            halves_pass(df, positions, n, table_twiddles(pass));
        } else {
            halves_pass(df, positions, n, rotated_twiddles(pass));
        }
    }
}

void RealTransform::do_last_pass(double* df, const double* sf) const
{
    RFFT_ASSERT(df != 0);
    RFFT_ASSERT(sf != 0);
    RFFT_ASSERT(df != sf);
    const int pass = _bits - 1;
    RFFT_ASSERT(pass >= 3);
    const std::ptrdiff_t n = std::ptrdiff_t(1) << pass;
    if (pass <= TABLE_PASS_LIMIT) {
        const TableTwiddles tw = table_twiddles(pass);
        if (!table_last_pass(df, sf, pass, tw.t)) {
            last_pass(df, sf, n, tw);
        }
    } else {
        last_pass(df, sf, n, rotated_twiddles(pass));
    }
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
    if (_bits == 3) {
        // One group of eight straight into f.
        double e[8];
        for (int c = 0; c < 8; ++c) {
            e[c] = sf[o[c]];
        }
        group_of_eight<double>(e, e);
        std::copy(e, e + 8, df);
        return;
    }
    // Sources in ascending order keep the loads sequential. Lanes start and start + 1 hold the
    // groups at bit-reversed positions g and g + N/16, that is group g of either half, so the
    // results land as pairs in the interleaved layout of the work buffer.
    for (std::ptrdiff_t start = 0; start < eighth; start += 2) {
        const double* src = sf + start;
        v2d e[8];
        for (int c = 0; c < 8; ++c) {
            e[c] = ld(src + o[c]);
        }
        group_of_eight<v2d>(e, e);
        double* dst = df + 2 * static_cast<std::ptrdiff_t>(lut[start]);
        for (int c = 0; c < 8; ++c) {
            st(dst + 2 * c, e[c]);
        }
    }
}
}
