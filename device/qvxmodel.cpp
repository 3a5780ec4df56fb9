#include "qvxmodel.h"

#include "qvxcommon.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

namespace qvx::model {

namespace {

uint32_t nearestDivider(double hz, uint32_t lo, uint32_t hi)
{
    const double d = std::round(kClockHz / hz);
    if (!(d >= static_cast<double>(lo))) // also catches huge rates
        return lo;
    if (d > static_cast<double>(hi))
        return hi;
    return static_cast<uint32_t>(d);
}

bool validRate(double hz)
{
    return std::isfinite(hz) && hz > 0.0;
}

void putDouble(uint8_t *p, double v)
{
    const auto bits = std::bit_cast<uint64_t>(v);
    for (int i = 0; i < 8; ++i)
        p[i] = static_cast<uint8_t>(bits >> (8 * i));
}

double getDouble(const uint8_t *p)
{
    uint64_t bits = 0;
    for (int i = 0; i < 8; ++i)
        bits |= static_cast<uint64_t>(p[i]) << (8 * i);
    return std::bit_cast<double>(bits);
}

} // namespace

bool settleClocks(double settleUs, uint32_t &clocks)
{
    if (!std::isfinite(settleUs) || settleUs < 0.0 || settleUs > kMaxSettleUs)
        return false;
    clocks = static_cast<uint32_t>(std::round(settleUs * kClockHz * 1e-6));
    return true;
}

int32_t chooseSingle(double hz, FilterChoice &out)
{
    if (!validRate(hz))
        return QVX_ERR_ARGUMENT;
    out = {};
    out.decimation = nearestDivider(hz, kMinDecimation, kMaxDecimation);
    out.filterRateHz = kClockHz / out.decimation;
    out.conversionRateHz = out.filterRateHz;
    return QVX_OK;
}

int32_t chooseMulti(double hz, double settleUs, FilterChoice &out)
{
    uint32_t settle = 0;
    if (!validRate(hz) || !settleClocks(settleUs, settle))
        return QVX_ERR_ARGUMENT;
    out = {};
    const uint32_t lo = std::max(kMinSyncPeriod, settle + kMinDecimation);
    out.syncPeriod = nearestDivider(hz, lo, kMaxDecimation + settle);
    out.decimation = out.syncPeriod - settle;
    out.filterRateHz = kClockHz / out.decimation;
    out.settleUs = settle / (kClockHz * 1e-6);
    out.conversionRateHz = kClockHz / out.syncPeriod;
    return QVX_OK;
}

double currentOf(const CoefPair &pair, uint16_t code)
{
    return pair.first + pair.second * code;
}

int32_t chooseCurrent(const CoefPair &pair, double mA, uint16_t &code, double &achievedMa)
{
    if (!std::isfinite(mA) || !std::isfinite(pair.first) || !std::isfinite(pair.second) ||
        !(pair.second > 0.0))
        return QVX_ERR_ARGUMENT;
    const double c = std::round((mA - pair.first) / pair.second);
    code = static_cast<uint16_t>(std::clamp(c, 0.0, static_cast<double>(kISrcCodeMax)));
    achievedMa = currentOf(pair, code);
    return QVX_OK;
}

int32_t codeOf(double mv, int range, const CoefPair &adc, bool &clipped)
{
    const double fs = kRangeMv[static_cast<size_t>(range)];
    const double c = std::round((mv * adc.first + adc.second) / fs * kCodeFullScale);
    clipped = !(c < kCodeMax && c > kCodeMin);
    if (std::isnan(c))
        return 0;
    return static_cast<int32_t>(std::clamp(c, static_cast<double>(kCodeMin),
                                           static_cast<double>(kCodeMax)));
}

double voltsOf(int32_t code, int range, const CoefPair &adc)
{
    const double fs = kRangeMv[static_cast<size_t>(range)];
    const double gain = adc.first != 0.0 ? adc.first : 1.0;
    return (code * fs / kCodeFullScale - adc.second) / gain * 1e-3;
}

void packValue(int32_t code, uint8_t channel, uint8_t flags, uint32_t *words)
{
    const auto raw = static_cast<uint32_t>(code) & 0xFFFFFFu;
    words[0] = 0x80000000u | (uint32_t{channel} << 16) | (raw >> 8);
    words[1] = (uint32_t{channel} << 16) | (uint32_t{flags} << 8) | (raw & 0xFFu);
}

bool unpackValue(const uint32_t *words, uint8_t expectedChannel, int32_t &code, uint8_t &flags)
{
    const uint32_t w0 = words[0];
    const uint32_t w1 = words[1];
    if ((w0 & 0xFFF00000u) != 0x80000000u || (w1 & 0xFFF00000u) != 0)
        return false;
    if (((w0 >> 16) & 0xFu) != expectedChannel || ((w1 >> 16) & 0xFu) != expectedChannel)
        return false;
    uint32_t raw = ((w0 & 0xFFFFu) << 8) | (w1 & 0xFFu);
    if (raw & 0x800000u)
        raw |= 0xFF000000u;
    code = static_cast<int32_t>(raw);
    flags = static_cast<uint8_t>((w1 >> 8) & 0xFFu);
    return true;
}

CoefPair coefPair(const CoefficientArea &area, int index)
{
    const uint8_t *p = area.data() + 16 * index;
    return {getDouble(p), getDouble(p + 8)};
}

void setCoefPair(CoefficientArea &area, int index, const CoefPair &pair)
{
    uint8_t *p = area.data() + 16 * index;
    putDouble(p, pair.first);
    putDouble(p + 8, pair.second);
}

CoefficientArea defaultCoefficientArea(uint32_t seed)
{
    // Small deterministic spread so that two modules never carry identical calibrations.
    auto spread = [seed](uint32_t k) {
        uint32_t x = seed * 2654435761u + k * 40503u + 0x9E3779B9u;
        x ^= x >> 15;
        x *= 2246822519u;
        x ^= x >> 13;
        return (static_cast<double>(x % 2001u) - 1000.0) / 1000.0; // -1 .. 1
    };
    CoefficientArea area{};
    setCoefPair(area, 0, {1.0 + 0.002 * spread(0), 0.02 * spread(1)});
    setCoefPair(area, 1, {1.0 + 0.002 * spread(2), 0.03 * spread(3)});
    setCoefPair(area, 2, {1.0 + 0.001 * spread(4), 0.0});
    setCoefPair(area, 3, {1.0 + 0.003 * spread(5), 0.01 * spread(6)});
    setCoefPair(area, 4, {1.0 + 0.003 * spread(7), 0.01 * spread(8)});
    setCoefPair(area, 5, {1.0, 0.0});
    setCoefPair(area, kISrcPair, {0.0125 + 0.005 * spread(9), 0.0078125 + 0.00002 * spread(10)});
    const char tag[] = "QVXM calibration record";
    std::memcpy(area.data() + 16 * kCoefficientPairs, tag, sizeof tag);
    for (int i = 0; i < 4; ++i)
        area[16 * kCoefficientPairs + 32 + i] = static_cast<uint8_t>(seed >> (8 * i));
    return area;
}

bool tareCompensation(double offsetMv, double &compensationMv)
{
    if (!std::isfinite(offsetMv) || std::fabs(offsetMv) > kTareLimitMv)
        return false;
    compensationMv = std::round(offsetMv / kTareStepMv) * kTareStepMv;
    return true;
}

} // namespace qvx::model
