#include "StoredSettings.h"

#include "IniFile.h"

#include <QDir>

#include <algorithm>

namespace {

using namespace SettingsKeys;

constexpr int DefaultPrecision = 4;
constexpr quint16 MaximumPrecision = 10;

int indexInList(int index, int listSize)
{
    return index >= 0 && index < listSize ? index : -1;
}

} // namespace

QString settingsFilePath(const QString &executableDirectory)
{
    if (executableDirectory.isEmpty())
        return {};
    return QDir(executableDirectory).filePath(FileName);
}

void writeDefaultApplicationSettings(IniFile &ini)
{
    ini.writeBool(GeneralSection, AutoSave, false);
    ini.writeInteger(GeneralSection, WindowTop, -1);
    ini.writeInteger(GeneralSection, WindowLeft, -1);
    ini.writeInteger(GeneralSection, CoefficientSource, 0);
    ini.writeString(DiscoverySection, CrateSerial, QString());
    ini.writeInteger(DiscoverySection, ModuleSlot, -1);
}

void writeDefaultModuleSettings(IniFile &ini)
{
    ini.writeString(ModuleSection, CalcMethod, QStringLiteral("fft"));
    ini.writeString(ModuleSection, AmplitudeType, QStringLiteral("rms"));
    ini.writeDouble(ModuleSection, MaxAcqTime, 0.75);
    ini.writeInteger(ModuleSection, SingleChannelRateIndex, 4);
    ini.writeInteger(ModuleSection, MultiChannelRateIndex, 4);
    ini.writeInteger(ModuleSection, CurrentIndex, 1);
    ini.writeBool(ModuleSection, AllChannels, true);
    for (int n = 1; n <= ChannelCount; ++n)
        ini.writeBool(ModuleSection, channelEnabledKey(n), n <= 6);
    ini.writeInteger(ModuleSection, CommonInputRange, 1);
    for (int n = 1; n <= ChannelCount; ++n)
        ini.writeInteger(ModuleSection, channelInputRangeKey(n), 1);
    ini.writeInteger(ModuleSection, CommonComputationMethod, 1);
    for (int n = 1; n <= ChannelCount; ++n)
        ini.writeInteger(ModuleSection, channelComputationMethodKey(n), 1);
    for (const double range : PrecisionInputRanges) {
        for (const PrecisionKind kind : PrecisionKinds)
            ini.writeInteger(ModuleSection, precisionKey(kind, range), DefaultPrecision);
    }
}

void saveApplicationSettings(IniFile &ini, const ApplicationSettingsToSave &settings)
{
    ini.writeBool(GeneralSection, AutoSave, settings.autoSave);
    ini.writeInteger(GeneralSection, WindowTop, settings.windowTop);
    ini.writeInteger(GeneralSection, WindowLeft, settings.windowLeft);
    if (settings.crateSerial) {
        ini.writeString(DiscoverySection, CrateSerial, *settings.crateSerial);
        if (settings.moduleSlot)
            ini.writeInteger(DiscoverySection, ModuleSlot, *settings.moduleSlot);
    }
}

void saveModuleSettings(IniFile &ini, const ModuleSettingsToSave &settings)
{
    ini.writeInteger(ModuleSection, SingleChannelRateIndex, settings.singleChannelRateIndex);
    ini.writeInteger(ModuleSection, MultiChannelRateIndex, settings.multiChannelRateIndex);
    ini.writeInteger(ModuleSection, CurrentIndex, settings.currentIndex);
    ini.writeBool(ModuleSection, AllChannels, settings.allChannels);
    for (int n = 1; n <= ChannelCount; ++n)
        ini.writeBool(ModuleSection, channelEnabledKey(n), settings.channels[n - 1].enabled);
    ini.writeInteger(ModuleSection, CommonInputRange, settings.commonRangeIndex);
    for (int n = 1; n <= ChannelCount; ++n)
        ini.writeInteger(ModuleSection, channelInputRangeKey(n), settings.channels[n - 1].rangeIndex);
    ini.writeInteger(ModuleSection, CommonComputationMethod, settings.commonMethodIndex);
    for (int n = 1; n <= ChannelCount; ++n)
        ini.writeInteger(ModuleSection, channelComputationMethodKey(n), settings.channels[n - 1].methodIndex);
}

bool loadAutoSave(const IniFile &ini)
{
    return ini.readBool(GeneralSection, AutoSave, false);
}

WindowPosition loadWindowPosition(const IniFile &ini)
{
    return {ini.readInteger(GeneralSection, WindowTop, -1), ini.readInteger(GeneralSection, WindowLeft, -1)};
}

StoredModuleLocation loadModuleLocation(const IniFile &ini)
{
    return {ini.readString(DiscoverySection, CrateSerial, QString()), ini.readInteger(DiscoverySection, ModuleSlot, -1)};
}

int loadCoefficientSource(const IniFile &ini)
{
    return ini.readInteger(GeneralSection, CoefficientSource, 1);
}

ModuleSettings loadModuleSettings(const IniFile &ini, const SettingsListSizes &sizes)
{
    ModuleSettings s;
    s.calcMethod = ini.readString(ModuleSection, CalcMethod, QStringLiteral("fft"));
    s.amplitudeType = ini.readString(ModuleSection, AmplitudeType, QStringLiteral("rms"));
    s.maxAcqTime = ini.readDouble(ModuleSection, MaxAcqTime, 1.0);

    for (size_t range = 0; range < PrecisionInputRanges.size(); ++range) {
        for (const PrecisionKind kind : PrecisionKinds) {
            const auto k = static_cast<size_t>(kind);
            const int stored = ini.readInteger(ModuleSection, precisionKey(kind, PrecisionInputRanges[range]),
                                               DefaultPrecision);
            s.precision[k][range] = displayPrecision(stored);
            s.displayFormat[k][range] = displayFormat(s.precision[k][range]);
        }
    }

    s.allChannelsKey = ini.readBool(ModuleSection, AllChannels, true);
    s.commonRangeIndex = indexInList(ini.readInteger(ModuleSection, CommonInputRange, 1), sizes.inputRanges);
    s.commonMethodIndex =
        indexInList(ini.readInteger(ModuleSection, CommonComputationMethod, 1), sizes.computationMethods);

    for (int n = 1; n <= ChannelCount; ++n) {
        ChannelSettings &channel = s.channels[static_cast<size_t>(n - 1)];
        channel.enabled = s.allChannelsKey || ini.readBool(ModuleSection, channelEnabledKey(n), true);
        if (channel.enabled)
            ++s.enabledChannelCount;
        channel.rangeIndex = s.commonRangeIndex != -1
                                 ? s.commonRangeIndex
                                 : indexInList(ini.readInteger(ModuleSection, channelInputRangeKey(n), 1),
                                               sizes.inputRanges);
        channel.methodIndex = s.commonMethodIndex != -1
                                  ? s.commonMethodIndex
                                  : indexInList(ini.readInteger(ModuleSection, channelComputationMethodKey(n), 1),
                                                sizes.computationMethods);
    }

    s.singleChannelRateIndex =
        indexInList(ini.readInteger(ModuleSection, SingleChannelRateIndex, 4), sizes.singleChannelRates);
    s.multiChannelRateIndex =
        indexInList(ini.readInteger(ModuleSection, MultiChannelRateIndex, 4), sizes.multiChannelRates);
    s.currentIndex = indexInList(ini.readInteger(ModuleSection, CurrentIndex, 1), sizes.supplyCurrents);

    s.visibleRateBox = s.enabledChannelCount == 0   ? VisibleRateBox::None
                       : s.enabledChannelCount == 1 ? VisibleRateBox::SingleChannel
                                                    : VisibleRateBox::MultiChannel;
    if (s.enabledChannelCount == ChannelCount)
        s.allChannelsState = Qt::Checked;
    else if (s.enabledChannelCount == 0)
        s.allChannelsState = Qt::Unchecked;
    else
        s.allChannelsState = Qt::PartiallyChecked;
    return s;
}

quint16 displayPrecision(int stored)
{
    return std::min(static_cast<quint16>(stored), MaximumPrecision);
}

QString displayFormat(quint16 precision)
{
    return QStringLiteral("0.") + QString(precision, u'0');
}
