#include "pumpsim/pump_unit.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "core/platform/exception.h"

namespace pumpsim {

namespace {

constexpr std::uint8_t kSyncBytes[3] = {0x55, 0x8C, 0x51};
constexpr int kMaxBlockData = 252;  // length byte 255 = counter, title, data, end byte

// How long the unit waits for the tester: the complement of one of its bytes,
// and the key byte after the synchronisation bytes.
constexpr double kComplementWaitMs = 100.0;
constexpr double kKeyWaitMs = 1000.0;

// Tolerances of the wake-up pattern (nominal: break 200, idle 200, break 500).
constexpr double kFirstBreakMinMs = 100.0, kFirstBreakMaxMs = 400.0;
constexpr double kIdleMinMs = 100.0, kIdleMaxMs = 400.0;
constexpr double kSecondBreakMinMs = 300.0, kSecondBreakMaxMs = 900.0;
// Seen only by break starts: first start to second start (nominal 400).
constexpr double kPulseGapMinMs = 200.0, kPulseGapMaxMs = 800.0;
constexpr double kSecondBreakNominalMs = 500.0;
// A port may report one long break more than once; reports this close belong
// to the same break.
constexpr double kSameBreakMs = 50.0;

double MsBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

bool Within(double value, double lo, double hi) { return value >= lo && value <= hi; }

void Require(bool ok, const std::string& what) {
    if (!ok) throw core::EInvalidOperation("Invalid pump configuration: " + what);
}

bool TimingOk(double ms) { return std::isfinite(ms) && ms >= 0.0 && ms <= 60000.0; }

}  // namespace

std::array<std::string, 4> PumpConfig::DefaultIdentData() {
    return {
        // counter 0: shown whole (original part number)
        "4B1907401S",
        // counter 2: 9 + 4 characters
        "VR17085123470",
        // counter 4: 6 + 4 characters
        "PU44710218",
        // counter 6: first three hidden, then 10 digits grouped 1, 3, 3, 3
        "VP40470506917",
    };
}

void ValidateConfig(const PumpConfig& c) {
    Require(c.baudRate >= 50 && c.baudRate <= 4000000, "baud rate must be 50 to 4000000");
    for (std::size_t i = 0; i < c.identData.size(); ++i)
        Require(c.identData[i].size() <= kMaxBlockData,
                "identification block " + std::to_string(2 * i) + " has more than 252 data bytes");
    Require(c.faultBytesPerBlock >= 1 && c.faultBytesPerBlock <= kMaxBlockData,
            "fault bytes per block must be 1 to 252");
    Require(TimingOk(c.replyDelayMs) && TimingOk(c.byteGapMs) && TimingOk(c.blockGapMs) &&
                TimingOk(c.syncGapMs) && TimingOk(c.wakeDelayMs) && TimingOk(c.lateReplyMs),
            "delays must be 0 to 60000 ms");
    Require(TimingOk(c.idleTimeoutMs) && c.idleTimeoutMs > 0.0, "idle time-out must be above 0 ms");
}

PumpUnit::PumpUnit(const PumpConfig& config, PumpTransport& transport)
    : config_(config), transport_(transport) {
    ValidateConfig(config_);
    byteTime_ = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(double(kBitsPerByte) / config_.baudRate));
    faults_ = config_.faults;
}

Clock::duration PumpUnit::Ms(double ms) const {
    return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double, std::milli>(ms));
}

void PumpUnit::GoToSleep() {
    phase_ = Phase::Asleep;
    phaseDeadline_.reset();
    scheduled_.clear();  // bytes already on the line still arrive
    outQueue_.clear();
    awaitingComplement_ = false;
}

void PumpUnit::Wake(Clock::time_point at) {
    GoToSleep();
    pattern_ = Pattern::None;
    unitByteIndex_ = 0;
    testerByteIndex_ = 0;
    syncSent_ = 0;
    blocksSent_ = 0;
    rxPos_ = 0;
    phase_ = Phase::Syncing;
    Schedule(at + Ms(config_.wakeDelayMs), kSyncBytes[0], Tag::Sync);
}

void PumpUnit::BreakChanged(bool on, Clock::time_point at) {
    const double since = MsBetween(edgeAt_, at);
    if (on) {
        // Any break ends an exchange; it may be the start of a new wake-up.
        if (Awake()) GoToSleep();
        pattern_ = (pattern_ == Pattern::FirstIdle && Within(since, kIdleMinMs, kIdleMaxMs))
                       ? Pattern::SecondBreak
                       : Pattern::FirstBreak;
        edgeAt_ = at;
        return;
    }
    const Pattern was = pattern_;
    pattern_ = Pattern::None;
    if (was == Pattern::SecondBreak && Within(since, kSecondBreakMinMs, kSecondBreakMaxMs)) {
        Wake(at);
        return;
    }
    if ((was == Pattern::FirstBreak || was == Pattern::SecondBreak) &&
        Within(since, kFirstBreakMinMs, kFirstBreakMaxMs)) {
        pattern_ = Pattern::FirstIdle;  // this break may be the first of a pattern
        edgeAt_ = at;
    }
}

void PumpUnit::BreakPulse(Clock::time_point at) {
    if (lastPulse_ && MsBetween(*lastPulse_, at) < kSameBreakMs) return;
    if (Awake()) GoToSleep();
    const bool second = lastPulse_ && Within(MsBetween(*lastPulse_, at), kPulseGapMinMs, kPulseGapMaxMs);
    lastPulse_ = at;
    if (second) {
        Wake(at + Ms(kSecondBreakNominalMs));
        lastPulse_ = at;  // Wake forgets the pattern, not this break
    }
}

void PumpUnit::Schedule(Clock::time_point at, std::uint8_t byte, Tag tag) {
    auto pos = std::upper_bound(scheduled_.begin(), scheduled_.end(), at,
                                [](Clock::time_point t, const Scheduled& s) { return t < s.at; });
    scheduled_.insert(pos, Scheduled{at, byte, tag});
}

void PumpUnit::Emit(const Scheduled& item) {
    const Clock::time_point start = std::max(item.at, txFreeAt_);
    const Clock::time_point arrival = start + byteTime_;
    txFreeAt_ = arrival;
    int index = -1;
    if (item.tag != Tag::Garbage) index = unitByteIndex_++;
    const bool lost = index >= 0 && index == config_.loseByteIndex;
    inFlight_.push_back(InFlight{arrival, item.byte, lost});
    transport_.ByteStarted(item.byte, lost);
    if (index >= 0 && index == config_.garbageAfterIndex)
        scheduled_.insert(scheduled_.begin(), Scheduled{arrival, config_.garbageByte, Tag::Garbage});
    AfterEmit(item.tag, arrival);
}

void PumpUnit::AfterEmit(Tag tag, Clock::time_point arrival) {
    if (tag == Tag::Sync) {
        if (++syncSent_ < 3) {
            Schedule(arrival + Ms(config_.syncGapMs), kSyncBytes[syncSent_], Tag::Sync);
        } else {
            phase_ = Phase::AwaitKey;
            WaitForAnswer(arrival, kKeyWaitMs);
        }
        return;
    }
    if (tag != Tag::BlockByte) return;
    if (blockPos_ + 1 == block_.size()) {
        // End byte: no answer expected; the tester's block follows.
        ++blocksSent_;
        if (config_.stopAfterBlocks >= 0 && blocksSent_ >= config_.stopAfterBlocks) {
            GoToSleep();
            return;
        }
        phase_ = Phase::Receiving;
        rxPos_ = 0;
        WaitForAnswer(arrival, config_.idleTimeoutMs);
        return;
    }
    awaitingComplement_ = true;
    WaitForAnswer(arrival, kComplementWaitMs);
}

void PumpUnit::WaitForAnswer(Clock::time_point arrival, double ms) {
    waitFrom_ = arrival;
    waitLength_ = Ms(ms);
    phaseDeadline_ = arrival + waitLength_;
}

void PumpUnit::SendNextBlock(std::uint8_t counter, Clock::time_point at) {
    if (config_.stopAfterBlocks >= 0 && blocksSent_ >= config_.stopAfterBlocks) {
        GoToSleep();  // a unit told to send no block at all
        return;
    }
    Block next{kAckTitle, {}};
    if (!outQueue_.empty()) {
        next = std::move(outQueue_.front());
        outQueue_.pop_front();
    }
    block_.clear();
    block_.push_back(static_cast<std::uint8_t>(next.data.size() + 3));
    block_.push_back(counter);
    block_.push_back(next.title);
    block_.insert(block_.end(), next.data.begin(), next.data.end());
    block_.push_back(kEndByte);
    blockPos_ = 0;
    lastCounter_ = counter;
    phase_ = Phase::Sending;
    awaitingComplement_ = false;
    phaseDeadline_.reset();
    Schedule(at, block_[0], Tag::BlockByte);
}

void PumpUnit::QueueFaultRead() {
    std::vector<std::uint8_t> bytes;
    for (const FaultRecord& f : faults_) {
        bytes.push_back(f.code);
        bytes.push_back(f.counter);
        bytes.insert(bytes.end(), f.rest.begin(), f.rest.end());
    }
    const std::size_t per = static_cast<std::size_t>(config_.faultBytesPerBlock);
    for (std::size_t i = 0; i < bytes.size(); i += per) {
        const std::size_t end = std::min(bytes.size(), i + per);
        outQueue_.push_back(Block{kFaultDataTitle, {bytes.begin() + i, bytes.begin() + end}});
    }
    outQueue_.push_back(Block{kAckTitle, {}});  // no data: the read is complete
}

void PumpUnit::Answer(std::uint8_t byte, Clock::time_point at) {
    double delay = config_.replyDelayMs;
    if (testerByteIndex_ - 1 == config_.lateReplyIndex) delay += config_.lateReplyMs;
    Schedule(at + Ms(delay), static_cast<std::uint8_t>(byte ^ 0xFF), Tag::Reply);
}

void PumpUnit::TesterByte(std::uint8_t byte, Clock::time_point at) {
    if (phase_ == Phase::Asleep) return;
    ++testerByteIndex_;
    switch (phase_) {
    case Phase::AwaitKey:
        if (byte != kKeyByte) return;  // anything else is noise; keep waiting
        for (const std::string& data : config_.identData)
            outQueue_.push_back(Block{kIdentTitle, {data.begin(), data.end()}});
        SendNextBlock(0, at + Ms(config_.blockGapMs));
        return;
    case Phase::Sending:
        // Any byte counts as the answer: the unit does not check complements.
        if (!awaitingComplement_) return;
        awaitingComplement_ = false;
        phaseDeadline_.reset();
        ++blockPos_;
        Schedule(at + Ms(config_.byteGapMs), block_[blockPos_], Tag::BlockByte);
        return;
    case Phase::Receiving:
        ReceiveByte(byte, at);
        return;
    default:
        return;
    }
}

void PumpUnit::ReceiveByte(std::uint8_t byte, Clock::time_point at) {
    phaseDeadline_ = at + Ms(config_.idleTimeoutMs);
    if (rxPos_ == 0) {
        // Length byte: the number of bytes that follow, the last being the end byte.
        rxLength_ = byte;
        rxCounter_ = static_cast<std::uint8_t>(lastCounter_ + 1);
        rxTitle_ = kAckTitle;
        Answer(byte, at);
        rxPos_ = 1;
        if (rxLength_ == 0) BlockReceived(at);
        return;
    }
    if (rxPos_ < rxLength_) {
        Answer(byte, at);
        if (rxPos_ == 1) rxCounter_ = byte;
        if (rxPos_ == 2) rxTitle_ = byte;
        ++rxPos_;
        return;
    }
    BlockReceived(at);  // the end byte, taken without an answer
}

void PumpUnit::BlockReceived(Clock::time_point at) {
    rxPos_ = 0;
    if (rxTitle_ == kReadFaultsTitle) QueueFaultRead();
    if (rxTitle_ == kClearFaultsTitle) faults_.clear();
    SendNextBlock(static_cast<std::uint8_t>(rxCounter_ + 1), at + Ms(config_.blockGapMs));
}

void PumpUnit::PhaseTimeout() {
    const Clock::time_point at = *phaseDeadline_;
    phaseDeadline_.reset();
    if (phase_ == Phase::Sending && awaitingComplement_) {
        // No complement: go on with the block anyway.
        awaitingComplement_ = false;
        ++blockPos_;
        Schedule(at, block_[blockPos_], Tag::BlockByte);
        return;
    }
    GoToSleep();  // no key byte, or the tester stopped talking
}

std::optional<Clock::time_point> PumpUnit::NextDeadline() const {
    std::optional<Clock::time_point> next = phaseDeadline_;
    auto consider = [&next](Clock::time_point t) {
        if (!next || t < *next) next = t;
    };
    if (!inFlight_.empty()) consider(inFlight_.front().arrival);
    if (!scheduled_.empty()) consider(std::max(scheduled_.front().at, txFreeAt_));
    return next;
}

void PumpUnit::Advance(Clock::time_point now) {
    for (;;) {
        while (!inFlight_.empty() && inFlight_.front().arrival <= now) {
            const InFlight done = inFlight_.front();
            inFlight_.pop_front();
            transport_.ByteArrived(done.byte, done.lost, done.arrival);
            if (phaseDeadline_ && done.arrival == waitFrom_ && now > done.arrival)
                phaseDeadline_ = std::max(*phaseDeadline_, now + waitLength_);
        }
        if (!scheduled_.empty() && std::max(scheduled_.front().at, txFreeAt_) <= now) {
            const Scheduled item = scheduled_.front();
            scheduled_.erase(scheduled_.begin());
            Emit(item);
            continue;
        }
        if (phaseDeadline_ && *phaseDeadline_ <= now) {
            PhaseTimeout();
            continue;
        }
        return;
    }
}

}  // namespace pumpsim
