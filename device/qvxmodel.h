#pragma once

// The QVXM's arithmetic (clock, rates, supply current, raw words, codes), shared by the client
// library and the crate-server simulator so that both sides compute the same module.

#include <array>
#include <cstdint>
#include <string>

namespace qvx::model {

inline constexpr double kClockHz = 24e6;
inline constexpr uint32_t kMinDecimation = 480;       // 50 kHz
inline constexpr uint32_t kMaxDecimation = 2'400'000; // 10 Hz
inline constexpr uint32_t kMinSyncPeriod = 1200;      // 20 kHz aggregate
inline constexpr double kMaxSettleUs = 100.0;
inline constexpr uint32_t kFilterOrder = 3;
inline constexpr int kChannels = 16;
inline constexpr int kWordsPerValue = 2;
inline constexpr int32_t kCodeMax = (1 << 23) - 1;
inline constexpr int32_t kCodeMin = -(1 << 23);
inline constexpr double kCodeFullScale = 8388608.0; // 2^23
inline constexpr uint16_t kISrcCodeMax = 4095;
inline constexpr std::array<double, 2> kRangeMv{35.0, 70.0};
inline constexpr double kTareStepMv = 0.001;
inline constexpr double kTareLimitMv = 50.0;
inline constexpr uint8_t kFlagClipped = 0x01;
inline constexpr size_t kCoefficientAreaSize = 752;
inline constexpr int kCoefficientPairs = 7;
inline constexpr int kISrcPair = 6;

using CoefficientArea = std::array<uint8_t, kCoefficientAreaSize>;

struct CoefPair {
    double first = 0.0;
    double second = 0.0;
};

struct FilterChoice {
    uint32_t decimation = 0;
    uint32_t syncPeriod = 0; // multi-channel only
    double filterRateHz = 0.0;
    double settleUs = 0.0;
    double conversionRateHz = 0.0; // what the module achieves per conversion
};

// Status values are the QVX_* codes of qvxcommon.h.
int32_t chooseSingle(double hz, FilterChoice &out);
int32_t chooseMulti(double hz, double settleUs, FilterChoice &out);
// Settling time rounded to whole clocks; false when outside 0..kMaxSettleUs or not finite.
bool settleClocks(double settleUs, uint32_t &clocks);

int32_t chooseCurrent(const CoefPair &pair, double mA, uint16_t &code, double &achievedMa);
double currentOf(const CoefPair &pair, uint16_t code);

// Code of an input in millivolts with the ADC pair of its range; clipped to the 24-bit span.
int32_t codeOf(double mv, int range, const CoefPair &adc, bool &clipped);
double voltsOf(int32_t code, int range, const CoefPair &adc);

void packValue(int32_t code, uint8_t channel, uint8_t flags, uint32_t *words);
// False when the two words are not a value of this channel.
bool unpackValue(const uint32_t *words, uint8_t expectedChannel, int32_t &code, uint8_t &flags);

CoefPair coefPair(const CoefficientArea &area, int index);
void setCoefPair(CoefficientArea &area, int index, const CoefPair &pair);
// A plausible factory calibration, varied a little by seed (each module its own).
CoefficientArea defaultCoefficientArea(uint32_t seed);

// Balancing DAC: the compensation the module stores for an unbalance, and whether it can.
bool tareCompensation(double offsetMv, double &compensationMv);

} // namespace qvx::model
