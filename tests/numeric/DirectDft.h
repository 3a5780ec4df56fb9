#pragma once

// Independent references for the transform tests: the DFT in long double, its twiddles taken from
// a table of cos/sin(2 pi m / N) so that no rounding accumulates along a sum.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <numbers>
#include <random>
#include <vector>

namespace reference
{
struct Bin
{
    long double re = 0.0L; // sum x[n] cos(2 pi k n / N)
    long double im = 0.0L; // sum x[n] sin(2 pi k n / N)
};

class DirectDft
{
public:
    explicit DirectDft(std::size_t n) : m_n(n), m_cos(n), m_sin(n)
    {
        for (std::size_t m = 0; m < n; ++m) {
            const long double angle = 2.0L * std::numbers::pi_v<long double>
                * static_cast<long double>(m) / static_cast<long double>(n);
            m_cos[m] = std::cos(angle);
            m_sin[m] = std::sin(angle);
        }
    }

    Bin bin(const double* x, std::size_t k) const
    {
        Bin b;
        std::size_t m = 0;
        for (std::size_t i = 0; i < m_n; ++i) {
            b.re += static_cast<long double>(x[i]) * m_cos[m];
            b.im += static_cast<long double>(x[i]) * m_sin[m];
            m += k;
            if (m >= m_n) {
                m -= m_n;
            }
        }
        return b;
    }

private:
    std::size_t m_n;
    std::vector<long double> m_cos;
    std::vector<long double> m_sin;
};

// The same sums for bins 0 .. N/2 by a radix-2 FFT in long double with exact table twiddles,
// for lengths where the direct sums would take too long; its own rounding is some thousand
// times below that of a double transform.
inline std::vector<Bin> longDoubleSpectrum(const std::vector<double>& x)
{
    const std::size_t n = x.size();
    std::vector<long double> re(x.begin(), x.end());
    std::vector<long double> im(n, 0.0L);
    for (std::size_t i = 1, j = 0; i < n; ++i) {
        std::size_t bit = n >> 1;
        for (; j & bit; bit >>= 1) {
            j ^= bit;
        }
        j ^= bit;
        if (i < j) {
            std::swap(re[i], re[j]);
        }
    }
    std::vector<long double> c(n / 2 + 1);
    std::vector<long double> s(n / 2 + 1);
    for (std::size_t m = 0; m <= n / 2; ++m) {
        const long double angle = 2.0L * std::numbers::pi_v<long double> * static_cast<long double>(m)
            / static_cast<long double>(n);
        c[m] = std::cos(angle);
        s[m] = std::sin(angle);
    }
    for (std::size_t len = 2; len <= n; len <<= 1) {
        const std::size_t stride = n / len;
        for (std::size_t start = 0; start < n; start += len) {
            for (std::size_t k = 0; k < len / 2; ++k) {
                const long double wr = c[k * stride];
                const long double wi = s[k * stride];
                const std::size_t a = start + k;
                const std::size_t b = a + len / 2;
                const long double tr = re[b] * wr - im[b] * wi;
                const long double ti = re[b] * wi + im[b] * wr;
                re[b] = re[a] - tr;
                im[b] = im[a] - ti;
                re[a] += tr;
                im[a] += ti;
            }
        }
    }
    std::vector<Bin> bins(n / 2 + 1);
    for (std::size_t k = 0; k <= n / 2; ++k) {
        bins[k] = {re[k], im[k]};
    }
    return bins;
}

// Bins 0 .. N/2 of x: direct sums up to 2^12 points, the long-double FFT above that.
inline std::vector<Bin> referenceSpectrum(const std::vector<double>& x)
{
    if (x.size() > 4096) {
        return longDoubleSpectrum(x);
    }
    const DirectDft dft(x.size());
    std::vector<Bin> bins(x.size() / 2 + 1);
    for (std::size_t k = 0; k < bins.size(); ++k) {
        bins[k] = dft.bin(x.data(), k);
    }
    return bins;
}

// ||f - X|| / ||X|| over the packed spectrum: real parts of bins 0 .. N/2, imaginary parts of
// bins 1 .. N/2 - 1.
inline long double relativeError(const std::vector<double>& f, const std::vector<Bin>& bins)
{
    const std::size_t n = f.size();
    long double err = 0.0L;
    long double norm = 0.0L;
    for (std::size_t k = 0; k <= n / 2; ++k) {
        const long double dr = static_cast<long double>(f[k]) - bins[k].re;
        err += dr * dr;
        norm += bins[k].re * bins[k].re;
        if (k > 0 && k < n / 2) {
            const long double di = static_cast<long double>(f[n / 2 + k]) - bins[k].im;
            err += di * di;
            norm += bins[k].im * bins[k].im;
        }
    }
    return norm > 0.0L ? std::sqrt(err / norm) : std::sqrt(err);
}

inline long double norm2(const std::vector<double>& x)
{
    long double s = 0.0L;
    for (double v : x) {
        s += static_cast<long double>(v) * v;
    }
    return std::sqrt(s);
}

// Test inputs: seeded uniform noise and a few structured signals.
enum class Input { Random, Impulse, Constant, Alternating, Ramp, Tone };

inline std::vector<double> makeInput(Input kind, std::size_t n, std::uint64_t seed)
{
    std::vector<double> x(n);
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> dist(-1.0, 1.0);
    for (std::size_t i = 0; i < n; ++i) {
        switch (kind) {
        case Input::Random:
            x[i] = dist(rng);
            break;
        case Input::Impulse:
            x[i] = i == (n > 1 ? 1 : 0) ? 1.0 : 0.0;
            break;
        case Input::Constant:
            x[i] = -0.75;
            break;
        case Input::Alternating:
            x[i] = (i % 2 == 0) ? 1.0 : -1.0;
            break;
        case Input::Ramp:
            x[i] = static_cast<double>(i) / static_cast<double>(n);
            break;
        case Input::Tone:
            x[i] = std::cos(2.0 * std::numbers::pi * 3.3 * static_cast<double>(i) / static_cast<double>(n) + 0.4);
            break;
        }
    }
    return x;
}
} // namespace reference
