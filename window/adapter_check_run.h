// The adapter check from the window's menu: the companion's check run on the
// window's port. The port is taken from the engine for the check's few
// seconds (closed, and opened again without the engine's receive handler),
// the bytes are measured on a thread of the check's own so that the window
// keeps answering, and the port is put back as it was: open with the
// engine's receive handler, or closed. Nothing of the engine's state is
// touched, since no byte of the check reaches it.
//
// Threads:
//   Start, Running, Abandon        - the GUI thread
//   the measurement                - the check's thread; only the port
//   the finish                     - posted to the GUI thread through the face
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "serial/device/adapter_info.h"
#include "window/form_face.h"
#include "window/port_component.h"

namespace window {

// The window's texts of the check, in English as the catalogs hold them.
namespace adapter_check_text {
inline constexpr const char* kMenu = "Check the adapter...";
inline constexpr const char* kTitle = "Adapter check";
inline constexpr const char* kChecking = "Checking the adapter on %s...";
inline constexpr const char* kBusy = "The adapter check is running on the port; wait a few seconds for its result.";
inline constexpr const char* kLinkRuns =
    "The adapter cannot be checked while the communication runs: its bytes would go to the pump. Check it once the "
    "start button is back.";
inline constexpr const char* kCannotCheck = "The adapter cannot be checked: %s";
inline constexpr const char* kStopped = "The adapter check stopped: %s";
inline constexpr const char* kNotReopened = "The port could not be opened again: %s";
}  // namespace adapter_check_text

// Every text of the check the window shows: its own, the report's and the adapter's description.
std::vector<std::string> AdapterCheckWindowTexts();

struct AdapterCheckOutcome {
    bool fits = false;  // the adapter fits; false also when it could not be checked
    std::string text;   // the report, or why there is none, in the user's language
};

class AdapterCheckRun {
public:
    AdapterCheckRun(FormFace& face, PortComponent& com) : face_(face), com_(com) {}
    ~AdapterCheckRun() { Abandon(); }
    AdapterCheckRun(const AdapterCheckRun&) = delete;
    AdapterCheckRun& operator=(const AdapterCheckRun&) = delete;

    bool Running() const { return running_; }
    // Checks the adapter on the port's name; `finished` runs on the GUI thread
    // once the port is back as it was (at once when it cannot be opened).
    void Start(std::function<void(const AdapterCheckOutcome&)> finished);
    // Stops a running check and waits for its thread; the port is left to
    // the caller, which is closing it, and nothing more is reported.
    void Abandon() noexcept;

private:
    // The check's thread: the echoes measured, the finish posted.
    void Measure(const std::string& port, const serial::device::AdapterInfo& info);
    // Puts the port back and reports; `sayReopening`: a port that does not
    // open again is added to the outcome.
    void Finish(AdapterCheckOutcome outcome, bool sayReopening = true);
    // The port as it was before Start; what went wrong when it cannot be.
    std::string Restore();

    FormFace& face_;
    PortComponent& com_;
    std::function<void(const AdapterCheckOutcome&)> finished_;
    std::function<void(int)> rx_;  // the engine's receive handler, kept while the check has the port
    bool wasOpen_ = false;
    bool running_ = false;
    std::atomic<bool> stop_{false};
    std::thread worker_;
};

}  // namespace window
