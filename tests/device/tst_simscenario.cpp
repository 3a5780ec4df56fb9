// The simulator's scenarios: the built-in demo, the sample file, and clear messages for bad
// files and a port in use.

#include "Scenario.h"
#include "SimServer.h"

#include <QtTest>

#include <fstream>
#include <sstream>

class TestSimScenario : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void demoServesWhatTheProgramExpects()
    {
        const auto s = qvxsim::Scenario::builtIn();
        QVERIFY(s.crates.size() >= 2);
        const auto *a = s.module("QVX-2301", 1);
        QVERIFY(a && !a->isQvxm());
        for (uint16_t slot : {2, 5}) {
            const auto *m = s.module("QVX-2301", slot);
            QVERIFY(m && m->isQvxm());
            bool dc = false, sine = false;
            for (const auto &ch : m->channels) {
                dc |= ch.AmplitudeMv == 0.0;
                sine |= ch.AmplitudeMv > 0.0;
                // Inside the 70 mV range at least, so no demo channel clips there.
                QVERIFY(std::fabs(ch.OffsetMv + ch.DcMv) + ch.AmplitudeMv < 70.0);
            }
            QVERIFY(dc && sine);
        }
    }

    void sampleFileIsTheDemo()
    {
        qvxsim::Scenario s;
        std::string error;
        QVERIFY2(qvxsim::Scenario::load(QVXM_SCENARIO_DIR "/demo.json", s, error), error.c_str());
        const auto demo = qvxsim::Scenario::builtIn();
        QCOMPARE(s.crates.size(), demo.crates.size());
        for (size_t c = 0; c < demo.crates.size(); ++c) {
            QCOMPARE(s.crates[c].serial, demo.crates[c].serial);
            QCOMPARE(s.crates[c].modules.size(), demo.crates[c].modules.size());
            for (size_t i = 0; i < demo.crates[c].modules.size(); ++i) {
                const auto &x = s.crates[c].modules[i];
                const auto &y = demo.crates[c].modules[i];
                QCOMPARE(x.slot, y.slot);
                QCOMPARE(x.id, y.id);
                if (!y.isQvxm())
                    continue;
                QCOMPARE(x.serial, y.serial);
                QCOMPARE(x.firmware, y.firmware);
                QVERIFY(x.coefficients == y.coefficients);
                QVERIFY(x.channels == y.channels);
            }
        }
    }

    void faultsRoundTrip()
    {
        auto s = qvxsim::Scenario::builtIn();
        s.faults.hang = true;
        s.faults.corruption = qvxsim::ReplyCorruption::Truncated;
        s.crates[1].modulesFail = true;
        s.crates[0].modules[1].faults.wiring = 0x28;
        s.crates[0].modules[1].faults.shortFrameAfterFrames = 4;
        qvxsim::Scenario back;
        std::string error;
        QVERIFY2(qvxsim::Scenario::fromJson(s.toJson(), back, error), error.c_str());
        QVERIFY(back.faults == s.faults);
        QVERIFY(back.crates[1].modulesFail);
        QVERIFY(back.crates[0].modules[1].faults == s.crates[0].modules[1].faults);
    }

    void badScenariosAreNamed_data()
    {
        QTest::addColumn<QString>("json");
        QTest::addColumn<QString>("message");
        QTest::newRow("not json") << "{\"crates\": [" << "not valid JSON";
        QTest::newRow("no crates") << "{}" << "\"crates\" must be a list";
        QTest::newRow("typo") << R"({"crates":[{"serial":"A","modules":[{"slot":2,"serail":"x"}]}]})"
                              << "unknown key \"serail\"";
        QTest::newRow("slot 17") << R"({"crates":[{"serial":"A","modules":[{"slot":17,"id":1}]}]})"
                                 << "\"slot\" must be an integer from 1 to 16";
        QTest::newRow("slot twice") << R"({"crates":[{"serial":"A","modules":[{"slot":3,"id":1},{"slot":3,"id":2}]}]})"
                                    << "slot 3 is used twice";
        QTest::newRow("qvxm without serial") << R"({"crates":[{"serial":"A","modules":[{"slot":3}]}]})"
                                             << "needs a \"serial\"";
        QTest::newRow("serial too long") << R"({"crates":[{"serial":"ABCDEFGHIJKLMNOP"}]})"
                                         << "at most 15 characters";
        QTest::newRow("crate twice") << R"({"crates":[{"serial":"A"},{"serial":"A"}]})" << "unique";
        QTest::newRow("frequency as text")
            << R"({"crates":[{"serial":"A","modules":[{"slot":2,"serial":"Q","channels":[{"channel":1,"frequency_hz":"50"}]}]}]})"
            << "\"frequency_hz\" must be a number";
        QTest::newRow("unknown corruption") << R"({"crates":[],"faults":{"reply_corruption":"noise"}})"
                                            << "unknown \"reply_corruption\"";
    }
    void badScenariosAreNamed()
    {
        QFETCH(QString, json);
        QFETCH(QString, message);
        qvxsim::Scenario s;
        std::string error;
        QVERIFY(!qvxsim::Scenario::fromJson(json.toStdString(), s, error));
        QVERIFY2(QString::fromStdString(error).contains(message), error.c_str());
    }

    void portInUseIsReported()
    {
        qvxsim::SimServer a;
        QVERIFY(a.start());
        qvxsim::SimServer b;
        std::string error;
        QVERIFY(!b.start(a.port(), &error));
        QVERIFY2(QString::fromStdString(error).contains(QStringLiteral("already in use")), error.c_str());
        a.stop();
        QVERIFY(!a.isRunning());
        a.stop(); // twice is harmless
    }
};

QTEST_GUILESS_MAIN(TestSimScenario)
#include "tst_simscenario.moc"
