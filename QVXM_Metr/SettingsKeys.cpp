#include "SettingsKeys.h"

#include <charconv>

namespace SettingsKeys {

QString channelEnabledKey(int channelNumber)
{
    return QStringLiteral("АЦП. Управление каналом ") + QString::number(channelNumber);
}

QString channelInputRangeKey(int channelNumber)
{
    return QStringLiteral("АЦП. Управление входным диапазоном канала ") + QString::number(channelNumber);
}

QString channelComputationMethodKey(int channelNumber)
{
    return QStringLiteral("АЦП. Управление методом вычисления параметров для канала ") + QString::number(channelNumber);
}

QString inputRangeText(double rangeMillivolts)
{
    // printf would take the decimal separator from the C library's locale.
    std::array<char, 400> buffer{};
    const auto [end, ec] =
        std::to_chars(buffer.data(), buffer.data() + buffer.size(), rangeMillivolts, std::chars_format::fixed, 2);
    QString text = QString::fromLatin1(buffer.data(), end - buffer.data());
    return text.rightJustified(5, u' ');
}

QString precisionKey(PrecisionKind kind, double rangeMillivolts)
{
    QString suffix;
    switch (kind) {
    case PrecisionKind::Dc:
        suffix = QStringLiteral(" В. DC precision");
        break;
    case PrecisionKind::Ac:
        suffix = QStringLiteral(" В. AC precision");
        break;
    case PrecisionKind::Frequency:
        suffix = QStringLiteral(" В. FR precision");
        break;
    }
    return QStringLiteral("АЦП. Входной диапазон ") + inputRangeText(rangeMillivolts) + suffix;
}

} // namespace SettingsKeys
