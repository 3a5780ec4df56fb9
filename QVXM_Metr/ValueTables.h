#pragma once

#include <QString>

#include <array>

// The value lists behind the entry fields, indexed by the item index of the matching combo box.
namespace ValueTables {

inline constexpr std::array<double, 2> InputRanges{35.0, 70.0};  // mV
inline constexpr std::array<double, 8> SingleChannelRates{
    2000.0, 5000.0, 10000.0, 15625.0, 20833.3333333, 31250.0, 41666.6666667, 50000.0};  // Hz
// The fourth rate is the largest double below 15000: the module's filter search treats
// 15000 itself as out of reach in the multi-channel mode.
inline constexpr std::array<double, 5> MultiChannelRates{
    2000.0, 5000.0, 10000.0, 14999.999999999998, 20000.0};  // Hz
inline constexpr std::array<double, 6> SupplyCurrents{5.0, 7.0, 10.0, 14.0, 21.0, 25.0};  // mA

// The value with a fixed number of decimals, always with "." as the separator.
QString FormatFixed(double value, int decimals);

// "  35 мВ": item of the common range selector.
QString CommonRangeItemText(double millivolts);
// " 35 мВ": item of a channel panel's range selector.
QString ChannelRangeItemText(double millivolts);
// Eleven characters: two blanks up to 9999.99999 Hz, one above, then "0.0000".
QString RateItemText(double hertz);
// Nine characters: five blanks up to 9.99999 mA, four above, then "0.00".
QString CurrentItemText(double milliamps);

// Items of the computation-method selectors; index 0 is DC, 1 is AC.
inline constexpr std::array<const char *, 2> ComputationMethodItems{"  DC", "  AC"};

// Caption of a channel's on/off box, channel index 0..15.
QString ChannelCaption(int channelIndex);

// Object name of channel panel i.
QString ChannelFrameName(int channelIndex);

inline constexpr const char *EmptyValueText = "--------";

} // namespace ValueTables
