#pragma once

// What a bridge sensor puts on one input of the QVXM: the truth that the simulator turns
// into raw words and that tests compare the converted values against.

#include <cmath>
#include <numbers>

namespace qvxsim {

struct ChannelSignal {
    double OffsetMv = 0.0;    // bridge unbalance, removed by the module's balancing
    double DcMv = 0.0;        // static load
    double AmplitudeMv = 0.0; // sine peak amplitude
    double FrequencyHz = 0.0;
    double PhaseDeg = 0.0;
    double NoiseMv = 0.0; // RMS of white Gaussian noise added per sample

    bool operator==(const ChannelSignal &) const = default;
};

// Noise-free input at time t (seconds), less the balancing compensation the module applies.
inline double signalMv(const ChannelSignal &s, double t, double compensationMv = 0.0)
{
    double v = s.OffsetMv - compensationMv + s.DcMv;
    if (s.AmplitudeMv != 0.0 && s.FrequencyHz > 0.0)
        v += s.AmplitudeMv *
             std::sin(2.0 * std::numbers::pi * s.FrequencyHz * t + s.PhaseDeg * std::numbers::pi / 180.0);
    return v;
}

} // namespace qvxsim
