#pragma once

#include <QString>
#include <QStringView>

#include <optional>

// The text forms of the typed values in the settings file; "." is the decimal separator
// whatever the locale.
namespace IniValueFormat {

// Decimal with an optional sign, or "0x"/"0X" and up to eight hex digits (taken as a 32-bit
// pattern, so 0xFFFFFFFF is -1); anything else, an empty text or an overflow gives nullopt.
std::optional<int> parseInteger(QStringView text);

// A decimal number with "." as separator and an optional exponent; a comma, junk, an empty
// text, infinity, NaN or an out-of-range value gives nullopt.
std::optional<double> parseDouble(QStringView text);

QString formatInteger(int value);

// Shortest text that reads back to the same double: 0.75, 1, 1e-05.
QString formatDouble(double value);

} // namespace IniValueFormat
