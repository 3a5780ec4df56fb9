#pragma once

// Blocking TCP transport with explicit time limits (poll), Nagle off, no SIGPIPE. Used by the
// client libraries and, for the framing, by the simulator.

#include "protocol.h"

#include <chrono>
#include <cstdint>
#include <vector>

namespace qvx::transport {

using Clock = std::chrono::steady_clock;

inline constexpr int kConnectTimeoutMs = 2000;
inline constexpr int kReplyTimeoutMs = 3000;
inline constexpr int kRecvMarginMs = 1000;

// Port actually used for address:port once the test override is applied.
uint16_t effectivePort(uint32_t address, uint16_t port);

// Connects with a time limit; fd >= 0 on success. Status QVX_OK, QVX_ERR_CONNECT or
// QVX_ERR_TIMEOUT.
int32_t connectTo(uint32_t address, uint16_t port, int timeoutMs, int &fd);
void closeFd(int &fd);

int32_t sendAll(int fd, const void *data, size_t size, Clock::time_point deadline);
int32_t recvAll(int fd, void *data, size_t size, Clock::time_point deadline);

// One message off the wire; its header is checked (magic, version, type, size).
int32_t readMessage(int fd, proto::Header &header, std::vector<uint8_t> &payload,
                    Clock::time_point deadline);

// Sends a request and waits for its reply. On success status holds the reply's status and
// body is a reader positioned after it; transport faults (timeout, closed, malformed) are
// returned and the caller must drop the connection.
struct Reply {
    int32_t status = 0;
    std::vector<uint8_t> payload;
    proto::Reader body() const;
};
int32_t exchange(int fd, proto::MsgType type, const std::vector<uint8_t> &request, Reply &reply,
                 int replyTimeoutMs);

} // namespace qvx::transport
