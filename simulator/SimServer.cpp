#include "SimServer.h"

#include "protocol.h"
#include "qvxcommon.h"
#include "qvxmapi.h"
#include "transport.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <list>
#include <map>
#include <mutex>
#include <random>
#include <thread>

namespace qvxsim {

namespace {

using Clock = std::chrono::steady_clock;
namespace proto = qvx::proto;
namespace model = qvx::model;
namespace tp = qvx::transport;
using proto::MsgType;

struct Module {
    const ModuleScenario *sc = nullptr;
    ModuleFaults faults;
    uint64_t faultBase = 0; // starts counted when the faults were set
    int owner = 0;          // connection id, 0 = free
    bool configured = false;
    proto::AdcConfig config;
    proto::Geometry geo;
    bool running = false;
    Clock::time_point startTime;
    uint64_t wordIndex = 0;
    double t0 = 0.0;
    double virtualTime = 0.0;
    int64_t cachedValue = -1;
    uint32_t cached[2] = {0, 0};
    std::array<double, 16> compensation{};
    uint32_t balanced = 0;
    std::mt19937 rng;
    std::normal_distribution<double> noise{0.0, 1.0};
    ModuleStats stats;

    // Frames (starts) since the faults were set; the current frame included.
    uint64_t frameSinceArm() const { return stats.starts - faultBase; }
    static bool hits(int afterFrames, uint64_t frame)
    {
        return afterFrames >= 0 && frame > static_cast<uint64_t>(afterFrames);
    }
};

struct Conn {
    int id = 0;
    int fd = -1;
    std::thread thread;
    std::atomic<bool> done{false};
    bool dropped = false; // guarded by the server mutex
    std::string crate;
    bool crateOpen = false;
    Module *module = nullptr;
};

// What a handled request asks the connection to do, decided under the lock and done after it.
struct Action {
    bool drop = false;
    bool reply = true;
    int32_t status = QVX_OK;
    std::vector<uint8_t> body;
};

} // namespace

struct SimServer::Impl {
    Scenario scenario;
    SimOptions options;
    mutable std::mutex m;
    std::condition_variable cv;
    ServerFaults faults;
    std::map<std::string, bool> crateModulesFail;
    std::map<std::pair<std::string, uint16_t>, Module> modules;
    std::list<std::unique_ptr<Conn>> conns;
    int nextConnId = 1;
    int listenFd = -1;
    uint16_t port = 0;
    std::thread acceptThread;
    std::atomic<bool> stopping{false};
    std::atomic<bool> running{false};
    Clock::time_point epoch = Clock::now();

    void acceptLoop();
    void reap(bool all);
    void serve(Conn &c);
    Action handle(Conn &c, std::unique_lock<std::mutex> &lk, MsgType type, proto::Reader &r);
    Action recv(Conn &c, std::unique_lock<std::mutex> &lk, Module &mod, const proto::RecvRequest &req);
    void sendReply(Conn &c, uint16_t type, uint32_t id, const Action &a, ReplyCorruption corruption);
    void release(Conn &c);
    uint32_t nextWord(Module &mod);
    bool interrupted(const Conn &c) const { return stopping.load() || c.dropped; }
};

SimServer::SimServer(Scenario scenario, SimOptions options) : d(std::make_unique<Impl>())
{
    d->scenario = std::move(scenario);
    d->options = options;
    d->faults = d->scenario.faults;
    for (const auto &c : d->scenario.crates) {
        d->crateModulesFail[c.serial] = c.modulesFail;
        for (const auto &ms : c.modules) {
            if (!ms.isQvxm())
                continue;
            Module &mod = d->modules[{c.serial, ms.slot}];
            mod.sc = &ms;
            mod.faults = ms.faults;
            mod.rng.seed(ms.seed);
        }
    }
}

SimServer::~SimServer()
{
    stop();
}

bool SimServer::start(uint16_t port, std::string *error)
{
    auto fail = [&](const std::string &msg) {
        if (error)
            *error = msg;
        if (d->listenFd >= 0)
            ::close(d->listenFd);
        d->listenFd = -1;
        return false;
    };
    if (d->running.load())
        return fail("the simulator is already running");
    d->listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (d->listenFd < 0)
        return fail(std::string("cannot create a socket: ") + std::strerror(errno));
    const int one = 1;
    ::setsockopt(d->listenFd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(d->listenFd, reinterpret_cast<const sockaddr *>(&sa), sizeof sa) != 0) {
        const int e = errno;
        if (e == EADDRINUSE)
            return fail("port " + std::to_string(port) + " on 127.0.0.1 is already in use");
        return fail("cannot listen on 127.0.0.1:" + std::to_string(port) + ": " + std::strerror(e));
    }
    if (::listen(d->listenFd, 64) != 0)
        return fail(std::string("cannot listen: ") + std::strerror(errno));
    socklen_t len = sizeof sa;
    ::getsockname(d->listenFd, reinterpret_cast<sockaddr *>(&sa), &len);
    d->port = ntohs(sa.sin_port);
    d->stopping = false;
    d->running = true;
    d->acceptThread = std::thread([this] { d->acceptLoop(); });
    return true;
}

void SimServer::stop()
{
    if (!d->running.exchange(false))
        return;
    {
        std::lock_guard lk(d->m);
        d->stopping = true;
        for (auto &c : d->conns)
            ::shutdown(c->fd, SHUT_RDWR);
    }
    d->cv.notify_all();
    if (d->acceptThread.joinable())
        d->acceptThread.join();
    ::close(d->listenFd);
    d->listenFd = -1;
    d->reap(true);
}

bool SimServer::isRunning() const
{
    return d->running.load();
}

uint16_t SimServer::port() const
{
    return d->port;
}

const Scenario &SimServer::scenario() const
{
    return d->scenario;
}

void SimServer::setServerFaults(const ServerFaults &faults)
{
    {
        std::lock_guard lk(d->m);
        d->faults = faults;
    }
    d->cv.notify_all();
}

ServerFaults SimServer::serverFaults() const
{
    std::lock_guard lk(d->m);
    return d->faults;
}

bool SimServer::setModuleFaults(const std::string &crate, uint16_t slot, const ModuleFaults &faults)
{
    std::lock_guard lk(d->m);
    auto it = d->modules.find({crate, slot});
    if (it == d->modules.end())
        return false;
    it->second.faults = faults;
    it->second.faultBase = it->second.stats.starts;
    return true;
}

bool SimServer::setCrateModulesFail(const std::string &crate, bool fail)
{
    std::lock_guard lk(d->m);
    auto it = d->crateModulesFail.find(crate);
    if (it == d->crateModulesFail.end())
        return false;
    it->second = fail;
    return true;
}

void SimServer::dropConnections()
{
    {
        std::lock_guard lk(d->m);
        for (auto &c : d->conns) {
            if (!c->done.load()) {
                c->dropped = true;
                ::shutdown(c->fd, SHUT_RDWR);
            }
        }
    }
    d->cv.notify_all();
}

ModuleStats SimServer::moduleStats(const std::string &crate, uint16_t slot) const
{
    std::lock_guard lk(d->m);
    auto it = d->modules.find({crate, slot});
    if (it == d->modules.end())
        return {};
    ModuleStats s = it->second.stats;
    s.open = it->second.owner != 0;
    s.running = it->second.running;
    s.balancedMask = it->second.balanced;
    return s;
}

size_t SimServer::connectionCount() const
{
    std::lock_guard lk(d->m);
    return static_cast<size_t>(std::count_if(d->conns.begin(), d->conns.end(),
                                             [](const auto &c) { return !c->done.load(); }));
}

void SimServer::Impl::reap(bool all)
{
    std::list<std::unique_ptr<Conn>> finished;
    {
        std::lock_guard lk(m);
        for (auto it = conns.begin(); it != conns.end();) {
            if (all || (*it)->done.load()) {
                finished.push_back(std::move(*it));
                it = conns.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (auto &c : finished) {
        if (c->thread.joinable())
            c->thread.join();
        ::close(c->fd);
    }
}

void SimServer::Impl::acceptLoop()
{
    while (!stopping.load()) {
        pollfd p{listenFd, POLLIN, 0};
        const int r = ::poll(&p, 1, 100);
        reap(false);
        if (r <= 0)
            continue;
        const int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        auto conn = std::make_unique<Conn>();
        conn->fd = fd;
        Conn *c = conn.get();
        std::lock_guard lk(m);
        if (stopping.load()) {
            ::close(fd);
            break;
        }
        c->id = nextConnId++;
        conns.push_back(std::move(conn));
        c->thread = std::thread([this, c] { serve(*c); });
    }
}

void SimServer::Impl::release(Conn &c)
{
    if (c.module && c.module->owner == c.id) {
        if (c.module->running)
            ++c.module->stats.stops;
        c.module->running = false;
        c.module->owner = 0;
    }
    c.module = nullptr;
}

void SimServer::Impl::serve(Conn &c)
{
    for (;;) {
        proto::Header h;
        std::vector<uint8_t> payload;
        // Idle clients may stay for as long as they like; stop() and drops shut the socket.
        const auto forever = Clock::now() + std::chrono::hours(24 * 365);
        if (tp::readMessage(c.fd, h, payload, forever) != QVX_OK || (h.type & proto::kReplyFlag))
            break; // closed, or a malformed request: drop the client
        std::unique_lock lk(m);
        cv.wait(lk, [&] { return !faults.hang || interrupted(c); });
        if (interrupted(c))
            break;
        proto::Reader r(payload);
        const Action a = handle(c, lk, static_cast<MsgType>(h.type), r);
        const ReplyCorruption corruption = faults.corruption;
        if (a.drop) {
            c.dropped = true;
            ::shutdown(c.fd, SHUT_RDWR);
            break;
        }
        lk.unlock();
        if (a.reply)
            sendReply(c, h.type, h.id, a, corruption);
    }
    {
        std::lock_guard lk(m);
        release(c);
        ::shutdown(c.fd, SHUT_RDWR);
    }
    c.done = true;
}

void SimServer::Impl::sendReply(Conn &c, uint16_t type, uint32_t id, const Action &a,
                                ReplyCorruption corruption)
{
    proto::Writer w;
    w.i32(a.status);
    w.bytes(a.body.data(), a.body.size());
    auto msg = proto::encodeMessage(static_cast<uint16_t>(type | proto::kReplyFlag), id, w.data());
    size_t size = msg.size();
    if (corruption != ReplyCorruption::None) {
        proto::Header h;
        proto::decodeHeader(msg.data(), h);
        switch (corruption) {
        case ReplyCorruption::None: break;
        case ReplyCorruption::BadMagic: h.magic ^= 0x00FF00FFu; break;
        case ReplyCorruption::BadVersion: h.version = proto::kVersion + 1; break;
        case ReplyCorruption::Oversized:
            h.length = proto::kMaxPayload + 1;
            size = proto::kHeaderSize;
            break;
        case ReplyCorruption::WrongId: h.id ^= 0x5A5Au; break;
        case ReplyCorruption::Truncated: size = proto::kHeaderSize + (msg.size() - proto::kHeaderSize) / 2; break;
        }
        proto::encodeHeader(h, msg.data());
    }
    tp::sendAll(c.fd, msg.data(), size, Clock::now() + std::chrono::seconds(10));
}

uint32_t SimServer::Impl::nextWord(Module &mod)
{
    const uint64_t j = mod.wordIndex / model::kWordsPerValue;
    if (static_cast<int64_t>(j) != mod.cachedValue) {
        const auto &table = mod.config.table;
        const proto::ChannelEntry &e = table[j % table.size()];
        const ChannelSignal &s = mod.sc->channels[e.channel];
        const double t = mod.t0 + static_cast<double>(j) / mod.geo.conversionRateHz;
        const double comp =
            mod.config.tare && (mod.balanced >> e.channel & 1u) ? mod.compensation[e.channel] : 0.0;
        double mv = signalMv(s, t, comp);
        if (s.NoiseMv > 0.0)
            mv += s.NoiseMv * mod.noise(mod.rng);
        bool clipped = false;
        const int32_t code =
            model::codeOf(mv, e.range, model::coefPair(mod.sc->coefficients, e.range), clipped);
        model::packValue(code, e.channel, clipped ? model::kFlagClipped : 0, mod.cached);
        mod.cachedValue = static_cast<int64_t>(j);
    }
    return mod.cached[mod.wordIndex++ % model::kWordsPerValue];
}

Action SimServer::Impl::recv(Conn &c, std::unique_lock<std::mutex> &lk, Module &mod,
                             const proto::RecvRequest &req)
{
    Action a;
    auto emptyBody = [&a] {
        proto::Writer w;
        proto::encodeWords(w, nullptr, 0);
        a.body = std::move(w.data());
    };
    if (!mod.running) {
        a.status = QVX_ERR_STATE;
        emptyBody();
        return a;
    }
    const uint64_t frame = mod.frameSinceArm();
    if (Module::hits(mod.faults.dropAfterFrames, frame)) {
        a.drop = true;
        return a;
    }
    if (Module::hits(mod.faults.recvErrorAfterFrames, frame)) {
        a.status = QVX_ERR_DEVICE;
        emptyBody();
        return a;
    }
    uint32_t count = req.count;
    if (Module::hits(mod.faults.shortFrameAfterFrames, frame))
        count /= 2;
    if (!options.fast) {
        // Pace by the clock: the words asked for exist once their last value is converted.
        const uint64_t valuesNeeded =
            (mod.wordIndex + count + model::kWordsPerValue - 1) / model::kWordsPerValue;
        const auto readyAt =
            mod.startTime + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(
                                static_cast<double>(valuesNeeded) / mod.geo.conversionRateHz));
        const auto deadline = Clock::now() + std::chrono::milliseconds(req.timeoutMs);
        if (cv.wait_until(lk, std::min(readyAt, deadline), [&] { return interrupted(c); })) {
            a.drop = true;
            return a;
        }
        if (readyAt > deadline) {
            a.status = QVX_ERR_TIMEOUT;
            emptyBody();
            return a;
        }
        if (!mod.running || mod.owner != c.id) {
            a.status = QVX_ERR_STATE;
            emptyBody();
            return a;
        }
    }
    std::vector<uint32_t> words(count);
    for (auto &w : words)
        w = nextWord(mod);
    mod.stats.wordsSent += count;
    proto::Writer w;
    proto::encodeWords(w, words.data(), count);
    a.body = std::move(w.data());
    return a;
}

Action SimServer::Impl::handle(Conn &c, std::unique_lock<std::mutex> &lk, MsgType type,
                               proto::Reader &r)
{
    Action a;
    proto::Writer w;
    auto bad = [&] {
        a.drop = true;
        return a;
    };
    Module *mod = c.module && c.module->owner == c.id ? c.module : nullptr;
    auto needModule = [&]() -> bool {
        if (!mod)
            a.status = QVX_ERR_NOT_OPEN;
        return mod != nullptr;
    };

    switch (type) {
    case MsgType::Connect: {
        proto::ConnectRequest req;
        if (!req.decode(r))
            return bad();
        const std::string crate = proto::serialText(req.crate);
        if (req.slot > 16)
            a.status = QVX_ERR_ARGUMENT;
        else if (!crate.empty() && !scenario.crate(crate))
            a.status = QVX_ERR_NOT_FOUND;
        else {
            c.crate = crate;
            c.crateOpen = !crate.empty();
        }
        return a;
    }
    case MsgType::GetCrates: {
        proto::CratesReply body;
        if (!r.atEnd())
            return bad();
        if (faults.crateListFails)
            a.status = QVX_ERR_DEVICE;
        else
            for (const auto &cr : scenario.crates)
                body.crates.push_back(proto::makeSerial(cr.serial.c_str()));
        body.encode(w);
        a.body = std::move(w.data());
        return a;
    }
    case MsgType::GetCrateModules: {
        proto::ModulesReply body;
        if (!r.atEnd())
            return bad();
        const CrateScenario *cr = c.crateOpen ? scenario.crate(c.crate) : nullptr;
        if (!cr)
            a.status = QVX_ERR_STATE;
        else if (crateModulesFail[cr->serial])
            a.status = QVX_ERR_DEVICE;
        else
            for (const auto &ms : cr->modules)
                body.ids[ms.slot - 1u] = ms.id;
        body.encode(w);
        a.body = std::move(w.data());
        return a;
    }
    case MsgType::ModuleOpen: {
        proto::ConnectRequest req;
        if (!req.decode(r))
            return bad();
        proto::ModuleInfo info;
        const std::string crate = proto::serialText(req.crate);
        const ModuleScenario *ms = scenario.module(crate, req.slot);
        if (!scenario.crate(crate) || req.slot < 1 || req.slot > 16 || !ms)
            a.status = QVX_ERR_NOT_FOUND;
        else if (!ms->isQvxm())
            a.status = QVX_ERR_NOT_QVXM;
        else {
            Module &target = modules[{crate, req.slot}];
            if (target.faults.openFails)
                a.status = QVX_ERR_DEVICE;
            else if (target.owner != 0 && target.owner != c.id)
                a.status = QVX_ERR_BUSY;
            else {
                if (mod && mod != &target)
                    release(c);
                target.owner = c.id;
                c.module = &target;
                ++target.stats.opens;
                std::copy_n(ms->name.c_str(), std::min<size_t>(ms->name.size(), 8), info.name.begin());
                info.serial = proto::makeSerial(ms->serial.c_str());
                info.firmware = ms->firmware;
                info.area = ms->coefficients;
            }
        }
        info.encode(w);
        a.body = std::move(w.data());
        return a;
    }
    case MsgType::ModuleClose:
        if (!r.atEnd())
            return bad();
        release(c);
        return a;
    case MsgType::SetAdc: {
        proto::AdcConfig cfg;
        proto::AdcConfigReply body;
        if (!cfg.decode(r))
            return bad();
        if (needModule()) {
            proto::Geometry g;
            if (mod->running)
                a.status = QVX_ERR_STATE;
            else if ((a.status = proto::validateConfig(cfg, g)) == QVX_OK) {
                mod->config = cfg;
                mod->geo = g;
                mod->configured = true;
                mod->stats.tareEnabled = cfg.tare;
                mod->stats.isrcCode = cfg.isrcCode;
                body.wordsPerFrame = g.wordsPerFrame;
                body.frameRate = g.frameRateHz;
            } else {
                mod->configured = false;
            }
        }
        body.encode(w);
        a.body = std::move(w.data());
        return a;
    }
    case MsgType::InitMeasParams: {
        proto::MeasParamsRequest req;
        proto::MeasParamsReply body;
        if (!req.decode(r))
            return bad();
        if (needModule()) {
            if (!mod->configured || mod->running)
                a.status = QVX_ERR_STATE;
            else {
                body.checked = static_cast<uint8_t>(req.tests & 3u);
                body.threshold = req.threshold;
                uint8_t found = 0;
                if (req.tests & 1u) // open-circuit test
                    found |= mod->faults.wiring & (QVXM_REF_CHANNEL_OPEN | QVXM_LINE_U_OPEN);
                if (req.tests & 2u) // short-circuit test
                    found |= mod->faults.wiring & QVXM_REF_CHANNEL_SHORT;
                found |= mod->faults.wiring & ~QVXM_WIRING_MASK; // other faults show whatever was tested
                body.wiring = found;
                for (const auto &e : mod->config.table)
                    body.channelFlags |= 1u << e.channel;
                if (found)
                    a.status = QVX_ERR_WIRING;
            }
        }
        body.encode(w);
        a.body = std::move(w.data());
        return a;
    }
    case MsgType::Start:
        if (!r.atEnd())
            return bad();
        if (needModule()) {
            if (!mod->configured || mod->running)
                a.status = QVX_ERR_STATE;
            else {
                mod->running = true;
                ++mod->stats.starts;
                mod->startTime = Clock::now();
                mod->wordIndex = 0;
                mod->cachedValue = -1;
                mod->t0 = options.fast ? mod->virtualTime
                                       : std::chrono::duration<double>(mod->startTime - epoch).count();
            }
        }
        return a;
    case MsgType::Stop:
        if (!r.atEnd())
            return bad();
        if (needModule() && mod->running) {
            if (mod->faults.stopFails)
                a.status = QVX_ERR_DEVICE;
            else {
                mod->running = false;
                ++mod->stats.stops;
                mod->virtualTime = mod->t0 + static_cast<double>(mod->wordIndex / model::kWordsPerValue) /
                                                 mod->geo.conversionRateHz;
            }
        }
        return a;
    case MsgType::Recv: {
        proto::RecvRequest req;
        if (!req.decode(r))
            return bad();
        if (!needModule()) {
            proto::encodeWords(w, nullptr, 0);
            a.body = std::move(w.data());
            return a;
        }
        return recv(c, lk, *mod, req);
    }
    case MsgType::Tare: {
        proto::TareRequest req;
        proto::TareReply body;
        if (!req.decode(r))
            return bad();
        if (needModule()) {
            if (mod->running)
                a.status = QVX_ERR_STATE;
            else if (mod->faults.tareFails)
                a.status = QVX_ERR_DEVICE;
            else {
                const double seconds = options.fast ? 0.02 : options.tareSeconds;
                const auto until = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                                      std::chrono::duration<double>(seconds));
                if (cv.wait_until(lk, until, [&] { return interrupted(c); }))
                    return bad();
                for (int ch = 0; ch < 16; ++ch) {
                    if (!(req.mask >> ch & 1u))
                        continue;
                    double comp = 0.0;
                    if (model::tareCompensation(mod->sc->channels[static_cast<size_t>(ch)].OffsetMv, comp)) {
                        mod->compensation[static_cast<size_t>(ch)] = comp;
                        mod->balanced |= 1u << ch;
                        body.result |= 1u << ch;
                    }
                }
            }
        }
        body.encode(w);
        a.body = std::move(w.data());
        return a;
    }
    }
    return bad();
}

} // namespace qvxsim
