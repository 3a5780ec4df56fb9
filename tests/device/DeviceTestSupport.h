#pragma once

// Helpers shared by the hardware-layer tests: a simulator per test, the program's set-up
// sequence, and the truth of a channel's signal.

#include "Scenario.h"
#include "SimServer.h"
#include "qvxapi.h"
#include "qvxmapi.h"
#include "qvxmodel.h"

#include <cmath>
#include <memory>
#include <numbers>
#include <vector>

namespace devtest {

inline constexpr const char *kCrate = "QVX-2301";
inline constexpr uint16_t kSlot = 2;

// The demo scenario without noise, so converted values can be held to the ADC's resolution.
inline qvxsim::Scenario quietScenario()
{
    auto s = qvxsim::Scenario::builtIn();
    for (auto &c : s.crates)
        for (auto &m : c.modules)
            for (auto &ch : m.channels)
                ch.NoiseMv = 0.0;
    return s;
}

// A started simulator that the libraries are pointed at; stops on destruction.
struct Sim {
    std::unique_ptr<qvxsim::SimServer> server;
    explicit Sim(qvxsim::Scenario s = quietScenario(), bool fast = true)
    {
        qvxsim::SimOptions o;
        o.fast = fast;
        server = std::make_unique<qvxsim::SimServer>(std::move(s), o);
        if (server->start())
            QVX_SetServerPortOverride(server->port());
    }
    ~Sim()
    {
        server->stop();
        QVX_SetServerPortOverride(0);
    }
    bool ok() const { return server->isRunning(); }
    qvxsim::SimServer *operator->() { return server.get(); }
};

inline int32_t openModule(TQVXM &m, const char *crate = kCrate, uint16_t slot = kSlot)
{
    QVXM_Init(&m);
    return QVXM_Open(&m, QVX_DEFAULT_ADDRESS, QVX_DEFAULT_PORT, crate, slot);
}

struct SetupRequest {
    uint32_t channels = 0x1;    // bit c: channel c enabled
    uint32_t wideRanges = 0;    // bit c: channel c on the 70 mV range
    double rateHz = 10000.0;
    double currentMa = 7.0;
    bool tare = false;
};

struct SetupResult {
    int32_t status = QVX_OK;
    const char *failedCall = "";
    double achievedMa = 0.0;
    double achievedHz = 0.0;
    TQVXMDataStatus dataStatus{};
};

// The program's acquisition set-up: Stop, FillISrcCode, FillSyncFreqDiv, FillFilterParams,
// SetADC, DataStatusInit, InitMeasParams.
inline SetupResult setUp(TQVXM &m, const SetupRequest &q)
{
    SetupResult r;
    auto step = [&r](int32_t status, const char *name) {
        if (r.status == QVX_OK && status != QVX_OK) {
            r.status = status;
            r.failedCall = name;
        }
        return r.status == QVX_OK;
    };
    if (m.Running && !step(QVXM_Stop(&m), "QVXM_Stop"))
        return r;
    int count = 0;
    for (int c = 0; c < 16; ++c) {
        if (q.channels >> c & 1u) {
            m.ChannelTable[count].Channel = static_cast<uint8_t>(c);
            m.ChannelTable[count].Range = (q.wideRanges >> c & 1u) ? 1 : 0;
            ++count;
        }
    }
    m.ChannelCount = count;
    m.SingleChannelMode = count == 1 ? 1 : 0;
    m.ClearedWord = 0;
    m.ClearedFlag = 0;
    m.TareEnabled = q.tare ? 1 : 0;
    if (!step(QVXM_FillISrcCode(&m, q.currentMa, &r.achievedMa), "QVXM_FillISrcCode"))
        return r;
    TQVXMFilterParams filter{};
    if (m.SingleChannelMode) {
        if (!step(QVXM_FillFilterParams(&m, q.rateHz, &filter, 0), "QVXM_FillFilterParams"))
            return r;
        r.achievedHz = filter.Rate;
    } else {
        m.MultiChannelParam = 10.0;
        if (!step(QVXM_FillSyncFreqDiv(&m, q.rateHz, &r.achievedHz), "QVXM_FillSyncFreqDiv") ||
            !step(QVXM_FillFilterParams(&m, q.rateHz, &filter, 0), "QVXM_FillFilterParams"))
            return r;
    }
    if (!step(QVXM_SetADC(&m), "QVXM_SetADC") ||
        !step(QVXM_DataStatusInit(&r.dataStatus), "QVXM_DataStatusInit"))
        return r;
    step(QVXM_InitMeasParams(&m, 3, 224, &r.dataStatus), "QVXM_InitMeasParams");
    return r;
}

// One frame the way the acquisition worker takes it: Start, Recv in chunks, Stop.
// Returns the words received, or the first failing status.
inline int64_t acquire(TQVXM &m, std::vector<uint32_t> &words, uint32_t chunk, uint32_t timeoutMs = 5000)
{
    if (const int32_t s = QVXM_Start(&m); s != QVX_OK)
        return s;
    uint32_t received = 0;
    int32_t failure = QVX_OK;
    while (received < words.size()) {
        const uint32_t ask = std::min<uint32_t>(chunk, static_cast<uint32_t>(words.size()) - received);
        const int32_t r = QVXM_Recv(&m, words.data() + received, nullptr, ask, timeoutMs);
        if (r < 0) {
            failure = r;
            break;
        }
        received += static_cast<uint32_t>(r);
        if (static_cast<uint32_t>(r) != ask)
            break;
    }
    const int32_t stop = QVXM_Stop(&m);
    if (failure != QVX_OK)
        return failure;
    if (stop != QVX_OK)
        return stop;
    return received;
}

// Least-squares fit of dc + a sin(w t) + b cos(w t); returns the largest residual and the
// fitted dc and amplitude. Needed because the module's sine is free-running.
struct SineFit {
    double dc = 0.0, amplitude = 0.0, maxResidual = 0.0;
};

inline SineFit fitSine(const std::vector<double> &t, const std::vector<double> &y, double hz)
{
    const double w = 2.0 * std::numbers::pi * hz;
    double a[3][4] = {};
    for (size_t i = 0; i < t.size(); ++i) {
        const double f[3] = {1.0, std::sin(w * t[i]), std::cos(w * t[i])};
        for (int r = 0; r < 3; ++r) {
            for (int c = 0; c < 3; ++c)
                a[r][c] += f[r] * f[c];
            a[r][3] += f[r] * y[i];
        }
    }
    for (int p = 0; p < 3; ++p) { // Gauss-Jordan, the system is well conditioned
        for (int r = 0; r < 3; ++r) {
            if (r == p)
                continue;
            const double k = a[r][p] / a[p][p];
            for (int c = p; c < 4; ++c)
                a[r][c] -= k * a[p][c];
        }
    }
    const double x[3] = {a[0][3] / a[0][0], a[1][3] / a[1][1], a[2][3] / a[2][2]};
    SineFit fit{x[0], std::hypot(x[1], x[2]), 0.0};
    for (size_t i = 0; i < t.size(); ++i) {
        const double m = x[0] + x[1] * std::sin(w * t[i]) + x[2] * std::cos(w * t[i]);
        fit.maxResidual = std::max(fit.maxResidual, std::fabs(m - y[i]));
    }
    return fit;
}

// One ADC step of a range, in millivolts.
inline double lsbMv(int range)
{
    return qvx::model::kRangeMv[static_cast<size_t>(range)] / qvx::model::kCodeFullScale;
}

} // namespace devtest
