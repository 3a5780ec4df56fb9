#include "qvxapi.h"

#include "protocol.h"
#include "transport.h"

#include <cstring>

namespace {

constexpr uint32_t kOpenMark = 0x51565831u;

using qvx::proto::MsgType;
namespace tp = qvx::transport;

void dropConnection(TQVX *rec)
{
    int fd = rec->Socket;
    tp::closeFd(fd);
    rec->Socket = -1;
    rec->OpenMark = 0;
}

int replyTimeout(const TQVX *rec)
{
    return rec->ReplyTimeoutMs > 0 && rec->ReplyTimeoutMs <= 60000
               ? static_cast<int>(rec->ReplyTimeoutMs)
               : tp::kReplyTimeoutMs;
}

bool isOpen(const TQVX *rec)
{
    return rec->OpenMark == kOpenMark && rec->Socket >= 0;
}

// Runs one request on an open record; any transport fault drops the connection.
int32_t call(TQVX *rec, MsgType type, const std::vector<uint8_t> &request, tp::Reply &reply)
{
    if (!isOpen(rec))
        return QVX_ERR_NOT_OPEN;
    const int32_t r = tp::exchange(rec->Socket, type, request, reply, replyTimeout(rec));
    if (r != QVX_OK) {
        dropConnection(rec);
        return r;
    }
    return reply.status;
}

} // namespace

extern "C" int32_t QVX_Init(TQVX *rec)
{
    if (!rec)
        return QVX_ERR_ARGUMENT;
    if (isOpen(rec))
        dropConnection(rec);
    std::memset(rec, 0, sizeof *rec);
    rec->ServerAddress = QVX_DEFAULT_ADDRESS;
    rec->ServerPort = QVX_DEFAULT_PORT;
    rec->Socket = -1;
    rec->ReplyTimeoutMs = tp::kReplyTimeoutMs;
    return QVX_OK;
}

extern "C" int32_t QVX_Open(TQVX *rec)
{
    if (!rec)
        return QVX_ERR_ARGUMENT;
    if (isOpen(rec))
        dropConnection(rec);
    int fd = -1;
    int32_t r = tp::connectTo(rec->ServerAddress, rec->ServerPort, tp::kConnectTimeoutMs, fd);
    if (r != QVX_OK) {
        rec->Socket = -1;
        rec->OpenMark = 0;
        return r;
    }
    rec->Socket = fd;
    rec->OpenMark = kOpenMark;
    rec->CrateSerial[QVX_SERIAL_LEN - 1] = 0;
    qvx::proto::ConnectRequest req;
    req.crate = qvx::proto::makeSerial(rec->CrateSerial);
    req.slot = rec->Slot;
    qvx::proto::Writer w;
    req.encode(w);
    tp::Reply reply;
    r = call(rec, MsgType::Connect, w.data(), reply);
    if (r != QVX_OK)
        dropConnection(rec);
    return r;
}

extern "C" int32_t QVX_GetCrates(TQVX *rec, char crates[QVX_MAX_CRATES][QVX_SERIAL_LEN])
{
    if (!rec || !crates)
        return QVX_ERR_ARGUMENT;
    tp::Reply reply;
    int32_t r = call(rec, MsgType::GetCrates, {}, reply);
    if (r == QVX_OK) {
        qvx::proto::CratesReply body;
        auto reader = reply.body();
        if (!body.decode(reader))
            r = QVX_ERR_PROTOCOL;
        else {
            std::memset(crates, 0, QVX_MAX_CRATES * QVX_SERIAL_LEN);
            for (size_t i = 0; i < body.crates.size() && i < QVX_MAX_CRATES; ++i)
                std::memcpy(crates[i], body.crates[i].data(), QVX_SERIAL_LEN);
            return QVX_OK;
        }
    }
    dropConnection(rec);
    return r;
}

extern "C" int32_t QVX_GetCrateModules(TQVX *rec, uint16_t modules[QVX_SLOT_COUNT])
{
    if (!rec || !modules)
        return QVX_ERR_ARGUMENT;
    tp::Reply reply;
    int32_t r = call(rec, MsgType::GetCrateModules, {}, reply);
    if (r == QVX_OK) {
        qvx::proto::ModulesReply body;
        auto reader = reply.body();
        if (!body.decode(reader))
            r = QVX_ERR_PROTOCOL;
        else {
            for (int i = 0; i < QVX_SLOT_COUNT; ++i)
                modules[i] = body.ids[static_cast<size_t>(i)];
            return QVX_OK;
        }
    }
    dropConnection(rec);
    return r;
}

extern "C" int32_t QVX_Close(TQVX *rec)
{
    if (!rec)
        return QVX_ERR_ARGUMENT;
    if (isOpen(rec))
        dropConnection(rec);
    rec->Socket = -1;
    return QVX_OK;
}
