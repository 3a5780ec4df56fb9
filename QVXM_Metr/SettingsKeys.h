#pragma once

#include <QString>

#include <array>

// Names of the sections and keys of "Qvxm_Metr.ini", byte for byte as the file holds them.
namespace SettingsKeys {

inline const QString FileName = QStringLiteral("Qvxm_Metr.ini");

inline const QString GeneralSection = QStringLiteral("Приложение. Общие");
inline const QString DiscoverySection = QStringLiteral("Приложение. Обнаружение");
inline const QString ModuleSection = QStringLiteral("Модуль QVXM");

// Section "Приложение. Общие".
inline const QString AutoSave = QStringLiteral("Сохранение настроек");
inline const QString WindowTop = QStringLiteral("Top    основной панели"); // four spaces
inline const QString WindowLeft = QStringLiteral("Left   основной панели"); // three spaces
inline const QString CoefficientSource = QStringLiteral("Источник загрузки корректировочных коэфф.");

// Section "Приложение. Обнаружение".
inline const QString CrateSerial = QStringLiteral("Серийный номер QVX крейта");
inline const QString ModuleSlot = QStringLiteral("Слот модуля");

// Section "Модуль QVXM".
inline const QString CalcMethod = QStringLiteral("АЦП. Метод расчёта");
inline const QString AmplitudeType = QStringLiteral("АЦП. Тип амплитуды");
// The "M" of "Mаксимальное" is a Latin letter in every file written so far.
inline const QString MaxAcqTime = QStringLiteral("АЦП. Mаксимальное время сбора данных, с");
inline const QString SingleChannelRateIndex = QStringLiteral("АЦП. Индекс частоты работы АЦП в одноканальном режиме");
inline const QString MultiChannelRateIndex = QStringLiteral("АЦП. Индекс частоты работы АЦП в многоканальном режиме");
inline const QString CurrentIndex = QStringLiteral("АЦП. Индекс источника тока");
inline const QString AllChannels = QStringLiteral("АЦП. Групповое управление каналами");
inline const QString CommonInputRange = QStringLiteral("АЦП. Групповое управление входным диапазоном каналов");
inline const QString CommonComputationMethod = QStringLiteral("АЦП. Групповое управление методом вычисления параметров");

inline constexpr int ChannelCount = 16;

// Channel numbers run from 1 to 16, appended without leading zeros.
QString channelEnabledKey(int channelNumber);
QString channelInputRangeKey(int channelNumber);
QString channelComputationMethodKey(int channelNumber);

// Nominal input ranges in millivolts whose text names the precision keys (input range 0 and 1).
inline constexpr std::array<double, 2> PrecisionInputRanges{35.0, 70.0};

enum class PrecisionKind { Dc = 0, Ac = 1, Frequency = 2 };
inline constexpr std::array<PrecisionKind, 3> PrecisionKinds{PrecisionKind::Dc, PrecisionKind::Ac,
                                                             PrecisionKind::Frequency};

// The range as "%5.2f" would print it in the C locale: 35 gives "35.00".
QString inputRangeText(double rangeMillivolts);

// "АЦП. Входной диапазон 35.00 В. DC precision" and its siblings.
QString precisionKey(PrecisionKind kind, double rangeMillivolts);

} // namespace SettingsKeys
