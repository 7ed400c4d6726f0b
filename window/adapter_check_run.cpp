#include "window/adapter_check_run.h"

#include <exception>
#include <system_error>
#include <utility>

#include "adapter/adapter_check.h"
#include "core/platform/exception.h"
#include "core/text/format.h"
#include "localization/gettext.h"
#include "serial/device/adapter_info.h"

namespace window {

namespace {
std::string Tr(const char* text) { return localization::TranslateUtf8(text); }

// The check opens the port as the companion does, so both see the same line.
void OpenForUse(PortComponent& com) {
    com.OpenPort();
    com.PurgeBuffers(true, true);
}

void CloseQuietly(PortComponent& com) noexcept {
    try {
        if (com.Connected()) com.ClosePort();
    } catch (...) {
        // A port that is gone closes with an error; it is closed all the same.
    }
}
}  // namespace

std::vector<std::string> AdapterCheckWindowTexts() {
    using namespace adapter_check_text;
    std::vector<std::string> texts = {kMenu, kTitle, kChecking, kBusy, kLinkRuns, kCannotCheck, kStopped, kNotReopened};
    for (const std::vector<std::string>& more : {adapter::AdapterCheckTexts(), serial::device::AdapterInfoTexts()})
        texts.insert(texts.end(), more.begin(), more.end());
    return texts;
}

void AdapterCheckRun::Start(std::function<void(const AdapterCheckOutcome&)> finished) {
    finished_ = std::move(finished);
    wasOpen_ = com_.Connected();
    const std::string port = com_.Port();
    // The engine's handler goes only while the port is closed: the monitoring thread calls it.
    CloseQuietly(com_);
    rx_ = std::move(com_.OnRxChar);
    com_.OnRxChar = nullptr;
    try {
        OpenForUse(com_);
    } catch (const core::Exception& e) {
        // The same port will not open again either: the box says it once.
        return Finish({false, core::FormatText(Tr(adapter_check_text::kCannotCheck), {e.Message()})}, false);
    }
    const serial::device::AdapterInfo info = serial::device::DescribeAdapter(port);
    running_ = true;
    stop_ = false;
    try {
        worker_ = std::thread([this, port, info] { Measure(port, info); });
    } catch (const std::system_error& e) {
        Finish({false, core::FormatText(Tr(adapter_check_text::kStopped), {e.what()})});
    }
}

void AdapterCheckRun::Measure(const std::string& port, const serial::device::AdapterInfo& info) {
    adapter::EchoMeasurement measured;
    std::string failure;
    try {
        measured = adapter::MeasureEcho(com_, adapter::kCheckBytes, &stop_);
    } catch (const core::Exception& e) {
        failure = e.Message();
    } catch (const std::exception& e) {
        // Nothing may leave the thread: the port still has to be given back.
        failure = e.what();
    }
    if (stop_) return;  // abandoned: the window is going
    face_.Post([this, port, info, measured, failure] {
        if (worker_.joinable()) worker_.join();
        if (!running_) return;
        if (!failure.empty())
            return Finish({false, core::FormatText(Tr(adapter_check_text::kStopped), {failure})});
        const adapter::AdapterReport report = adapter::JudgeAdapter(measured, port, info);
        Finish({report.verdict == adapter::AdapterVerdict::Fits, report.text});
    });
}

void AdapterCheckRun::Finish(AdapterCheckOutcome outcome, bool sayReopening) {
    running_ = false;
    const std::string problem = Restore();
    if (!problem.empty() && sayReopening) {
        outcome.fits = false;
        outcome.text += (outcome.text.empty() || outcome.text.back() == '\n' ? "" : "\n") + problem;
    }
    if (finished_) finished_(outcome);
}

std::string AdapterCheckRun::Restore() {
    CloseQuietly(com_);
    com_.OnRxChar = std::move(rx_);
    rx_ = nullptr;
    if (!wasOpen_) return {};
    try {
        OpenForUse(com_);
    } catch (const core::Exception& e) {
        CloseQuietly(com_);
        return core::FormatText(Tr(adapter_check_text::kNotReopened), {e.Message()});
    }
    return {};
}

void AdapterCheckRun::Abandon() noexcept {
    if (!running_) return;
    stop_ = true;
    if (worker_.joinable()) worker_.join();
    running_ = false;
    CloseQuietly(com_);
    com_.OnRxChar = std::move(rx_);
}

}  // namespace window
