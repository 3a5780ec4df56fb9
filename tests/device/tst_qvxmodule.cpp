// One QVXM through qvxmapi against a simulator started per test: the set-up sequence, frames
// converted back to the scenario's signals, balancing, the wiring check and module faults.

#include "DeviceTestSupport.h"

#include <QtTest>

#include <atomic>
#include <thread>

using namespace devtest;

namespace {

const qvxsim::ModuleScenario &truthOf(Sim &sim)
{
    return *sim->scenario().module(kCrate, kSlot);
}

struct Frame {
    int64_t received = 0;
    std::vector<double> values;
    std::vector<uint32_t> status;
    int32_t processStatus = QVX_OK;
};

Frame takeFrame(TQVXM &m, uint32_t samplesPerChannel, uint32_t chunk)
{
    Frame f;
    std::vector<uint32_t> words(static_cast<size_t>(m.WordsPerFrame) * samplesPerChannel);
    f.received = acquire(m, words, chunk);
    if (f.received != static_cast<int64_t>(words.size()))
        return f;
    uint32_t count = static_cast<uint32_t>(words.size());
    f.values.resize(count);
    f.status.resize(count);
    f.processStatus = QVXM_ProcessData(&m, words.data(), f.values.data(), &count, f.status.data(), nullptr, 0);
    f.values.resize(count);
    return f;
}

} // namespace

class TestQvxModule : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Every enabled channel's converted values equal its signal within one ADC step.
    void framesMatchTheSignals_data()
    {
        QTest::addColumn<uint32_t>("channels");
        QTest::addColumn<uint32_t>("wide");
        QTest::addColumn<double>("rate");
        QTest::addColumn<uint32_t>("chunk");
        // Channels 6, 7, 12 and 15 carry more than 35 mV.
        QTest::newRow("one channel 50 kHz") << 0x0008u << 0x0000u << 50000.0 << 5000u;
        QTest::newRow("16 channels 20 kHz") << 0xFFFFu << 0x90C0u << 20000.0 << 999u;
        QTest::newRow("channels 3 and 9, 15 kHz") << 0x0208u << 0x0000u << 14999.999999999998 << 1501u;
        QTest::newRow("two wide channels 2 kHz") << 0x8080u << 0x8080u << 2000.0 << 200u;
    }
    void framesMatchTheSignals()
    {
        QFETCH(uint32_t, channels);
        QFETCH(uint32_t, wide);
        QFETCH(double, rate);
        QFETCH(uint32_t, chunk);
        Sim sim;
        QVERIFY(sim.ok());
        TQVXM m;
        QCOMPARE(openModule(m), QVX_OK);
        SetupRequest q;
        q.channels = channels;
        q.wideRanges = wide;
        q.rateHz = rate;
        const SetupResult s = setUp(m, q);
        QVERIFY2(s.status == QVX_OK, s.failedCall);
        QVERIFY(std::fabs(s.achievedHz - rate) <= 10.0);
        QVERIFY(std::fabs(s.achievedMa - 7.0) <= 0.01);
        const int n = m.ChannelCount;
        QCOMPARE(m.WordsPerFrame, 2 * n);
        QCOMPARE(m.FrameRate, s.achievedHz / n);

        const uint32_t samples = 300;
        const Frame f = takeFrame(m, samples, chunk);
        QCOMPARE(f.received, int64_t(m.WordsPerFrame) * samples);
        QCOMPARE(f.processStatus, QVX_OK);
        QCOMPARE(f.values.size() * size_t(m.WordsPerFrame), size_t(f.received) * size_t(n));

        const double conversionRate = s.achievedHz;
        for (int p = 0; p < n; ++p) {
            const TQVXMChannelEntry e = m.ChannelTable[p];
            const qvxsim::ChannelSignal &sig = truthOf(sim).channels[e.Channel];
            const double tol = 1.5 * lsbMv(e.Range);
            std::vector<double> t, mv;
            for (uint32_t k = 0; k < samples; ++k) {
                t.push_back(static_cast<double>(k * n + p) / conversionRate);
                mv.push_back(f.values[k * n + p] * 1e3);
                QCOMPARE(f.status[k * n + p], 0u); // nothing clipped
            }
            if (sig.AmplitudeMv == 0.0) {
                for (double v : mv)
                    QVERIFY2(std::fabs(v - (sig.OffsetMv + sig.DcMv)) <= tol,
                             qPrintable(QStringLiteral("channel %1: %2 mV").arg(e.Channel).arg(v, 0, 'f', 6)));
            } else {
                const SineFit fit = fitSine(t, mv, sig.FrequencyHz);
                QVERIFY2(fit.maxResidual <= tol, qPrintable(QStringLiteral("channel %1 residual %2")
                                                                .arg(e.Channel).arg(fit.maxResidual)));
                QVERIFY(std::fabs(fit.amplitude - sig.AmplitudeMv) <= tol);
                QVERIFY(std::fabs(fit.dc - (sig.OffsetMv + sig.DcMv)) <= tol);
            }
        }
        QCOMPARE(m.Running, uint8_t(0));
        QVXM_Close(&m);
    }

    void inputBeyondTheRangeIsClipped()
    {
        Sim sim;
        QVERIFY(sim.ok());
        TQVXM m;
        QCOMPARE(openModule(m), QVX_OK);
        SetupRequest q;
        q.channels = 1u << 6; // 60 mV DC on the 35 mV range
        QCOMPARE(setUp(m, q).status, QVX_OK);
        const Frame f = takeFrame(m, 10, 100);
        QCOMPARE(f.processStatus, QVX_OK);
        TQVXMCoefPair adc{};
        QVXM_GetCoefPair(&m, 0, &adc);
        const double limit = qvx::model::voltsOf(qvx::model::kCodeMax, 0, {adc.First, adc.Second});
        QCOMPARE(f.values.front(), limit);
        QCOMPARE(f.status.front(), 1u);
        QVERIFY(limit * 1e3 < 35.1);
    }

    void balancingRemovesTheUnbalance()
    {
        Sim sim;
        QVERIFY(sim.ok());
        TQVXM m;
        QCOMPARE(openModule(m), QVX_OK);
        const auto &truth = truthOf(sim);
        uint32_t result = 0;
        QCOMPARE(QVXM_TareOffset(&m, 0x0005u, &result), QVX_OK); // channels 0 and 2
        QCOMPARE(result, 0x0005u);
        QCOMPARE(sim->moduleStats(kCrate, kSlot).balancedMask, 0x0005u);

        SetupRequest q;
        q.channels = 0x0015u; // 0, 2 and 4 (DC levels)
        for (bool tare : {true, false}) {
            q.tare = tare;
            QCOMPARE(setUp(m, q).status, QVX_OK);
            QCOMPARE(sim->moduleStats(kCrate, kSlot).tareEnabled, uint8_t(tare));
            const Frame f = takeFrame(m, 20, 60);
            QCOMPARE(f.processStatus, QVX_OK);
            const int channelOf[3] = {0, 2, 4};
            for (int p = 0; p < 3; ++p) {
                const auto &sig = truth.channels[static_cast<size_t>(channelOf[p])];
                const bool balanced = tare && channelOf[p] != 4;
                const double expected = balanced ? sig.DcMv : sig.OffsetMv + sig.DcMv;
                QVERIFY2(std::fabs(f.values[static_cast<size_t>(p)] * 1e3 - expected) <= 0.0006,
                         qPrintable(QStringLiteral("tare %1 channel %2: %3").arg(tare).arg(channelOf[p])
                                        .arg(f.values[static_cast<size_t>(p)] * 1e3)));
            }
        }
        // Not while acquiring, and a module that fails to balance says so.
        QCOMPARE(QVXM_Start(&m), QVX_OK);
        QCOMPARE(QVXM_TareOffset(&m, 1, &result), QVX_ERR_STATE);
        QCOMPARE(QVXM_Stop(&m), QVX_OK);
        qvxsim::ModuleFaults faults;
        faults.tareFails = true;
        sim->setModuleFaults(kCrate, kSlot, faults);
        QCOMPARE(QVXM_TareOffset(&m, 1, &result), QVX_ERR_DEVICE);
        QVXM_Close(&m);
    }

    void wiringFaultsReachTheStatusBits_data()
    {
        QTest::addColumn<int>("wiring");
        QTest::addColumn<int>("expected");
        QTest::newRow("sound") << 0x00 << QVX_OK;
        QTest::newRow("reference open") << 0x04 << QVX_ERR_WIRING;
        QTest::newRow("reference short and line U open") << 0x28 << QVX_ERR_WIRING;
        QTest::newRow("line U open") << 0x20 << QVX_ERR_WIRING;
        QTest::newRow("other fault") << 0x01 << QVX_ERR_WIRING;
    }
    void wiringFaultsReachTheStatusBits()
    {
        QFETCH(int, wiring);
        QFETCH(int, expected);
        Sim sim;
        QVERIFY(sim.ok());
        qvxsim::ModuleFaults faults;
        faults.wiring = static_cast<uint8_t>(wiring);
        sim->setModuleFaults(kCrate, kSlot, faults);
        TQVXM m;
        QCOMPARE(openModule(m), QVX_OK);
        SetupRequest q;
        q.channels = 0x0003u;
        const SetupResult s = setUp(m, q);
        QCOMPARE(s.status, expected);
        if (expected != QVX_OK)
            QCOMPARE(QByteArray(s.failedCall), QByteArray("QVXM_InitMeasParams"));
        QCOMPARE(int(s.dataStatus.Wiring), wiring);
        QCOMPARE(s.dataStatus.Checked, uint8_t(3));
        QVXM_Close(&m);
    }

    void setUpRejectsWhatTheModuleCannotDo()
    {
        Sim sim;
        QVERIFY(sim.ok());
        TQVXM m;
        QCOMPARE(openModule(m), QVX_OK);
        TQVXMDataStatus st{};
        QCOMPARE(QVXM_InitMeasParams(&m, 3, 224, &st), QVX_ERR_STATE); // before SetADC
        QCOMPARE(QVXM_Start(&m), QVX_ERR_STATE);
        SetupRequest q;
        q.channels = 0x0003u;
        QCOMPARE(setUp(m, q).status, QVX_OK);
        m.ChannelTable[1].Range = 255; // a range box with no selection
        QCOMPARE(QVXM_SetADC(&m), QVX_ERR_ARGUMENT);
        m.ChannelTable[1].Range = 0;
        m.ChannelCount = 0;
        QCOMPARE(QVXM_SetADC(&m), QVX_ERR_ARGUMENT);
        QVXM_Close(&m);
    }

    void processDataRejectsForeignWords()
    {
        Sim sim;
        QVERIFY(sim.ok());
        TQVXM m;
        QCOMPARE(openModule(m), QVX_OK);
        SetupRequest q;
        q.channels = 0x0003u;
        QCOMPARE(setUp(m, q).status, QVX_OK);
        std::vector<uint32_t> words(8);
        QCOMPARE(acquire(m, words, 8), int64_t(8));
        std::vector<double> values(4);
        uint32_t count = 7; // half a value
        QCOMPARE(QVXM_ProcessData(&m, words.data(), values.data(), &count, nullptr, nullptr, 0), QVX_ERR_DATA);
        QCOMPARE(count, 0u);
        count = 6; // starts at a frame boundary but ends inside a frame: still whole values
        QCOMPARE(QVXM_ProcessData(&m, words.data(), values.data(), &count, nullptr, nullptr, 0), QVX_OK);
        QCOMPARE(count, 3u);
        count = 6; // shifted by one value: channel 1's words where channel 0 belongs
        QCOMPARE(QVXM_ProcessData(&m, words.data() + 2, values.data(), &count, nullptr, nullptr, 0), QVX_ERR_DATA);
        QVXM_Close(&m);
    }

    void moduleFaultsDuringFrames_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("expected");
        QTest::newRow("receive error after 2 frames") << 0 << QVX_ERR_DEVICE;
        QTest::newRow("short frame after 2 frames") << 1 << 0;
        QTest::newRow("connection dropped after 2 frames") << 2 << QVX_ERR_CLOSED;
    }
    void moduleFaultsDuringFrames()
    {
        QFETCH(int, kind);
        QFETCH(int, expected);
        Sim sim;
        QVERIFY(sim.ok());
        qvxsim::ModuleFaults faults;
        (kind == 0 ? faults.recvErrorAfterFrames : kind == 1 ? faults.shortFrameAfterFrames
                                                             : faults.dropAfterFrames) = 2;
        sim->setModuleFaults(kCrate, kSlot, faults);
        TQVXM m;
        QCOMPARE(openModule(m), QVX_OK);
        SetupRequest q;
        q.channels = 0x00FFu;
        QCOMPARE(setUp(m, q).status, QVX_OK);
        std::vector<uint32_t> words(1600);
        QCOMPARE(acquire(m, words, 400), int64_t(1600));
        QCOMPARE(acquire(m, words, 400), int64_t(1600));
        QCOMPARE(QVXM_Start(&m), QVX_OK);
        const int32_t r = QVXM_Recv(&m, words.data(), nullptr, 400, 5000);
        if (expected == 0)
            QCOMPARE(r, 200); // a short block is a positive count below the one asked for
        else
            QCOMPARE(r, expected);
        if (kind == 2) {
            QCOMPARE(QVXM_Stop(&m), QVX_ERR_CLOSED); // the module cannot be reached any more
            QCOMPARE(QVXM_IsOpened(&m), QVX_OK);     // but the record still needs closing
        } else {
            QCOMPARE(QVXM_Stop(&m), QVX_OK);
        }
        QCOMPARE(QVXM_Close(&m), QVX_OK);
        QCOMPARE(QVXM_IsOpened(&m), QVX_ERR_NOT_OPEN);
    }

    void failingStopKeepsTheModuleRunning()
    {
        Sim sim;
        QVERIFY(sim.ok());
        qvxsim::ModuleFaults faults;
        faults.stopFails = true;
        sim->setModuleFaults(kCrate, kSlot, faults);
        TQVXM m;
        QCOMPARE(openModule(m), QVX_OK);
        QCOMPARE(setUp(m, {}).status, QVX_OK);
        QCOMPARE(QVXM_Start(&m), QVX_OK);
        QCOMPARE(QVXM_Stop(&m), QVX_ERR_DEVICE);
        QCOMPARE(m.Running, uint8_t(1));
        QCOMPARE(QVXM_Close(&m), QVX_OK);
        QTRY_VERIFY(!sim->moduleStats(kCrate, kSlot).open); // closing released it anyway
        QVERIFY(!sim->moduleStats(kCrate, kSlot).running);
    }

    // The server goes away while a receive waits for real-time data.
    void serverDiesDuringReceive()
    {
        Sim sim(quietScenario(), false);
        QVERIFY(sim.ok());
        TQVXM m;
        QCOMPARE(openModule(m), QVX_OK);
        SetupRequest q;
        q.rateHz = 2000.0;
        QCOMPARE(setUp(m, q).status, QVX_OK);
        QCOMPARE(QVXM_Start(&m), QVX_OK);
        std::thread killer([&sim] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            sim->stop();
        });
        std::vector<uint32_t> words(20000); // five seconds of data
        const int32_t r = QVXM_Recv(&m, words.data(), nullptr, 20000, 5000);
        killer.join();
        QCOMPARE(r, QVX_ERR_CLOSED);
        QVERIFY(QVXM_Stop(&m) < 0);
        QCOMPARE(QVXM_Close(&m), QVX_OK);
    }

    void hangingServerTimesOut_data()
    {
        QTest::addColumn<bool>("duringReceive");
        QTest::newRow("receive") << true;
        QTest::newRow("stop") << false;
    }
    void hangingServerTimesOut()
    {
        QFETCH(bool, duringReceive);
        Sim sim;
        QVERIFY(sim.ok());
        TQVXM m;
        QCOMPARE(openModule(m), QVX_OK);
        QCOMPARE(setUp(m, {}).status, QVX_OK);
        QCOMPARE(QVXM_Start(&m), QVX_OK);
        qvxsim::ServerFaults f;
        f.hang = true;
        sim->setServerFaults(f);
        std::vector<uint32_t> words(100);
        if (duringReceive)
            QCOMPARE(QVXM_Recv(&m, words.data(), nullptr, 100, 300), QVX_ERR_TIMEOUT);
        else
            QCOMPARE(QVXM_Stop(&m), QVX_ERR_TIMEOUT);
        // Every later call fails at once instead of waiting again.
        QCOMPARE(QVXM_Recv(&m, words.data(), nullptr, 100, 300), QVX_ERR_CLOSED);
        QCOMPARE(QVXM_Close(&m), QVX_OK);
    }

    // Real-time pacing: a receive that asks for more than its timeout covers fails in time.
    void receiveHonoursItsTimeout()
    {
        Sim sim(quietScenario(), false);
        QVERIFY(sim.ok());
        TQVXM m;
        QCOMPARE(openModule(m), QVX_OK);
        SetupRequest q;
        q.rateHz = 2000.0;
        QCOMPARE(setUp(m, q).status, QVX_OK);
        std::vector<uint32_t> words(400); // 0.2 s of data, delivered when due
        QCOMPARE(acquire(m, words, 200, 5000), int64_t(400));
        QCOMPARE(QVXM_Start(&m), QVX_OK);
        std::vector<uint32_t> more(4000); // 2 s of data in 0.3 s
        QCOMPARE(QVXM_Recv(&m, more.data(), nullptr, 4000, 300), QVX_ERR_TIMEOUT);
        QCOMPARE(QVXM_Close(&m), QVX_OK);
    }

    // The record is opened on one thread and used by another, as the workers do.
    void recordMovesBetweenThreads()
    {
        Sim sim;
        QVERIFY(sim.ok());
        TQVXM m;
        QCOMPARE(openModule(m), QVX_OK);
        std::atomic<int64_t> received{0};
        std::thread worker([&] {
            SetupRequest q;
            q.channels = 0x000Fu;
            if (setUp(m, q).status != QVX_OK)
                return;
            std::vector<uint32_t> words(8 * 1000);
            received = acquire(m, words, 1000);
        });
        worker.join();
        QCOMPARE(received.load(), int64_t(8000));
        QCOMPARE(QVXM_Close(&m), QVX_OK);
    }
};

QTEST_GUILESS_MAIN(TestQvxModule)
#include "tst_qvxmodule.moc"
