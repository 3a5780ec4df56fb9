#include "ReadingFormat.h"

#include <algorithm>
#include <charconv>
#include <cmath>

std::string FormatPattern(int decimals)
{
    decimals = std::clamp(decimals, 0, MaxValuePrecision);
    return "0." + std::string(static_cast<std::size_t>(decimals), '0');
}

std::string FormatFixed(double value, int decimals)
{
    if (!std::isfinite(value)) {
        return NoValueText;
    }
    decimals = std::clamp(decimals, 0, MaxValuePrecision);
    // to_chars never consults the locale; 330 characters hold any finite double in fixed form.
    char buffer[400];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed,
                                      decimals);
    std::string text(buffer, result.ptr);
    if (!text.empty() && text.front() == '-'
        && text.find_first_not_of("0.", 1) == std::string::npos) {
        text.erase(0, 1);
    }
    return text;
}

std::string MillivoltsText(double volts, int decimals)
{
    return FormatFixed(volts * 1000.0, decimals);
}

std::string KilohertzText(double hertz, int decimals)
{
    return FormatFixed(hertz * 0.001, decimals);
}

std::string VoltageHintText(double volts, double displayScale, int decimals)
{
    return "Uизм = " + FormatFixed(volts * 1000.0 * displayScale * 0.4, decimals) + " мВ";
}
