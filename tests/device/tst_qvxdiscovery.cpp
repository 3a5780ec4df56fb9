// Discovery through qvxapi and qvxmapi against a simulator started per test: the crate list,
// the modules of every crate, opening every QVXM, and the ways a server can fail.

#include "DeviceTestSupport.h"

#include <QtTest>

#include <sys/socket.h>
#include <netinet/in.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

using namespace devtest;
using qvxsim::ReplyCorruption;

namespace {

struct Listing {
    int32_t status = QVX_OK;
    std::vector<std::string> crates;
    std::vector<std::array<uint16_t, 16>> ids;
};

// The program's two sequences: crate list, then the modules of each crate on one record.
Listing listCrates()
{
    Listing l;
    TQVX q;
    char crates[QVX_MAX_CRATES][QVX_SERIAL_LEN];
    std::memset(crates, 0, sizeof crates);
    QVX_Init(&q);
    q.Slot = 0;
    l.status = QVX_Open(&q);
    if (l.status == QVX_OK)
        l.status = QVX_GetCrates(&q, crates);
    QVX_Close(&q);
    if (l.status != QVX_OK)
        return l;
    for (int i = 0; i < QVX_MAX_CRATES && crates[i][0]; ++i)
        l.crates.emplace_back(crates[i]);
    QVX_Init(&q);
    q.Slot = 0;
    for (const auto &serial : l.crates) {
        std::memset(q.CrateSerial, 0, sizeof q.CrateSerial);
        std::strncpy(q.CrateSerial, serial.c_str(), QVX_SERIAL_LEN - 1);
        std::array<uint16_t, 16> ids{};
        l.status = QVX_Open(&q);
        if (l.status == QVX_OK)
            l.status = QVX_GetCrateModules(&q, ids.data());
        QVX_Close(&q);
        if (l.status != QVX_OK)
            return l;
        l.ids.push_back(ids);
    }
    return l;
}

// A loopback port with nothing listening on it.
uint16_t deadPort()
{
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(s, reinterpret_cast<sockaddr *>(&sa), sizeof sa);
    socklen_t len = sizeof sa;
    ::getsockname(s, reinterpret_cast<sockaddr *>(&sa), &len);
    ::close(s);
    return ntohs(sa.sin_port);
}

} // namespace

class TestQvxDiscovery : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void listsCratesAndSlotsInServerOrder()
    {
        Sim sim;
        QVERIFY(sim.ok());
        const Listing l = listCrates();
        QCOMPARE(l.status, QVX_OK);
        const auto &truth = sim->scenario();
        QCOMPARE(l.crates.size(), truth.crates.size());
        for (size_t i = 0; i < truth.crates.size(); ++i) {
            QCOMPARE(l.crates[i], truth.crates[i].serial);
            std::array<uint16_t, 16> expected{};
            for (const auto &m : truth.crates[i].modules)
                expected[m.slot - 1u] = m.id;
            QCOMPARE(l.ids[i], expected);
        }
        // The demo's first crate: another module in slot 1, QVXM modules in slots 2 and 5.
        QCOMPARE(l.ids[0][0], uint16_t(0x0A31));
        QCOMPARE(l.ids[0][1], uint16_t(QVX_MODULE_ID_QVXM));
        QCOMPARE(l.ids[0][4], uint16_t(QVX_MODULE_ID_QVXM));
    }

    void everyQvxmOpensWithItsIdentity()
    {
        Sim sim;
        QVERIFY(sim.ok());
        const Listing l = listCrates();
        QCOMPARE(l.status, QVX_OK);
        TQVXM m;
        QVXM_Init(&m);
        int opened = 0;
        for (size_t c = 0; c < l.crates.size(); ++c) {
            for (uint16_t s = 1; s <= 16; ++s) {
                if (l.ids[c][s - 1u] != QVX_MODULE_ID_QVXM)
                    continue;
                if (QVXM_IsOpened(&m) == QVX_OK)
                    QVXM_Close(&m);
                QCOMPARE(QVXM_Open(&m, QVX_DEFAULT_ADDRESS, QVX_DEFAULT_PORT, l.crates[c].c_str(), s), QVX_OK);
                QCOMPARE(QVXM_IsOpened(&m), QVX_OK);
                const auto *truth = sim->scenario().module(l.crates[c], s);
                QVERIFY(truth);
                QCOMPARE(std::string(m.ModuleSerial), truth->serial);
                QCOMPARE(std::string(m.ModuleName, strnlen(m.ModuleName, 8)), std::string("QVXM"));
                QCOMPARE(m.FirmwareVersion, truth->firmware);
                QVERIFY(std::memcmp(m.CoefficientArea, truth->coefficients.data(), 752) == 0);
                ++opened;
            }
        }
        QCOMPARE(opened, 3);
        QVXM_Close(&m);
        QCOMPARE(QVXM_IsOpened(&m), QVX_ERR_NOT_OPEN);
        QVERIFY(!sim->moduleStats(kCrate, kSlot).open);
    }

    void moduleOpenFailures_data()
    {
        QTest::addColumn<QString>("crate");
        QTest::addColumn<int>("slot");
        QTest::addColumn<bool>("openFault");
        QTest::addColumn<int>("expected");
        QTest::newRow("empty slot") << "QVX-2301" << 3 << false << QVX_ERR_NOT_FOUND;
        QTest::newRow("another module") << "QVX-2301" << 1 << false << QVX_ERR_NOT_QVXM;
        QTest::newRow("unknown crate") << "QVX-9999" << 2 << false << QVX_ERR_NOT_FOUND;
        QTest::newRow("slot 0") << "QVX-2301" << 0 << false << QVX_ERR_ARGUMENT;
        QTest::newRow("slot 17") << "QVX-2301" << 17 << false << QVX_ERR_ARGUMENT;
        QTest::newRow("refuses to open") << "QVX-2301" << 5 << true << QVX_ERR_DEVICE;
    }
    void moduleOpenFailures()
    {
        QFETCH(QString, crate);
        QFETCH(int, slot);
        QFETCH(bool, openFault);
        QFETCH(int, expected);
        Sim sim;
        QVERIFY(sim.ok());
        qvxsim::ModuleFaults f;
        f.openFails = openFault;
        sim->setModuleFaults("QVX-2301", 5, f);
        TQVXM m;
        QCOMPARE(openModule(m, crate.toLatin1().constData(), static_cast<uint16_t>(slot)), expected);
        QCOMPARE(QVXM_IsOpened(&m), QVX_ERR_NOT_OPEN);
        QCOMPARE(QVXM_Close(&m), QVX_OK);
        // The failure leaves the server usable.
        QCOMPARE(openModule(m), QVX_OK);
        QVXM_Close(&m);
    }

    void moduleHeldByAnotherClientIsBusyUntilClosed()
    {
        Sim sim;
        QVERIFY(sim.ok());
        TQVXM a, b;
        QCOMPARE(openModule(a), QVX_OK);
        QCOMPARE(openModule(b), QVX_ERR_BUSY);
        QVXM_Close(&a);
        QCOMPARE(openModule(b), QVX_OK);
        // Re-opening an open record releases its module first.
        QCOMPARE(QVXM_Open(&b, QVX_DEFAULT_ADDRESS, QVX_DEFAULT_PORT, kCrate, kSlot), QVX_OK);
        QVXM_Close(&b);
    }

    void crateServerFailures()
    {
        Sim sim;
        QVERIFY(sim.ok());
        TQVX q;
        QVX_Init(&q);
        std::strcpy(q.CrateSerial, "QVX-0000");
        QCOMPARE(QVX_Open(&q), QVX_ERR_NOT_FOUND);
        QCOMPARE(q.Socket, -1); // a failed open leaves nothing to close

        QVX_Init(&q);
        QCOMPARE(QVX_Open(&q), QVX_OK);
        uint16_t ids[16];
        QCOMPARE(QVX_GetCrateModules(&q, ids), QVX_ERR_STATE); // the server is no crate
        QCOMPARE(q.Socket, -1);

        qvxsim::ServerFaults f;
        f.crateListFails = true;
        sim->setServerFaults(f);
        QCOMPARE(listCrates().status, QVX_ERR_DEVICE);
        sim->setServerFaults({});
        sim->setCrateModulesFail("QVX-2417", true);
        QCOMPARE(listCrates().status, QVX_ERR_DEVICE);
        sim->setCrateModulesFail("QVX-2417", false);
        QCOMPARE(listCrates().status, QVX_OK);
    }

    void noServer()
    {
        QVX_SetServerPortOverride(deadPort());
        TQVX q;
        QVX_Init(&q);
        QCOMPARE(QVX_Open(&q), QVX_ERR_CONNECT);
        char crates[16][16];
        QCOMPARE(QVX_GetCrates(&q, crates), QVX_ERR_NOT_OPEN);
        TQVXM m;
        QCOMPARE(openModule(m), QVX_ERR_CONNECT);
        QCOMPARE(QVXM_Start(&m), QVX_ERR_NOT_OPEN);
        QVX_SetServerPortOverride(0);
    }

    void malformedReplies_data()
    {
        QTest::addColumn<int>("corruption");
        QTest::addColumn<int>("expected");
        QTest::newRow("bad magic") << int(ReplyCorruption::BadMagic) << QVX_ERR_PROTOCOL;
        QTest::newRow("other version") << int(ReplyCorruption::BadVersion) << QVX_ERR_PROTOCOL;
        QTest::newRow("oversized") << int(ReplyCorruption::Oversized) << QVX_ERR_PROTOCOL;
        QTest::newRow("wrong request id") << int(ReplyCorruption::WrongId) << QVX_ERR_PROTOCOL;
        QTest::newRow("truncated") << int(ReplyCorruption::Truncated) << QVX_ERR_TIMEOUT;
    }
    void malformedReplies()
    {
        QFETCH(int, corruption);
        QFETCH(int, expected);
        Sim sim;
        QVERIFY(sim.ok());
        qvxsim::ServerFaults f;
        f.corruption = static_cast<ReplyCorruption>(corruption);
        sim->setServerFaults(f);
        TQVX q;
        QVX_Init(&q);
        QCOMPARE(QVX_Open(&q), expected);
        QCOMPARE(q.Socket, -1);
        TQVXM m;
        QCOMPARE(openModule(m), expected);
        QCOMPARE(QVXM_IsOpened(&m), QVX_ERR_NOT_OPEN);
        sim->setServerFaults({});
        QCOMPARE(listCrates().status, QVX_OK);
    }

    void hangingServerTimesOut()
    {
        Sim sim;
        QVERIFY(sim.ok());
        TQVX q;
        QVX_Init(&q);
        QCOMPARE(QVX_Open(&q), QVX_OK);
        qvxsim::ServerFaults f;
        f.hang = true;
        sim->setServerFaults(f);
        char crates[16][16];
        QCOMPARE(QVX_GetCrates(&q, crates), QVX_ERR_TIMEOUT);
        QCOMPARE(q.Socket, -1);
        QVX_Close(&q);
    }

    void droppedConnection()
    {
        Sim sim;
        QVERIFY(sim.ok());
        TQVX q;
        QVX_Init(&q);
        QCOMPARE(QVX_Open(&q), QVX_OK);
        sim->dropConnections();
        char crates[16][16];
        QCOMPARE(QVX_GetCrates(&q, crates), QVX_ERR_CLOSED);
        QCOMPARE(listCrates().status, QVX_OK); // the server still listens
    }
};

QTEST_GUILESS_MAIN(TestQvxDiscovery)
#include "tst_qvxdiscovery.moc"
