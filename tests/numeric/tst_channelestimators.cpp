#include "ChannelEstimators.h"
#include "ReadingFormat.h"
#include "RealFft.h"

#include <QtTest>

#include <cmath>
#include <memory>
#include <numbers>
#include <vector>

namespace
{
// The buffers of one run, as the acquisition worker holds them, with window type 6.
struct Run
{
    Run(std::uint32_t length, double frameRate)
        : n(length), samples(n + 16), window(n + 16), spectrum(n + 16), amplitudes(n / 2 + 16)
    {
        // The time-domain method takes any length, the spectral one powers of two.
        if ((n & (n - 1)) == 0) {
            fft = std::make_unique<TREALFFT>(n, &terminated);
            fft->SetLength(n);
            fft->MakeWindow(window.data(), wtCosineSum5);
        }
        WindowDescriptor descriptor;
        MakeWindow(wtCosineSum5, window.data(), n, descriptor, &terminated);
        frame.Samples = samples.data();
        frame.Window = window.data();
        frame.Length = n;
        frame.CoherentSum = CoherentSum(descriptor, n);
        frame.PowerGain = PowerGain(descriptor);
        frame.FrameRate = frameRate;
        frame.Analyzer = fft.get();
        frame.Spectrum = spectrum.data();
        frame.Amplitudes = amplitudes.data();
        frame.Terminated = &terminated;
    }

    void sine(double amplitude, double frequency, double offset = 0.0, double phase = 0.3)
    {
        for (std::uint32_t i = 0; i < n; ++i) {
            samples[i] = offset + amplitude * std::sin(2.0 * std::numbers::pi * frequency * i / frame.FrameRate + phase);
        }
    }

    ChannelOutcome compute(const char* method, const char* amplitudeType, int channelMethod)
    {
        reading = ChannelReading {};
        return ComputeChannel(frame, method, amplitudeType, channelMethod, reading);
    }

    std::uint32_t n;
    std::atomic<bool> terminated {false};
    std::vector<double> samples;
    std::vector<double> window;
    std::vector<double> spectrum;
    std::vector<double> amplitudes;
    std::unique_ptr<TREALFFT> fft;
    ChannelFrame frame;
    ChannelReading reading;
};
} // namespace

class TestChannelEstimators : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void dcLevel_data();
    void dcLevel();
    void sineAmplitude_data();
    void sineAmplitude();
    void frequencyBetweenBins_data();
    void frequencyBetweenBins();
    void noSignal_data();
    void noSignal();
    void constantUnderTimeDomainAc();
    void unknownChannelMethodComputesNothing();
    void terminationAbandonsSpectralChannel();
};

void TestChannelEstimators::dcLevel_data()
{
    QTest::addColumn<QString>("method");
    QTest::addColumn<double>("level");
    QTest::addColumn<QString>("shown");
    QTest::newRow("sum +1.25 V") << "sum" << 1.25 << "1250.0000";
    QTest::newRow("sum -1.25 V") << "sum" << -1.25 << "-1250.0000";
    QTest::newRow("fft +1.25 V") << "fft" << 1.25 << "1250.0000";
    QTest::newRow("fft -1.25 V") << "fft" << -1.25 << "-1250.0000";
    QTest::newRow("other text is time domain") << "FFT" << 0.5 << "500.0000";
}

void TestChannelEstimators::dcLevel()
{
    QFETCH(QString, method);
    QFETCH(double, level);
    QFETCH(QString, shown);
    Run run(4096, 10000.0);
    std::fill(run.samples.begin(), run.samples.end(), level);
    QCOMPARE(run.compute(method.toLatin1().constData(), "amp", 0), ChannelOutcome::Computed);
    QVERIFY2(std::fabs(run.reading.DcValue - level) <= 1e-13, qPrintable(QString::number(run.reading.DcValue, 'g', 17)));
    QCOMPARE(run.reading.AcValue, 0.0);
    QCOMPARE(run.reading.Frequency, 0.0);
    QCOMPARE(QString::fromStdString(MillivoltsText(run.reading.DcValue, 4)), shown);
}

void TestChannelEstimators::sineAmplitude_data()
{
    QTest::addColumn<QString>("method");
    QTest::addColumn<QString>("amplitudeType");
    QTest::addColumn<double>("expected");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("frequencyShown");
    const double rms = 1.0 / std::sqrt(2.0);
    QTest::newRow("sum rms") << "sum" << "rms" << rms << "707.1068" << "";
    QTest::newRow("sum amp") << "sum" << "amp" << 1.0 << "1000.0000" << "";
    QTest::newRow("fft rms") << "fft" << "rms" << rms << "707.1068" << "0.0500";
    QTest::newRow("fft amp") << "fft" << "amp" << 1.0 << "1000.0000" << "0.0500";
    QTest::newRow("fft other text as amp") << "fft" << "peak" << 1.0 << "1000.0000" << "0.0500";
}

// A 1 V sine at 50 Hz on bin 100 of 4096 samples, riding on a 0.2 V offset.
void TestChannelEstimators::sineAmplitude()
{
    QFETCH(QString, method);
    QFETCH(QString, amplitudeType);
    QFETCH(double, expected);
    QFETCH(QString, shown);
    QFETCH(QString, frequencyShown);
    Run run(4096, 2048.0);
    run.sine(1.0, 50.0, 0.2);
    QCOMPARE(run.compute(method.toLatin1().constData(), amplitudeType.toLatin1().constData(), 1),
             ChannelOutcome::Computed);
    QVERIFY2(std::fabs(run.reading.AcValue - expected) <= 1e-12,
             qPrintable(QString::number(run.reading.AcValue, 'g', 17)));
    QCOMPARE(QString::fromStdString(MillivoltsText(run.reading.AcValue, 4)), shown);
    if (method == "fft") {
        QVERIFY(std::fabs(run.reading.Frequency - 50.0) <= 1e-10);
        QCOMPARE(QString::fromStdString(KilohertzText(run.reading.Frequency, 4)), frequencyShown);
    } else {
        QCOMPARE(run.reading.Frequency, 0.0);
    }
    QCOMPARE(run.reading.DcValue, 0.0);
}

void TestChannelEstimators::frequencyBetweenBins_data()
{
    QTest::addColumn<double>("offset");
    for (double offset : {0.0, 0.1, 0.25, 0.37, 0.5, 0.75, 0.9}) {
        QTest::addRow("bin 100%+.2f", offset) << offset;
    }
}

// Off a bin the summed span (W below the peak, W-1 above) still holds the main lobe of window
// type 6 but for a sliver: the RMS stays within 1e-8 relative, the frequency within 1e-7 bin.
void TestChannelEstimators::frequencyBetweenBins()
{
    QFETCH(double, offset);
    const std::uint32_t n = 4096;
    const double frameRate = 4096.0;
    Run run(n, frameRate);
    const double frequency = 100.0 + offset; // one bin = 1 Hz
    run.sine(0.5, frequency, -0.1, 1.1);
    QCOMPARE(run.compute("fft", "rms", 1), ChannelOutcome::Computed);
    const double rmsError = std::fabs(run.reading.AcValue / (0.5 / std::sqrt(2.0)) - 1.0);
    const double binError = std::fabs(run.reading.Frequency - frequency);
    qInfo("offset %.2f bin: RMS relative error %.2e, frequency error %.2e bin", offset, rmsError, binError);
    QVERIFY(rmsError <= 1e-8);
    QVERIFY(binError <= 1e-7);

    // The time-domain estimator sees no bins: the window keeps leakage negligible.
    run.sine(0.5, frequency, -0.1, 1.1);
    QCOMPARE(run.compute("sum", "rms", 1), ChannelOutcome::Computed);
    QVERIFY(std::fabs(run.reading.AcValue / (0.5 / std::sqrt(2.0)) - 1.0) <= 1e-6);
}

void TestChannelEstimators::noSignal_data()
{
    QTest::addColumn<quint32>("n");
    QTest::addColumn<bool>("zeros");
    QTest::newRow("all zero frame") << 1024u << true;
    QTest::newRow("N = 8") << 8u << false;
    QTest::newRow("N = 4") << 4u << false;
    QTest::newRow("N = 1") << 1u << false;
}

void TestChannelEstimators::noSignal()
{
    QFETCH(quint32, n);
    QFETCH(bool, zeros);
    Run run(n, 1000.0);
    if (zeros) {
        std::fill(run.samples.begin(), run.samples.end(), 0.0);
    } else {
        run.sine(1.0, 125.0, 0.0);
    }
    QCOMPARE(run.compute("fft", "rms", 1), ChannelOutcome::NoSignal);
    QCOMPARE(run.reading.AcValue, 0.0);
    QCOMPARE(run.reading.Frequency, 0.0);
    QCOMPARE(QString::fromUtf8(NoSignalReport),
             QString::fromUtf8("Опаньки!!! Судя по всему на вход модуля не был подан сигнал!!!"));
}

void TestChannelEstimators::constantUnderTimeDomainAc()
{
    Run run(1000, 1000.0);
    std::fill(run.samples.begin(), run.samples.end(), 0.3);
    QCOMPARE(run.compute("sum", "rms", 1), ChannelOutcome::Computed);
    QVERIFY(std::isfinite(run.reading.AcValue));
    QVERIFY(run.reading.AcValue < 1e-7);
}

void TestChannelEstimators::unknownChannelMethodComputesNothing()
{
    Run run(64, 1000.0);
    run.sine(1.0, 100.0, 0.5);
    const std::vector<double> before = run.samples;
    for (const char* method : {"sum", "fft"}) {
        QCOMPARE(run.compute(method, "amp", 2), ChannelOutcome::NotComputed);
        QCOMPARE(run.reading.DcValue, 0.0);
        QCOMPARE(run.reading.AcValue, 0.0);
    }
    QVERIFY(run.samples == before);
}

void TestChannelEstimators::terminationAbandonsSpectralChannel()
{
    Run run(1024, 1000.0);
    run.sine(1.0, 100.0);
    run.terminated = true;
    QCOMPARE(run.compute("fft", "rms", 1), ChannelOutcome::Aborted);
    QCOMPARE(run.reading.AcValue, 0.0);
}

QTEST_APPLESS_MAIN(TestChannelEstimators)
#include "tst_channelestimators.moc"
