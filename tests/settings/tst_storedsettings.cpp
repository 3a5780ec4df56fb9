#include "IniFile.h"
#include "IniTestSupport.h"
#include "SettingsKeys.h"
#include "StoredSettings.h"

#include <QTemporaryDir>
#include <QTest>

#include <optional>

Q_DECLARE_METATYPE(std::optional<QString>)
Q_DECLARE_METATYPE(std::optional<int>)
Q_DECLARE_METATYPE(Qt::CheckState)
Q_DECLARE_METATYPE(VisibleRateBox)

namespace {

// The default file as the operators' Windows machines have it, line for line.
const QString DefaultApplicationHalf = QStringLiteral(
    "[Приложение. Общие]\n"
    "Сохранение настроек=0\n"
    "Top    основной панели=-1\n"
    "Left   основной панели=-1\n"
    "Источник загрузки корректировочных коэфф.=0\n"
    "\n"
    "[Приложение. Обнаружение]\n"
    "Серийный номер QVX крейта=\n"
    "Слот модуля=-1\n");

const QString DefaultModuleHalf = QStringLiteral(
    "\n"
    "[Модуль QVXM]\n"
    "АЦП. Метод расчёта=fft\n"
    "АЦП. Тип амплитуды=rms\n"
    "АЦП. Mаксимальное время сбора данных, с=0.75\n"
    "АЦП. Индекс частоты работы АЦП в одноканальном режиме=4\n"
    "АЦП. Индекс частоты работы АЦП в многоканальном режиме=4\n"
    "АЦП. Индекс источника тока=1\n"
    "АЦП. Групповое управление каналами=1\n"
    "АЦП. Управление каналом 1=1\n"
    "АЦП. Управление каналом 2=1\n"
    "АЦП. Управление каналом 3=1\n"
    "АЦП. Управление каналом 4=1\n"
    "АЦП. Управление каналом 5=1\n"
    "АЦП. Управление каналом 6=1\n"
    "АЦП. Управление каналом 7=0\n"
    "АЦП. Управление каналом 8=0\n"
    "АЦП. Управление каналом 9=0\n"
    "АЦП. Управление каналом 10=0\n"
    "АЦП. Управление каналом 11=0\n"
    "АЦП. Управление каналом 12=0\n"
    "АЦП. Управление каналом 13=0\n"
    "АЦП. Управление каналом 14=0\n"
    "АЦП. Управление каналом 15=0\n"
    "АЦП. Управление каналом 16=0\n"
    "АЦП. Групповое управление входным диапазоном каналов=1\n"
    "АЦП. Управление входным диапазоном канала 1=1\n"
    "АЦП. Управление входным диапазоном канала 2=1\n"
    "АЦП. Управление входным диапазоном канала 3=1\n"
    "АЦП. Управление входным диапазоном канала 4=1\n"
    "АЦП. Управление входным диапазоном канала 5=1\n"
    "АЦП. Управление входным диапазоном канала 6=1\n"
    "АЦП. Управление входным диапазоном канала 7=1\n"
    "АЦП. Управление входным диапазоном канала 8=1\n"
    "АЦП. Управление входным диапазоном канала 9=1\n"
    "АЦП. Управление входным диапазоном канала 10=1\n"
    "АЦП. Управление входным диапазоном канала 11=1\n"
    "АЦП. Управление входным диапазоном канала 12=1\n"
    "АЦП. Управление входным диапазоном канала 13=1\n"
    "АЦП. Управление входным диапазоном канала 14=1\n"
    "АЦП. Управление входным диапазоном канала 15=1\n"
    "АЦП. Управление входным диапазоном канала 16=1\n"
    "АЦП. Групповое управление методом вычисления параметров=1\n"
    "АЦП. Управление методом вычисления параметров для канала 1=1\n"
    "АЦП. Управление методом вычисления параметров для канала 2=1\n"
    "АЦП. Управление методом вычисления параметров для канала 3=1\n"
    "АЦП. Управление методом вычисления параметров для канала 4=1\n"
    "АЦП. Управление методом вычисления параметров для канала 5=1\n"
    "АЦП. Управление методом вычисления параметров для канала 6=1\n"
    "АЦП. Управление методом вычисления параметров для канала 7=1\n"
    "АЦП. Управление методом вычисления параметров для канала 8=1\n"
    "АЦП. Управление методом вычисления параметров для канала 9=1\n"
    "АЦП. Управление методом вычисления параметров для канала 10=1\n"
    "АЦП. Управление методом вычисления параметров для канала 11=1\n"
    "АЦП. Управление методом вычисления параметров для канала 12=1\n"
    "АЦП. Управление методом вычисления параметров для канала 13=1\n"
    "АЦП. Управление методом вычисления параметров для канала 14=1\n"
    "АЦП. Управление методом вычисления параметров для канала 15=1\n"
    "АЦП. Управление методом вычисления параметров для канала 16=1\n"
    "АЦП. Входной диапазон 35.00 В. DC precision=4\n"
    "АЦП. Входной диапазон 35.00 В. AC precision=4\n"
    "АЦП. Входной диапазон 35.00 В. FR precision=4\n"
    "АЦП. Входной диапазон 70.00 В. DC precision=4\n"
    "АЦП. Входной диапазон 70.00 В. AC precision=4\n"
    "АЦП. Входной диапазон 70.00 В. FR precision=4\n");

QString iniPath(const QTemporaryDir &dir)
{
    return dir.filePath(QStringLiteral("Qvxm_Metr.ini"));
}

// Loads a module section with the given key lines, each line given in UTF-8.
ModuleSettings loadModuleSection(const QString &keyLines)
{
    QTemporaryDir dir;
    writeBytes(iniPath(dir), cp1251(QStringLiteral("[Модуль QVXM]\n") + keyLines));
    return loadModuleSettings(IniFile(iniPath(dir)));
}

QString perChannelLines(const QString &keyStem, const QList<int> &values)
{
    QString lines;
    for (int n = 1; n <= values.size(); ++n)
        lines += keyStem + QString::number(n) + u'=' + QString::number(values[n - 1]) + u'\n';
    return lines;
}

} // namespace

class TestStoredSettings : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void settingsPath_data();
    void settingsPath();
    void defaultFileByteForByte();
    void defaultFileLoadsAsTheOperatorSeesIt();
    void defaultsOverwriteOperatorValuesButKeepUnknownKeys();
    void emptyModuleSectionGivesFallbacks();
    void maxAcqTime_data();
    void maxAcqTime();
    void precision_data();
    void precision();
    void groupIndicesSelectPerChannelKeys_data();
    void groupIndicesSelectPerChannelKeys();
    void channelsOnOff_data();
    void channelsOnOff();
    void outOfListIndicesSelectNothing();
    void saveWritesLocationOnlyWhenSelected_data();
    void saveWritesLocationOnlyWhenSelected();
    void savedModuleSettingsLoadBack();
};

void TestStoredSettings::settingsPath_data()
{
    QTest::addColumn<QString>("directory");
    QTest::addColumn<QString>("path");
    QTest::newRow("plain") << "/opt/qvxm" << "/opt/qvxm/Qvxm_Metr.ini";
    QTest::newRow("trailing separator") << "/opt/qvxm/" << "/opt/qvxm/Qvxm_Metr.ini";
    QTest::newRow("Cyrillic") << "/home/оператор/Прибор" << "/home/оператор/Прибор/Qvxm_Metr.ini";
    QTest::newRow("empty") << "" << "";
}

void TestStoredSettings::settingsPath()
{
    QFETCH(QString, directory);
    QFETCH(QString, path);
    QCOMPARE(settingsFilePath(directory), path);
}

// Each half flushed on its own, as the operation does; names, order and values to the byte.
void TestStoredSettings::defaultFileByteForByte()
{
    QTemporaryDir dir;
    IniFile ini(iniPath(dir));
    writeDefaultApplicationSettings(ini);
    ini.flush();
    QCOMPARE(readBytes(iniPath(dir)), cp1251(DefaultApplicationHalf));
    writeDefaultModuleSettings(ini);
    ini.flush();
    QCOMPARE(readBytes(iniPath(dir)), cp1251(DefaultApplicationHalf + DefaultModuleHalf));
}

// First start: the defaults as read back into the window.
void TestStoredSettings::defaultFileLoadsAsTheOperatorSeesIt()
{
    QTemporaryDir dir;
    writeBytes(iniPath(dir), cp1251(DefaultApplicationHalf + DefaultModuleHalf));
    const IniFile ini(iniPath(dir));

    QCOMPARE(loadAutoSave(ini), false);
    QCOMPARE(loadWindowPosition(ini).top, -1);
    QCOMPARE(loadWindowPosition(ini).left, -1);
    QCOMPARE(loadModuleLocation(ini).crateSerial, QString());
    QCOMPARE(loadModuleLocation(ini).slot, -1);
    QCOMPARE(loadCoefficientSource(ini), 0);

    const ModuleSettings m = loadModuleSettings(ini);
    QCOMPARE(m.calcMethod, QStringLiteral("fft"));
    QCOMPARE(m.amplitudeType, QStringLiteral("rms"));
    QCOMPARE(m.maxAcqTime, 0.75);
    QCOMPARE(m.singleChannelRateIndex, 4);
    QCOMPARE(m.multiChannelRateIndex, 4);
    QCOMPARE(m.currentIndex, 1);
    // The group key is on, so channels 7 to 16 are on although their own keys say off.
    QCOMPARE(m.allChannelsKey, true);
    QCOMPARE(m.enabledChannelCount, 16);
    QCOMPARE(m.allChannelsState, Qt::Checked);
    QCOMPARE(m.visibleRateBox, VisibleRateBox::MultiChannel);
    QCOMPARE(m.commonRangeIndex, 1);
    QCOMPARE(m.commonMethodIndex, 1);
    for (const ChannelSettings &c : m.channels) {
        QVERIFY(c.enabled);
        QCOMPARE(c.rangeIndex, 1);
        QCOMPARE(c.methodIndex, 1);
    }
    for (const auto &kind : m.displayFormat) {
        for (const QString &format : kind)
            QCOMPARE(format, QStringLiteral("0.0000"));
    }
}

void TestStoredSettings::defaultsOverwriteOperatorValuesButKeepUnknownKeys()
{
    QTemporaryDir dir;
    const QString path = iniPath(dir);
    writeBytes(path, cp1251(QStringLiteral("[Приложение. Обнаружение]\n"
                                           "Серийный номер QVX крейта=A123\n"
                                           "Слот модуля=7\n"
                                           "Заметка оператора=не трогать\n"
                                           "[Модуль QVXM]\n"
                                           "АЦП. Метод расчёта=sum\n"
                                           "АЦП. Управление каналом 9=1\n")));
    IniFile ini(path);
    writeDefaultApplicationSettings(ini);
    writeDefaultModuleSettings(ini);
    ini.flush();

    const IniFile reread(path);
    QCOMPARE(loadModuleLocation(reread).crateSerial, QString());
    QCOMPARE(loadModuleLocation(reread).slot, -1);
    QCOMPARE(reread.readString(SettingsKeys::DiscoverySection, QStringLiteral("Заметка оператора"), QString()),
             QStringLiteral("не трогать"));
    QCOMPARE(loadModuleSettings(reread).calcMethod, QStringLiteral("fft"));
    QCOMPARE(reread.readBool(SettingsKeys::ModuleSection, SettingsKeys::channelEnabledKey(9), true), false);
}

// An existing file without the module keys: every fallback of the tables.
void TestStoredSettings::emptyModuleSectionGivesFallbacks()
{
    QTemporaryDir dir;
    writeBytes(iniPath(dir), QByteArray());
    const IniFile ini(iniPath(dir));
    QCOMPARE(loadAutoSave(ini), false);
    QCOMPARE(loadCoefficientSource(ini), 1);
    QCOMPARE(loadWindowPosition(ini).top, -1);
    QCOMPARE(loadModuleLocation(ini).slot, -1);

    const ModuleSettings m = loadModuleSettings(ini);
    QCOMPARE(m.calcMethod, QStringLiteral("fft"));
    QCOMPARE(m.amplitudeType, QStringLiteral("rms"));
    QCOMPARE(m.maxAcqTime, 1.0);
    QCOMPARE(m.singleChannelRateIndex, 4);
    QCOMPARE(m.multiChannelRateIndex, 4);
    QCOMPARE(m.currentIndex, 1);
    QCOMPARE(m.enabledChannelCount, 16);
    QCOMPARE(m.precision[2][1], quint16(4));
}

void TestStoredSettings::maxAcqTime_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<double>("seconds");
    QTest::newRow("stored") << "АЦП. Mаксимальное время сбора данных, с=2.5\n" << 2.5;
    QTest::newRow("missing") << "" << 1.0;
    QTest::newRow("comma") << "АЦП. Mаксимальное время сбора данных, с=0,75\n" << 1.0;
    QTest::newRow("empty") << "АЦП. Mаксимальное время сбора данных, с=\n" << 1.0;
    QTest::newRow("other case") << "ацп. mАКСИМАЛЬНОЕ ВРЕМЯ СБОРА ДАННЫХ, С=0.5\n" << 0.5;
    // The same words with a Cyrillic "М" are another key.
    QTest::newRow("Cyrillic M") << "АЦП. Максимальное время сбора данных, с=0.5\n" << 1.0;
}

void TestStoredSettings::maxAcqTime()
{
    QFETCH(QString, line);
    QFETCH(double, seconds);
    QCOMPARE(loadModuleSection(line).maxAcqTime, seconds);
}

void TestStoredSettings::precision_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<int>("places");
    QTest::addColumn<QString>("format");
    QTest::newRow("four") << "4" << 4 << "0.0000";
    QTest::newRow("zero") << "0" << 0 << "0.";
    QTest::newRow("ten") << "10" << 10 << "0.0000000000";
    QTest::newRow("twelve") << "12" << 10 << "0.0000000000";
    QTest::newRow("minus one") << "-1" << 10 << "0.0000000000";
    QTest::newRow("wraps to zero") << "65536" << 0 << "0.";
    QTest::newRow("hex") << "0x3" << 3 << "0.000";
    QTest::newRow("junk") << "три" << 4 << "0.0000";
}

// Only the 70 mV AC key is stored, so the other five keep the fallback.
void TestStoredSettings::precision()
{
    QFETCH(QString, stored);
    QFETCH(int, places);
    QFETCH(QString, format);
    const ModuleSettings m = loadModuleSection(QStringLiteral("АЦП. Входной диапазон 70.00 В. AC precision=") + stored + u'\n');
    const auto ac = static_cast<size_t>(SettingsKeys::PrecisionKind::Ac);
    QCOMPARE(m.precision[ac][1], quint16(places));
    QCOMPARE(m.displayFormat[ac][1], format);
    QCOMPARE(m.precision[ac][0], quint16(4));
    QCOMPARE(m.displayFormat[static_cast<size_t>(SettingsKeys::PrecisionKind::Dc)][1], QStringLiteral("0.0000"));
}

void TestStoredSettings::groupIndicesSelectPerChannelKeys_data()
{
    QTest::addColumn<QString>("groupRange");
    QTest::addColumn<QString>("groupMethod");
    QTest::addColumn<int>("commonRange");
    QTest::addColumn<int>("commonMethod");
    QTest::addColumn<QList<int>>("ranges");
    QTest::addColumn<QList<int>>("methods");

    const QList<int> storedRanges{0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1};
    const QList<int> storedMethods{1, 1, 0, 0, 1, 1, 0, 0, 1, 1, 0, 0, 1, 1, 0, 0};
    const QList<int> allZero(16, 0);
    const QList<int> allOne(16, 1);
    QTest::newRow("both per channel") << "-1" << "-1" << -1 << -1 << storedRanges << storedMethods;
    QTest::newRow("both common") << "0" << "1" << 0 << 1 << allZero << allOne;
    QTest::newRow("range per channel") << "-1" << "0" << -1 << 0 << storedRanges << allZero;
    QTest::newRow("outside the list") << "2" << "7" << -1 << -1 << storedRanges << storedMethods;
    QTest::newRow("missing group keys") << "" << "" << 1 << 1 << allOne << allOne;
}

void TestStoredSettings::groupIndicesSelectPerChannelKeys()
{
    QFETCH(QString, groupRange);
    QFETCH(QString, groupMethod);
    QFETCH(int, commonRange);
    QFETCH(int, commonMethod);
    QFETCH(QList<int>, ranges);
    QFETCH(QList<int>, methods);

    QString lines;
    if (!groupRange.isEmpty())
        lines += QStringLiteral("АЦП. Групповое управление входным диапазоном каналов=") + groupRange + u'\n';
    if (!groupMethod.isEmpty())
        lines += QStringLiteral("АЦП. Групповое управление методом вычисления параметров=") + groupMethod + u'\n';
    lines += perChannelLines(QStringLiteral("АЦП. Управление входным диапазоном канала "),
                             {0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1});
    lines += perChannelLines(QStringLiteral("АЦП. Управление методом вычисления параметров для канала "),
                             {1, 1, 0, 0, 1, 1, 0, 0, 1, 1, 0, 0, 1, 1, 0, 0});

    const ModuleSettings m = loadModuleSection(lines);
    QCOMPARE(m.commonRangeIndex, commonRange);
    QCOMPARE(m.commonMethodIndex, commonMethod);
    for (int c = 0; c < 16; ++c) {
        QCOMPARE(m.channels[c].rangeIndex, ranges[c]);
        QCOMPARE(m.channels[c].methodIndex, methods[c]);
    }
}

void TestStoredSettings::channelsOnOff_data()
{
    QTest::addColumn<QString>("groupKey");
    QTest::addColumn<QList<int>>("stored"); // -1: key absent
    QTest::addColumn<int>("count");
    QTest::addColumn<Qt::CheckState>("state");
    QTest::addColumn<VisibleRateBox>("rateBox");

    QList<int> one(16, 0);
    one[9] = 1;
    QList<int> mixed(16, 1);
    mixed[3] = 0;
    QList<int> missingSome(16, 0);
    missingSome[0] = -1;
    missingSome[1] = -1;
    QTest::newRow("group on ignores channel keys") << "1" << QList<int>(16, 0) << 16 << Qt::Checked
                                                    << VisibleRateBox::MultiChannel;
    QTest::newRow("group off, all channels on") << "0" << QList<int>(16, 1) << 16 << Qt::Checked
                                                << VisibleRateBox::MultiChannel;
    QTest::newRow("group off, mixed") << "0" << mixed << 15 << Qt::PartiallyChecked << VisibleRateBox::MultiChannel;
    QTest::newRow("group off, one on") << "0" << one << 1 << Qt::PartiallyChecked << VisibleRateBox::SingleChannel;
    QTest::newRow("group off, none on") << "0" << QList<int>(16, 0) << 0 << Qt::Unchecked << VisibleRateBox::None;
    QTest::newRow("missing channel keys are on") << "0" << missingSome << 2 << Qt::PartiallyChecked
                                                 << VisibleRateBox::MultiChannel;
    QTest::newRow("group key junk is on") << "да" << QList<int>(16, 0) << 16 << Qt::Checked
                                          << VisibleRateBox::MultiChannel;
}

void TestStoredSettings::channelsOnOff()
{
    QFETCH(QString, groupKey);
    QFETCH(QList<int>, stored);
    QFETCH(int, count);
    QFETCH(Qt::CheckState, state);
    QFETCH(VisibleRateBox, rateBox);

    QString lines = QStringLiteral("АЦП. Групповое управление каналами=") + groupKey + u'\n';
    for (int n = 1; n <= 16; ++n) {
        if (stored[n - 1] >= 0)
            lines += QStringLiteral("АЦП. Управление каналом %1=%2\n").arg(n).arg(stored[n - 1]);
    }
    const ModuleSettings m = loadModuleSection(lines);
    QCOMPARE(m.enabledChannelCount, count);
    QCOMPARE(m.allChannelsState, state);
    QCOMPARE(m.visibleRateBox, rateBox);
    int on = 0;
    for (const ChannelSettings &c : m.channels)
        on += c.enabled ? 1 : 0;
    QCOMPARE(on, count);
    if (count == 1)
        QVERIFY(m.channels[9].enabled);
}

void TestStoredSettings::outOfListIndicesSelectNothing()
{
    const ModuleSettings m = loadModuleSection(QStringLiteral("АЦП. Индекс частоты работы АЦП в одноканальном режиме=8\n"
                                                              "АЦП. Индекс частоты работы АЦП в многоканальном режиме=-3\n"
                                                              "АЦП. Индекс источника тока=5\n"));
    QCOMPARE(m.singleChannelRateIndex, -1);
    QCOMPARE(m.multiChannelRateIndex, -1);
    QCOMPARE(m.currentIndex, 5);

    SettingsListSizes fewer;
    fewer.supplyCurrents = 5;
    QTemporaryDir dir;
    writeBytes(iniPath(dir), cp1251(QStringLiteral("[Модуль QVXM]\nАЦП. Индекс источника тока=5\n")));
    QCOMPARE(loadModuleSettings(IniFile(iniPath(dir)), fewer).currentIndex, -1);
}

void TestStoredSettings::saveWritesLocationOnlyWhenSelected_data()
{
    QTest::addColumn<std::optional<QString>>("crate");
    QTest::addColumn<std::optional<int>>("slot");
    QTest::addColumn<QString>("storedSerial");
    QTest::addColumn<int>("storedSlot");
    QTest::newRow("no crate") << std::optional<QString>() << std::optional<int>() << "A123" << 5;
    QTest::newRow("no crate, stray slot") << std::optional<QString>() << std::optional<int>(9) << "A123" << 5;
    QTest::newRow("crate only") << std::optional<QString>(QStringLiteral("B77")) << std::optional<int>() << "B77" << 5;
    QTest::newRow("crate and module") << std::optional<QString>(QStringLiteral("B77")) << std::optional<int>(12)
                                      << "B77" << 12;
}

void TestStoredSettings::saveWritesLocationOnlyWhenSelected()
{
    QFETCH(std::optional<QString>, crate);
    QFETCH(std::optional<int>, slot);
    QFETCH(QString, storedSerial);
    QFETCH(int, storedSlot);

    QTemporaryDir dir;
    const QString path = iniPath(dir);
    writeBytes(path, cp1251(QStringLiteral("[Приложение. Обнаружение]\nСерийный номер QVX крейта=A123\nСлот модуля=5\n")));
    IniFile ini(path);
    ApplicationSettingsToSave app;
    app.autoSave = true;
    app.windowTop = 15;
    app.windowLeft = -20;
    app.crateSerial = crate;
    app.moduleSlot = slot;
    saveApplicationSettings(ini, app);
    ini.flush();

    const IniFile reread(path);
    QCOMPARE(loadModuleLocation(reread).crateSerial, storedSerial);
    QCOMPARE(loadModuleLocation(reread).slot, storedSlot);
    QCOMPARE(loadAutoSave(reread), true);
    QCOMPARE(loadWindowPosition(reread).top, 15);
    QCOMPARE(loadWindowPosition(reread).left, -20);
}

// A save writes the channel set-up and leaves the keys it does not own as the file had them.
void TestStoredSettings::savedModuleSettingsLoadBack()
{
    QTemporaryDir dir;
    const QString path = iniPath(dir);
    writeBytes(path, cp1251(QStringLiteral("[Модуль QVXM]\n"
                                           "АЦП. Метод расчёта=sum\n"
                                           "АЦП. Тип амплитуды=amp\n"
                                           "АЦП. Mаксимальное время сбора данных, с=2.5\n"
                                           "АЦП. Входной диапазон 35.00 В. DC precision=7\n")));
    ModuleSettingsToSave save;
    save.singleChannelRateIndex = 7;
    save.multiChannelRateIndex = 3;
    save.currentIndex = 5;
    save.allChannels = false;
    save.commonRangeIndex = -1;
    save.commonMethodIndex = -1;
    for (int c = 0; c < 16; ++c)
        save.channels[c] = {c % 3 != 0, c % 2, (c / 2) % 2};
    {
        IniFile ini(path);
        saveModuleSettings(ini, save);
        ini.flush();
    }

    const ModuleSettings m = loadModuleSettings(IniFile(path));
    QCOMPARE(m.singleChannelRateIndex, 7);
    QCOMPARE(m.multiChannelRateIndex, 3);
    QCOMPARE(m.currentIndex, 5);
    QCOMPARE(m.allChannelsKey, false);
    for (int c = 0; c < 16; ++c) {
        QCOMPARE(m.channels[c].enabled, save.channels[c].enabled);
        QCOMPARE(m.channels[c].rangeIndex, save.channels[c].rangeIndex);
        QCOMPARE(m.channels[c].methodIndex, save.channels[c].methodIndex);
    }
    QCOMPARE(m.calcMethod, QStringLiteral("sum"));
    QCOMPARE(m.amplitudeType, QStringLiteral("amp"));
    QCOMPARE(m.maxAcqTime, 2.5);
    QCOMPARE(m.precision[0][0], quint16(7));
}

QTEST_GUILESS_MAIN(TestStoredSettings)
#include "tst_storedsettings.moc"
