// The module model behind the rate and current entry: the program's value tables must be
// realisable, and typed values must snap to the nearest realisable value.

#include "Scenario.h"
#include "qvxmapi.h"
#include "qvxmodel.h"

#include <QtTest>

#include <bit>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

// The program's combo-box tables.
const double kSingleChannelRates[] = {2000, 5000, 10000, 15625, 20833.3333333, 31250, 41666.6666667, 50000};
const double kMultiChannelRates[] = {2000, 5000, 10000, std::bit_cast<double>(0x40CD4BFFFFFFFFFFull), 20000};
const double kSupplyCurrents[] = {5, 7, 10, 14, 21, 25};

double multiRate(const TQVXMFilterParams &f, double extraUs)
{
    return 1.0 / (1.0 / f.Rate + extraUs * 1e-6);
}

TQVXM recordWithArea(const qvx::model::CoefficientArea &area)
{
    TQVXM m;
    QVXM_Init(&m);
    std::memcpy(m.CoefficientArea, area.data(), area.size());
    return m;
}

} // namespace

class TestQvxModel : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void singleChannelRatesAreRealisable_data()
    {
        QTest::addColumn<double>("hz");
        for (double hz : kSingleChannelRates)
            QTest::addRow("%.4f Hz", hz) << hz;
    }
    void singleChannelRatesAreRealisable()
    {
        QFETCH(double, hz);
        TQVXMFilterParams f{};
        double extra = -1.0;
        QCOMPARE(QVXM_FindFilterParams(1, hz, 10.0, &f, &extra), QVX_OK);
        QVERIFY2(std::fabs(f.Rate - hz) <= 10.0, qPrintable(QString::number(f.Rate, 'f', 4)));
        QCOMPARE(extra, 0.0);

        // The set-up path reaches the same rate through the record.
        TQVXM m;
        QVXM_Init(&m);
        m.SingleChannelMode = 1;
        TQVXMFilterParams filled{};
        QCOMPARE(QVXM_FillFilterParams(&m, hz, &filled, 0), QVX_OK);
        QCOMPARE(filled.Rate, f.Rate);
    }

    void multiChannelRatesAreRealisable_data()
    {
        QTest::addColumn<double>("hz");
        for (double hz : kMultiChannelRates)
            QTest::addRow("%.10f Hz", hz) << hz;
    }
    void multiChannelRatesAreRealisable()
    {
        QFETCH(double, hz);
        TQVXMFilterParams f{};
        double extra = 0.0;
        QCOMPARE(QVXM_FindFilterParams(0, hz, 10.0, &f, &extra), QVX_OK);
        const double entry = multiRate(f, extra);
        QVERIFY2(std::fabs(entry - hz) <= 10.0, qPrintable(QString::number(entry, 'f', 4)));

        TQVXM m;
        QVXM_Init(&m);
        m.MultiChannelParam = 10.0;
        double achieved = 0.0;
        QCOMPARE(QVXM_FillSyncFreqDiv(&m, hz, &achieved), QVX_OK);
        QVERIFY(std::fabs(achieved - hz) <= 10.0);
        // What the entry box shows is what the set-up achieves.
        QVERIFY(std::fabs(achieved - entry) < 1e-6);
        TQVXMFilterParams filled{};
        QCOMPARE(QVXM_FillFilterParams(&m, hz, &filled, 0), QVX_OK);
        QCOMPARE(filled.Rate, f.Rate);
    }

    void supplyCurrentsAreRealisable_data()
    {
        QTest::addColumn<double>("mA");
        QTest::addColumn<int>("seed");
        // Every calibration the demo ships, and a spread of others.
        for (const auto &c : qvxsim::Scenario::builtIn().crates)
            for (const auto &m : c.modules)
                if (m.isQvxm())
                    for (double mA : kSupplyCurrents)
                        QTest::addRow("%s %.0f mA", m.serial.c_str(), mA) << mA << int(m.seed);
        for (int seed = 0; seed < 50; ++seed)
            QTest::addRow("seed %d 25 mA", seed) << 25.0 << seed;
    }
    void supplyCurrentsAreRealisable()
    {
        QFETCH(double, mA);
        QFETCH(int, seed);
        const auto area = qvx::model::defaultCoefficientArea(static_cast<uint32_t>(seed));
        TQVXM m = recordWithArea(area);
        TQVXMCoefPair pair{};
        QCOMPARE(QVXM_GetCoefPair(&m, QVXM_ISRC_PAIR, &pair), QVX_OK);
        double found = 0.0;
        QCOMPARE(QVXM_FindISrcCode(&pair, mA, nullptr, &found), QVX_OK);
        QVERIFY2(std::fabs(found - mA) <= 0.01, qPrintable(QString::number(found, 'f', 5)));
        double filled = 0.0;
        QCOMPARE(QVXM_FillISrcCode(&m, mA, &filled), QVX_OK);
        QCOMPARE(filled, found);
    }

    // A typed value lands on the realisable value nearest to it, limits included.
    void typedValuesSnapToNearest_data()
    {
        QTest::addColumn<int>("single");
        QTest::addColumn<double>("hz");
        QTest::addColumn<double>("expected");
        QTest::newRow("single 12000") << 1 << 12000.0 << 12000.0;
        QTest::newRow("single 12345") << 1 << 12345.0 << 24e6 / 1944;
        QTest::newRow("single above limit") << 1 << 1e9 << 50000.0;
        QTest::newRow("single below limit") << 1 << 0.5 << 10.0;
        QTest::newRow("multi 12345") << 0 << 12345.0 << 24e6 / 1944;
        QTest::newRow("multi 19999") << 0 << 19999.0 << 20000.0;
        QTest::newRow("multi above limit") << 0 << 50000.0 << 20000.0;
        QTest::newRow("multi 3 Hz") << 0 << 3.0 << 24e6 / (2'400'000 + 240);
    }
    void typedValuesSnapToNearest()
    {
        QFETCH(int, single);
        QFETCH(double, hz);
        QFETCH(double, expected);
        TQVXMFilterParams f{};
        double extra = 0.0;
        QCOMPARE(QVXM_FindFilterParams(single, hz, 10.0, &f, &extra), QVX_OK);
        const double got = single ? f.Rate : multiRate(f, extra);
        QVERIFY2(std::fabs(got - expected) < 1e-6 * expected, qPrintable(QString::number(got, 'f', 6)));
    }

    void currentSnapsToNearestCode()
    {
        const TQVXMCoefPair pair{0.0125, 0.0078125};
        double got = 0.0;
        uint16_t code = 0;
        QCOMPARE(QVXM_FindISrcCode(&pair, 7.0, &code, &got), QVX_OK);
        QCOMPARE(code, uint16_t(894)); // 0.0125 + 894 * 0.0078125 = 6.996875
        QCOMPARE(got, 6.996875);
        QCOMPARE(QVXM_FindISrcCode(&pair, 100.0, &code, &got), QVX_OK);
        QCOMPARE(code, uint16_t(4095));
        QCOMPARE(QVXM_FindISrcCode(&pair, -3.0, &code, &got), QVX_OK);
        QCOMPARE(got, 0.0125);
    }

    void invalidRequestsAreRejected_data()
    {
        QTest::addColumn<int>("single");
        QTest::addColumn<double>("hz");
        QTest::addColumn<double>("settleUs");
        const double nan = std::numeric_limits<double>::quiet_NaN();
        const double inf = std::numeric_limits<double>::infinity();
        QTest::newRow("zero") << 1 << 0.0 << 10.0;
        QTest::newRow("negative") << 0 << -2000.0 << 10.0;
        QTest::newRow("nan") << 1 << nan << 10.0;
        QTest::newRow("infinite") << 0 << inf << 10.0;
        QTest::newRow("settle negative") << 0 << 2000.0 << -1.0;
        QTest::newRow("settle too long") << 0 << 2000.0 << 1000.0;
    }
    void invalidRequestsAreRejected()
    {
        QFETCH(int, single);
        QFETCH(double, hz);
        QFETCH(double, settleUs);
        TQVXMFilterParams f{};
        double extra = 0.0;
        QCOMPARE(QVXM_FindFilterParams(single, hz, settleUs, &f, &extra), QVX_ERR_ARGUMENT);
    }

    void invalidCurrentRequestsAreRejected()
    {
        double got = 0.0;
        const TQVXMCoefPair good{0.0125, 0.0078125};
        const TQVXMCoefPair flat{0.0125, 0.0};
        QCOMPARE(QVXM_FindISrcCode(&good, std::numeric_limits<double>::quiet_NaN(), nullptr, &got),
                 QVX_ERR_ARGUMENT);
        QCOMPARE(QVXM_FindISrcCode(&flat, 7.0, nullptr, &got), QVX_ERR_ARGUMENT);
        QCOMPARE(QVXM_FindISrcCode(nullptr, 7.0, nullptr, &got), QVX_ERR_ARGUMENT);
        QCOMPARE(QVXM_FindISrcCode(&good, 7.0, nullptr, nullptr), QVX_ERR_ARGUMENT);
    }

    // Codes survive the trip through the raw words, sign and all.
    void rawWordsRoundTrip_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("channel");
        QTest::newRow("zero") << 0 << 0;
        QTest::newRow("minus one") << -1 << 15;
        QTest::newRow("max") << qvx::model::kCodeMax << 7;
        QTest::newRow("min") << qvx::model::kCodeMin << 9;
        QTest::newRow("mixed bits") << 0x123456 << 3;
    }
    void rawWordsRoundTrip()
    {
        QFETCH(int, code);
        QFETCH(int, channel);
        uint32_t w[2];
        qvx::model::packValue(code, static_cast<uint8_t>(channel), 1, w);
        int32_t back = 0;
        uint8_t flags = 0;
        QVERIFY(qvx::model::unpackValue(w, static_cast<uint8_t>(channel), back, flags));
        QCOMPARE(back, code);
        QCOMPARE(flags, uint8_t(1));
        QVERIFY(!qvx::model::unpackValue(w, static_cast<uint8_t>((channel + 1) % 16), back, flags));
        const uint32_t swapped[2] = {w[1], w[0]};
        QVERIFY(!qvx::model::unpackValue(swapped, static_cast<uint8_t>(channel), back, flags));
    }
};

QTEST_GUILESS_MAIN(TestQvxModel)
#include "tst_qvxmodel.moc"
