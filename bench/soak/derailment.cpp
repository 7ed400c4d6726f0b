#include "derailment.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include "line_conversation.h"

namespace soak {

using pumpsim::TraceEntry;
using pumpsim::TraceKind;

namespace {

struct LineByte {
    bool fromPump;
    std::uint8_t byte;
    double ms;
};

std::string Format(const char* format, ...) {
    char text[320];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return text;
}

// The seam as the engine's reads took the line's bytes.
class SeamView {
public:
    explicit SeamView(const std::vector<SeamOp>& ops) : ops_(ops) {}

    // The read that took `byte`, which arrived at `ms`.
    std::optional<std::size_t> ReadThatTook(std::uint8_t byte, double ms) const {
        for (std::size_t i = 0; i < ops_.size(); ++i)
            if (ops_[i].kind == SeamOp::Read && ops_[i].endMs >= ms - 0.5 &&
                ops_[i].bytes.find(static_cast<char>(byte)) != std::string::npos)
                return i;
        return std::nullopt;
    }
    // A read that is one of the engine's polls, not the one that takes an arrival.
    bool IsPoll(std::size_t index) const {
        for (std::size_t i = index; i-- > 0;) {
            if (ops_[i].kind == SeamOp::Arrival) return false;
            if (ops_[i].kind == SeamOp::Read) return true;
        }
        return false;
    }
    // The reads that followed the write which ended at `writeEndMs`: how many,
    // and when the last of them started, after the write ended.
    std::pair<int, double> PollsAfterWrite(double writeEndMs) const {
        int count = 0;
        double span = 0;
        for (std::size_t i = 0; i < ops_.size(); ++i) {
            if (ops_[i].kind != SeamOp::Write || ops_[i].endMs < writeEndMs - 0.5) continue;
            for (std::size_t k = i + 1; k < ops_.size() && ops_[k].kind == SeamOp::Read; ++k, ++count)
                span = ops_[k].startMs - ops_[i].endMs;
            break;
        }
        return {count, span};
    }
    // The first arrival after `fromMs` whose read took more than one byte.
    const SeamOp* MergedArrival(double fromMs) const {
        for (std::size_t i = 0; i + 1 < ops_.size(); ++i)
            if (ops_[i].kind == SeamOp::Arrival && ops_[i].startMs >= fromMs && ops_[i + 1].kind == SeamOp::Read &&
                ops_[i + 1].bytes.size() > 1)
                return &ops_[i + 1];
        return nullptr;
    }

private:
    const std::vector<SeamOp>& ops_;
};

std::size_t PositionIn(const std::string& error) {
    const auto at = error.rfind(' ');
    return at == std::string::npos ? 0 : std::strtoul(error.c_str() + at + 1, nullptr, 10);
}

std::string LateAnswer(const LineByte& unitByte, const LineByte& answer) {
    return Format("the engine answered the unit's byte 0x%02X after %.1f ms; the unit waits %.0f ms", unitByte.byte,
                  answer.ms - unitByte.ms, kUnitAnswerWaitMs);
}

// A unit byte that got no timely answer from the engine.
std::string UnansweredUnitByte(const std::vector<LineByte>& bytes, std::size_t at, bool afterEngineBlock,
                               const SeamView& seam) {
    const LineByte& b = bytes[at];
    const auto read = seam.ReadThatTook(b.byte, b.ms);
    if (!read) return Format("the engine never read the unit's byte 0x%02X", b.byte);
    if (afterEngineBlock && seam.IsPoll(*read)) {
        const double endByteMs = bytes[at - 1].ms;
        const auto [polls, span] = seam.PollsAfterWrite(endByteMs);
        return Format("the unit's length byte 0x%02X reached the engine %.1f ms after its end byte and was swallowed by "
                      "the engine's polls after it, stretched to %d reads in %.1f ms",
                      b.byte, b.ms - endByteMs, polls, span);
    }
    if (at + 1 < bytes.size() && !bytes[at + 1].fromPump) {
        const LineByte& reply = bytes[at + 1];
        if (reply.byte != static_cast<std::uint8_t>(b.byte ^ 0xFF))
            return Format("the engine answered the unit's byte 0x%02X with 0x%02X: it was out of step", b.byte,
                          reply.byte);
        return LateAnswer(b, reply);
    }
    return Format("the engine read the unit's byte 0x%02X but never answered it", b.byte);
}

// An engine byte the unit did not answer before the engine went on.
std::string UnansweredEngineByte(const std::vector<LineByte>& bytes, std::size_t at, const SeamView& seam) {
    const LineByte& b = bytes[at];
    const auto [polls, span] = seam.PollsAfterWrite(b.ms);
    for (std::size_t k = at + 1; k < bytes.size(); ++k)
        if (bytes[k].fromPump)
            return Format("the unit answered the engine's byte 0x%02X after %.1f ms, when the engine had stopped "
                          "waiting (%d reads over %.1f ms)",
                          b.byte, bytes[k].ms - b.ms, polls, span);
    return Format("the unit never answered the engine's byte 0x%02X", b.byte);
}

std::string Synchronisation(const std::vector<LineByte>& bytes, const std::vector<TraceEntry>& line,
                            const SeamView& seam) {
    int pumpBytes = 0;
    for (const LineByte& b : bytes) {
        if (!b.fromPump) break;
        ++pumpBytes;
    }
    if (pumpBytes < 3) return "the unit sent no synchronisation bytes: it did not see the wake-up";
    double lastBreakMs = 0;
    for (const TraceEntry& e : line)
        if (e.kind == TraceKind::BreakOff) lastBreakMs = e.timeMs;
    if (const SeamOp* merged = seam.MergedArrival(lastBreakMs))
        return Format("%zu synchronisation bytes were taken in one arrival, read at +%.1f ms after the wake-up; only "
                      "the first byte of an arrival counts",
                      merged->bytes.size(), merged->startMs - lastBreakMs);
    return "the engine did not answer the synchronisation bytes";
}

}  // namespace

std::vector<SeamOp> Shifted(std::vector<SeamOp> ops, double byMs) {
    for (SeamOp& op : ops) op.startMs += byMs, op.endMs += byMs;
    return ops;
}

std::string ExplainDerailment(const std::vector<TraceEntry>& line, const std::vector<SeamOp>& ops, double nowMs) {
    std::vector<LineByte> bytes;
    for (const TraceEntry& e : line)
        if (e.kind == TraceKind::PumpByte || e.kind == TraceKind::TesterByte)
            bytes.push_back({e.kind == TraceKind::PumpByte, e.byte, e.timeMs});
    const SeamView seam(ops);
    const testing_support::Conversation c = testing_support::ReadConversation(line);
    if (c.error.rfind("wake-up", 0) == 0) return "the wake-up pattern did not go out: " + c.error;

    // Where the block in progress starts; blocks alternate, the unit's first.
    std::size_t blockStart = 4;
    for (const auto& block : c.blocks) blockStart += 2 * block.bytes.size() - 1;
    const bool pumpBlock = c.blocks.size() % 2 == 0;

    std::size_t at;  // the line byte after which the rules broke or the line stopped
    if (!c.error.empty()) {
        at = PositionIn(c.error);
        if (at < 4) return Synchronisation(bytes, line, seam);
        --at;
    } else {
        if (!bytes.empty() && nowMs - bytes.back().ms < kStoppedAfterMs) return {};
        if (bytes.size() < 4) return Synchronisation(bytes, line, seam);
        at = bytes.size() - 1;
    }
    const LineByte& last = bytes[at];
    if (at < blockStart) {
        // the end byte of a complete block: the other side's next block never came
        return last.fromPump ? Format("the engine sent no block after the unit's end byte")
                             : Format("the unit sent no block after the engine's block (last byte %.1f ms before "
                                      "the line stopped)",
                                      nowMs - last.ms);
    }
    const bool answer = (at - blockStart) % 2 == 1;  // the other side's complement of a block byte
    if (!answer) {
        if (last.fromPump)
            return UnansweredUnitByte(bytes, at, at == blockStart && pumpBlock && !c.blocks.empty(), seam);
        return UnansweredEngineByte(bytes, at, seam);
    }
    // The block's sender went quiet after the answer to its byte. An answer
    // by the engine that came too late made the unit give up.
    const LineByte& asked = bytes[at - 1];
    if (!last.fromPump && last.ms - asked.ms > kUnitAnswerWaitMs)
        return LateAnswer(asked, last);
    if (!c.error.empty() && at + 1 < bytes.size())
        return Format("%s: 0x%02X after 0x%02X", c.error.c_str(), bytes[at + 1].byte, last.byte);
    return last.fromPump ? "the engine stopped in the middle of its block" : "the unit fell silent in the middle of its block";
}

}  // namespace soak
