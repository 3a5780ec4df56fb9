#include "IniValueFormat.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

namespace {

// Converts to Latin-1 bytes for the number parsers; any other character makes the text invalid.
std::optional<std::string> toAsciiDigits(QStringView text)
{
    std::string result;
    result.reserve(static_cast<size_t>(text.size()));
    for (const QChar c : text) {
        if (c.unicode() == 0 || c.unicode() > 0x7F)
            return std::nullopt;
        result.push_back(static_cast<char>(c.unicode()));
    }
    return result;
}

} // namespace

namespace IniValueFormat {

std::optional<int> parseInteger(QStringView text)
{
    const std::optional<std::string> ascii = toAsciiDigits(text);
    if (!ascii || ascii->empty())
        return std::nullopt;
    const char *first = ascii->data();
    const char *last = first + ascii->size();

    if (ascii->size() > 2 && first[0] == '0' && (first[1] == 'x' || first[1] == 'X')) {
        first += 2;
        if (last - first > 8)
            return std::nullopt;
        std::uint32_t bits = 0;
        const auto [end, ec] = std::from_chars(first, last, bits, 16);
        if (ec != std::errc() || end != last)
            return std::nullopt;
        return static_cast<int>(bits);
    }

    if (*first == '+')
        ++first;
    if (first == last || (*first == '-' && first != ascii->data()))
        return std::nullopt;
    int value = 0;
    const auto [end, ec] = std::from_chars(first, last, value, 10);
    if (ec != std::errc() || end != last)
        return std::nullopt;
    return value;
}

std::optional<double> parseDouble(QStringView text)
{
    const std::optional<std::string> ascii = toAsciiDigits(text);
    if (!ascii || ascii->empty())
        return std::nullopt;
    const char *first = ascii->data();
    const char *last = first + ascii->size();
    const bool plus = *first == '+';
    if (plus)
        ++first;
    // from_chars would also take "inf" and "nan"; only digits may start a number here.
    const char *digits = !plus && first != last && *first == '-' ? first + 1 : first;
    if (digits == last || !(*digits == '.' || (*digits >= '0' && *digits <= '9')))
        return std::nullopt;
    double value = 0.0;
    const auto [end, ec] = std::from_chars(first, last, value, std::chars_format::general);
    if (ec != std::errc() || end != last || !std::isfinite(value))
        return std::nullopt;
    return value;
}

QString formatInteger(int value)
{
    std::array<char, 16> buffer{};
    const auto [end, ec] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    return QString::fromLatin1(buffer.data(), end - buffer.data());
}

QString formatDouble(double value)
{
    std::array<char, 32> buffer{};
    const auto [end, ec] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    return QString::fromLatin1(buffer.data(), end - buffer.data());
}

} // namespace IniValueFormat
