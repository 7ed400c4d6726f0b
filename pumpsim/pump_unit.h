// The control unit's behaviour on its diagnostic line, independent of what
// carries the bytes: the simulated line (SimLine) and the command-line tool
// (pseudo-terminal or real serial port) both drive the same PumpUnit.
//
// PumpUnit is a passive state machine and not thread-safe: its owner feeds it
// the tester's bytes and line conditions as they happen, calls Advance when
// NextDeadline has come, and serialises all calls.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

#include "pumpsim/sim_line.h"

namespace pumpsim {

using Clock = std::chrono::steady_clock;

// What carries the unit's bytes to the tester.
class PumpTransport {
public:
    virtual ~PumpTransport() = default;
    // The unit starts a byte on the line at `start` (at most one byte time
    // from now). `lost` bytes never reach the tester.
    virtual void ByteStarted(std::uint8_t /*byte*/, bool /*lost*/) {}
    // The byte has completely arrived at the tester's side at `at` (one byte
    // time after its start; reported at that time or later); lost bytes are
    // reported here too, with `lost` set.
    virtual void ByteArrived(std::uint8_t byte, bool lost, Clock::time_point at) = 0;
};

// 8E1: start bit, 8 data bits, parity, stop bit.
inline constexpr int kBitsPerByte = 11;

class PumpUnit {
public:
    // Raises core::EInvalidOperation for an unusable configuration.
    PumpUnit(const PumpConfig& config, PumpTransport& transport);

    // The unit received a tester byte (its transmission ended at `at`).
    void TesterByte(std::uint8_t byte, Clock::time_point at);
    // The tester's transmit line went into break (on) or back to idle.
    void BreakChanged(bool on, Clock::time_point at);
    // A break seen only by its start (a serial port reports a break as one
    // event): the wake-up pattern is taken from the starts of its two breaks,
    // the second one assumed to last its nominal 500 ms.
    void BreakPulse(Clock::time_point at);
    // Wakes the unit as if the wake-up pattern had ended at `at` (used where
    // breaks cannot be seen, e.g. on a pseudo-terminal).
    void Wake(Clock::time_point at);

    // When Advance next has something to do; none while the unit sleeps with
    // nothing on the line.
    std::optional<Clock::time_point> NextDeadline() const;
    // Does everything due at `now`: sends bytes, delivers arrived bytes to
    // the transport, handles time-outs.
    void Advance(Clock::time_point now);

    bool Awake() const { return phase_ != Phase::Asleep; }
    const std::vector<FaultRecord>& FaultMemory() const { return faults_; }
    Clock::duration ByteTime() const { return byteTime_; }

private:
    enum class Phase { Asleep, Syncing, AwaitKey, Sending, Receiving };
    enum class Tag { Sync, BlockByte, Reply, Garbage };
    struct Scheduled {
        Clock::time_point at;
        std::uint8_t byte;
        Tag tag;
    };
    struct InFlight {
        Clock::time_point arrival;
        std::uint8_t byte;
        bool lost;
    };
    struct Block {
        std::uint8_t title;
        std::vector<std::uint8_t> data;
    };

    void GoToSleep();
    void Schedule(Clock::time_point at, std::uint8_t byte, Tag tag);
    void Emit(const Scheduled& item);
    void AfterEmit(Tag tag, Clock::time_point arrival);
    void SendNextBlock(std::uint8_t counter, Clock::time_point at);
    void Answer(std::uint8_t byte, Clock::time_point at);
    void ReceiveByte(std::uint8_t byte, Clock::time_point at);
    void BlockReceived(Clock::time_point at);
    void QueueFaultRead();
    void PhaseTimeout();
    Clock::duration Ms(double ms) const;

    PumpConfig config_;
    PumpTransport& transport_;
    Clock::duration byteTime_;
    std::vector<FaultRecord> faults_;

    Phase phase_ = Phase::Asleep;
    std::optional<Clock::time_point> phaseDeadline_;
    // A wait for the tester's answer counts from when the tester could see
    // the byte: if its delivery comes later than its arrival on the line (a
    // late-running owner), the deadline moves with it.
    void WaitForAnswer(Clock::time_point arrival, double ms);
    Clock::time_point waitFrom_{};
    Clock::duration waitLength_{};
    std::vector<Scheduled> scheduled_;  // sorted by time
    std::deque<InFlight> inFlight_;     // in arrival order
    Clock::time_point txFreeAt_{};

    // Wake-up pattern seen through break edges.
    enum class Pattern { None, FirstBreak, FirstIdle, SecondBreak };
    Pattern pattern_ = Pattern::None;
    Clock::time_point edgeAt_{};
    std::optional<Clock::time_point> lastPulse_;

    // Session since wake-up.
    int unitByteIndex_ = 0;
    int testerByteIndex_ = 0;
    int syncSent_ = 0;
    int blocksSent_ = 0;
    std::deque<Block> outQueue_;
    std::vector<std::uint8_t> block_;  // the block being sent
    std::size_t blockPos_ = 0;
    bool awaitingComplement_ = false;
    // The tester's block being received.
    int rxPos_ = 0;
    int rxLength_ = 0;
    std::uint8_t rxCounter_ = 0;
    std::uint8_t rxTitle_ = kAckTitle;
    std::uint8_t lastCounter_ = 0;
};

}  // namespace pumpsim
