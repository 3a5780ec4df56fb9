// qvx_crate_server: the crate-server simulator on 127.0.0.1.

#include "Scenario.h"
#include "SimServer.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <pthread.h>
#include <string>

namespace {

void printHelp()
{
    std::puts(
        "Usage: qvx_crate_server [--port N] [--scenario FILE] [--fast] [--dump-scenario]\n"
        "\n"
        "Simulates the QVX crate server on 127.0.0.1: crates, their slots and QVXM modules\n"
        "streaming bridge-sensor signals in real time.\n"
        "\n"
        "  --port N          listen on port N (default 11111; 0 picks a free port)\n"
        "  --scenario FILE   serve the crates, modules, signals and faults of a JSON file\n"
        "                    (default: the built-in demo, see simulator/scenarios/demo.json)\n"
        "  --fast            no real-time pacing; balancing takes 20 ms (for tests)\n"
        "  --dump-scenario   print the scenario as JSON and exit\n"
        "  --help            this text\n"
        "\n"
        "Stops cleanly on SIGINT or SIGTERM.");
}

bool parsePort(const char *text, uint16_t &port)
{
    char *end = nullptr;
    errno = 0;
    const long v = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || v < 0 || v > 65535)
        return false;
    port = static_cast<uint16_t>(v);
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    uint16_t port = 11111;
    std::string scenarioPath;
    bool fast = false;
    bool dump = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            printHelp();
            return 0;
        } else if (a == "--port" && i + 1 < argc) {
            if (!parsePort(argv[++i], port)) {
                std::fprintf(stderr, "qvx_crate_server: bad port \"%s\" (0 to 65535)\n", argv[i]);
                return 2;
            }
        } else if (a == "--scenario" && i + 1 < argc) {
            scenarioPath = argv[++i];
        } else if (a == "--fast") {
            fast = true;
        } else if (a == "--dump-scenario") {
            dump = true;
        } else {
            std::fprintf(stderr, "qvx_crate_server: unknown or incomplete option \"%s\" (see --help)\n",
                         a.c_str());
            return 2;
        }
    }

    qvxsim::Scenario scenario = qvxsim::Scenario::builtIn();
    if (!scenarioPath.empty()) {
        std::string error;
        if (!qvxsim::Scenario::load(scenarioPath, scenario, error)) {
            std::fprintf(stderr, "qvx_crate_server: bad scenario file: %s\n", error.c_str());
            return 1;
        }
    }
    if (dump) {
        std::fputs(scenario.toJson().c_str(), stdout);
        return 0;
    }

    // The server's threads inherit this mask, so the signals reach only sigwait below.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    qvxsim::SimOptions options;
    options.fast = fast;
    qvxsim::SimServer server(std::move(scenario), options);
    std::string error;
    if (!server.start(port, &error)) {
        std::fprintf(stderr, "qvx_crate_server: %s\n", error.c_str());
        return 1;
    }
    std::printf("qvx_crate_server: listening on 127.0.0.1:%u (%zu crates%s)\n", server.port(),
                server.scenario().crates.size(), fast ? ", fast" : "");
    std::fflush(stdout);

    int sig = 0;
    sigwait(&signals, &sig);
    server.stop();
    std::printf("qvx_crate_server: stopped (%s)\n", sig == SIGINT ? "SIGINT" : "SIGTERM");
    return 0;
}
