// Time of the discovery listing and of one acquisition frame through the client libraries,
// against an in-process simulator on a free port.

#include "SimServer.h"
#include "qvxapi.h"
#include "qvxmapi.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

std::unique_ptr<qvxsim::SimServer> startSim(bool fast)
{
    qvxsim::SimOptions o;
    o.fast = fast;
    auto s = std::make_unique<qvxsim::SimServer>(qvxsim::Scenario::builtIn(), o);
    if (!s->start())
        return nullptr;
    QVX_SetServerPortOverride(s->port());
    return s;
}

// The crate list, the modules of every crate, and every QVXM opened once for its serial.
int listEverything()
{
    TQVX q;
    char crates[QVX_MAX_CRATES][QVX_SERIAL_LEN];
    std::memset(crates, 0, sizeof crates);
    QVX_Init(&q);
    q.Slot = 0;
    if (QVX_Open(&q) != QVX_OK || QVX_GetCrates(&q, crates) != QVX_OK)
        return -1;
    QVX_Close(&q);
    int serials = 0;
    TQVXM m;
    QVXM_Init(&m);
    QVX_Init(&q);
    q.Slot = 0;
    for (int c = 0; c < QVX_MAX_CRATES && crates[c][0]; ++c) {
        std::memcpy(q.CrateSerial, crates[c], QVX_SERIAL_LEN);
        uint16_t ids[QVX_SLOT_COUNT];
        if (QVX_Open(&q) != QVX_OK || QVX_GetCrateModules(&q, ids) != QVX_OK)
            return -1;
        QVX_Close(&q);
        for (int s = 0; s < QVX_SLOT_COUNT; ++s) {
            if (ids[s] != QVX_MODULE_ID_QVXM)
                continue;
            if (QVXM_IsOpened(&m) == QVX_OK)
                QVXM_Close(&m);
            if (QVXM_Open(&m, QVX_DEFAULT_ADDRESS, QVX_DEFAULT_PORT, crates[c], uint16_t(s + 1)) == QVX_OK &&
                m.ModuleSerial[0])
                ++serials;
        }
    }
    if (QVXM_IsOpened(&m) == QVX_OK)
        QVXM_Close(&m);
    return serials;
}

void BM_CrateListing(benchmark::State &state)
{
    auto sim = startSim(true);
    if (!sim) {
        state.SkipWithError("simulator did not start");
        return;
    }
    for (auto _ : state) {
        if (listEverything() != 3) {
            state.SkipWithError("listing failed");
            break;
        }
    }
    sim->stop();
    QVX_SetServerPortOverride(0);
}
BENCHMARK(BM_CrateListing)->Unit(benchmark::kMillisecond)->UseRealTime();

// One frame of 16 channels at 20 kHz as the acquisition worker takes it: 1 s of data
// (1250 samples per channel, 40000 words) in chunks of 0.1 s, then the conversion.
// Argument 1 = paced in real time (the frame cannot be faster than 1 s), 0 = fast mode.
void BM_Frame16Channels20kHz(benchmark::State &state)
{
    auto sim = startSim(state.range(0) == 0);
    if (!sim) {
        state.SkipWithError("simulator did not start");
        return;
    }
    TQVXM m;
    QVXM_Init(&m);
    if (QVXM_Open(&m, QVX_DEFAULT_ADDRESS, QVX_DEFAULT_PORT, "QVX-2301", 2) != QVX_OK) {
        state.SkipWithError("open failed");
        return;
    }
    for (int c = 0; c < 16; ++c) {
        m.ChannelTable[c].Channel = uint8_t(c);
        m.ChannelTable[c].Range = 1;
    }
    m.ChannelCount = 16;
    m.SingleChannelMode = 0;
    m.MultiChannelParam = 10.0;
    double mA = 0, hz = 0;
    TQVXMFilterParams f{};
    TQVXMDataStatus st{};
    if (QVXM_FillISrcCode(&m, 7.0, &mA) || QVXM_FillSyncFreqDiv(&m, 20000.0, &hz) ||
        QVXM_FillFilterParams(&m, 20000.0, &f, 0) || QVXM_SetADC(&m) || QVXM_DataStatusInit(&st) ||
        QVXM_InitMeasParams(&m, 3, 224, &st)) {
        state.SkipWithError("set-up failed");
        return;
    }
    const auto samples = static_cast<uint32_t>(1.0 * m.FrameRate);
    const uint32_t recvWords = uint32_t(m.WordsPerFrame) * samples;
    const auto chunk = static_cast<uint32_t>(0.1 * m.FrameRate * m.ChannelCount);
    std::vector<uint32_t> words(recvWords);
    std::vector<double> values(recvWords);
    for (auto _ : state) {
        QVXM_Start(&m);
        uint32_t received = 0;
        while (received < recvWords) {
            const uint32_t ask = std::min(chunk, recvWords - received);
            if (QVXM_Recv(&m, words.data() + received, nullptr, ask, 5000) != int32_t(ask))
                break;
            received += ask;
        }
        QVXM_Stop(&m);
        uint32_t count = received;
        if (received != recvWords ||
            QVXM_ProcessData(&m, words.data(), values.data(), &count, nullptr, nullptr, 0) != QVX_OK) {
            state.SkipWithError("frame failed");
            break;
        }
        benchmark::DoNotOptimize(values.data());
    }
    state.counters["words"] = recvWords;
    QVXM_Close(&m);
    sim->stop();
    QVX_SetServerPortOverride(0);
}
BENCHMARK(BM_Frame16Channels20kHz)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
