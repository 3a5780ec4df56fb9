#include "ValueTables.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>

namespace ValueTables {

static_assert(std::bit_cast<std::uint64_t>(MultiChannelRates[3]) == 0x40CD4BFFFFFFFFFFULL,
              "the fourth multi-channel rate must be one step below 15000");

QString FormatFixed(double value, int decimals)
{
    // QString::number ignores the locale, so the separator stays "." on any system.
    QString text = QString::number(value, 'f', decimals);
    if (text.startsWith(u'-')
        && std::all_of(text.cbegin() + 1, text.cend(), [](QChar c) { return c == u'0' || c == u'.'; }))
        text.remove(0, 1);  // a value that rounds to zero shows no sign
    return text;
}

QString CommonRangeItemText(double millivolts)
{
    return QStringLiteral("  ") + FormatFixed(millivolts, 0) + QStringLiteral(" мВ");
}

QString ChannelRangeItemText(double millivolts)
{
    return QStringLiteral(" ") + FormatFixed(millivolts, 0) + QStringLiteral(" мВ");
}

QString RateItemText(double hertz)
{
    return (hertz <= 9999.99999 ? QStringLiteral("  ") : QStringLiteral(" ")) + FormatFixed(hertz, 4);
}

QString CurrentItemText(double milliamps)
{
    return (milliamps <= 9.99999 ? QStringLiteral("     ") : QStringLiteral("    "))
           + FormatFixed(milliamps, 2);
}

QString ChannelCaption(int channelIndex)
{
    return QStringLiteral("Канал ") + QString::number(channelIndex + 1);
}

QString ChannelFrameName(int channelIndex)
{
    return QStringLiteral("QvxmAdcChannel") + QString::number(channelIndex) + QStringLiteral("Frame");
}

} // namespace ValueTables
