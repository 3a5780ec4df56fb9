#include "DirectDft.h"

#include <rfft/RealTransform.h>

#include <QtTest>

#include <atomic>
#include <cfloat>
#include <thread>

using reference::Input;

Q_DECLARE_METATYPE(reference::Input)

namespace
{
constexpr long double kEps = DBL_EPSILON;

// Normwise error of a radix-2 transform grows like eps log2 N; the bound leaves a wide margin
// above what correct rounding reaches and stays far below any wrong twiddle or index.
long double tolerance(int bits)
{
    return 2.0L * kEps * static_cast<long double>(bits + 1);
}

void checkAgainstReference(int bits, Input input, std::uint64_t seed)
{
    const std::size_t n = std::size_t(1) << bits;
    const std::vector<double> x = reference::makeInput(input, n, seed);
    std::vector<double> f(n, 0.0);
    rfft::RealTransform fft(static_cast<std::int32_t>(n));
    fft.forward(f.data(), x.data());
    const long double error = reference::relativeError(f, reference::referenceSpectrum(x));
    QVERIFY2(error <= tolerance(bits),
             qPrintable(QString("relative error %1 = %2 eps log2 N, bound %3")
                            .arg(double(error))
                            .arg(double(error / kEps / std::max(bits, 1)))
                            .arg(double(tolerance(bits)))));
    if (input == Input::Random) {
        qInfo("N=2^%d: relative error %.2Le = %.2Lf eps log2 N", bits, error,
              error / kEps / std::max(bits, 1));
    }
}
} // namespace

class TestRealTransform : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void matchesDirectDft_data();
    void matchesDirectDft();
    void smallCases();
    void tableAndOscillatorPasses_data();
    void tableAndOscillatorPasses();
    void tablesFollowTheirDefinitions();
    void oscillatorDriftStaysBounded();
    void abortBeforeTransformLeavesOutputUntouched();
    void abortDuringTransformStopsEarly();
};

void TestRealTransform::matchesDirectDft_data()
{
    QTest::addColumn<int>("bits");
    QTest::addColumn<Input>("input");
    const std::pair<const char*, Input> kinds[] = {
        {"random", Input::Random}, {"impulse", Input::Impulse}, {"constant", Input::Constant},
        {"alternating", Input::Alternating}, {"ramp", Input::Ramp}, {"tone", Input::Tone}};
    for (int bits = 0; bits <= 12; ++bits) {
        for (const auto& [name, kind] : kinds) {
            QTest::addRow("N=2^%d %s", bits, name) << bits << kind;
        }
    }
}

void TestRealTransform::matchesDirectDft()
{
    QFETCH(int, bits);
    QFETCH(Input, input);
    checkAgainstReference(bits, input, 1000 + bits);
}

void TestRealTransform::smallCases()
{
    {
        rfft::RealTransform fft(1);
        const double x[1] = {-3.5};
        double f[1] = {0.0};
        fft.forward(f, x);
        QCOMPARE(f[0], -3.5);
    }
    {
        rfft::RealTransform fft(4);
        const double x[4] = {1, 2, 3, 4};
        double f[4] = {};
        fft.forward(f, x);
        QCOMPARE(f[0], 10.0);
        QCOMPARE(f[1], -2.0);
        QCOMPARE(f[2], -2.0);
        QCOMPARE(f[3], -2.0);
    }
    // Bin 3 of 64 points: cosine in the real part, sine in the imaginary part (positive sign).
    rfft::RealTransform fft(64);
    std::vector<double> c(64);
    std::vector<double> s(64);
    for (int i = 0; i < 64; ++i) {
        c[i] = std::cos(2.0 * std::numbers::pi * 3.0 * i / 64.0);
        s[i] = std::sin(2.0 * std::numbers::pi * 3.0 * i / 64.0);
    }
    std::vector<double> fc(64);
    std::vector<double> fs(64);
    fft.forward(fc.data(), c.data());
    fft.forward(fs.data(), s.data());
    QVERIFY(std::fabs(fc[3] - 32.0) < 1e-12);
    QVERIFY(std::fabs(fc[35]) < 1e-12);
    QVERIFY(std::fabs(fs[3]) < 1e-12);
    QVERIFY(std::fabs(fs[35] - 32.0) < 1e-12);
    for (int k = 0; k < 64; ++k) {
        if (k != 3 && k != 35) {
            QVERIFY2(std::fabs(fc[k]) < 1e-12 && std::fabs(fs[k]) < 1e-12, qPrintable(QString::number(k)));
        }
    }
}

void TestRealTransform::tableAndOscillatorPasses_data()
{
    QTest::addColumn<int>("bits");
    QTest::addColumn<Input>("input");
    for (int bits = 13; bits <= 20; ++bits) {
        QTest::addRow("N=2^%d random", bits) << bits << Input::Random;
    }
    QTest::addRow("N=2^18 tone") << 18 << Input::Tone;
    QTest::addRow("N=2^17 impulse") << 17 << Input::Impulse;
    QTest::addRow("N=2^21 random") << 21 << Input::Random;
}

// Above 2^12 the passes take their twiddles from the oscillators; lengths up to 2^21 run each
// kind of sweep: inside cache blocks, two passes at once, a single one, and the last.
void TestRealTransform::tableAndOscillatorPasses()
{
    QFETCH(int, bits);
    QFETCH(Input, input);
    checkAgainstReference(bits, input, 77 + bits);
}

void TestRealTransform::tablesFollowTheirDefinitions()
{
    rfft::RealTransform fft(1 << 14);
    const rfft::OwnedArray<std::int32_t>& rev = fft.bit_rev_table();
    QCOMPARE(rev.size(), 1 << 14);
    for (std::int32_t j = 0; j < rev.size(); ++j) {
        std::int32_t r = 0;
        for (int b = 0; b < 14; ++b) {
            r |= ((j >> b) & 1) << (13 - b);
        }
        QCOMPARE(rev[j], r);
    }
    // One block per pass 3 .. 12, block p at 2^(p-1) - 4 holding cos(i pi / 2^p).
    const rfft::OwnedArray<double>& cosines = fft.cos_table();
    QCOMPARE(cosines.size(), (1 << 12) - 4);
    for (int pass = 3; pass <= rfft::RealTransform::TABLE_PASS_LIMIT; ++pass) {
        const int level = 1 << (pass - 1);
        for (int i = 0; i < level; ++i) {
            const long double expected = std::cos(static_cast<long double>(i) * std::numbers::pi_v<long double> / (2 * level));
            QVERIFY(std::fabs(cosines[level - 4 + i] - expected) <= kEps);
        }
    }
}

// An oscillator turned 2^20 times by pi / 2^20 ends half a turn later; its rounding drift over
// the whole run stays below 2^20 * 2 eps, and every intermediate point on the circle as well.
void TestRealTransform::oscillatorDriftStaysBounded()
{
    const long double step = std::numbers::pi_v<long double> / (1 << 20);
    rfft::Oscillator osc;
    osc.set_step(static_cast<double>(step));
    osc.clear_buffers();
    long double worst = 0.0L;
    const std::int64_t steps = std::int64_t(1) << 20;
    for (std::int64_t k = 1; k <= steps; ++k) {
        osc.step();
        if (k % 4096 == 0 || k == steps) {
            // Compare with the angle the double step really represents.
            const long double angle = static_cast<long double>(k) * std::atan2(static_cast<long double>(std::sin(static_cast<double>(step))), static_cast<long double>(std::cos(static_cast<double>(step))));
            worst = std::max(worst, std::fabs(osc.get_cos() - std::cos(angle)));
            worst = std::max(worst, std::fabs(osc.get_sin() - std::sin(angle)));
        }
    }
    qInfo("oscillator drift after 2^20 steps: %.3Le (%.1Lf eps)", worst, worst / kEps);
    QVERIFY(worst < static_cast<long double>(steps) * 2.0L * kEps);
    QVERIFY(std::fabs(osc.get_cos() + 1.0) < 1e-9);
}

void TestRealTransform::abortBeforeTransformLeavesOutputUntouched()
{
    std::atomic<bool> abort {true};
    const std::size_t n = std::size_t(1) << 16;
    rfft::RealTransform fft(static_cast<std::int32_t>(n), &abort);
    const std::vector<double> x = reference::makeInput(Input::Random, n, 5);
    std::vector<double> f(n, 123.0);
    fft.forward(f.data(), x.data());
    QVERIFY(std::all_of(f.begin(), f.end(), [](double v) { return v == 123.0; }));

    abort = false;
    fft.forward(f.data(), x.data());
    QVERIFY(std::any_of(f.begin(), f.end(), [](double v) { return v != 123.0; }));
}

void TestRealTransform::abortDuringTransformStopsEarly()
{
    const std::size_t n = std::size_t(1) << 22;
    const std::vector<double> x = reference::makeInput(Input::Random, n, 6);
    std::atomic<bool> abort {false};
    rfft::RealTransform fft(static_cast<std::int32_t>(n), &abort);
    std::vector<double> complete(n);
    fft.forward(complete.data(), x.data());

    // The flag is raised while the transform runs; a late scheduler may let one attempt finish.
    bool stoppedEarly = false;
    for (int attempt = 0; attempt < 5 && !stoppedEarly; ++attempt) {
        abort = false;
        std::vector<double> f(n, 0.0);
        std::atomic<bool> started {false};
        std::thread worker([&] {
            started = true;
            fft.forward(f.data(), x.data());
        });
        while (!started) {
            std::this_thread::yield();
        }
        abort = true;
        worker.join();
        stoppedEarly = f != complete;
    }
    QVERIFY(stoppedEarly);
}

QTEST_APPLESS_MAIN(TestRealTransform)
#include "tst_realtransform.moc"
