#pragma once

#include "rfft/OwnedArray.h"
#include "rfft/Oscillator.h"

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace rfft
{
struct TableTwiddles;
struct RotatedTwiddles;

// Radix-2 decimation-in-time FFT of real input, length a power of two.
// forward() output, unscaled: f[k] = sum x[n] cos(2 pi k n / N) for k = 0 .. N/2,
// f[N/2 + k] = sum x[n] sin(2 pi k n / N) for k = 1 .. N/2 - 1.
class RealTransform
{
public:
    static constexpr int MAX_LENGTH_BITS = 30;
    static constexpr int TABLE_PASS_LIMIT = 12;

    // The abort flag, when given, is read between passes; once it reads true, forward() returns
    // at once and leaves f incomplete.
    explicit RealTransform(std::int32_t length, const std::atomic<bool>* abortFlag = nullptr);

    RealTransform(const RealTransform&) = delete;
    RealTransform& operator=(const RealTransform&) = delete;

    void forward(double* f, const double* x);

    double* work_buffer() { return _buffer.data(); }
    std::int32_t get_length() const { return _length; }
    int get_bits() const { return _bits; }
    const OwnedArray<std::int32_t>& bit_rev_table() const { return _br_lut; }
    const OwnedArray<double>& cos_table() const { return _trigo_lut; }

private:
    bool aborted() const;
    void init_br_lut();
    void init_trigo_lut();
    void init_trigo_osc();

    void do_bit_rev_pass_1_2_3(double* df, const double* sf) const;
    // Passes first .. end-1 on both interleaved halves, every block of `positions` positions.
    void do_passes(double* df, std::ptrdiff_t positions, int first, int end) const;
    void do_last_pass(double* df, const double* sf) const;
    TableTwiddles table_twiddles(int level) const;
    RotatedTwiddles rotated_twiddles(int pass) const;

    std::int32_t _length = 0;
    std::int32_t _bits = 0;
    OwnedArray<std::int32_t> _br_lut;
    OwnedArray<double> _trigo_lut;
    OwnedArray<double> _buffer;
    OwnedArray<Oscillator> _trigo_osc;
    // Passes above the table limit: fine rotations produced by the pass's oscillator, and the
    // twiddles of one chunk built from them.
    OwnedArray<double> _fine;
    OwnedArray<double> _twiddles;
    const std::atomic<bool>* _abortFlag = nullptr;
};
}
