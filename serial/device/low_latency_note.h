// The note of an adapter's latency settings from before the port lowered
// them: written when the port opens, removed when it closes. A note found on
// opening was left by a run that was killed, and holds the values to put
// back; without one, settings already at low latency are the user's own
// (a udev rule, say) and stay as they are.
#pragma once

#include <optional>
#include <string>

namespace serial::device {

struct LatencyNote {
    bool flag = false;  // the low-latency flag was set
    std::string timer;  // the latency timer's text, empty when there is none
};

// The note's path for the tty named `ttyName`; empty when there is nowhere to keep it.
std::string LatencyNotePath(const std::string& runtimeDir, const std::string& ttyName);
// A note at `path` that this user wrote and that reads whole; nothing otherwise.
std::optional<LatencyNote> ReadLatencyNote(const std::string& path);
// Writes the note anew; false when it cannot (then no note is kept).
bool WriteLatencyNote(const std::string& path, const LatencyNote& note);

}  // namespace serial::device
