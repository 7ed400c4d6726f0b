// pumpsim-tool: the simulated pump control unit on a pseudo-terminal or on a
// serial port, for trying the diagnostic program without a pump.
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iostream>

#include "core/platform/exception.h"
#include "pumpsim/tools/serve.h"
#include "pumpsim/tools/tool_options.h"

int main(int argc, char** argv) {
    using namespace pumpsim::tool;
    ToolOptions options;
    try {
        options = ParseToolOptions(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const core::Exception& e) {
        std::cerr << "pumpsim-tool: " << e.Message() << "\n" << UsageText();
        return 2;
    }
    if (options.help) {
        std::cout << UsageText();
        return 0;
    }
    if (options.version) {
        std::cout << "pumpsim-tool " PUMPDIAG_VERSION "\n";
        return 0;
    }

    // SIGINT and SIGTERM end serving through a descriptor the loop polls, so
    // that the link is removed and the terminal closed in order.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGHUP);
    signal(SIGPIPE, SIG_IGN);
    if (sigprocmask(SIG_BLOCK, &stopSignals, nullptr) != 0) {
        std::cerr << "pumpsim-tool: sigprocmask: " << std::strerror(errno) << "\n";
        return 1;
    }
    const int stopFd = signalfd(-1, &stopSignals, SFD_CLOEXEC);
    if (stopFd < 0) {
        std::cerr << "pumpsim-tool: signalfd: " << std::strerror(errno) << "\n";
        return 1;
    }

    try {
        const ServeEnd end = options.pty ? ServePty(options, std::cout, stopFd) : ServeDevice(options, stopFd);
        std::cerr << (end == ServeEnd::Stopped ? "pumpsim-tool: stopped\n" : "pumpsim-tool: tester closed the line\n");
    } catch (const core::Exception& e) {
        std::cerr << "pumpsim-tool: " << e.Message() << "\n";
        close(stopFd);
        return 1;
    }
    close(stopFd);
    return 0;
}
