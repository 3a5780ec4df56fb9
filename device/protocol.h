#pragma once

// Wire protocol between the client libraries and the crate server.
//
// Every message is a 16-byte header followed by a payload, all little-endian:
//   u32 magic "QVX1" | u16 version | u16 type | u32 request id | u32 payload length
// A reply carries the request's type with kReplyFlag set and the request's id; its payload
// starts with the i32 status (a QVX_* code) followed by the type's body, which is always
// present (zeros on failure). A message with another magic or version, an unknown type or
// a length above kMaxPayload is rejected and the connection dropped.

#include "qvxmodel.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace qvx::proto {

inline constexpr uint32_t kMagic = 0x31585651u; // "QVX1"
inline constexpr uint16_t kVersion = 1;
inline constexpr size_t kHeaderSize = 16;
inline constexpr uint32_t kMaxPayload = 1u << 20;
inline constexpr uint32_t kMaxWordsPerMessage = 65536;
inline constexpr uint16_t kReplyFlag = 0x8000;

enum class MsgType : uint16_t {
    Connect = 1,         // ConnectRequest -> status
    GetCrates = 2,       // - -> CratesReply
    GetCrateModules = 3, // - -> ModulesReply
    ModuleOpen = 0x10,   // ConnectRequest -> ModuleInfo
    ModuleClose = 0x11,  // - -> status
    SetAdc = 0x12,       // AdcConfig -> AdcConfigReply
    InitMeasParams = 0x13, // MeasParamsRequest -> MeasParamsReply
    Start = 0x14,        // - -> status
    Stop = 0x15,         // - -> status
    Recv = 0x16,         // RecvRequest -> RecvReply
    Tare = 0x17,         // TareRequest -> TareReply
};

bool isKnownType(uint16_t type);

struct Header {
    uint32_t magic = kMagic;
    uint16_t version = kVersion;
    uint16_t type = 0;
    uint32_t id = 0;
    uint32_t length = 0;
};

void encodeHeader(const Header &h, uint8_t *out);
// Parses and checks magic, version, type and length; error names the fault.
bool decodeHeader(const uint8_t *in, Header &h, std::string *error = nullptr);
std::vector<uint8_t> encodeMessage(uint16_t type, uint32_t id, const std::vector<uint8_t> &payload);

class Writer {
public:
    void u8(uint8_t v) { buf_.push_back(v); }
    void u16(uint16_t v);
    void u32(uint32_t v);
    void i32(int32_t v) { u32(static_cast<uint32_t>(v)); }
    void f64(double v);
    void bytes(const void *p, size_t n);
    std::vector<uint8_t> &data() { return buf_; }

private:
    std::vector<uint8_t> buf_;
};

class Reader {
public:
    Reader(const uint8_t *p, size_t n) : p_(p), n_(n) {}
    explicit Reader(const std::vector<uint8_t> &v) : p_(v.data()), n_(v.size()) {}
    uint8_t u8();
    uint16_t u16();
    uint32_t u32();
    int32_t i32() { return static_cast<int32_t>(u32()); }
    double f64();
    void bytes(void *p, size_t n);
    size_t remaining() const { return ok_ ? n_ - pos_ : 0; }
    // True while every read stayed inside the payload.
    bool ok() const { return ok_; }
    bool atEnd() const { return ok_ && pos_ == n_; }

private:
    bool take(size_t n);
    const uint8_t *p_;
    size_t n_;
    size_t pos_ = 0;
    bool ok_ = true;
};

using Serial = std::array<char, 16>;

Serial makeSerial(const char *text); // at most 15 characters kept, zero-terminated
std::string serialText(const Serial &s);

struct ConnectRequest {
    Serial crate{};
    uint16_t slot = 0;
    void encode(Writer &w) const;
    bool decode(Reader &r);
};

struct CratesReply {
    std::vector<Serial> crates;
    void encode(Writer &w) const;
    bool decode(Reader &r);
};

struct ModulesReply {
    std::array<uint16_t, 16> ids{};
    void encode(Writer &w) const;
    bool decode(Reader &r);
};

struct ModuleInfo {
    std::array<char, 8> name{};
    Serial serial{};
    uint16_t firmware = 0;
    model::CoefficientArea area{};
    void encode(Writer &w) const;
    bool decode(Reader &r);
};

struct ChannelEntry {
    uint8_t channel = 0;
    uint8_t range = 0;
};

struct AdcConfig {
    uint8_t single = 0;
    double settleUs = 0.0;
    uint32_t decimation = 0;
    uint32_t syncPeriod = 0;
    uint16_t isrcCode = 0;
    uint8_t tare = 0;
    uint32_t clearedWord = 0;
    uint8_t clearedFlag = 0;
    std::vector<ChannelEntry> table;
    void encode(Writer &w) const;
    bool decode(Reader &r);
};

// What a valid configuration gives: conversions per second over all channels, frames.
struct Geometry {
    double conversionRateHz = 0.0;
    double frameRateHz = 0.0;
    int32_t wordsPerFrame = 0;
};
// The module's own check of a configuration (QVX_OK or QVX_ERR_ARGUMENT / QVX_ERR_STATE).
int32_t validateConfig(const AdcConfig &c, Geometry &g);

struct AdcConfigReply {
    int32_t wordsPerFrame = 0;
    double frameRate = 0.0;
    void encode(Writer &w) const;
    bool decode(Reader &r);
};

struct MeasParamsRequest {
    uint32_t tests = 0;
    uint32_t threshold = 0;
    void encode(Writer &w) const;
    bool decode(Reader &r);
};

struct MeasParamsReply {
    uint8_t wiring = 0;
    uint8_t checked = 0;
    uint32_t threshold = 0;
    uint32_t channelFlags = 0;
    void encode(Writer &w) const;
    bool decode(Reader &r);
};

struct RecvRequest {
    uint32_t count = 0;
    uint32_t timeoutMs = 0;
    void encode(Writer &w) const;
    bool decode(Reader &r);
};

// Decoded straight into the caller's buffer by the client; the server encodes it.
void encodeWords(Writer &w, const uint32_t *words, uint32_t count);

struct TareRequest {
    uint32_t mask = 0;
    void encode(Writer &w) const;
    bool decode(Reader &r);
};

struct TareReply {
    uint32_t result = 0;
    void encode(Writer &w) const;
    bool decode(Reader &r);
};

} // namespace qvx::proto
