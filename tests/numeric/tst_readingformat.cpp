#include "ReadingFormat.h"

#include <QtTest>

#include <clocale>
#include <limits>
#include <locale>

namespace
{
// A decimal comma for everything that consults the C++ locale.
struct CommaPunct : std::numpunct<char>
{
    char do_decimal_point() const override { return ','; }
    char do_thousands_sep() const override { return ' '; }
    std::string do_grouping() const override { return "\3"; }
};
} // namespace

class TestReadingFormat : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void fixed_data();
    void fixed();
    void patterns();
    void unitsAndHint();

private:
    std::locale m_saved;
};

void TestReadingFormat::initTestCase()
{
    m_saved = std::locale::global(std::locale(std::locale::classic(), new CommaPunct));
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
}

void TestReadingFormat::cleanupTestCase()
{
    std::locale::global(m_saved);
}

void TestReadingFormat::fixed_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("decimals");
    QTest::addColumn<QString>("text");
    const double inf = std::numeric_limits<double>::infinity();
    QTest::newRow("positive") << 1250.0 << 4 << "1250.0000";
    QTest::newRow("negative") << -1250.0 << 4 << "-1250.0000";
    QTest::newRow("rounds half up in value") << 707.10678118654752 << 4 << "707.1068";
    QTest::newRow("below one") << 0.05 << 4 << "0.0500";
    QTest::newRow("no sign on a rounded zero") << -0.00004 << 4 << "0.0000";
    QTest::newRow("negative zero") << -0.0 << 2 << "0.00";
    QTest::newRow("small negative kept") << -0.00006 << 4 << "-0.0001";
    QTest::newRow("no decimals") << 12.6 << 0 << "13";
    QTest::newRow("ten decimals") << 1.0 / 3.0 << 10 << "0.3333333333";
    QTest::newRow("more than ten clamped") << 1.0 / 3.0 << 14 << "0.3333333333";
    QTest::newRow("negative precision clamped") << 2.4 << -3 << "2";
    QTest::newRow("large") << 123456789.125 << 2 << "123456789.12";
    QTest::newRow("NaN has no value") << std::numeric_limits<double>::quiet_NaN() << 4 << "--------";
    QTest::newRow("infinity has no value") << -inf << 4 << "--------";
}

void TestReadingFormat::fixed()
{
    QFETCH(double, value);
    QFETCH(int, decimals);
    QFETCH(QString, text);
    QCOMPARE(QString::fromStdString(FormatFixed(value, decimals)), text);
}

void TestReadingFormat::patterns()
{
    QCOMPARE(QString::fromStdString(FormatPattern(4)), QStringLiteral("0.0000"));
    QCOMPARE(QString::fromStdString(FormatPattern(0)), QStringLiteral("0."));
    QCOMPARE(QString::fromStdString(FormatPattern(10)), QStringLiteral("0.0000000000"));
    QCOMPARE(QString::fromStdString(FormatPattern(11)), QStringLiteral("0.0000000000"));
    QCOMPARE(QString::fromUtf8(NoValueText), QStringLiteral("--------"));
}

void TestReadingFormat::unitsAndHint()
{
    QCOMPARE(QString::fromStdString(MillivoltsText(0.70710678118654752, 4)), QStringLiteral("707.1068"));
    QCOMPARE(QString::fromStdString(KilohertzText(50.0, 4)), QStringLiteral("0.0500"));
    QCOMPARE(QString::fromStdString(KilohertzText(12345.0, 1)), QStringLiteral("12.3"));
    // With the display scale at 2.5 the hint repeats the shown value.
    QCOMPARE(QString::fromStdString(VoltageHintText(-1.25, 2.5, 4)), QString::fromUtf8("Uизм = -1250.0000 мВ"));
    QCOMPARE(QString::fromStdString(VoltageHintText(0.001, 5.0, 2)), QString::fromUtf8("Uизм = 2.00 мВ"));
}

QTEST_APPLESS_MAIN(TestReadingFormat)
#include "tst_readingformat.moc"
