#include "pumpsim/tools/tool_options.h"

#include <cerrno>
#include <cstdlib>

#include "core/platform/exception.h"

namespace pumpsim::tool {

namespace {

[[noreturn]] void Bad(const std::string& what) { throw core::EConvertError(what); }

long ParseNumber(const std::string& text, int base, long min, long max, const std::string& what) {
    if (text.empty() || text.find_first_of(" \t+-") != std::string::npos)
        Bad("Invalid " + what + ": '" + text + "'");
    errno = 0;
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, base);
    if (errno != 0 || *end != '\0') Bad("Invalid " + what + ": '" + text + "'");
    if (value < min || value > max)
        Bad("Invalid " + what + ": '" + text + "' (allowed " + std::to_string(min) + " to " +
            std::to_string(max) + ")");
    return value;
}

double ParseMs(const std::string& text, const std::string& what) {
    return static_cast<double>(ParseNumber(text, 10, 0, 60000, what));
}

// "A:B" split at the first colon; B empty when there is none.
std::pair<std::string, std::string> SplitColon(const std::string& text) {
    const auto colon = text.find(':');
    if (colon == std::string::npos) return {text, ""};
    return {text.substr(0, colon), text.substr(colon + 1)};
}

}  // namespace

std::vector<FaultRecord> ParseFaultList(const std::string& text) {
    std::vector<FaultRecord> faults;
    std::size_t start = 0;
    for (;;) {
        const auto comma = text.find(',', start);
        const std::string item = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        const auto [code, counter] = SplitColon(item);
        if (item.find(':') == std::string::npos)
            Bad("Invalid fault '" + item + "': expected CODE:COUNTER, e.g. 53:2");
        FaultRecord f;
        f.code = static_cast<std::uint8_t>(ParseNumber(code, 16, 0, 0xFF, "fault code (hexadecimal)"));
        f.counter = static_cast<std::uint8_t>(ParseNumber(counter, 10, 0, 255, "fault counter"));
        faults.push_back(f);
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return faults;
}

ToolOptions ParseToolOptions(const std::vector<std::string>& args) {
    ToolOptions o;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&]() -> const std::string& {
            if (i + 1 >= args.size()) Bad("Option " + a + " needs a value");
            return args[++i];
        };
        if (a == "--help" || a == "-h") {
            o.help = true;
        } else if (a == "--version") {
            o.version = true;
        } else if (a == "--pty") {
            o.pty = true;
        } else if (a == "--link") {
            o.link = value();
            if (o.link.empty()) Bad("Option --link needs a path");
        } else if (a == "--device") {
            o.device = value();
            if (o.device.empty()) Bad("Option --device needs a path");
        } else if (a == "--echo") {
            o.echo = true;
        } else if (a == "--no-echo") {
            o.echo = false;
        } else if (a == "--own-echo") {
            o.ownEcho = true;
        } else if (a == "--latency") {
            o.latencyMs = ParseMs(value(), "latency in ms");
        } else if (a == "--silent") {
            o.silent = true;
        } else if (a == "--stay") {
            o.stay = true;
        } else if (a == "--faults") {
            o.config.faults = ParseFaultList(value());
        } else if (a == "--no-faults") {
            o.config.faults.clear();
        } else if (a == "--lose-byte") {
            o.config.loseByteIndex = static_cast<int>(ParseNumber(value(), 10, 0, 1000000, "byte index"));
        } else if (a == "--late-reply") {
            const auto [index, ms] = SplitColon(value());
            o.config.lateReplyIndex = static_cast<int>(ParseNumber(index, 10, 0, 1000000, "byte index"));
            o.config.lateReplyMs = ParseMs(ms, "delay in ms");
        } else if (a == "--garbage-after") {
            const auto [index, byte] = SplitColon(value());
            o.config.garbageAfterIndex = static_cast<int>(ParseNumber(index, 10, 0, 1000000, "byte index"));
            if (!byte.empty())
                o.config.garbageByte = static_cast<std::uint8_t>(ParseNumber(byte, 16, 0, 0xFF, "garbage byte"));
        } else if (a == "--stop-after") {
            o.config.stopAfterBlocks = static_cast<int>(ParseNumber(value(), 10, 0, 1000000, "block count"));
        } else {
            Bad("Unknown option '" + a + "' (see --help)");
        }
    }
    if (o.help || o.version) return o;
    if (o.pty == !o.device.empty()) Bad("Give exactly one of --pty and --device PATH");
    if (!o.link.empty() && !o.pty) Bad("Option --link needs --pty");
    if (o.stay && !o.pty) Bad("Option --stay needs --pty");
    if (o.ownEcho && o.pty) Bad("Option --own-echo needs --device");
    return o;
}

const char* UsageText() {
    return "Usage: pumpsim-tool --pty [--link PATH] [OPTIONS]\n"
           "       pumpsim-tool --device PATH [--echo] [OPTIONS]\n"
           "       pumpsim-tool --help | --version\n"
           "Serves a simulated pump control unit behind an echoing adapter.\n"
           "  --pty               new pseudo-terminal; prints its device path; the unit\n"
           "                      wakes when the tester purges the line (not on the purges\n"
           "                      that come with opening it); ends when the tester closes it\n"
           "  --stay              with --pty: when the tester closes the line, the unit\n"
           "                      sleeps and waits for the next opening (a unit left plugged\n"
           "                      in while programs come and go); ends on SIGTERM only\n"
           "  --link PATH         also make PATH a symbolic link to that device\n"
           "  --device PATH       serial port at 9600 8E1; the unit wakes on the break pattern\n"
           "  --echo, --no-echo   return the tester's bytes (default: on a pty only)\n"
           "  --own-echo          the port hears the unit's own bytes (single-wire line):\n"
           "                      skip them\n"
           "  --latency MS        the adapter hands received bytes and echoes to the tester\n"
           "                      in packets MS ms apart, as a USB adapter's latency timer\n"
           "  --silent            the unit never wakes; only the adapter's echo answers\n"
           "  --faults LIST       fault memory, e.g. 53:2,5A:17 (hex code:counter)\n"
           "  --no-faults         empty fault memory\n"
           "  --lose-byte N       the unit's byte N after wake-up never arrives\n"
           "  --late-reply N:MS   the complement of tester byte N comes MS ms late\n"
           "  --garbage-after N[:XX]  an extra byte XX (hex, default A5) after unit byte N\n"
           "  --stop-after N      the unit falls silent after N blocks\n";
}

}  // namespace pumpsim::tool
