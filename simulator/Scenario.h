#pragma once

// What the simulated crate server serves: crates, their slots, the QVXM modules with their
// identity, calibration and input signals, and the faults to inject.

#include "SignalModel.h"
#include "qvxmodel.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace qvxsim {

inline constexpr uint16_t kQvxmId = 0xD8D8;

struct ModuleFaults {
    bool openFails = false;         // QVXM_Open is refused
    int recvErrorAfterFrames = -1;  // frames (Start calls) served before receives fail
    int shortFrameAfterFrames = -1; // ... before receives return half the words
    int dropAfterFrames = -1;       // ... before the connection is dropped in a receive
    bool stopFails = false;         // QVXM_Stop is refused
    uint8_t wiring = 0;             // QVXM_InitMeasParams fault bits (0x04, 0x08, 0x20)
    bool tareFails = false;         // QVXM_TareOffset is refused

    bool operator==(const ModuleFaults &) const = default;
};

enum class ReplyCorruption { None, BadMagic, BadVersion, Oversized, WrongId, Truncated };

struct ServerFaults {
    bool crateListFails = false; // QVX_GetCrates is refused
    bool hang = false;           // requests are read but never answered while set
    ReplyCorruption corruption = ReplyCorruption::None; // every reply is malformed

    bool operator==(const ServerFaults &) const = default;
};

struct ModuleScenario {
    uint16_t slot = 1;
    uint16_t id = kQvxmId;
    // The rest matters for QVXM modules only.
    std::string name = "QVXM";
    std::string serial;
    uint16_t firmware = 0;
    uint32_t seed = 1; // noise and default calibration
    qvx::model::CoefficientArea coefficients{};
    std::array<ChannelSignal, 16> channels{};
    ModuleFaults faults;

    bool isQvxm() const { return id == kQvxmId; }
};

struct CrateScenario {
    std::string serial;
    std::vector<ModuleScenario> modules; // occupied slots only
    bool modulesFail = false;            // QVX_GetCrateModules is refused for this crate
};

struct Scenario {
    std::vector<CrateScenario> crates;
    ServerFaults faults;

    // The demo: three crates, QVXM modules in slots 2 and 5 of the first and slot 3 of the
    // second, other modules around them, DC levels and sines in both input ranges.
    static Scenario builtIn();
    // Parses a scenario; on failure returns false and a message naming the fault.
    static bool fromJson(const std::string &text, Scenario &out, std::string &error);
    static bool load(const std::string &path, Scenario &out, std::string &error);
    std::string toJson() const;

    const CrateScenario *crate(const std::string &serial) const;
    const ModuleScenario *module(const std::string &crateSerial, uint16_t slot) const;
};

} // namespace qvxsim
