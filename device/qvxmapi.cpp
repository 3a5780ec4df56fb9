#include "qvxmapi.h"

#include "protocol.h"
#include "qvxmodel.h"
#include "transport.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

static_assert(offsetof(TQVXM, CoefficientArea) % 8 == 0, "coefficient pairs stay aligned");
static_assert(offsetof(TQVXMFilterParams, Rate) == 8, "the achieved rate is the second field");
static_assert(offsetof(TQVXMDataStatus, Wiring) == 0, "wiring bits are the first byte");
static_assert(sizeof(TQVXMChannelEntry) == 4, "channel table entries are 4 bytes");

namespace {

constexpr uint32_t kOpenMark = 0x4D585651u;
constexpr int kTareTimeoutMs = 15000; // balancing takes a few seconds on the module
constexpr int kCloseTimeoutMs = 1000;

using qvx::proto::MsgType;
namespace tp = qvx::transport;
namespace model = qvx::model;

bool isOpen(const TQVXM *rec)
{
    return rec->OpenMark == kOpenMark && rec->Opened && rec->Socket >= 0;
}

void dropConnection(TQVXM *rec)
{
    int fd = rec->Socket;
    tp::closeFd(fd);
    rec->Socket = -1;
}

void forget(TQVXM *rec)
{
    dropConnection(rec);
    rec->OpenMark = 0;
    rec->Opened = 0;
    rec->Running = 0;
    rec->Configured = 0;
}

// One request to the module; a transport fault drops the connection (the record stays
// "opened" so that the caller still closes it, and every later call fails fast).
int32_t call(TQVXM *rec, MsgType type, const std::vector<uint8_t> &request, tp::Reply &reply,
             int timeoutMs = tp::kReplyTimeoutMs)
{
    if (!rec)
        return QVX_ERR_ARGUMENT;
    if (rec->OpenMark != kOpenMark || !rec->Opened)
        return QVX_ERR_NOT_OPEN;
    if (rec->Socket < 0)
        return QVX_ERR_CLOSED;
    const int32_t r = tp::exchange(rec->Socket, type, request, reply, timeoutMs);
    if (r != QVX_OK) {
        dropConnection(rec);
        return r;
    }
    return reply.status;
}

model::CoefficientArea areaOf(const TQVXM *rec)
{
    model::CoefficientArea a;
    std::memcpy(a.data(), rec->CoefficientArea, a.size());
    return a;
}

void fillFilter(const model::FilterChoice &c, TQVXMFilterParams *filter)
{
    filter->Decimation = c.decimation;
    filter->Order = model::kFilterOrder;
    filter->Rate = c.filterRateHz;
    filter->SettleUs = c.settleUs;
}

} // namespace

extern "C" int32_t QVXM_Init(TQVXM *rec)
{
    if (!rec)
        return QVX_ERR_ARGUMENT;
    if (rec->OpenMark == kOpenMark)
        forget(rec);
    std::memset(rec, 0, sizeof *rec);
    rec->Socket = -1;
    rec->MultiChannelParam = 10.0;
    return QVX_OK;
}

extern "C" int32_t QVXM_Open(TQVXM *rec, uint32_t address, uint16_t port, const char *crateSerial,
                             uint16_t slot)
{
    if (!rec || !crateSerial)
        return QVX_ERR_ARGUMENT;
    if (rec->OpenMark == kOpenMark)
        QVXM_Close(rec);
    rec->Socket = -1;
    rec->Opened = 0;
    rec->Running = 0;
    rec->Configured = 0;
    if (slot < 1 || slot > QVXM_CHANNELS)
        return QVX_ERR_ARGUMENT;
    int fd = -1;
    int32_t r = tp::connectTo(address, port, tp::kConnectTimeoutMs, fd);
    if (r != QVX_OK)
        return r;
    rec->Socket = fd;
    rec->OpenMark = kOpenMark;
    rec->Opened = 1;

    qvx::proto::ConnectRequest req;
    req.crate = qvx::proto::makeSerial(crateSerial);
    req.slot = slot;
    qvx::proto::Writer w;
    req.encode(w);
    tp::Reply reply;
    r = call(rec, MsgType::ModuleOpen, w.data(), reply);
    qvx::proto::ModuleInfo info;
    if (r == QVX_OK) {
        auto body = reply.body();
        if (!info.decode(body))
            r = QVX_ERR_PROTOCOL;
    }
    if (r != QVX_OK) {
        forget(rec);
        return r;
    }
    std::memcpy(rec->ModuleName, info.name.data(), sizeof rec->ModuleName);
    std::memcpy(rec->ModuleSerial, info.serial.data(), sizeof rec->ModuleSerial);
    rec->ModuleSerial[sizeof rec->ModuleSerial - 1] = 0;
    rec->FirmwareVersion = info.firmware;
    std::memcpy(rec->CoefficientArea, info.area.data(), sizeof rec->CoefficientArea);
    std::memcpy(rec->CrateSerial, req.crate.data(), sizeof rec->CrateSerial);
    rec->Slot = slot;
    return QVX_OK;
}

extern "C" int32_t QVXM_IsOpened(const TQVXM *rec)
{
    if (!rec)
        return QVX_ERR_ARGUMENT;
    return rec->OpenMark == kOpenMark && rec->Opened ? QVX_OK : QVX_ERR_NOT_OPEN;
}

extern "C" int32_t QVXM_Close(TQVXM *rec)
{
    if (!rec)
        return QVX_ERR_ARGUMENT;
    if (isOpen(rec)) {
        // Waits for the server to release the module so that the next open finds it free.
        tp::Reply reply;
        call(rec, MsgType::ModuleClose, {}, reply, kCloseTimeoutMs);
    }
    if (rec->OpenMark == kOpenMark)
        forget(rec);
    rec->Socket = -1;
    rec->Opened = 0;
    rec->Running = 0;
    return QVX_OK;
}

extern "C" int32_t QVXM_FindFilterParams(int32_t single, double hz, double settleUs,
                                         TQVXMFilterParams *filter, double *extraUs)
{
    if (!filter || !extraUs)
        return QVX_ERR_ARGUMENT;
    model::FilterChoice c;
    const int32_t r = single ? model::chooseSingle(hz, c) : model::chooseMulti(hz, settleUs, c);
    if (r != QVX_OK)
        return r;
    fillFilter(c, filter);
    *extraUs = c.settleUs;
    return QVX_OK;
}

extern "C" int32_t QVXM_FindISrcCode(const TQVXMCoefPair *pair, double mA, uint16_t *code,
                                     double *achievedMa)
{
    if (!pair || !achievedMa)
        return QVX_ERR_ARGUMENT;
    uint16_t c = 0;
    double achieved = 0.0;
    const int32_t r = model::chooseCurrent({pair->First, pair->Second}, mA, c, achieved);
    if (r != QVX_OK)
        return r;
    if (code)
        *code = c;
    *achievedMa = achieved;
    return QVX_OK;
}

extern "C" int32_t QVXM_GetCoefPair(const TQVXM *rec, int32_t index, TQVXMCoefPair *pair)
{
    if (!rec || !pair || index < 0 || index >= QVXM_COEFFICIENT_PAIRS)
        return QVX_ERR_ARGUMENT;
    const auto p = model::coefPair(areaOf(rec), index);
    pair->First = p.first;
    pair->Second = p.second;
    return QVX_OK;
}

extern "C" int32_t QVXM_FillISrcCode(TQVXM *rec, double mA, double *achievedMa)
{
    if (!rec || !achievedMa)
        return QVX_ERR_ARGUMENT;
    TQVXMCoefPair pair;
    QVXM_GetCoefPair(rec, QVXM_ISRC_PAIR, &pair);
    uint16_t code = 0;
    const int32_t r = QVXM_FindISrcCode(&pair, mA, &code, achievedMa);
    if (r != QVX_OK)
        return r;
    rec->ISrcCode = code;
    rec->SupplyCurrent = *achievedMa;
    rec->Configured = 0;
    return QVX_OK;
}

extern "C" int32_t QVXM_FillSyncFreqDiv(TQVXM *rec, double hz, double *achievedHz)
{
    if (!rec || !achievedHz)
        return QVX_ERR_ARGUMENT;
    model::FilterChoice c;
    const int32_t r = model::chooseMulti(hz, rec->MultiChannelParam, c);
    if (r != QVX_OK)
        return r;
    rec->SyncPeriod = c.syncPeriod;
    rec->Configured = 0;
    *achievedHz = c.conversionRateHz;
    return QVX_OK;
}

extern "C" int32_t QVXM_FillFilterParams(TQVXM *rec, double hz, TQVXMFilterParams *filter,
                                         uint32_t flags)
{
    if (!rec || !filter || flags != 0)
        return QVX_ERR_ARGUMENT;
    model::FilterChoice c;
    const int32_t r = rec->SingleChannelMode ? model::chooseSingle(hz, c)
                                             : model::chooseMulti(hz, rec->MultiChannelParam, c);
    if (r != QVX_OK)
        return r;
    rec->FilterDecimation = c.decimation;
    rec->Configured = 0;
    fillFilter(c, filter);
    return QVX_OK;
}

extern "C" int32_t QVXM_SetADC(TQVXM *rec)
{
    if (!rec)
        return QVX_ERR_ARGUMENT;
    if (QVXM_IsOpened(rec) != QVX_OK)
        return QVX_ERR_NOT_OPEN;
    if (rec->Running)
        return QVX_ERR_STATE;
    if (rec->ChannelCount < 1 || rec->ChannelCount > QVXM_CHANNELS)
        return QVX_ERR_ARGUMENT;
    qvx::proto::AdcConfig cfg;
    cfg.single = rec->SingleChannelMode ? 1 : 0;
    cfg.settleUs = rec->SingleChannelMode ? 0.0 : rec->MultiChannelParam;
    cfg.decimation = rec->FilterDecimation;
    cfg.syncPeriod = rec->SingleChannelMode ? 0 : rec->SyncPeriod;
    cfg.isrcCode = rec->ISrcCode;
    cfg.tare = rec->TareEnabled ? 1 : 0;
    cfg.clearedWord = rec->ClearedWord;
    cfg.clearedFlag = rec->ClearedFlag;
    for (int i = 0; i < rec->ChannelCount; ++i)
        cfg.table.push_back({rec->ChannelTable[i].Channel, rec->ChannelTable[i].Range});
    qvx::proto::Geometry g;
    int32_t r = qvx::proto::validateConfig(cfg, g);
    if (r != QVX_OK)
        return r;
    qvx::proto::Writer w;
    cfg.encode(w);
    tp::Reply reply;
    rec->Configured = 0;
    r = call(rec, MsgType::SetAdc, w.data(), reply);
    if (r != QVX_OK)
        return r;
    qvx::proto::AdcConfigReply body;
    auto reader = reply.body();
    if (!body.decode(reader) || body.wordsPerFrame != g.wordsPerFrame || !(body.frameRate > 0.0))
        return QVX_ERR_PROTOCOL;
    rec->WordsPerFrame = body.wordsPerFrame;
    rec->FrameRate = body.frameRate;
    rec->Configured = 1;
    return QVX_OK;
}

extern "C" int32_t QVXM_DataStatusInit(TQVXMDataStatus *status)
{
    if (!status)
        return QVX_ERR_ARGUMENT;
    std::memset(status, 0, sizeof *status);
    return QVX_OK;
}

extern "C" int32_t QVXM_InitMeasParams(TQVXM *rec, uint32_t tests, uint32_t threshold,
                                       TQVXMDataStatus *status)
{
    if (!rec || !status)
        return QVX_ERR_ARGUMENT;
    if (QVXM_IsOpened(rec) == QVX_OK && !rec->Configured)
        return QVX_ERR_STATE;
    qvx::proto::MeasParamsRequest req{tests, threshold};
    qvx::proto::Writer w;
    req.encode(w);
    tp::Reply reply;
    const int32_t r = call(rec, MsgType::InitMeasParams, w.data(), reply);
    if (r != QVX_OK && r != QVX_ERR_WIRING)
        return r;
    qvx::proto::MeasParamsReply body;
    auto reader = reply.body();
    if (!body.decode(reader))
        return QVX_ERR_PROTOCOL;
    status->Wiring = body.wiring;
    status->Checked = body.checked;
    status->Threshold = body.threshold;
    status->ChannelFlags = body.channelFlags;
    return r;
}

extern "C" int32_t QVXM_Start(TQVXM *rec)
{
    if (!rec)
        return QVX_ERR_ARGUMENT;
    if (QVXM_IsOpened(rec) != QVX_OK)
        return QVX_ERR_NOT_OPEN;
    if (rec->Running || !rec->Configured)
        return QVX_ERR_STATE;
    tp::Reply reply;
    const int32_t r = call(rec, MsgType::Start, {}, reply);
    if (r == QVX_OK)
        rec->Running = 1;
    return r;
}

extern "C" int32_t QVXM_Stop(TQVXM *rec)
{
    if (!rec)
        return QVX_ERR_ARGUMENT;
    if (!rec->Running)
        return QVX_OK;
    tp::Reply reply;
    const int32_t r = call(rec, MsgType::Stop, {}, reply);
    if (r == QVX_OK)
        rec->Running = 0;
    return r;
}

extern "C" int32_t QVXM_Recv(TQVXM *rec, uint32_t *words, uint64_t *timeMarks, uint32_t count,
                             uint32_t timeoutMs)
{
    if (!rec || (!words && count > 0) || timeMarks)
        return QVX_ERR_ARGUMENT;
    if (QVXM_IsOpened(rec) != QVX_OK)
        return QVX_ERR_NOT_OPEN;
    if (!rec->Running)
        return QVX_ERR_STATE;
    if (count > static_cast<uint32_t>(INT32_MAX))
        return QVX_ERR_ARGUMENT;
    timeoutMs = std::min<uint32_t>(timeoutMs, 600000);
    const auto deadline = tp::Clock::now() + std::chrono::milliseconds(timeoutMs);
    uint32_t received = 0;
    while (received < count) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - tp::Clock::now())
                              .count();
        qvx::proto::RecvRequest req;
        req.count = std::min(count - received, qvx::proto::kMaxWordsPerMessage);
        req.timeoutMs = static_cast<uint32_t>(std::max<long long>(left, 0));
        qvx::proto::Writer w;
        req.encode(w);
        tp::Reply reply;
        const int32_t r = call(rec, MsgType::Recv, w.data(), reply,
                               static_cast<int>(req.timeoutMs) + tp::kRecvMarginMs);
        if (r != QVX_OK)
            return r;
        auto body = reply.body();
        const uint32_t n = body.u32();
        if (!body.ok() || n > req.count || body.remaining() != size_t{n} * 4) {
            dropConnection(rec);
            return QVX_ERR_PROTOCOL;
        }
        for (uint32_t i = 0; i < n; ++i)
            words[received + i] = body.u32();
        received += n;
        if (n < req.count)
            break; // the module delivered a short block
    }
    return static_cast<int32_t>(received);
}

extern "C" int32_t QVXM_ProcessData(TQVXM *rec, const uint32_t *words, double *values,
                                    uint32_t *count, uint32_t *channelStatus,
                                    const uint64_t *timeMarks, uint32_t flags)
{
    if (!rec || !count || timeMarks || flags != 0 || (*count > 0 && (!words || !values)))
        return QVX_ERR_ARGUMENT;
    const uint32_t nWords = *count;
    *count = 0;
    if (!rec->Configured || rec->ChannelCount < 1 || rec->ChannelCount > QVXM_CHANNELS ||
        rec->WordsPerFrame != rec->ChannelCount * model::kWordsPerValue)
        return QVX_ERR_STATE;
    if (nWords % model::kWordsPerValue != 0)
        return QVX_ERR_DATA;
    const uint32_t nValues = nWords / model::kWordsPerValue;
    const auto area = areaOf(rec);
    const model::CoefPair adc[2] = {model::coefPair(area, 0), model::coefPair(area, 1)};
    const auto channels = static_cast<uint32_t>(rec->ChannelCount);
    for (uint32_t i = 0; i < nValues; ++i) {
        const TQVXMChannelEntry &e = rec->ChannelTable[i % channels];
        if (e.Range > 1)
            return QVX_ERR_DATA;
        int32_t code = 0;
        uint8_t f = 0;
        if (!model::unpackValue(words + size_t{i} * model::kWordsPerValue, e.Channel, code, f))
            return QVX_ERR_DATA;
        values[i] = model::voltsOf(code, e.Range, adc[e.Range]);
        if (channelStatus)
            channelStatus[i] = f;
    }
    *count = nValues;
    return QVX_OK;
}

extern "C" int32_t QVXM_TareOffset(TQVXM *rec, uint32_t mask, uint32_t *result)
{
    if (!rec)
        return QVX_ERR_ARGUMENT;
    if (QVXM_IsOpened(rec) != QVX_OK)
        return QVX_ERR_NOT_OPEN;
    if (rec->Running)
        return QVX_ERR_STATE;
    qvx::proto::TareRequest req{mask & 0xFFFFu};
    qvx::proto::Writer w;
    req.encode(w);
    tp::Reply reply;
    const int32_t r = call(rec, MsgType::Tare, w.data(), reply, kTareTimeoutMs);
    if (r != QVX_OK)
        return r;
    qvx::proto::TareReply body;
    auto reader = reply.body();
    if (!body.decode(reader))
        return QVX_ERR_PROTOCOL;
    if (result)
        *result = body.result;
    return QVX_OK;
}
