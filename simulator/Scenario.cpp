#include "Scenario.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QString>

#include <cmath>
#include <set>

namespace qvxsim {

namespace {

struct DemoChannel {
    double offset, dc, amplitude, frequency, phase;
};

// Inside the 35 mV range except channels 6, 7, 12 and 15, which need the 70 mV range.
constexpr DemoChannel kDemoChannels[16] = {
    {0.35, 5.0, 0.0, 0.0, 0.0},    {-0.42, 0.0, 10.0, 50.0, 0.0},
    {0.18, -12.5, 0.0, 0.0, 0.0},  {0.61, 0.0, 20.0, 120.0, 30.0},
    {-0.27, 25.0, 0.0, 0.0, 0.0},  {0.52, 2.0, 15.0, 210.0, 60.0},
    {-0.73, 60.0, 0.0, 0.0, 0.0},  {0.44, 0.0, 45.0, 333.0, 90.0},
    {0.12, -30.0, 0.0, 0.0, 0.0},  {-0.55, 0.0, 5.0, 17.5, 0.0},
    {0.09, 1.0, 0.0, 0.0, 0.0},    {0.66, 0.0, 30.0, 80.0, 120.0},
    {-0.38, -50.0, 0.0, 0.0, 0.0}, {0.25, 0.0, 2.5, 400.0, 0.0},
    {-0.15, 15.0, 0.0, 0.0, 0.0},  {0.48, 0.0, 60.0, 25.0, 45.0},
};

ModuleScenario demoQvxm(uint16_t slot, const char *serial, uint16_t firmware, uint32_t seed,
                        double levelScale, double frequencyScale)
{
    ModuleScenario m;
    m.slot = slot;
    m.serial = serial;
    m.firmware = firmware;
    m.seed = seed;
    m.coefficients = qvx::model::defaultCoefficientArea(seed);
    for (int c = 0; c < 16; ++c) {
        const DemoChannel &d = kDemoChannels[c];
        ChannelSignal &s = m.channels[static_cast<size_t>(c)];
        s.OffsetMv = d.offset * levelScale;
        s.DcMv = d.dc * levelScale;
        s.AmplitudeMv = d.amplitude * levelScale;
        s.FrequencyHz = d.frequency * frequencyScale;
        s.PhaseDeg = d.phase;
        s.NoiseMv = 0.002;
    }
    return m;
}

ModuleScenario otherModule(uint16_t slot, uint16_t id)
{
    ModuleScenario m;
    m.slot = slot;
    m.id = id;
    m.name.clear();
    return m;
}

uint32_t hashSeed(const std::string &s)
{
    uint32_t h = 2166136261u;
    for (unsigned char ch : s)
        h = (h ^ ch) * 16777619u;
    return h;
}

const char *corruptionName(ReplyCorruption c)
{
    switch (c) {
    case ReplyCorruption::None: return "none";
    case ReplyCorruption::BadMagic: return "bad_magic";
    case ReplyCorruption::BadVersion: return "bad_version";
    case ReplyCorruption::Oversized: return "oversized";
    case ReplyCorruption::WrongId: return "wrong_id";
    case ReplyCorruption::Truncated: return "truncated";
    }
    return "none";
}

// Small strict reader: every key must be known and of the right type.
class Parser {
public:
    std::string error;

    bool keys(const QJsonObject &o, std::initializer_list<const char *> known, const QString &where)
    {
        QSet<QString> k;
        for (const char *n : known)
            k.insert(QString::fromLatin1(n));
        for (auto it = o.begin(); it != o.end(); ++it) {
            if (!k.contains(it.key()))
                return fail(where + QStringLiteral(": unknown key \"") + it.key() + QStringLiteral("\""));
        }
        return true;
    }

    bool number(const QJsonObject &o, const char *key, double &out, const QString &where)
    {
        const auto v = o.value(QString::fromLatin1(key));
        if (v.isUndefined())
            return true;
        if (!v.isDouble() || !std::isfinite(v.toDouble()))
            return fail(where + QStringLiteral(": \"") + QString::fromLatin1(key) +
                        QStringLiteral("\" must be a number"));
        out = v.toDouble();
        return true;
    }

    bool integer(const QJsonObject &o, const char *key, long long lo, long long hi, long long &out,
                 const QString &where)
    {
        const auto v = o.value(QString::fromLatin1(key));
        if (v.isUndefined())
            return true;
        long long n = 0;
        bool ok = false;
        if (v.isDouble()) {
            const double d = v.toDouble();
            ok = std::floor(d) == d && std::fabs(d) < 9e15;
            n = static_cast<long long>(d);
        } else if (v.isString()) { // "0xD8D8" reads better for identifiers
            n = v.toString().toLongLong(&ok, 0);
        }
        if (!ok || n < lo || n > hi)
            return fail(where + QStringLiteral(": \"") + QString::fromLatin1(key) +
                        QStringLiteral("\" must be an integer from %1 to %2").arg(lo).arg(hi));
        out = n;
        return true;
    }

    bool boolean(const QJsonObject &o, const char *key, bool &out, const QString &where)
    {
        const auto v = o.value(QString::fromLatin1(key));
        if (v.isUndefined())
            return true;
        if (!v.isBool())
            return fail(where + QStringLiteral(": \"") + QString::fromLatin1(key) +
                        QStringLiteral("\" must be true or false"));
        out = v.toBool();
        return true;
    }

    bool text(const QJsonObject &o, const char *key, size_t maxLen, std::string &out,
              const QString &where)
    {
        const auto v = o.value(QString::fromLatin1(key));
        if (v.isUndefined())
            return true;
        const QByteArray b = v.toString().toLatin1();
        if (!v.isString() || static_cast<size_t>(b.size()) > maxLen)
            return fail(where + QStringLiteral(": \"") + QString::fromLatin1(key) +
                        QStringLiteral("\" must be a text of at most %1 characters").arg(maxLen));
        out = b.toStdString();
        return true;
    }

    bool fail(const QString &message)
    {
        if (error.empty())
            error = message.toStdString();
        return false;
    }
};

bool parseFaults(Parser &p, const QJsonObject &o, ModuleFaults &f, const QString &where)
{
    if (!p.keys(o, {"open_fails", "recv_error_after_frames", "short_frame_after_frames",
                    "drop_after_frames", "stop_fails", "wiring", "tare_fails"},
                where))
        return false;
    long long recvErr = f.recvErrorAfterFrames, shortFrame = f.shortFrameAfterFrames,
              drop = f.dropAfterFrames, wiring = f.wiring;
    const bool ok = p.boolean(o, "open_fails", f.openFails, where) &&
                    p.integer(o, "recv_error_after_frames", -1, 1 << 30, recvErr, where) &&
                    p.integer(o, "short_frame_after_frames", -1, 1 << 30, shortFrame, where) &&
                    p.integer(o, "drop_after_frames", -1, 1 << 30, drop, where) &&
                    p.boolean(o, "stop_fails", f.stopFails, where) &&
                    p.integer(o, "wiring", 0, 255, wiring, where) &&
                    p.boolean(o, "tare_fails", f.tareFails, where);
    f.recvErrorAfterFrames = static_cast<int>(recvErr);
    f.shortFrameAfterFrames = static_cast<int>(shortFrame);
    f.dropAfterFrames = static_cast<int>(drop);
    f.wiring = static_cast<uint8_t>(wiring);
    return ok;
}

bool parseChannel(Parser &p, const QJsonObject &o, ModuleScenario &m, const QString &where)
{
    if (!p.keys(o, {"channel", "offset_mv", "dc_mv", "amplitude_mv", "frequency_hz", "phase_deg",
                    "noise_mv"},
                where))
        return false;
    long long ch = -1;
    if (!o.contains(QStringLiteral("channel")))
        return p.fail(where + QStringLiteral(": \"channel\" is missing"));
    if (!p.integer(o, "channel", 0, 15, ch, where))
        return false;
    ChannelSignal &s = m.channels[static_cast<size_t>(ch)];
    s = {};
    if (!(p.number(o, "offset_mv", s.OffsetMv, where) && p.number(o, "dc_mv", s.DcMv, where) &&
          p.number(o, "amplitude_mv", s.AmplitudeMv, where) &&
          p.number(o, "frequency_hz", s.FrequencyHz, where) &&
          p.number(o, "phase_deg", s.PhaseDeg, where) && p.number(o, "noise_mv", s.NoiseMv, where)))
        return false;
    if (s.FrequencyHz < 0.0 || s.NoiseMv < 0.0)
        return p.fail(where + QStringLiteral(": frequency and noise cannot be negative"));
    return true;
}

bool parseModule(Parser &p, const QJsonObject &o, ModuleScenario &m, const QString &where)
{
    if (!p.keys(o, {"slot", "id", "name", "serial", "firmware", "seed", "coefficients", "channels",
                    "faults"},
                where))
        return false;
    long long slot = 0, id = kQvxmId, firmware = 0, seed = -1;
    if (!o.contains(QStringLiteral("slot")))
        return p.fail(where + QStringLiteral(": \"slot\" is missing"));
    if (!(p.integer(o, "slot", 1, 16, slot, where) && p.integer(o, "id", 0, 0xFFFF, id, where) &&
          p.integer(o, "firmware", 0, 0xFFFF, firmware, where) &&
          p.integer(o, "seed", 0, 0xFFFFFFFFll, seed, where) && p.text(o, "name", 7, m.name, where) &&
          p.text(o, "serial", 15, m.serial, where)))
        return false;
    m.slot = static_cast<uint16_t>(slot);
    m.id = static_cast<uint16_t>(id);
    m.firmware = static_cast<uint16_t>(firmware);
    if (!m.isQvxm())
        return true;
    if (m.serial.empty())
        return p.fail(where + QStringLiteral(": a QVXM needs a \"serial\""));
    m.seed = seed >= 0 ? static_cast<uint32_t>(seed) : hashSeed(m.serial);
    m.coefficients = qvx::model::defaultCoefficientArea(m.seed);
    const auto coefs = o.value(QStringLiteral("coefficients"));
    if (!coefs.isUndefined()) {
        const QJsonArray a = coefs.toArray();
        if (!coefs.isArray() || a.size() > qvx::model::kCoefficientPairs)
            return p.fail(where + QStringLiteral(": \"coefficients\" must be a list of at most 7 pairs"));
        for (int i = 0; i < a.size(); ++i) {
            const QJsonArray pair = a.at(i).toArray();
            if (pair.size() != 2 || !pair.at(0).isDouble() || !pair.at(1).isDouble())
                return p.fail(where + QStringLiteral(": coefficient pair %1 must be two numbers").arg(i));
            qvx::model::setCoefPair(m.coefficients, i, {pair.at(0).toDouble(), pair.at(1).toDouble()});
        }
    }
    const auto channels = o.value(QStringLiteral("channels"));
    if (!channels.isUndefined() && !channels.isArray())
        return p.fail(where + QStringLiteral(": \"channels\" must be a list"));
    for (const auto &c : channels.toArray()) {
        if (!c.isObject())
            return p.fail(where + QStringLiteral(": every channel must be an object"));
        if (!parseChannel(p, c.toObject(), m, where + QStringLiteral(", channel")))
            return false;
    }
    const auto faults = o.value(QStringLiteral("faults"));
    if (!faults.isUndefined() &&
        (!faults.isObject() || !parseFaults(p, faults.toObject(), m.faults, where + QStringLiteral(", faults"))))
        return p.fail(where + QStringLiteral(": bad \"faults\""));
    return true;
}

QJsonObject toJson(const ModuleFaults &f)
{
    QJsonObject o;
    if (f.openFails)
        o[QStringLiteral("open_fails")] = true;
    if (f.recvErrorAfterFrames >= 0)
        o[QStringLiteral("recv_error_after_frames")] = f.recvErrorAfterFrames;
    if (f.shortFrameAfterFrames >= 0)
        o[QStringLiteral("short_frame_after_frames")] = f.shortFrameAfterFrames;
    if (f.dropAfterFrames >= 0)
        o[QStringLiteral("drop_after_frames")] = f.dropAfterFrames;
    if (f.stopFails)
        o[QStringLiteral("stop_fails")] = true;
    if (f.wiring)
        o[QStringLiteral("wiring")] = f.wiring;
    if (f.tareFails)
        o[QStringLiteral("tare_fails")] = true;
    return o;
}

} // namespace

Scenario Scenario::builtIn()
{
    Scenario s;
    CrateScenario a;
    a.serial = "QVX-2301";
    a.modules.push_back(otherModule(1, 0x0A31));
    a.modules.push_back(demoQvxm(2, "QVXM-0210457", 312, 457, 1.0, 1.0));
    a.modules.push_back(demoQvxm(5, "QVXM-0210462", 312, 462, 0.8, 1.5));
    a.modules.push_back(otherModule(9, 0x3C01));
    s.crates.push_back(a);

    CrateScenario b;
    b.serial = "QVX-2417";
    b.modules.push_back(demoQvxm(3, "QVXM-0221003", 315, 1003, 0.5, 0.6));
    b.modules.push_back(otherModule(8, 0x1F40));
    b.modules.push_back(otherModule(16, 0x0C0C));
    s.crates.push_back(b);

    CrateScenario c;
    c.serial = "QVX-2502";
    c.modules.push_back(otherModule(1, 0x0A31));
    c.modules.push_back(otherModule(4, 0x1F40));
    s.crates.push_back(c);
    return s;
}

bool Scenario::fromJson(const std::string &text, Scenario &out, std::string &error)
{
    QJsonParseError pe;
    const auto doc = QJsonDocument::fromJson(QByteArray::fromStdString(text), &pe);
    if (pe.error != QJsonParseError::NoError) {
        error = "not valid JSON at offset " + std::to_string(pe.offset) + ": " +
                pe.errorString().toStdString();
        return false;
    }
    if (!doc.isObject()) {
        error = "the scenario must be a JSON object";
        return false;
    }
    Parser p;
    const QJsonObject root = doc.object();
    Scenario s;
    if (!p.keys(root, {"crates", "faults"}, QStringLiteral("scenario"))) {
        error = p.error;
        return false;
    }
    const auto faults = root.value(QStringLiteral("faults"));
    if (!faults.isUndefined()) {
        const QJsonObject f = faults.toObject();
        const QString where = QStringLiteral("faults");
        std::string corruption = "none";
        if (!faults.isObject() || !p.keys(f, {"crate_list_fails", "hang", "reply_corruption"}, where) ||
            !p.boolean(f, "crate_list_fails", s.faults.crateListFails, where) ||
            !p.boolean(f, "hang", s.faults.hang, where) ||
            !p.text(f, "reply_corruption", 16, corruption, where)) {
            error = p.error.empty() ? "\"faults\" must be an object" : p.error;
            return false;
        }
        bool known = false;
        for (auto c : {ReplyCorruption::None, ReplyCorruption::BadMagic, ReplyCorruption::BadVersion,
                       ReplyCorruption::Oversized, ReplyCorruption::WrongId, ReplyCorruption::Truncated}) {
            if (corruption == corruptionName(c)) {
                s.faults.corruption = c;
                known = true;
            }
        }
        if (!known) {
            error = "faults: unknown \"reply_corruption\" \"" + corruption + "\"";
            return false;
        }
    }
    const auto crates = root.value(QStringLiteral("crates"));
    if (!crates.isArray()) {
        error = "\"crates\" must be a list";
        return false;
    }
    std::set<std::string> serials;
    for (const auto &cv : crates.toArray()) {
        const QString where = QStringLiteral("crate %1").arg(s.crates.size() + 1);
        const QJsonObject co = cv.toObject();
        CrateScenario c;
        if (!cv.isObject() || !p.keys(co, {"serial", "modules", "modules_fail"}, where) ||
            !p.text(co, "serial", 15, c.serial, where) ||
            !p.boolean(co, "modules_fail", c.modulesFail, where)) {
            error = p.error.empty() ? where.toStdString() + " must be an object" : p.error;
            return false;
        }
        if (c.serial.empty() || !serials.insert(c.serial).second) {
            error = where.toStdString() + ": \"serial\" must be given and unique";
            return false;
        }
        const auto modules = co.value(QStringLiteral("modules"));
        if (!modules.isUndefined() && !modules.isArray()) {
            error = where.toStdString() + ": \"modules\" must be a list";
            return false;
        }
        std::set<uint16_t> slots;
        for (const auto &mv : modules.toArray()) {
            const QString mwhere = where + QStringLiteral(" (") + QString::fromStdString(c.serial) +
                                   QStringLiteral("), module %1").arg(c.modules.size() + 1);
            ModuleScenario m;
            if (!mv.isObject() || !parseModule(p, mv.toObject(), m, mwhere)) {
                error = p.error.empty() ? mwhere.toStdString() + " must be an object" : p.error;
                return false;
            }
            if (!slots.insert(m.slot).second) {
                error = mwhere.toStdString() + ": slot " + std::to_string(m.slot) + " is used twice";
                return false;
            }
            c.modules.push_back(m);
        }
        s.crates.push_back(c);
    }
    if (s.crates.size() > 16) {
        error = "at most 16 crates";
        return false;
    }
    out = std::move(s);
    return true;
}

bool Scenario::load(const std::string &path, Scenario &out, std::string &error)
{
    QFile f(QString::fromStdString(path));
    if (!f.open(QIODevice::ReadOnly)) {
        error = "cannot read " + path + ": " + f.errorString().toStdString();
        return false;
    }
    const QByteArray data = f.readAll();
    if (!fromJson(data.toStdString(), out, error)) {
        error = path + ": " + error;
        return false;
    }
    return true;
}

std::string Scenario::toJson() const
{
    QJsonObject root;
    QJsonArray crateList;
    for (const auto &c : crates) {
        QJsonObject co;
        co[QStringLiteral("serial")] = QString::fromStdString(c.serial);
        if (c.modulesFail)
            co[QStringLiteral("modules_fail")] = true;
        QJsonArray mods;
        for (const auto &m : c.modules) {
            QJsonObject mo;
            mo[QStringLiteral("slot")] = m.slot;
            mo[QStringLiteral("id")] =
                QString(QStringLiteral("0x") + QStringLiteral("%1").arg(m.id, 4, 16, QLatin1Char('0')).toUpper());
            if (m.isQvxm()) {
                mo[QStringLiteral("name")] = QString::fromStdString(m.name);
                mo[QStringLiteral("serial")] = QString::fromStdString(m.serial);
                mo[QStringLiteral("firmware")] = m.firmware;
                mo[QStringLiteral("seed")] = static_cast<double>(m.seed);
                QJsonArray coefs;
                for (int i = 0; i < qvx::model::kCoefficientPairs; ++i) {
                    const auto pair = qvx::model::coefPair(m.coefficients, i);
                    coefs.append(QJsonArray{pair.first, pair.second});
                }
                mo[QStringLiteral("coefficients")] = coefs;
                QJsonArray chans;
                for (int ch = 0; ch < 16; ++ch) {
                    const ChannelSignal &sg = m.channels[static_cast<size_t>(ch)];
                    QJsonObject so;
                    so[QStringLiteral("channel")] = ch;
                    so[QStringLiteral("offset_mv")] = sg.OffsetMv;
                    so[QStringLiteral("dc_mv")] = sg.DcMv;
                    so[QStringLiteral("amplitude_mv")] = sg.AmplitudeMv;
                    so[QStringLiteral("frequency_hz")] = sg.FrequencyHz;
                    so[QStringLiteral("phase_deg")] = sg.PhaseDeg;
                    so[QStringLiteral("noise_mv")] = sg.NoiseMv;
                    chans.append(so);
                }
                mo[QStringLiteral("channels")] = chans;
                const QJsonObject fo = qvxsim::toJson(m.faults);
                if (!fo.isEmpty())
                    mo[QStringLiteral("faults")] = fo;
            }
            mods.append(mo);
        }
        co[QStringLiteral("modules")] = mods;
        crateList.append(co);
    }
    root[QStringLiteral("crates")] = crateList;
    if (!(faults == ServerFaults{})) {
        QJsonObject f;
        f[QStringLiteral("crate_list_fails")] = faults.crateListFails;
        f[QStringLiteral("hang")] = faults.hang;
        f[QStringLiteral("reply_corruption")] = QString::fromLatin1(corruptionName(faults.corruption));
        root[QStringLiteral("faults")] = f;
    }
    return QJsonDocument(root).toJson(QJsonDocument::Indented).toStdString();
}

const CrateScenario *Scenario::crate(const std::string &serial) const
{
    for (const auto &c : crates) {
        if (c.serial == serial)
            return &c;
    }
    return nullptr;
}

const ModuleScenario *Scenario::module(const std::string &crateSerial, uint16_t slot) const
{
    const CrateScenario *c = crate(crateSerial);
    if (!c)
        return nullptr;
    for (const auto &m : c->modules) {
        if (m.slot == slot)
            return &m;
    }
    return nullptr;
}

} // namespace qvxsim
