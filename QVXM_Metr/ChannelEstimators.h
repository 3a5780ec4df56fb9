#pragma once

#include <atomic>
#include <cstdint>
#include <string_view>

class TREALFFT;

// One channel's result of one frame; a channel fills only the fields of its method.
struct ChannelReading
{
    double DcValue = 0.0; // volts
    double AcValue = 0.0; // volts: RMS, or peak amplitude unless the amplitude type is "rms"
    double Frequency = 0.0; // hertz, AC channels under the spectral method
};

enum class ChannelOutcome {
    Computed,
    NotComputed, // channel method neither DC (0) nor AC (1)
    Aborted, // the termination flag was seen between steps; the frame is to be dropped
    NoSignal, // the spectral AC estimate found no power around the peak
};

// Texts that the acquisition worker reports.
inline constexpr const char* NoSignalReport =
    "Опаньки!!! Судя по всему на вход модуля не был подан сигнал!!!";

// Floor that the worker hands to the peak search.
inline constexpr double PeakSearchFloor = -67108864.0;

// What the estimators read and use as scratch for one channel of one frame. Every buffer is
// owned by the caller and reused from frame to frame.
struct ChannelFrame
{
    double* Samples = nullptr; // N samples in volts; the spectral method windows them in place
    const double* Window = nullptr; // N window values
    std::uint32_t Length = 0; // N
    double CoherentSum = 0.0; // N * a0 of the window (time-domain method)
    double PowerGain = 0.0; // mean square of the window (spectral method)
    double FrameRate = 0.0; // samples per second of the channel, Hz
    TREALFFT* Analyzer = nullptr; // spectral method: the run's analyzer of length N
    double* Spectrum = nullptr; // spectral method: N packed transform values
    double* Amplitudes = nullptr; // spectral method: N/2 amplitudes
    const std::atomic<bool>* Terminated = nullptr;
};

// Window-weighted mean, and the window-weighted standard deviation for AC (channelMethod 1).
ChannelOutcome ComputeTimeDomain(const ChannelFrame& frame, int channelMethod, ChannelReading& reading);

// Window, transform, amplitude spectrum and peak; DC from the main-lobe bins, AC and frequency
// from the bins around the peak.
ChannelOutcome ComputeSpectral(const ChannelFrame& frame, int channelMethod, ChannelReading& reading);

// The per-channel step of a frame: "fft" selects the spectral estimator, any other text the
// time-domain one; AC values become peak amplitudes (times sqrt 2) unless amplitudeType is "rms".
ChannelOutcome ComputeChannel(const ChannelFrame& frame, std::string_view calcMethod,
                              std::string_view amplitudeType, int channelMethod,
                              ChannelReading& reading);
