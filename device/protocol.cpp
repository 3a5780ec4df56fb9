#include "protocol.h"

#include "qvxcommon.h"

#include <bit>
#include <cstring>

namespace qvx::proto {

bool isKnownType(uint16_t type)
{
    switch (static_cast<MsgType>(type & ~kReplyFlag)) {
    case MsgType::Connect:
    case MsgType::GetCrates:
    case MsgType::GetCrateModules:
    case MsgType::ModuleOpen:
    case MsgType::ModuleClose:
    case MsgType::SetAdc:
    case MsgType::InitMeasParams:
    case MsgType::Start:
    case MsgType::Stop:
    case MsgType::Recv:
    case MsgType::Tare:
        return true;
    }
    return false;
}

void Writer::u16(uint16_t v)
{
    buf_.push_back(static_cast<uint8_t>(v));
    buf_.push_back(static_cast<uint8_t>(v >> 8));
}

void Writer::u32(uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        buf_.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void Writer::f64(double v)
{
    const auto bits = std::bit_cast<uint64_t>(v);
    for (int i = 0; i < 8; ++i)
        buf_.push_back(static_cast<uint8_t>(bits >> (8 * i)));
}

void Writer::bytes(const void *p, size_t n)
{
    const auto *b = static_cast<const uint8_t *>(p);
    buf_.insert(buf_.end(), b, b + n);
}

bool Reader::take(size_t n)
{
    if (!ok_ || n_ - pos_ < n) {
        ok_ = false;
        return false;
    }
    return true;
}

uint8_t Reader::u8()
{
    if (!take(1))
        return 0;
    return p_[pos_++];
}

uint16_t Reader::u16()
{
    if (!take(2))
        return 0;
    const uint16_t v = static_cast<uint16_t>(p_[pos_] | (p_[pos_ + 1] << 8));
    pos_ += 2;
    return v;
}

uint32_t Reader::u32()
{
    if (!take(4))
        return 0;
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i)
        v |= static_cast<uint32_t>(p_[pos_ + i]) << (8 * i);
    pos_ += 4;
    return v;
}

double Reader::f64()
{
    if (!take(8))
        return 0.0;
    uint64_t v = 0;
    for (int i = 0; i < 8; ++i)
        v |= static_cast<uint64_t>(p_[pos_ + i]) << (8 * i);
    pos_ += 8;
    return std::bit_cast<double>(v);
}

void Reader::bytes(void *p, size_t n)
{
    if (!take(n)) {
        std::memset(p, 0, n);
        return;
    }
    std::memcpy(p, p_ + pos_, n);
    pos_ += n;
}

void encodeHeader(const Header &h, uint8_t *out)
{
    Writer w;
    w.u32(h.magic);
    w.u16(h.version);
    w.u16(h.type);
    w.u32(h.id);
    w.u32(h.length);
    std::memcpy(out, w.data().data(), kHeaderSize);
}

bool decodeHeader(const uint8_t *in, Header &h, std::string *error)
{
    Reader r(in, kHeaderSize);
    h.magic = r.u32();
    h.version = r.u16();
    h.type = r.u16();
    h.id = r.u32();
    h.length = r.u32();
    const char *fault = nullptr;
    if (h.magic != kMagic)
        fault = "bad magic";
    else if (h.version != kVersion)
        fault = "unsupported protocol version";
    else if (!isKnownType(h.type))
        fault = "unknown message type";
    else if (h.length > kMaxPayload)
        fault = "oversized message";
    if (fault && error)
        *error = fault;
    return fault == nullptr;
}

std::vector<uint8_t> encodeMessage(uint16_t type, uint32_t id, const std::vector<uint8_t> &payload)
{
    std::vector<uint8_t> out(kHeaderSize + payload.size());
    Header h;
    h.type = type;
    h.id = id;
    h.length = static_cast<uint32_t>(payload.size());
    encodeHeader(h, out.data());
    if (!payload.empty())
        std::memcpy(out.data() + kHeaderSize, payload.data(), payload.size());
    return out;
}

Serial makeSerial(const char *text)
{
    Serial s{};
    if (text) {
        for (size_t i = 0; i + 1 < s.size() && text[i]; ++i)
            s[i] = text[i];
    }
    return s;
}

std::string serialText(const Serial &s)
{
    size_t n = 0;
    while (n < s.size() && s[n])
        ++n;
    return std::string(s.data(), n);
}

void ConnectRequest::encode(Writer &w) const
{
    w.bytes(crate.data(), crate.size());
    w.u16(slot);
}

bool ConnectRequest::decode(Reader &r)
{
    r.bytes(crate.data(), crate.size());
    crate.back() = 0;
    slot = r.u16();
    return r.atEnd();
}

void CratesReply::encode(Writer &w) const
{
    w.u32(static_cast<uint32_t>(crates.size()));
    for (const auto &c : crates)
        w.bytes(c.data(), c.size());
}

bool CratesReply::decode(Reader &r)
{
    const uint32_t n = r.u32();
    if (!r.ok() || n > r.remaining() / 16)
        return false;
    crates.resize(n);
    for (auto &c : crates) {
        r.bytes(c.data(), c.size());
        c.back() = 0;
    }
    return r.atEnd();
}

void ModulesReply::encode(Writer &w) const
{
    for (uint16_t id : ids)
        w.u16(id);
}

bool ModulesReply::decode(Reader &r)
{
    for (auto &id : ids)
        id = r.u16();
    return r.atEnd();
}

void ModuleInfo::encode(Writer &w) const
{
    w.bytes(name.data(), name.size());
    w.bytes(serial.data(), serial.size());
    w.u16(firmware);
    w.bytes(area.data(), area.size());
}

bool ModuleInfo::decode(Reader &r)
{
    r.bytes(name.data(), name.size());
    r.bytes(serial.data(), serial.size());
    serial.back() = 0;
    firmware = r.u16();
    r.bytes(area.data(), area.size());
    return r.atEnd();
}

void AdcConfig::encode(Writer &w) const
{
    w.u8(single);
    w.f64(settleUs);
    w.u32(decimation);
    w.u32(syncPeriod);
    w.u16(isrcCode);
    w.u8(tare);
    w.u32(clearedWord);
    w.u8(clearedFlag);
    w.u8(static_cast<uint8_t>(table.size()));
    for (const auto &e : table) {
        w.u8(e.channel);
        w.u8(e.range);
    }
}

bool AdcConfig::decode(Reader &r)
{
    single = r.u8();
    settleUs = r.f64();
    decimation = r.u32();
    syncPeriod = r.u32();
    isrcCode = r.u16();
    tare = r.u8();
    clearedWord = r.u32();
    clearedFlag = r.u8();
    const uint8_t n = r.u8();
    if (!r.ok() || n > model::kChannels)
        return false;
    table.resize(n);
    for (auto &e : table) {
        e.channel = r.u8();
        e.range = r.u8();
    }
    return r.atEnd();
}

int32_t validateConfig(const AdcConfig &c, Geometry &g)
{
    g = {};
    const size_t n = c.table.size();
    if (n < 1 || n > static_cast<size_t>(model::kChannels))
        return QVX_ERR_ARGUMENT;
    uint32_t seen = 0;
    for (const auto &e : c.table) {
        if (e.channel >= model::kChannels || e.range >= model::kRangeMv.size() ||
            (seen & (1u << e.channel)))
            return QVX_ERR_ARGUMENT;
        seen |= 1u << e.channel;
    }
    if (c.isrcCode > model::kISrcCodeMax)
        return QVX_ERR_ARGUMENT;
    if (c.decimation == 0)
        return QVX_ERR_STATE; // no filter chosen yet
    if (c.decimation < model::kMinDecimation || c.decimation > model::kMaxDecimation)
        return QVX_ERR_ARGUMENT;
    if (c.single) {
        if (n != 1)
            return QVX_ERR_ARGUMENT;
        g.conversionRateHz = model::kClockHz / c.decimation;
    } else {
        uint32_t settle = 0;
        if (!model::settleClocks(c.settleUs, settle))
            return QVX_ERR_ARGUMENT;
        if (c.syncPeriod == 0)
            return QVX_ERR_STATE; // no multiplexer period chosen yet
        if (c.syncPeriod < model::kMinSyncPeriod || c.decimation + settle > c.syncPeriod ||
            c.syncPeriod > model::kMaxDecimation + settle)
            return QVX_ERR_ARGUMENT;
        g.conversionRateHz = model::kClockHz / c.syncPeriod;
    }
    g.frameRateHz = g.conversionRateHz / static_cast<double>(n);
    g.wordsPerFrame = static_cast<int32_t>(n) * model::kWordsPerValue;
    return QVX_OK;
}

void AdcConfigReply::encode(Writer &w) const
{
    w.i32(wordsPerFrame);
    w.f64(frameRate);
}

bool AdcConfigReply::decode(Reader &r)
{
    wordsPerFrame = r.i32();
    frameRate = r.f64();
    return r.atEnd();
}

void MeasParamsRequest::encode(Writer &w) const
{
    w.u32(tests);
    w.u32(threshold);
}

bool MeasParamsRequest::decode(Reader &r)
{
    tests = r.u32();
    threshold = r.u32();
    return r.atEnd();
}

void MeasParamsReply::encode(Writer &w) const
{
    w.u8(wiring);
    w.u8(checked);
    w.u32(threshold);
    w.u32(channelFlags);
}

bool MeasParamsReply::decode(Reader &r)
{
    wiring = r.u8();
    checked = r.u8();
    threshold = r.u32();
    channelFlags = r.u32();
    return r.atEnd();
}

void RecvRequest::encode(Writer &w) const
{
    w.u32(count);
    w.u32(timeoutMs);
}

bool RecvRequest::decode(Reader &r)
{
    count = r.u32();
    timeoutMs = r.u32();
    return r.atEnd() && count <= kMaxWordsPerMessage;
}

void encodeWords(Writer &w, const uint32_t *words, uint32_t count)
{
    w.u32(count);
    for (uint32_t i = 0; i < count; ++i)
        w.u32(words[i]);
}

void TareRequest::encode(Writer &w) const
{
    w.u32(mask);
}

bool TareRequest::decode(Reader &r)
{
    mask = r.u32();
    return r.atEnd();
}

void TareReply::encode(Writer &w) const
{
    w.u32(result);
}

bool TareReply::decode(Reader &r)
{
    result = r.u32();
    return r.atEnd();
}

} // namespace qvx::proto
