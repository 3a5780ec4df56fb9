#pragma once

#include <rfft/RealTransform.h>

#include <atomic>
#include <cstdint>
#include <memory>

// Cosine-sum windows selected by a small integer; the worker always uses wtCosineSum5.
enum WindowType : std::uint8_t {
    wtRectangular = 0,
    wtHann = 1,
    wtHamming = 2,
    wtBlackman = 3,
    wtNuttall3 = 4,
    wtBlackmanNuttall = 5,
    wtCosineSum5 = 6,
    wtCosineSum7 = 7,
    wtCosineSum9 = 8,
};

constexpr int WindowTypeCount = 9;
constexpr int WindowCoefSlots = 32;

// What a window generator leaves besides the values.
struct WindowDescriptor
{
    std::uint32_t MainLobeBins = 0; // K: the spectral DC estimate sums bins 0 .. K-1
    std::uint32_t PeakHalfWidth = 0; // W: peak search starts at bin W; AC sums W bins each side
    double Enbw = 1.0; // equivalent noise bandwidth in bins
    std::uint16_t TermCount = 0; // M
    double Coefs[WindowCoefSlots] = {};
};

// Fills the descriptor for the type and writes values[0 .. n-1]: w[i] = sum a_k cos(2 pi k i / n).
// The abort flag is read before every chunk of 262144 values; once set, the rest keeps its former
// contents. A type above 8 writes no values and leaves a zero descriptor.
void MakeWindow(int type, double* values, std::uint32_t n, WindowDescriptor& descriptor,
                const std::atomic<bool>* abortFlag);

// N * a0: the sum of the n window values.
double CoherentSum(const WindowDescriptor& descriptor, std::uint32_t n);
// a0^2 + sum 1/2 a_k^2: the mean of the squared window values.
double PowerGain(const WindowDescriptor& descriptor);

// The spectrum analyzer of one frame length: window, transform, amplitude spectrum, peak.
class TREALFFT
{
public:
    TREALFFT(std::uint32_t length, const std::atomic<bool>* abortFlag);

    TREALFFT(const TREALFFT&) = delete;
    TREALFFT& operator=(const TREALFFT&) = delete;

    // False for 0 and for a length the engine cannot take; the engine then stays as it was.
    bool SetLength(std::uint32_t length);
    void MakeWindow(double* values, int type);
    void ApplyWindow(double* samples, const double* window) const;
    // False on a missing buffer, zero length or missing engine; true also after an abort.
    bool Transform(const double* samples, double* spectrum);
    // A[0] = f[0]/N (signed), A[k] = |f_k| / (N/2) for k = 1 .. N/2-1.
    bool CalcAmplitudeSpectr(const double* spectrum, double* amplitudes) const;
    // First bin from PeakHalfWidth up to N/2 holding the strict maximum above the floor, or -1.
    std::int32_t FindPeak(const double* amplitudes, double floor) const;

    std::uint32_t Length() const { return FLength; }
    const WindowDescriptor& Descriptor() const { return FDescriptor; }
    const rfft::RealTransform* Fft() const { return FFft.get(); }

private:
    const std::atomic<bool>* AbortFlag;
    std::uint32_t FLength;
    WindowDescriptor FDescriptor;
    std::unique_ptr<rfft::RealTransform> FFft;
};
