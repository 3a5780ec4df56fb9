#pragma once

#include <string>

// A value field without a value.
inline constexpr const char* NoValueText = "--------";
// Digits after the point: 4 by default, at most 10.
inline constexpr int DefaultValuePrecision = 4;
inline constexpr int MaxValuePrecision = 10;

// "0." followed by n zeros (n clamped to 0 .. 10).
std::string FormatPattern(int decimals);

// The value with n digits after a '.' whatever the locale, at least one digit before it, no
// sign on a value that rounds to zero; "--------" for NaN and infinities.
std::string FormatFixed(double value, int decimals);

// Volts shown in millivolts, hertz in kilohertz.
std::string MillivoltsText(double volts, int decimals);
std::string KilohertzText(double hertz, int decimals);

// Tool tip of a voltage field: "Uизм = " + value * 1000 * displayScale * 0.4 + " мВ".
std::string VoltageHintText(double volts, double displayScale, int decimals);
