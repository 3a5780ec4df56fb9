#pragma once

#include "SettingsKeys.h"

#include <QString>
#include <Qt>

#include <array>
#include <optional>

class IniFile;

// What the settings operations of the main window read from and write into "Qvxm_Metr.ini",
// as plain data: the window only maps these values to and from its controls. None of these
// functions flushes; the caller flushes after each half, as the operations do.

// The settings file in the executable's directory; empty when the directory is empty.
QString settingsFilePath(const QString &executableDirectory);

// One channel as its panel shows it: on/off, item index of its range and of its method box.
struct ChannelSettings {
    bool enabled = true;
    int rangeIndex = 1;
    int methodIndex = 1;
};

// Item counts of the combo boxes whose indices the file stores; an index outside its list
// leaves the box without a selection (-1).
struct SettingsListSizes {
    int singleChannelRates = 8;
    int multiChannelRates = 5;
    int supplyCurrents = 6;
    int inputRanges = 2;
    int computationMethods = 2;
};

// Which ADC rate box fits the number of channels that are on.
enum class VisibleRateBox { None, SingleChannel, MultiChannel };

// Section "Модуль QVXM" as the window applies it when it loads the settings.
struct ModuleSettings {
    QString calcMethod; // "fft" or "sum" (any stored text is passed on)
    QString amplitudeType; // "rms" or "amp"
    double maxAcqTime = 1.0; // seconds
    // Decimal places and display formats, indexed by PrecisionKind and input range 0/1.
    std::array<std::array<quint16, 2>, 3> precision{};
    std::array<std::array<QString, 2>, 3> displayFormat;
    // The stored group key: when true every channel is on and their own keys are not read.
    bool allChannelsKey = true;
    // Item indices for the two group boxes; -1 means each channel keeps its own stored value.
    int commonRangeIndex = 1;
    int commonMethodIndex = 1;
    std::array<ChannelSettings, SettingsKeys::ChannelCount> channels{};
    int singleChannelRateIndex = 4;
    int multiChannelRateIndex = 4;
    int currentIndex = 1;
    int enabledChannelCount = 0;
    VisibleRateBox visibleRateBox = VisibleRateBox::MultiChannel;
    // State of the group on/off box after the channels are set: greyed when they differ.
    Qt::CheckState allChannelsState = Qt::Checked;
};

struct WindowPosition {
    int top = -1; // -1: leave the window where it is
    int left = -1;
};

// The crate and slot to reopen; the slot is the stored number, -1 when none is known.
struct StoredModuleLocation {
    QString crateSerial;
    int slot = -1;
};

// What a save writes of the application settings.
struct ApplicationSettingsToSave {
    bool autoSave = false;
    int windowTop = -1;
    int windowLeft = -1;
    // Set only while a crate is selected; the stored serial is left alone otherwise.
    std::optional<QString> crateSerial;
    // Set only while a module is selected too; ignored without a crate.
    std::optional<int> moduleSlot;
};

// What a save writes of the module settings (method, amplitude, time and precision are not).
struct ModuleSettingsToSave {
    int singleChannelRateIndex = -1;
    int multiChannelRateIndex = -1;
    int currentIndex = -1;
    bool allChannels = false; // true only when the group box is fully ticked
    int commonRangeIndex = -1;
    int commonMethodIndex = -1;
    std::array<ChannelSettings, SettingsKeys::ChannelCount> channels{};
};

// Default file, first half: the two application sections.
void writeDefaultApplicationSettings(IniFile &ini);
// Default file, second half: the module section.
void writeDefaultModuleSettings(IniFile &ini);

void saveApplicationSettings(IniFile &ini, const ApplicationSettingsToSave &settings);
void saveModuleSettings(IniFile &ini, const ModuleSettingsToSave &settings);

bool loadAutoSave(const IniFile &ini);
WindowPosition loadWindowPosition(const IniFile &ini);
StoredModuleLocation loadModuleLocation(const IniFile &ini);
int loadCoefficientSource(const IniFile &ini);
ModuleSettings loadModuleSettings(const IniFile &ini, const SettingsListSizes &sizes = {});

// The stored precision taken as unsigned 16-bit and capped at ten places: -1 gives 10.
quint16 displayPrecision(int stored);
// "0." followed by that many zeros: "0." for 0, "0.0000" for 4.
QString displayFormat(quint16 precision);
