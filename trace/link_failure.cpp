#include "trace/link_failure.h"

#include <algorithm>
#include <cstdio>

#include "core/text/format.h"
#include "localization/gettext.h"
#include "serial/device/adapter_info.h"

namespace cli {

namespace {

// 8E1 at 9600 baud: 11 bits a byte. A line that brings far more is no pump
// at that speed, and the blocks in it mean nothing.
constexpr double kMostBytesPerSecond = 9600.0 / 11;

struct CauseText {
    const char* cause;
    const char* text;
};

// The causes the line tells apart, in the order they are tried.
constexpr CauseText kFlood{
    "line_flood",
    "The line brings far more bytes than the pump can send: this is not the adapter's port, or another device is "
    "behind it. Choose the adapter's port."};
constexpr CauseText kNoEcho{
    "no_echo",
    "No echo of the bytes sent came back: the adapter is not plugged in, has no power, or this is not its port. "
    "Check the adapter and its cable, and choose its port."};
constexpr CauseText kNoAnswer{
    "no_answer",
    "The adapter returned the bytes sent, but the pump did not answer the wake-up. Is the ignition on? Is the "
    "diagnostic line connected to the pump?"};
constexpr CauseText kBadSync{
    "bad_sync",
    "The pump's synchronisation bytes came garbled or incomplete: a noisy line or a wrong adapter. Check the "
    "diagnostic line's contacts and the adapter."};
constexpr CauseText kNoBlock{
    "no_block",
    "The pump answered the wake-up but sent no block after it: it did not take the tester's answer. Start the "
    "communication again; if this repeats, check the adapter and the line."};
constexpr CauseText kStopped{
    "answers_stopped",
    "The pump stopped answering in the middle of the exchange: the ignition was switched off or the cable came "
    "loose. Check them and start the communication again."};
constexpr CauseText kGarbled{
    "garbled_blocks",
    "The pump's blocks came with bytes lost or added: a noisy line or a loose contact. Check the diagnostic line's "
    "contacts and start the communication again."};
constexpr CauseText kNoIdentification{
    "no_identification",
    "Blocks went back and forth, but the pump's identification did not complete. Start the communication again."};
constexpr const char* kLateCause = "late_answers";
constexpr const char* kLateTimerTooLong =
    "Answers came too late for the pump: the adapter's latency (its timer is now %d ms; %s) or a busy computer. "
    "Close other programs and start the communication again.";
constexpr const char* kLateTimerFits =
    "Answers came too late for the pump: a busy computer (the adapter's latency timer is %d ms, as it should be). "
    "Close other programs and start the communication again.";
constexpr const char* kLateTimerUnknown =
    "Answers came too late for the pump: the adapter's latency (for a USB adapter, set its latency timer to 1 ms) "
    "or a busy computer. Close other programs and start the communication again.";

LinkFailure Of(const CauseText& c) { return {c.cause, localization::TranslateUtf8(c.text)}; }

LinkFailure Late(const LineFacts& facts) {
    const int timer = facts.adapterTimerMs;
    const char* text = timer < 0 ? kLateTimerUnknown : !facts.adapterRemedy.empty() ? kLateTimerTooLong : kLateTimerFits;
    return {kLateCause, core::FormatText(localization::TranslateUtf8(text), {timer, facts.adapterRemedy})};
}

// The first late or garbled byte: what came after it follows from it (a
// lost byte makes every later answer look wrong; a late one, every later
// block shifted). After a gap in the records the blocks are cut at the wrong
// places, and what is found there means nothing.
DerailKind FirstDerailment(const Exchange& ex, std::int64_t gapEndUs) {
    const Derailment* first = nullptr;
    for (const Derailment& d : ex.derailments)
        if ((d.kind == DerailKind::Late || d.kind == DerailKind::Garbled) && (gapEndUs < 0 || d.us < gapEndUs) &&
            (!first || d.us < first->us))
            first = &d;
    return first ? first->kind : DerailKind::Other;
}

}  // namespace

std::string FloodVerdict(std::uint64_t arrived, std::int64_t us) {
    const double seconds = std::max<double>(static_cast<double>(us) / 1e6, 1.0);
    if (static_cast<double>(arrived) <= 2 * kMostBytesPerSecond * seconds) return "";
    char text[200];
    std::snprintf(text, sizeof text,
                  "the line brought %llu bytes in %.1f s, far more than 9600 baud can carry (%.0f a second): a "
                  "wrong port, or a device that is not a pump behind it",
                  static_cast<unsigned long long>(arrived), seconds, kMostBytesPerSecond);
    return text;
}

LinkFailure ClassifyLinkFailure(const Exchange& ex, const LineFacts& facts) {
    if (!FloodVerdict(facts.arrived, facts.spanUs).empty()) return Of(kFlood);
    // The pattern came, but in one read: the engine saw it too late to answer.
    if (!ex.synced && !facts.synced && ex.syncUnanswered) return Late(facts);
    if (ex.sent > 0 && ex.echoed == 0) return ex.lateEchoes > 0 ? Late(facts) : Of(kNoEcho);
    if (!ex.synced && !facts.synced) {
        return Of(ex.receivedAfterWake == 0 ? kNoAnswer : kBadSync);
    }
    switch (FirstDerailment(ex, facts.gapEndUs)) {
        case DerailKind::Late: return Late(facts);
        case DerailKind::Garbled: return Of(kGarbled);
        default: break;
    }
    switch (ex.missing) {
        case MissingStep::Block: return Of(kNoBlock);
        case MissingStep::Link: return Of(kStopped);
        default: return Of(kNoIdentification);
    }
}

LineFacts WithAdapter(LineFacts facts, const std::string& port) {
    const serial::device::AdapterInfo adapter = serial::device::DescribeAdapter(port);
    facts.adapterTimerMs = adapter.latencyTimerMs;
    facts.adapterRemedy =
        serial::device::LatencyTimerTooLong(adapter) ? serial::device::SlowAdapterRemedy(port, adapter) : "";
    return facts;
}

LinkFailure ReadLineBack(const LineSnapshot& line, LineFacts facts) {
    facts.arrived = line.arrived;
    facts.spanUs = line.records.empty() ? 0 : line.records.back().us - line.startUs;
    facts.gapEndUs = line.gapEndUs;
    return ClassifyLinkFailure(AnalyseTrace(line.records), facts);
}

std::vector<std::string> LinkFailureTexts() {
    std::vector<std::string> texts;
    for (const CauseText& c : {kFlood, kNoEcho, kNoAnswer, kBadSync, kNoBlock, kStopped, kGarbled, kNoIdentification})
        texts.push_back(c.text);
    for (const char* text : {kLateTimerTooLong, kLateTimerFits, kLateTimerUnknown}) texts.push_back(text);
    return texts;
}

}  // namespace cli
