#include "window/port_list.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "window/form_state.h"

namespace window {

namespace {
std::string Upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// Which of the four fixed items `name` is, -1 for none.
int FixedItem(const std::string& name) {
    for (int i = 0; i < 4; ++i)
        if (Upper(name) == Upper(kPortItemNames[i])) return i;
    return -1;
}
bool IsFixedItem(const std::string& name) { return FixedItem(name) >= 0; }

bool IsUsb(const std::string& enumerator) {
    const std::string bus = Upper(enumerator);
    return bus == "USB" || bus == "FTDIBUS";
}

// "COM10" after "COM9"; names of another form after the numbered ones, by text.
int Number(const std::string& name) {
    const std::string upper = Upper(name);
    const bool numbered = upper.size() > 3 && upper.compare(0, 3, "COM") == 0 &&
                          std::isdigit(static_cast<unsigned char>(upper[3]));
    return numbered ? std::atoi(upper.c_str() + 3) : 1 << 30;
}

struct Entry {
    FoundPort port;
    bool usb;
};
}  // namespace

std::vector<FoundPort> MenuPorts(const std::vector<ClassPort>& classPorts, const std::vector<MappedPort>& mapped) {
    std::vector<Entry> entries;
    auto known = [&entries](const std::string& name) {
        return std::any_of(entries.begin(), entries.end(),
                           [&name](const Entry& e) { return Upper(e.port.name) == Upper(name); });
    };
    for (const ClassPort& port : classPorts) {
        if (port.name.empty() || IsFixedItem(port.name) || known(port.name)) continue;
        std::string text = port.friendlyName.empty() ? port.name : port.friendlyName;
        // A friendly name normally ends in "(COM5)"; one that does not still names the port.
        if (Upper(text).find(Upper(port.name)) == std::string::npos) text += " (" + port.name + ")";
        entries.push_back({{port.name, text}, IsUsb(port.enumerator)});
    }
    for (const MappedPort& port : mapped) {
        if (port.name.empty() || IsFixedItem(port.name) || known(port.name)) continue;
        entries.push_back({{port.name, port.driver.empty() ? port.name : port.name + " (" + port.driver + ")"}, false});
    }
    std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        if (a.usb != b.usb) return a.usb;
        const int na = Number(a.port.name), nb = Number(b.port.name);
        return na != nb ? na < nb : a.port.name < b.port.name;
    });
    std::vector<FoundPort> ports;
    for (Entry& entry : entries) ports.push_back(std::move(entry.port));
    for (int item = 0; item < 4; ++item) {
        const auto named = std::find_if(classPorts.begin(), classPorts.end(), [item](const ClassPort& port) {
            return FixedItem(port.name) == item && !port.friendlyName.empty();
        });
        if (named != classPorts.end()) ports.push_back({named->name, named->friendlyName, item});
    }
    return ports;
}

}  // namespace window
