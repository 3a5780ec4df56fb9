#include "transport.h"

#include "qvxcommon.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <climits>

namespace {

std::atomic<uint16_t> g_portOverride{0};
std::atomic<uint32_t> g_nextId{1};

int remainingMs(qvx::transport::Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - qvx::transport::Clock::now());
    // Far deadlines (an idle server connection) wait in slices of about 24 days.
    return static_cast<int>(std::clamp<long long>(left.count(), 0, INT_MAX));
}

// Waits for the socket to become ready; QVX_OK, QVX_ERR_TIMEOUT or QVX_ERR_CLOSED.
int32_t waitFor(int fd, short events, qvx::transport::Clock::time_point deadline)
{
    for (;;) {
        pollfd p{fd, events, 0};
        const int r = ::poll(&p, 1, remainingMs(deadline));
        if (r > 0) {
            if (p.revents & (POLLERR | POLLNVAL))
                return QVX_ERR_CLOSED;
            return QVX_OK; // readable, writable or hang-up: the next call tells which
        }
        if (r == 0)
            return QVX_ERR_TIMEOUT;
        if (errno != EINTR)
            return QVX_ERR_CLOSED;
    }
}

} // namespace

extern "C" void QVX_SetServerPortOverride(uint16_t port)
{
    g_portOverride.store(port);
}

extern "C" uint16_t QVX_ServerPortOverride(void)
{
    return g_portOverride.load();
}

extern "C" const char *QVX_StatusName(int32_t status)
{
    switch (status) {
    case QVX_OK: return "QVX_OK";
    case QVX_ERR_ARGUMENT: return "QVX_ERR_ARGUMENT";
    case QVX_ERR_CONNECT: return "QVX_ERR_CONNECT";
    case QVX_ERR_TIMEOUT: return "QVX_ERR_TIMEOUT";
    case QVX_ERR_PROTOCOL: return "QVX_ERR_PROTOCOL";
    case QVX_ERR_CLOSED: return "QVX_ERR_CLOSED";
    case QVX_ERR_NOT_OPEN: return "QVX_ERR_NOT_OPEN";
    case QVX_ERR_NOT_FOUND: return "QVX_ERR_NOT_FOUND";
    case QVX_ERR_BUSY: return "QVX_ERR_BUSY";
    case QVX_ERR_STATE: return "QVX_ERR_STATE";
    case QVX_ERR_DEVICE: return "QVX_ERR_DEVICE";
    case QVX_ERR_WIRING: return "QVX_ERR_WIRING";
    case QVX_ERR_DATA: return "QVX_ERR_DATA";
    case QVX_ERR_NOT_QVXM: return "QVX_ERR_NOT_QVXM";
    default: return status > 0 ? "QVX_POSITIVE" : "QVX_ERR_UNKNOWN";
    }
}

namespace qvx::transport {

uint16_t effectivePort(uint32_t address, uint16_t port)
{
    const uint16_t o = g_portOverride.load();
    if (o != 0 && address == QVX_DEFAULT_ADDRESS && port == QVX_DEFAULT_PORT)
        return o;
    return port;
}

void closeFd(int &fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

int32_t connectTo(uint32_t address, uint16_t port, int timeoutMs, int &fd)
{
    fd = -1;
    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (s < 0)
        return QVX_ERR_CONNECT;
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(effectivePort(address, port));
    sa.sin_addr.s_addr = htonl(address);
    int result = QVX_OK;
    if (::connect(s, reinterpret_cast<const sockaddr *>(&sa), sizeof sa) != 0) {
        if (errno != EINPROGRESS) {
            result = QVX_ERR_CONNECT;
        } else {
            const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
            result = waitFor(s, POLLOUT, deadline);
            if (result == QVX_OK) {
                int err = 0;
                socklen_t len = sizeof err;
                if (::getsockopt(s, SOL_SOCKET, SO_ERROR, &err, &len) != 0 || err != 0)
                    result = QVX_ERR_CONNECT;
            } else if (result == QVX_ERR_CLOSED) {
                result = QVX_ERR_CONNECT;
            }
        }
    }
    if (result != QVX_OK) {
        ::close(s);
        return result;
    }
    const int one = 1;
    ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    fd = s;
    return QVX_OK;
}

int32_t sendAll(int fd, const void *data, size_t size, Clock::time_point deadline)
{
    const auto *p = static_cast<const uint8_t *>(data);
    while (size > 0) {
        const ssize_t n = ::send(fd, p, size, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            p += n;
            size -= static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            const int32_t w = waitFor(fd, POLLOUT, deadline);
            if (w != QVX_OK)
                return w;
            continue;
        }
        return QVX_ERR_CLOSED;
    }
    return QVX_OK;
}

int32_t recvAll(int fd, void *data, size_t size, Clock::time_point deadline)
{
    auto *p = static_cast<uint8_t *>(data);
    while (size > 0) {
        const ssize_t n = ::recv(fd, p, size, MSG_DONTWAIT);
        if (n > 0) {
            p += n;
            size -= static_cast<size_t>(n);
            continue;
        }
        if (n == 0)
            return QVX_ERR_CLOSED;
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            const int32_t w = waitFor(fd, POLLIN, deadline);
            if (w != QVX_OK)
                return w;
            continue;
        }
        return QVX_ERR_CLOSED;
    }
    return QVX_OK;
}

int32_t readMessage(int fd, proto::Header &header, std::vector<uint8_t> &payload,
                    Clock::time_point deadline)
{
    uint8_t raw[proto::kHeaderSize];
    int32_t r = recvAll(fd, raw, sizeof raw, deadline);
    if (r != QVX_OK)
        return r;
    if (!proto::decodeHeader(raw, header))
        return QVX_ERR_PROTOCOL;
    payload.resize(header.length);
    if (header.length == 0)
        return QVX_OK;
    return recvAll(fd, payload.data(), payload.size(), deadline);
}

proto::Reader Reply::body() const
{
    proto::Reader r(payload);
    r.i32();
    return r;
}

int32_t exchange(int fd, proto::MsgType type, const std::vector<uint8_t> &request, Reply &reply,
                 int replyTimeoutMs)
{
    if (fd < 0)
        return QVX_ERR_NOT_OPEN;
    const uint32_t id = g_nextId.fetch_add(1);
    const auto msg = proto::encodeMessage(static_cast<uint16_t>(type), id, request);
    const auto sendDeadline = Clock::now() + std::chrono::milliseconds(kReplyTimeoutMs);
    int32_t r = sendAll(fd, msg.data(), msg.size(), sendDeadline);
    if (r != QVX_OK)
        return r;
    const auto deadline = Clock::now() + std::chrono::milliseconds(replyTimeoutMs);
    proto::Header h;
    r = readMessage(fd, h, reply.payload, deadline);
    if (r != QVX_OK)
        return r;
    if (h.type != (static_cast<uint16_t>(type) | proto::kReplyFlag) || h.id != id ||
        reply.payload.size() < 4)
        return QVX_ERR_PROTOCOL;
    proto::Reader s(reply.payload);
    reply.status = s.i32();
    if (reply.status > 0)
        return QVX_ERR_PROTOCOL; // the server only answers 0 or a negative code
    return QVX_OK;
}

} // namespace qvx::transport
