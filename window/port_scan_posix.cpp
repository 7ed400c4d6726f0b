// Linux: USB adapters under serial/by-id (stable names that carry the maker
// and the serial number), then ttyUSB* and ttyACM* that no by-id name points to.
#include <algorithm>
#include <filesystem>
#include <set>
#include <system_error>

#include "window/port_scan.h"

namespace window {

namespace fs = std::filesystem;

namespace {

// "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0" -> "FTDI FT232R USB UART A50285BI".
std::string AdapterText(std::string id) {
    if (id.rfind("usb-", 0) == 0) id.erase(0, 4);
    const std::size_t iface = id.rfind("-if");
    if (iface != std::string::npos && iface > 0) id.erase(iface);
    std::replace(id.begin(), id.end(), '_', ' ');
    return id;
}

std::vector<fs::path> Entries(const fs::path& folder) {
    std::vector<fs::path> entries;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) entries.push_back(it->path());
    std::sort(entries.begin(), entries.end());
    return entries;
}

}  // namespace

std::string DefaultDevFolder() { return "/dev"; }

std::vector<FoundPort> ScanPorts(const std::string& devFolder) {
    std::vector<FoundPort> ports;
    std::set<fs::path> devices;  // what the by-id names resolve to
    std::error_code ec;
    for (const fs::path& link : Entries(fs::path(devFolder) / "serial" / "by-id")) {
        const fs::path device = fs::canonical(link, ec);
        if (ec) continue;  // a dangling name: the adapter has gone
        devices.insert(device);
        std::string text = AdapterText(link.filename().string());
        const fs::path target = fs::read_symlink(link, ec);
        if (!ec) text += " (" + target.filename().string() + ")";
        ports.push_back({link.string(), text});
    }
    for (const fs::path& entry : Entries(devFolder)) {
        const std::string file = entry.filename().string();
        if (file.rfind("ttyUSB", 0) != 0 && file.rfind("ttyACM", 0) != 0) continue;
        const fs::path device = fs::canonical(entry, ec);
        if (!ec && devices.count(device)) continue;
        ports.push_back({entry.string(), entry.string()});
    }
    return ports;
}

}  // namespace window
