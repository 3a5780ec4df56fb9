// Widget-free rules of the window: value tables and their item texts, geometry rules.
#include "ValueTables.h"
#include "WindowGeometry.h"

#include <QLocale>
#include <QTest>

#include <bit>
#include <cstdint>

class TestWindowLogic : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        // A decimal comma in the default locale must not reach any text of the window.
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    }

    void tableValues()
    {
        QCOMPARE(ValueTables::InputRanges[0], 35.0);
        QCOMPARE(ValueTables::InputRanges[1], 70.0);
        QCOMPARE(ValueTables::SingleChannelRates.size(), std::size_t(8));
        QCOMPARE(ValueTables::SingleChannelRates[4], 20833.3333333);
        QCOMPARE(ValueTables::SingleChannelRates[6], 41666.6666667);
        QCOMPARE(ValueTables::MultiChannelRates.size(), std::size_t(5));
        QCOMPARE(std::bit_cast<std::uint64_t>(ValueTables::MultiChannelRates[3]), std::uint64_t(0x40CD4BFFFFFFFFFF));
        QVERIFY(ValueTables::MultiChannelRates[3] < 15000.0);
        QCOMPARE(ValueTables::SupplyCurrents.size(), std::size_t(6));
        QCOMPARE(ValueTables::SupplyCurrents[1], 7.0);
    }

    void itemTexts_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("common range 35") << ValueTables::CommonRangeItemText(35) << QStringLiteral("  35 мВ");
        QTest::newRow("channel range 70") << ValueTables::ChannelRangeItemText(70) << QStringLiteral(" 70 мВ");
        QTest::newRow("rate 2000") << ValueTables::RateItemText(2000) << QStringLiteral("  2000.0000");
        QTest::newRow("rate 5000") << ValueTables::RateItemText(5000) << QStringLiteral("  5000.0000");
        QTest::newRow("rate 10000") << ValueTables::RateItemText(10000) << QStringLiteral(" 10000.0000");
        QTest::newRow("rate 20833") << ValueTables::RateItemText(ValueTables::SingleChannelRates[4])
                                    << QStringLiteral(" 20833.3333");
        QTest::newRow("rate 41666") << ValueTables::RateItemText(ValueTables::SingleChannelRates[6])
                                    << QStringLiteral(" 41666.6667");
        QTest::newRow("rate below 15000") << ValueTables::RateItemText(ValueTables::MultiChannelRates[3])
                                          << QStringLiteral(" 15000.0000");
        QTest::newRow("current 5") << ValueTables::CurrentItemText(5) << QStringLiteral("     5.00");
        QTest::newRow("current 10") << ValueTables::CurrentItemText(10) << QStringLiteral("    10.00");
        QTest::newRow("current 25") << ValueTables::CurrentItemText(25) << QStringLiteral("    25.00");
        QTest::newRow("caption 0") << ValueTables::ChannelCaption(0) << QStringLiteral("Канал 1");
        QTest::newRow("caption 15") << ValueTables::ChannelCaption(15) << QStringLiteral("Канал 16");
        QTest::newRow("frame name 9") << ValueTables::ChannelFrameName(9) << QStringLiteral("QvxmAdcChannel9Frame");
        QTest::newRow("no negative zero") << ValueTables::FormatFixed(-0.00001, 2) << QStringLiteral("0.00");
        QTest::newRow("negative") << ValueTables::FormatFixed(-5, 4) << QStringLiteral("-5.0000");
    }
    void itemTexts()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(text, expected);
    }

    void itemWidths()
    {
        for (double rate : ValueTables::SingleChannelRates)
            QCOMPARE(ValueTables::RateItemText(rate).size(), 11);
        for (double rate : ValueTables::MultiChannelRates)
            QCOMPARE(ValueTables::RateItemText(rate).size(), 11);
        for (double current : ValueTables::SupplyCurrents)
            QCOMPARE(ValueTables::CurrentItemText(current).size(), 9);
    }

    void osVersionCode_data()
    {
        using WindowGeometry::OsPlatform;
        QTest::addColumn<int>("platform");
        QTest::addColumn<int>("major");
        QTest::addColumn<int>("minor");
        QTest::addColumn<int>("code");
        QTest::newRow("win32s") << int(OsPlatform::Win32s) << 3 << 1 << 1;
        QTest::newRow("95") << int(OsPlatform::Windows9x) << 4 << 0 << 2;
        QTest::newRow("98") << int(OsPlatform::Windows9x) << 4 << 10 << 3;
        QTest::newRow("nt4") << int(OsPlatform::WindowsNT) << 4 << 0 << 4;
        QTest::newRow("2000") << int(OsPlatform::WindowsNT) << 5 << 0 << 5;
        QTest::newRow("xp") << int(OsPlatform::WindowsNT) << 5 << 1 << 6;
        QTest::newRow("2003") << int(OsPlatform::WindowsNT) << 5 << 2 << 7;
        QTest::newRow("5.3") << int(OsPlatform::WindowsNT) << 5 << 3 << 0;
        QTest::newRow("vista") << int(OsPlatform::WindowsNT) << 6 << 0 << 8;
        QTest::newRow("7") << int(OsPlatform::WindowsNT) << 6 << 1 << 9;
        QTest::newRow("8") << int(OsPlatform::WindowsNT) << 6 << 2 << 10;
        QTest::newRow("8.1") << int(OsPlatform::WindowsNT) << 6 << 3 << 10;
        QTest::newRow("10") << int(OsPlatform::WindowsNT) << 10 << 0 << 0;
        QTest::newRow("other") << int(OsPlatform::Other) << 6 << 1 << 0;
    }
    void osVersionCode()
    {
        QFETCH(int, platform);
        QFETCH(int, major);
        QFETCH(int, minor);
        QFETCH(int, code);
        QCOMPARE(WindowGeometry::OsVersionCodeFor(WindowGeometry::OsPlatform(platform), major, minor), code);
    }

    void startupHeight()
    {
        WindowGeometry::FrameMetrics metrics;
        metrics.titleBar = 23;
        metrics.frameHeight = 3;
        // Enough room: the design height without the 98-pixel instrument strip.
        QCOMPARE(WindowGeometry::StartupClientHeight(887, 98, 1000, metrics), 789);
        // A low work area cuts the whole window, title and frame included, to its height.
        QCOMPARE(WindowGeometry::StartupClientHeight(887, 98, 740, metrics), 740 - 23 - 6);
        metrics.scrollBarWidth = 17;
        QVERIFY(WindowGeometry::NeedsRoomForScrollBar(1208, 1188, metrics));
        metrics.scrollBarWidth = 5;
        QVERIFY(!WindowGeometry::NeedsRoomForScrollBar(1208, 1188, metrics));
        QCOMPARE(WindowGeometry::CentredOffset(665, 670), -2);  // toward zero, not down
        QCOMPARE(WindowGeometry::StartupWindowTop(QRect(0, 0, 1280, 1024), 812), 106);
    }

    void hintPlacement_data()
    {
        QTest::addColumn<QRect>("hint");
        QTest::addColumn<QRect>("placed");
        QTest::newRow("inside") << QRect(100, 100, 200, 40) << QRect(100, 100, 200, 40);
        QTest::newRow("past bottom") << QRect(100, 980, 200, 40) << QRect(100, 1000 - 40 - 10, 200, 40);
        QTest::newRow("past right") << QRect(1200, 100, 200, 40) << QRect(1280 - 200 - 10, 100, 200, 40);
        QTest::newRow("corner") << QRect(1250, 990, 200, 40) << QRect(1070, 950, 200, 40);
        QTest::newRow("touching edge") << QRect(1080, 960, 200, 40) << QRect(1080, 960, 200, 40);
    }
    void hintPlacement()
    {
        QFETCH(QRect, hint);
        QFETCH(QRect, placed);
        QCOMPARE(WindowGeometry::PlaceHint(hint, QRect(0, 0, 1280, 1000)), placed);
    }
};

QTEST_GUILESS_MAIN(TestWindowLogic)
#include "test_window_logic.moc"
