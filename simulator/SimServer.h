#pragma once

// The crate-server simulator: serves a Scenario on 127.0.0.1 over the qvx wire protocol, one
// thread per connection. Tests run it in-process:
//
//     qvxsim::SimServer server(qvxsim::Scenario::builtIn(), {.fast = true});
//     QVERIFY(server.start());              // port 0: a free port is chosen
//     QVX_SetServerPortOverride(server.port());
//
// Faults can be changed at any time from any thread; the server stops in its destructor.

#include "Scenario.h"

#include <cstdint>
#include <memory>
#include <string>

namespace qvxsim {

struct SimOptions {
    // No real-time pacing: frames are served as fast as asked, balancing takes 20 ms.
    bool fast = false;
    double tareSeconds = 3.5;
};

struct ModuleStats {
    bool open = false;       // held by a client now
    bool running = false;    // between Start and Stop
    uint64_t opens = 0;
    uint64_t starts = 0;
    uint64_t stops = 0;
    uint64_t wordsSent = 0;
    uint32_t balancedMask = 0; // channels with a stored compensation
    uint8_t tareEnabled = 0;   // of the last configuration
    uint16_t isrcCode = 0;     // of the last configuration
};

class SimServer {
public:
    explicit SimServer(Scenario scenario = Scenario::builtIn(), SimOptions options = {});
    ~SimServer();
    SimServer(const SimServer &) = delete;
    SimServer &operator=(const SimServer &) = delete;

    // Listens on 127.0.0.1:port (0 = any free port). False with a message when the port is
    // in use or the socket cannot be made.
    bool start(uint16_t port = 0, std::string *error = nullptr);
    // Closes every connection and joins every thread; safe to call twice.
    void stop();
    bool isRunning() const;
    uint16_t port() const;

    const Scenario &scenario() const; // the signals and identities never change at run time

    void setServerFaults(const ServerFaults &faults);
    ServerFaults serverFaults() const;
    // Frame counts of the "after k frames" faults start again from the moment they are set.
    bool setModuleFaults(const std::string &crate, uint16_t slot, const ModuleFaults &faults);
    bool setCrateModulesFail(const std::string &crate, bool fail);
    // Cuts every client connection now (the server keeps listening).
    void dropConnections();

    ModuleStats moduleStats(const std::string &crate, uint16_t slot) const;
    size_t connectionCount() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace qvxsim
