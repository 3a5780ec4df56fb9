#include "DirectDft.h"
#include "RealFft.h"

#include <QtTest>

#include <atomic>
#include <cfloat>
#include <limits>
#include <thread>

namespace
{
// The window as its closed form, in long double.
long double closedForm(const double* a, int terms, std::uint32_t i, std::uint32_t n)
{
    long double w = 0.0L;
    for (int k = 0; k < terms; ++k) {
        w += static_cast<long double>(a[k])
            * std::cos(2.0L * std::numbers::pi_v<long double> * k * i / static_cast<long double>(n));
    }
    return w;
}

struct TableRow
{
    int terms;
    std::uint32_t k;
    std::uint32_t w;
    double enbw;
};

const TableRow kTable[9] = {{1, 1, 1, 1.0}, {2, 2, 15, 1.5}, {2, 3, 15, 1.36}, {3, 3, 15, 1.73},
                            {3, 3, 15, 1.70371}, {4, 4, 4, 1.97611}, {5, 5, 5, 2.21535},
                            {7, 7, 7, 2.63025}, {9, 9, 9, 2.98588}};
} // namespace

class TestRealFft : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void windowMatchesClosedForm_data();
    void windowMatchesClosedForm();
    void hannOfEight();
    void unknownTypeWritesNothing();
    void abortStopsWindowGeneration();
    void lengthChanges();
    void amplitudeSpectrumOfWindowedCosine();
    void amplitudeSpectrumOfConstant();
    void singleSample();
    void missingBuffersAreRefused();
    void peakSearch_data();
    void peakSearch();
};

void TestRealFft::windowMatchesClosedForm_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<quint32>("n");
    for (int type = 1; type <= 8; ++type) {
        for (quint32 n : {16u, 64u, 1000u, 4096u}) {
            QTest::addRow("type %d N=%u", type, n) << type << n;
        }
    }
}

// Values, descriptor and both gains of every cosine-sum window.
void TestRealFft::windowMatchesClosedForm()
{
    QFETCH(int, type);
    QFETCH(quint32, n);
    std::vector<double> w(n + 16, -7.0);
    WindowDescriptor d;
    std::fill(std::begin(d.Coefs), std::end(d.Coefs), 9.0);
    MakeWindow(type, w.data(), n, d, nullptr);

    const TableRow& row = kTable[type];
    QCOMPARE(int(d.TermCount), row.terms);
    QCOMPARE(d.MainLobeBins, row.k);
    QCOMPARE(d.PeakHalfWidth, row.w);
    QCOMPARE(d.Enbw, row.enbw);
    for (int k = row.terms; k < WindowCoefSlots; ++k) {
        QCOMPARE(d.Coefs[k], 0.0);
    }

    long double sum = 0.0L;
    long double squares = 0.0L;
    for (quint32 i = 0; i < n; ++i) {
        const long double expected = closedForm(d.Coefs, d.TermCount, i, n);
        QVERIFY2(std::fabs(w[i] - expected) <= 8 * DBL_EPSILON,
                 qPrintable(QString("i=%1 got %2 expected %3").arg(i).arg(w[i], 0, 'g', 17).arg(double(expected), 0, 'g', 17)));
        sum += w[i];
        squares += static_cast<long double>(w[i]) * w[i];
    }
    QCOMPARE(w[n], -7.0);
    QVERIFY(std::fabs(w[n / 2] - 1.0) <= 4 * DBL_EPSILON);
    // The gains equal the sums they stand for once N exceeds M - 1 and 2 (M - 1) respectively.
    QVERIFY(std::fabs(CoherentSum(d, n) - sum) <= 4 * DBL_EPSILON * n);
    if (n > 2u * (row.terms - 1)) {
        QVERIFY(std::fabs(PowerGain(d) - squares / n) <= 4 * DBL_EPSILON);
    }
}

void TestRealFft::hannOfEight()
{
    double w[8];
    WindowDescriptor d;
    MakeWindow(wtHann, w, 8, d, nullptr);
    const double expected[8] = {0.0, 0.14644660940672624, 0.5, 0.85355339059327373, 1.0,
                                0.85355339059327373, 0.5, 0.14644660940672624};
    for (int i = 0; i < 8; ++i) {
        QVERIFY(std::fabs(w[i] - expected[i]) <= 2 * DBL_EPSILON);
    }
    QCOMPARE(CoherentSum(d, 8), 4.0);
    QCOMPARE(PowerGain(d), 0.375);
}

void TestRealFft::unknownTypeWritesNothing()
{
    std::vector<double> w(32, 5.0);
    WindowDescriptor d;
    MakeWindow(wtCosineSum5, w.data(), 32, d, nullptr);
    std::fill(w.begin(), w.end(), 5.0);
    MakeWindow(9, w.data(), 32, d, nullptr);
    QVERIFY(std::all_of(w.begin(), w.end(), [](double v) { return v == 5.0; }));
    QCOMPARE(d.MainLobeBins, 0u);
    QCOMPARE(d.PeakHalfWidth, 0u);
    QCOMPARE(d.Enbw, 0.0);
    QCOMPARE(int(d.TermCount), 0);
    QCOMPARE(d.Coefs[0], 0.0);

    // The rectangular window is all ones with gains 1 per sample.
    MakeWindow(wtRectangular, w.data(), 32, d, nullptr);
    QVERIFY(std::all_of(w.begin(), w.end(), [](double v) { return v == 1.0; }));
    QCOMPARE(CoherentSum(d, 32), 32.0);
    QCOMPARE(PowerGain(d), 1.0);
}

void TestRealFft::abortStopsWindowGeneration()
{
    const std::uint32_t n = 1u << 24;
    std::vector<double> w(n, -1.0);
    WindowDescriptor d;
    std::atomic<bool> abort {true};
    MakeWindow(wtCosineSum5, w.data(), n, d, &abort);
    QVERIFY(std::all_of(w.begin(), w.end(), [](double v) { return v == -1.0; }));
    QCOMPARE(int(d.TermCount), 5);

    // Raised while the window is generated: the chunk in progress completes, the tail is left.
    bool stoppedEarly = false;
    for (int attempt = 0; attempt < 5 && !stoppedEarly; ++attempt) {
        abort = false;
        std::atomic<bool> started {false};
        std::thread worker([&] {
            started = true;
            MakeWindow(wtCosineSum5, w.data(), n, d, &abort);
        });
        while (!started) {
            std::this_thread::yield();
        }
        abort = true;
        worker.join();
        stoppedEarly = w[n - 1] == -1.0;
    }
    QVERIFY(stoppedEarly);
    // Whole chunks: every value is either generated or untouched, the border on a chunk edge.
    const auto firstUntouched = std::find(w.begin(), w.end(), -1.0) - w.begin();
    QCOMPARE(firstUntouched % 0x40000, 0);
    QVERIFY(std::all_of(w.begin() + firstUntouched, w.end(), [](double v) { return v == -1.0; }));
}

void TestRealFft::lengthChanges()
{
    std::atomic<bool> abort {false};
    TREALFFT fft(64, &abort);
    const rfft::RealTransform* engine = fft.Fft();
    QVERIFY(engine != nullptr);
    QVERIFY(!fft.SetLength(0));
    QCOMPARE(fft.Fft(), engine);
    QCOMPARE(fft.Length(), 64u);
    QVERIFY(fft.SetLength(64));
    QCOMPARE(fft.Fft(), engine);
    QVERIFY(!fft.SetLength(100));
    QCOMPARE(fft.Length(), 64u);

    QVERIFY(fft.SetLength(1024));
    QCOMPARE(fft.Length(), 1024u);
    QCOMPARE(fft.Fft()->get_length(), 1024);
    // The new engine still honours the abort flag.
    std::vector<double> x(1024, 1.0);
    std::vector<double> f(1024, 3.0);
    abort = true;
    QVERIFY(fft.Transform(x.data(), f.data()));
    QVERIFY(std::all_of(f.begin(), f.end(), [](double v) { return v == 3.0; }));
    abort = false;
    QVERIFY(fft.Transform(x.data(), f.data()));
    QCOMPARE(f[0], 1024.0);
}

// A windowed cosine of amplitude U exactly on bin m: A[m] = U a0, A[m +- k] = U |a_k| / 2.
void TestRealFft::amplitudeSpectrumOfWindowedCosine()
{
    const std::uint32_t n = 1024;
    const double u = 0.8;
    const int m = 100;
    TREALFFT fft(n, nullptr);
    std::vector<double> w(n);
    fft.MakeWindow(w.data(), wtCosineSum5);
    std::vector<double> x(n);
    for (std::uint32_t i = 0; i < n; ++i) {
        x[i] = u * std::cos(2.0 * std::numbers::pi * m * i / n + 0.3);
    }
    std::vector<double> f(n);
    std::vector<double> a(n / 2);
    fft.ApplyWindow(x.data(), w.data());
    QVERIFY(fft.Transform(x.data(), f.data()));
    QVERIFY(fft.CalcAmplitudeSpectr(f.data(), a.data()));
    const WindowDescriptor& d = fft.Descriptor();
    QVERIFY(std::fabs(a[m] - u * d.Coefs[0]) < 1e-14);
    for (int k = 1; k < 5; ++k) {
        QVERIFY(std::fabs(a[m + k] - u * std::fabs(d.Coefs[k]) / 2) < 1e-14);
        QVERIFY(std::fabs(a[m - k] - u * std::fabs(d.Coefs[k]) / 2) < 1e-14);
    }
    QVERIFY(a[m + 5] < 1e-14 && a[m - 5] < 1e-14);
    QCOMPARE(fft.FindPeak(a.data(), -67108864.0), m);
}

void TestRealFft::amplitudeSpectrumOfConstant()
{
    const std::uint32_t n = 256;
    TREALFFT fft(n, nullptr);
    std::vector<double> w(n);
    fft.MakeWindow(w.data(), wtCosineSum7);
    std::vector<double> x(n, -2.0);
    std::vector<double> f(n);
    std::vector<double> a(n / 2);
    fft.ApplyWindow(x.data(), w.data());
    fft.Transform(x.data(), f.data());
    fft.CalcAmplitudeSpectr(f.data(), a.data());
    const WindowDescriptor& d = fft.Descriptor();
    QVERIFY(std::fabs(a[0] - (-2.0) * d.Coefs[0]) < 1e-14);
    for (int k = 1; k < 7; ++k) {
        QVERIFY(std::fabs(a[k] - 2.0 * std::fabs(d.Coefs[k])) < 1e-14);
    }
}

void TestRealFft::singleSample()
{
    TREALFFT fft(1, nullptr);
    const double x[1] = {0.25};
    double f[1] = {};
    double a[1] = {};
    QVERIFY(fft.Transform(x, f));
    QCOMPARE(f[0], 0.25);
    QVERIFY(fft.CalcAmplitudeSpectr(f, a));
    QCOMPARE(a[0], 0.25);
    QCOMPARE(fft.FindPeak(a, -67108864.0), -1);
}

void TestRealFft::missingBuffersAreRefused()
{
    double buffer[8] = {};
    TREALFFT empty(0, nullptr);
    QVERIFY(empty.Fft() == nullptr);
    QVERIFY(!empty.Transform(buffer, buffer + 4));
    QVERIFY(!empty.CalcAmplitudeSpectr(buffer, buffer + 4));
    TREALFFT fft(4, nullptr);
    QVERIFY(!fft.Transform(nullptr, buffer));
    QVERIFY(!fft.Transform(buffer, nullptr));
    QVERIFY(!fft.CalcAmplitudeSpectr(nullptr, buffer));
    QVERIFY(!fft.CalcAmplitudeSpectr(buffer, nullptr));
}

void TestRealFft::peakSearch_data()
{
    QTest::addColumn<quint32>("n");
    QTest::addColumn<int>("type");
    QTest::addColumn<QList<double>>("amplitudes");
    QTest::addColumn<double>("floor");
    QTest::addColumn<int>("expected");
    const double nan = std::numeric_limits<double>::quiet_NaN();
    QTest::newRow("all equal from W on") << 32u << int(wtCosineSum5)
        << QList<double>(16, 0.5) << -67108864.0 << 5;
    QTest::newRow("W above N/2") << 8u << int(wtCosineSum5) << QList<double>(4, 1.0) << -67108864.0 << -1;
    QTest::newRow("W equal to N/2") << 8u << int(wtBlackmanNuttall) << QList<double>(4, 1.0) << -67108864.0 << -1;
    QTest::newRow("bins below W ignored") << 32u << int(wtCosineSum5)
        << QList<double> {9, 9, 9, 9, 9, 1, 2, 3, 2, 1, 0, 0, 0, 0, 0, 0} << -67108864.0 << 7;
    QTest::newRow("lowest of equal maxima") << 32u << int(wtBlackmanNuttall)
        << QList<double> {0, 0, 0, 0, 1, 4, 2, 4, 4, 0, 0, 0, 0, 0, 0, 0} << 0.0 << 5;
    QTest::newRow("NaN never kept") << 16u << int(wtBlackmanNuttall)
        << QList<double> {0, 0, 0, 0, nan, 1, nan, 0} << -1.0 << 5;
    QTest::newRow("floor never below -6e7") << 16u << int(wtBlackmanNuttall)
        << QList<double>(8, -61000000.0) << -67108864.0 << -1;
    QTest::newRow("given floor above values") << 16u << int(wtBlackmanNuttall)
        << QList<double> {0, 0, 0, 0, 1, 2, 3, 2} << 5.0 << -1;
}

void TestRealFft::peakSearch()
{
    QFETCH(quint32, n);
    QFETCH(int, type);
    QFETCH(QList<double>, amplitudes);
    QFETCH(double, floor);
    QFETCH(int, expected);
    TREALFFT fft(n, nullptr);
    fft.MakeWindow(nullptr, type);
    QCOMPARE(fft.FindPeak(amplitudes.constData(), floor), expected);
}

QTEST_APPLESS_MAIN(TestRealFft)
#include "tst_realfft.moc"
