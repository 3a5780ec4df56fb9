#include "IniFile.h"
#include "IniTestSupport.h"
#include "SettingsKeys.h"
#include "StoredSettings.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <array>
#include <clocale>
#include <cstdio>
#include <cmath>
#include <csignal>
#include <limits>
#include <sys/resource.h>

namespace {

const QString Section = QStringLiteral("Раздел");
const QString Key = QStringLiteral("Ключ");

QString iniPath(const QTemporaryDir &dir)
{
    return dir.filePath(QStringLiteral("Qvxm_Metr.ini"));
}

// The mode bits only: Qt's "user" bits answer for the current user, who may be the superuser.
QFileDevice::Permissions modeBits(const QString &path)
{
    return QFile::permissions(path) &
           ~(QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ExeUser);
}

} // namespace

class TestIniFile : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void typedReads_data();
    void typedReads();
    void writesReadBack_data();
    void writesReadBack();
    void cp1251FileKeepsEverythingItDoesNotWrite();
    void utf8FileStaysUtf8_data();
    void utf8FileStaysUtf8();
    void plainAsciiFileTakesCp1251();
    void corruptFileLoadsWithFallbacks_data();
    void corruptFileLoadsWithFallbacks();
    void batchedWritesEqualKeyByKeyWrites();
    void unsafeWritesAreRefused();
    void unchangedFileIsNotRewritten();
    void readOnlyFileIsNeverReplaced();
    void failedWriteKeepsPreviousFile();
    void missingDirectoryIsReported();
    void unreadableFileIsReported();
    void permissionsSurviveAWrite();
    void decimalPointWhateverTheLocale();
};

// Each stored text read as integer, boolean and decimal; nullopt columns expect the fallback.
void TestIniFile::typedReads_data()
{
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<bool>("isInteger");
    QTest::addColumn<int>("integer");
    QTest::addColumn<bool>("isDecimal");
    QTest::addColumn<double>("decimal");

    QTest::newRow("zero") << QByteArray("0") << true << 0 << true << 0.0;
    QTest::newRow("negative") << QByteArray("-1") << true << -1 << true << -1.0;
    QTest::newRow("blanks around") << QByteArray(" \t 42  ") << true << 42 << true << 42.0;
    QTest::newRow("plus sign") << QByteArray("+3") << true << 3 << true << 3.0;
    QTest::newRow("hex") << QByteArray("0x1F") << true << 31 << false << 0.0;
    QTest::newRow("hex upper") << QByteArray("0XfF") << true << 255 << false << 0.0;
    QTest::newRow("hex all ones") << QByteArray("0xFFFFFFFF") << true << -1 << false << 0.0;
    QTest::newRow("hex too wide") << QByteArray("0x1FFFFFFFF") << false << 0 << false << 0.0;
    QTest::newRow("hex empty") << QByteArray("0x") << false << 0 << false << 0.0;
    QTest::newRow("int max") << QByteArray("2147483647") << true << 2147483647 << true << 2147483647.0;
    QTest::newRow("int overflow") << QByteArray("2147483648") << false << 0 << true << 2147483648.0;
    QTest::newRow("int min") << QByteArray("-2147483648") << true << std::numeric_limits<int>::min() << true
                             << -2147483648.0;
    QTest::newRow("trailing junk") << QByteArray("12abc") << false << 0 << false << 0.0;
    QTest::newRow("inner blank") << QByteArray("1 000") << false << 0 << false << 0.0;
    QTest::newRow("empty") << QByteArray("") << false << 0 << false << 0.0;
    QTest::newRow("word") << QByteArray("abc") << false << 0 << false << 0.0;
    QTest::newRow("two signs") << QByteArray("+-5") << false << 0 << false << 0.0;
    QTest::newRow("decimal point") << QByteArray("0.75") << false << 0 << true << 0.75;
    QTest::newRow("decimal comma") << QByteArray("0,75") << false << 0 << false << 0.0;
    QTest::newRow("leading point") << QByteArray(".5") << false << 0 << true << 0.5;
    QTest::newRow("exponent") << QByteArray("1e-3") << false << 0 << true << 0.001;
    QTest::newRow("infinity") << QByteArray("inf") << false << 0 << false << 0.0;
    QTest::newRow("not a number") << QByteArray("nan") << false << 0 << false << 0.0;
    QTest::newRow("out of range") << QByteArray("1e999") << false << 0 << false << 0.0;
    QTest::newRow("Cyrillic letters") << cp1251(QStringLiteral("пять")) << false << 0 << false << 0.0;
    QTest::newRow("undefined byte") << QByteArray("1\x98") << false << 0 << false << 0.0;
}

void TestIniFile::typedReads()
{
    QFETCH(QByteArray, stored);
    QFETCH(bool, isInteger);
    QFETCH(int, integer);
    QFETCH(bool, isDecimal);
    QFETCH(double, decimal);

    QTemporaryDir dir;
    writeBytes(iniPath(dir), cp1251(QStringLiteral("[Раздел]\nКлюч=")) + stored + "\r\n");
    const IniFile ini(iniPath(dir));

    QCOMPARE(ini.readInteger(Section, Key, 1234), isInteger ? integer : 1234);
    QCOMPARE(ini.readBool(Section, Key, true), isInteger ? integer != 0 : true);
    QCOMPARE(ini.readBool(Section, Key, false), isInteger ? integer != 0 : false);
    QCOMPARE(ini.readDouble(Section, Key, -7.5), isDecimal ? decimal : -7.5);
    QCOMPARE(ini.readInteger(Section, QStringLiteral("Другой ключ"), 99), 99);
    QCOMPARE(ini.readInteger(QStringLiteral("Другой раздел"), Key, 98), 98);
}

// A write lands as exactly this line and reads back as the same value from a fresh reader.
void TestIniFile::writesReadBack_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QByteArray>("line");

    QTest::newRow("integer") << "int" << QVariant(-1) << QByteArray("=-1");
    QTest::newRow("integer min") << "int" << QVariant(std::numeric_limits<int>::min()) << QByteArray("=-2147483648");
    QTest::newRow("true") << "bool" << QVariant(true) << QByteArray("=1");
    QTest::newRow("false") << "bool" << QVariant(false) << QByteArray("=0");
    QTest::newRow("three quarters") << "double" << QVariant(0.75) << QByteArray("=0.75");
    QTest::newRow("whole") << "double" << QVariant(1.0) << QByteArray("=1");
    QTest::newRow("tenth sum") << "double" << QVariant(0.1 + 0.2) << QByteArray("=0.30000000000000004");
    QTest::newRow("small") << "double" << QVariant(1e-5) << QByteArray("=1e-05");
    QTest::newRow("large") << "double" << QVariant(1.7976931348623157e308) << QByteArray("=1.7976931348623157e+308");
    QTest::newRow("negative") << "double" << QVariant(-20833.3333333) << QByteArray("=-20833.3333333");
    QTest::newRow("empty text") << "string" << QVariant(QString()) << QByteArray("=");
    QTest::newRow("Cyrillic text") << "string" << QVariant(QStringLiteral("Ёжик в  тумане"))
                                   << cp1251(QStringLiteral("=Ёжик в  тумане"));
    QTest::newRow("equals inside") << "string" << QVariant(QStringLiteral("a=b;c")) << QByteArray("=a=b;c");
}

void TestIniFile::writesReadBack()
{
    QFETCH(QString, type);
    QFETCH(QVariant, value);
    QFETCH(QByteArray, line);

    QTemporaryDir dir;
    {
        IniFile ini(iniPath(dir));
        if (type == QLatin1String("int"))
            ini.writeInteger(Section, Key, value.toInt());
        else if (type == QLatin1String("bool"))
            ini.writeBool(Section, Key, value.toBool());
        else if (type == QLatin1String("double"))
            ini.writeDouble(Section, Key, value.toDouble());
        else
            ini.writeString(Section, Key, value.toString());
        ini.flush();
    }
    QCOMPARE(readBytes(iniPath(dir)), cp1251(QStringLiteral("[Раздел]\nКлюч")) + line + "\r\n");

    const IniFile ini(iniPath(dir));
    if (type == QLatin1String("int"))
        QCOMPARE(ini.readInteger(Section, Key, 7), value.toInt());
    else if (type == QLatin1String("bool"))
        QCOMPARE(ini.readBool(Section, Key, !value.toBool()), value.toBool());
    else if (type == QLatin1String("double"))
        QCOMPARE(ini.readDouble(Section, Key, 7.0), value.toDouble());
    else
        QCOMPARE(ini.readString(Section, Key, QStringLiteral("x")), value.toString());
}

// A hand-edited file of the older Windows version: code page 1251, CRLF, names in other cases,
// a near-miss key, unknown keys, comments, junk and no line break at the end.
void TestIniFile::cp1251FileKeepsEverythingItDoesNotWrite()
{
    QTemporaryDir dir;
    const QString path = iniPath(dir);
    const QString original = QStringLiteral(
        "; Настройки QVXM_metr, правлено вручную\n"
        "[ПРИЛОЖЕНИЕ. общие]\n"
        "Сохранение настроек = 1\n"
        "Top основной панели=999\n"
        "top    ОСНОВНОЙ ПАНЕЛИ=120\n"
        "Left   основной панели=  80  \n"
        "Неизвестный ключ=что-то\n"
        "; комментарий в разделе\n"
        "\n"
        "[Приложение. Обнаружение]\n"
        "Серийный номер QVX крейта=A123\n"
        "Слот модуля=3\n"
        "строка без знака равенства\n"
        "[модуль qvxm]\n"
        "АЦП. Метод расчёта=sum\n"
        "АЦП. Индекс источника тока=2\n"
        "Чужой ключ=1");
    writeBytes(path, cp1251(original));

    {
        const IniFile ini(path);
        QCOMPARE(ini.encoding(), IniFile::Encoding::Cp1251);
        QCOMPARE(loadAutoSave(ini), true);
        QCOMPARE(loadWindowPosition(ini).top, 120);
        QCOMPARE(loadWindowPosition(ini).left, 80);
        QCOMPARE(loadModuleLocation(ini).crateSerial, QStringLiteral("A123"));
        QCOMPARE(loadModuleLocation(ini).slot, 3);
        const ModuleSettings module = loadModuleSettings(ini);
        QCOMPARE(module.calcMethod, QStringLiteral("sum"));
        QCOMPARE(module.currentIndex, 2);
        QCOMPARE(module.amplitudeType, QStringLiteral("rms"));
        QCOMPARE(module.maxAcqTime, 1.0);
    }

    IniFile ini(path);
    ApplicationSettingsToSave app;
    app.autoSave = false;
    app.windowTop = 200;
    app.windowLeft = 80;
    saveApplicationSettings(ini, app);
    ModuleSettingsToSave module;
    module.singleChannelRateIndex = 7;
    module.multiChannelRateIndex = 0;
    module.currentIndex = 5;
    module.allChannels = true;
    module.commonRangeIndex = 0;
    module.commonMethodIndex = -1;
    for (int c = 0; c < SettingsKeys::ChannelCount; ++c)
        module.channels[c] = {true, 0, c % 2};
    saveModuleSettings(ini, module);
    ini.flush();

    QString expected = QStringLiteral(
        "; Настройки QVXM_metr, правлено вручную\n"
        "[ПРИЛОЖЕНИЕ. общие]\n"
        "Сохранение настроек = 0\n"
        "Top основной панели=999\n"
        "top    ОСНОВНОЙ ПАНЕЛИ=200\n"
        "Left   основной панели=  80  \n"
        "Неизвестный ключ=что-то\n"
        "; комментарий в разделе\n"
        "\n"
        "[Приложение. Обнаружение]\n"
        "Серийный номер QVX крейта=A123\n"
        "Слот модуля=3\n"
        "строка без знака равенства\n"
        "[модуль qvxm]\n"
        "АЦП. Метод расчёта=sum\n"
        "АЦП. Индекс источника тока=5\n"
        "Чужой ключ=1\n"
        "АЦП. Индекс частоты работы АЦП в одноканальном режиме=7\n"
        "АЦП. Индекс частоты работы АЦП в многоканальном режиме=0\n"
        "АЦП. Групповое управление каналами=1\n");
    for (int n = 1; n <= 16; ++n)
        expected += QStringLiteral("АЦП. Управление каналом %1=1\n").arg(n);
    expected += QStringLiteral("АЦП. Групповое управление входным диапазоном каналов=0\n");
    for (int n = 1; n <= 16; ++n)
        expected += QStringLiteral("АЦП. Управление входным диапазоном канала %1=0\n").arg(n);
    expected += QStringLiteral("АЦП. Групповое управление методом вычисления параметров=-1\n");
    for (int n = 1; n <= 16; ++n)
        expected += QStringLiteral("АЦП. Управление методом вычисления параметров для канала %1=%2\n").arg(n).arg((n - 1) % 2);
    QCOMPARE(readBytes(path), cp1251(expected));
}

void TestIniFile::utf8FileStaysUtf8_data()
{
    QTest::addColumn<QByteArray>("prefix");
    QTest::newRow("no byte-order mark") << QByteArray();
    QTest::newRow("byte-order mark") << QByteArray("\xEF\xBB\xBF");
}

// Edited on a Linux desktop: UTF-8 with LF; a write adds UTF-8 and keeps LF.
void TestIniFile::utf8FileStaysUtf8()
{
    QFETCH(QByteArray, prefix);
    QTemporaryDir dir;
    const QString path = iniPath(dir);
    const QByteArray original = prefix + QStringLiteral("[Приложение. Обнаружение]\n"
                                                        "Серийный номер QVX крейта=Ёлка-7\n"
                                                        "Заметка=日本\n")
                                             .toUtf8();
    writeBytes(path, original);

    IniFile ini(path);
    QCOMPARE(ini.encoding(), IniFile::Encoding::Utf8);
    QCOMPARE(loadModuleLocation(ini).crateSerial, QStringLiteral("Ёлка-7"));
    ini.writeInteger(SettingsKeys::DiscoverySection, SettingsKeys::ModuleSlot, 12);
    ini.writeString(SettingsKeys::GeneralSection, QStringLiteral("Примечание"), QStringLiteral("текст 日本"));
    ini.flush();

    QCOMPARE(readBytes(path), original + QStringLiteral("Слот модуля=12\n"
                                                        "\n"
                                                        "[Приложение. Общие]\n"
                                                        "Примечание=текст 日本\n")
                                             .toUtf8());
}

void TestIniFile::plainAsciiFileTakesCp1251()
{
    QTemporaryDir dir;
    const QString path = iniPath(dir);
    writeBytes(path, "[Other]\nkey=1\n");
    IniFile ini(path);
    QCOMPARE(ini.encoding(), IniFile::Encoding::Cp1251);
    ini.writeString(QStringLiteral("Other"), QStringLiteral("Ключ"), QStringLiteral("Значение"));
    ini.flush();
    QCOMPARE(readBytes(path), QByteArray("[Other]\nkey=1\n") + cp1251(QStringLiteral("Ключ=Значение\n"), "\n"));
}

// Whatever the file holds, reading gives values or fallbacks and a save only adds to it.
void TestIniFile::corruptFileLoadsWithFallbacks_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("currentIndex");

    QRandomGenerator random(20240611);
    QByteArray garbage(256 * 1024, Qt::Uninitialized);
    for (char &c : garbage)
        c = static_cast<char>(random.bounded(256));
    QTest::newRow("binary garbage") << garbage << 1;

    const QByteArray section = cp1251(QStringLiteral("[Модуль QVXM]\nАЦП. Индекс источника тока=3\n"));
    QTest::newRow("huge line without equals") << QByteArray(8 * 1024 * 1024, 'x') + "\r\n" + section << 3;
    QTest::newRow("huge value") << cp1251(QStringLiteral("[Модуль QVXM]\nАЦП. Метод расчёта=")) +
                                       QByteArray(4 * 1024 * 1024, '7') + "\r\n" +
                                       cp1251(QStringLiteral("АЦП. Индекс источника тока=3"))
                                << 3;
    QTest::newRow("missing bracket") << cp1251(QStringLiteral("[Модуль QVXM\nАЦП. Индекс источника тока=3\n")) << 1;
    QTest::newRow("section after missing bracket")
        << cp1251(QStringLiteral("[Модуль QVXM\nАЦП. Индекс источника тока=3\n[Модуль QVXM]\nАЦП. Индекс источника тока=0"))
        << 0;
    QTest::newRow("undefined byte in names")
        << cp1251(QStringLiteral("[Модуль QVXM]\n")) + "\x98\xC0=1\r\n" +
               cp1251(QStringLiteral("АЦП. Индекс источника тока=2\n"))
        << 2;
    QTest::newRow("bare carriage returns")
        << cp1251(QStringLiteral("[Модуль QVXM]\rАЦП. Индекс источника тока=4\r\r"), "\r") << 4;
    QTest::newRow("nul bytes") << QByteArray("\0\0[\0]\0=\0\n", 9) + section << 3;
    QTest::newRow("only line breaks") << QByteArray("\r\n\n\r\r\n") << 1;
    QTest::newRow("byte-order mark only") << QByteArray("\xEF\xBB\xBF") << 1;
    QTest::newRow("empty file") << QByteArray() << 1;
}

void TestIniFile::corruptFileLoadsWithFallbacks()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, currentIndex);

    QTemporaryDir dir;
    const QString path = iniPath(dir);
    writeBytes(path, bytes);

    IniFile ini(path);
    const ModuleSettings loaded = loadModuleSettings(ini);
    QCOMPARE(loaded.currentIndex, currentIndex);
    QCOMPARE(loaded.singleChannelRateIndex, 4);
    QCOMPARE(loaded.amplitudeType, QStringLiteral("rms"));
    QCOMPARE(loadWindowPosition(ini).top, -1);

    ModuleSettingsToSave save;
    save.currentIndex = 2;
    save.channels[15].enabled = false;
    saveModuleSettings(ini, save);
    writeDefaultApplicationSettings(ini);
    ini.flush();

    const IniFile reread(path);
    QCOMPARE(loadModuleSettings(reread).currentIndex, 2);
    QCOMPARE(loadModuleSettings(reread).channels[15].enabled, false);
    QCOMPARE(loadWindowPosition(reread).left, -1);
    // Nothing of the old bytes is lost: every line of the old file is still there, in order.
    const QByteArray after = readBytes(path);
    qsizetype from = 0;
    for (const QByteArray &oldLine : bytes.split('\n')) {
        const QByteArray text = oldLine.endsWith('\r') ? oldLine.chopped(1) : oldLine;
        if (text.contains(cp1251(QStringLiteral("АЦП. Индекс источника тока"))))
            continue;
        const qsizetype at = after.indexOf(text, from);
        QVERIFY2(at >= 0, "a line of the old file went missing");
        from = at + text.size();
    }
}

// One reader with many writes and one flush gives the file that reopening, writing one key and
// flushing each time gives.
void TestIniFile::batchedWritesEqualKeyByKeyWrites()
{
    struct Write {
        QString section;
        QString key;
        QString value;
    };
    const QList<Write> writes = {
        {QStringLiteral("приложение. общие"), QStringLiteral("сохранение НАСТРОЕК"), QStringLiteral("1")},
        {QStringLiteral("Приложение. Общие"), QStringLiteral("Новый ключ"), QStringLiteral("a")},
        {QStringLiteral("Новый раздел"), QStringLiteral("Первый"), QStringLiteral("1")},
        {QStringLiteral("Модуль QVXM"), QStringLiteral("АЦП. Тип амплитуды"), QStringLiteral("amp")},
        {QStringLiteral("Новый раздел"), QStringLiteral("Второй"), QStringLiteral("2")},
        {QStringLiteral("Приложение. Общие"), QStringLiteral("новый КЛЮЧ"), QStringLiteral("b")},
        {QStringLiteral("Приложение. Общие"), QStringLiteral("Сохранение настроек"), QStringLiteral("1")},
    };
    const QByteArray original = cp1251(QStringLiteral("[Приложение. Общие]\n"
                                                      "Сохранение настроек=0\n"
                                                      "; хвост раздела\n"
                                                      "\n"
                                                      "[Модуль QVXM]\n"
                                                      "АЦП. Тип амплитуды=rms"));
    QTemporaryDir dir;
    const QString batched = dir.filePath(QStringLiteral("batched.ini"));
    const QString keyByKey = dir.filePath(QStringLiteral("keybykey.ini"));
    writeBytes(batched, original);
    writeBytes(keyByKey, original);

    IniFile ini(batched);
    for (const Write &w : writes)
        ini.writeString(w.section, w.key, w.value);
    ini.flush();
    for (const Write &w : writes) {
        IniFile single(keyByKey);
        single.writeString(w.section, w.key, w.value);
        single.flush();
    }
    QCOMPARE(readBytes(batched), readBytes(keyByKey));
    QCOMPARE(readBytes(batched), cp1251(QStringLiteral("[Приложение. Общие]\n"
                                                       "Сохранение настроек=1\n"
                                                       "Новый ключ=b\n"
                                                       "; хвост раздела\n"
                                                       "\n"
                                                       "[Модуль QVXM]\n"
                                                       "АЦП. Тип амплитуды=amp\n"
                                                       "\n"
                                                       "[Новый раздел]\n"
                                                       "Первый=1\n"
                                                       "Второй=2\n")));
}

// Text that would break the layout or cannot be stored never reaches the file.
void TestIniFile::unsafeWritesAreRefused()
{
    QTemporaryDir dir;
    const QString path = iniPath(dir);
    const QByteArray original = cp1251(QStringLiteral("[Раздел]\nКлюч=1\n"));
    writeBytes(path, original);

    IniFile ini(path);
    QVERIFY_THROWS_EXCEPTION(IniError, ini.writeString(Section, Key, QStringLiteral("1\r\n[Чужой]\nx=1")));
    QVERIFY_THROWS_EXCEPTION(IniError, ini.writeString(Section, Key, QStringLiteral("日本")));
    QVERIFY_THROWS_EXCEPTION(IniError, ini.writeDouble(Section, Key, std::nan("")));
    QVERIFY_THROWS_EXCEPTION(IniError, ini.writeDouble(Section, Key, HUGE_VAL));
    QVERIFY_THROWS_EXCEPTION(IniError, ini.writeInteger(Section, QStringLiteral("a=b"), 1));
    QVERIFY_THROWS_EXCEPTION(IniError, ini.writeInteger(Section, QStringLiteral(" Ключ"), 1));
    QVERIFY_THROWS_EXCEPTION(IniError, ini.writeInteger(QStringLiteral("a]b"), Key, 1));
    QVERIFY_THROWS_EXCEPTION(IniError, ini.writeInteger(QString(), Key, 1));
    try {
        ini.writeString(Section, Key, QStringLiteral("€日"));
        QFAIL("no error");
    } catch (const IniError &e) {
        QVERIFY2(e.message().contains(path), qPrintable(e.message()));
    }
    QVERIFY(!ini.isModified());
    ini.flush();
    QCOMPARE(readBytes(path), original);
}

void TestIniFile::unchangedFileIsNotRewritten()
{
    QTemporaryDir dir;
    const QString path = iniPath(dir);
    writeBytes(path, cp1251(QStringLiteral("[Раздел]\nКлюч = 5  \n")));
    QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::ReadGroup));

    IniFile ini(path);
    ini.writeInteger(Section, QStringLiteral("КЛЮЧ"), 5);
    QVERIFY(!ini.isModified());
    ini.flush(); // a read-only file that needs no change is not an error
    QCOMPARE(readBytes(path), cp1251(QStringLiteral("[Раздел]\nКлюч = 5  \n")));
}

void TestIniFile::readOnlyFileIsNeverReplaced()
{
    QTemporaryDir dir;
    const QString path = iniPath(dir);
    const QByteArray original = cp1251(QStringLiteral("[Раздел]\nКлюч=1\n"));
    writeBytes(path, original);
    const QFileDevice::Permissions readOnly = QFileDevice::ReadOwner | QFileDevice::ReadGroup;
    QVERIFY(QFile::setPermissions(path, readOnly));

    IniFile ini(path);
    ini.writeInteger(Section, Key, 2);
    try {
        ini.flush();
        QFAIL("a read-only file was replaced");
    } catch (const IniError &e) {
        QVERIFY2(e.message().contains(path), qPrintable(e.message()));
    }
    QCOMPARE(readBytes(path), original);
    QCOMPARE(modeBits(path), readOnly);
}

// A disk that fills up in the middle of a save: the old file stays whole and no temporary file
// is left behind; once there is room again the same image is written.
void TestIniFile::failedWriteKeepsPreviousFile()
{
    QTemporaryDir dir;
    const QString path = iniPath(dir);
    const QByteArray original = cp1251(QStringLiteral("[Раздел]\nКлюч=1\n"));
    writeBytes(path, original);

    IniFile ini(path);
    writeDefaultApplicationSettings(ini);
    writeDefaultModuleSettings(ini);

    rlimit saved{};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 256;
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
    QString message;
    try {
        ini.flush();
    } catch (const IniError &e) {
        message = e.message();
    }
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    QVERIFY2(message.contains(path), qPrintable(message));
    QCOMPARE(readBytes(path), original);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("Qvxm_Metr.ini")});
    QVERIFY(ini.isModified());

    ini.flush();
    QVERIFY(readBytes(path).startsWith(original));
    QCOMPARE(loadModuleSettings(IniFile(path)).maxAcqTime, 0.75);
}

void TestIniFile::missingDirectoryIsReported()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("нет такого/Qvxm_Metr.ini"));
    IniFile ini(path);
    QVERIFY(!ini.existsOnDisk());
    QCOMPARE(loadModuleSettings(ini).maxAcqTime, 1.0);
    writeDefaultApplicationSettings(ini);
    try {
        ini.flush();
        QFAIL("no error");
    } catch (const IniError &e) {
        QVERIFY2(e.message().contains(path), qPrintable(e.message()));
    }
    QVERIFY(!QFileInfo::exists(path));
}

void TestIniFile::unreadableFileIsReported()
{
    QTemporaryDir dir;
    const QString directoryPath = dir.filePath(QStringLiteral("Qvxm_Metr.ini"));
    QVERIFY(QDir().mkpath(directoryPath));
    try {
        IniFile ini(directoryPath);
        QFAIL("a directory was read as a settings file");
    } catch (const IniError &e) {
        QVERIFY2(e.message().contains(directoryPath), qPrintable(e.message()));
    }

    // Larger than any settings file: refused rather than read, and so never overwritten.
    const QString hugePath = dir.filePath(QStringLiteral("huge.ini"));
    {
        QFile huge(hugePath);
        QVERIFY(huge.open(QIODevice::WriteOnly));
        QVERIFY(huge.resize(IniFile::MaximumFileSize + 1));
    }
    try {
        IniFile ini(hugePath);
        QFAIL("an oversized file was read");
    } catch (const IniError &e) {
        QVERIFY2(e.message().contains(hugePath), qPrintable(e.message()));
    }
}

void TestIniFile::permissionsSurviveAWrite()
{
    QTemporaryDir dir;
    const QString path = iniPath(dir);
    writeBytes(path, cp1251(QStringLiteral("[Раздел]\nКлюч=1\n")));
    const QFileDevice::Permissions mode = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup;
    QVERIFY(QFile::setPermissions(path, mode));
    IniFile ini(path);
    ini.writeInteger(Section, Key, 2);
    ini.flush();
    QCOMPARE(modeBits(path), mode);
    QCOMPARE(IniFile(path).readInteger(Section, Key, 0), 2);
}

// Decimal comma in Qt and in the C library; a German locale is compiled for the test when the
// system has none installed.
void TestIniFile::decimalPointWhateverTheLocale()
{
    const QLocale savedLocale;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    QTemporaryDir localeDir;
    const QByteArray savedLocPath = qgetenv("LOCPATH");
    bool commaLocale = false;
    for (const char *name : {"de_DE.UTF-8", "de_DE.utf8", "ru_RU.UTF-8", "ru_RU.utf8"}) {
        if (std::setlocale(LC_NUMERIC, name)) {
            commaLocale = true;
            break;
        }
    }
    const QString localedef = QStandardPaths::findExecutable(QStringLiteral("localedef"));
    if (!commaLocale && !localedef.isEmpty() && QFileInfo::exists(QStringLiteral("/usr/share/i18n/locales/de_DE"))) {
        const QString target = localeDir.filePath(QStringLiteral("de_DE.UTF-8"));
        QProcess::execute(localedef, {QStringLiteral("-i"), QStringLiteral("de_DE"), QStringLiteral("-f"),
                                      QStringLiteral("UTF-8"), target});
        qputenv("LOCPATH", QFile::encodeName(localeDir.path()));
        commaLocale = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
    }
    std::array<char, 16> printed{};
    std::snprintf(printed.data(), printed.size(), "%5.2f", 35.0);
    if (!commaLocale)
        qInfo("no decimal-comma C locale available; only the Qt default locale is hostile");

    QTemporaryDir dir;
    const QString path = iniPath(dir);
    {
        IniFile ini(path);
        writeDefaultModuleSettings(ini);
        ini.writeDouble(Section, Key, -1234.5);
        ini.flush();
    }
    const QByteArray bytes = readBytes(path);
    const IniFile ini(path);
    const double maxAcqTime = ini.readDouble(SettingsKeys::ModuleSection, SettingsKeys::MaxAcqTime, 1.0);
    const double other = ini.readDouble(Section, Key, 0.0);
    const QString rangeText = SettingsKeys::inputRangeText(70.0);
    const QString narrowRange = SettingsKeys::inputRangeText(5.0);
    std::setlocale(LC_NUMERIC, "C");
    if (savedLocPath.isNull())
        qunsetenv("LOCPATH");
    else
        qputenv("LOCPATH", savedLocPath);
    QLocale::setDefault(savedLocale);

    if (commaLocale)
        QCOMPARE(printed.data(), "35,00"); // the C library itself does use the comma here

    QVERIFY(bytes.contains(cp1251(QStringLiteral("АЦП. Mаксимальное время сбора данных, с=0.75\n"))));
    QVERIFY(bytes.contains(cp1251(QStringLiteral("АЦП. Входной диапазон 35.00 В. DC precision=4\n"))));
    QVERIFY(bytes.contains(cp1251(QStringLiteral("Ключ=-1234.5\n"))));
    QCOMPARE(maxAcqTime, 0.75);
    QCOMPARE(other, -1234.5);
    QCOMPARE(rangeText, QStringLiteral("70.00"));
    QCOMPARE(narrowRange, QStringLiteral(" 5.00"));
}

QTEST_GUILESS_MAIN(TestIniFile)
#include "tst_inifile.moc"
