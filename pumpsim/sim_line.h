// A simulated pump control unit behind an echoing adapter, on a simulated
// serial line with real byte timing. SimLine is the tester's side of that
// line: what a serial port connected to the adapter would see.
//
// The unit sleeps until the wake-up pattern (break 100-400 ms, idle 100-400
// ms, break 300-900 ms), sends 0x55, 0x8C, 0x51 and waits up to 1 s for
// kKeyByte; then it sends its identification blocks (counters 0, 2, 4, 6) and
// answers every tester block with a block of its own (counter = tester's + 1):
// fault data blocks and a block without data after kReadFaultsTitle, an
// acknowledge otherwise. It answers every tester byte but the end byte with
// its complement, and waits up to 100 ms for the complement of each of its
// own bytes but the end byte. A break while awake ends the exchange.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace pumpsim {

struct FaultRecord {
    std::uint8_t code = 0;     // 0x50 .. 0x5E
    std::uint8_t counter = 0;  // error counter
    std::array<std::uint8_t, 6> rest{};
};

// Block titles the unit sends. Tester commands are kAck, kReadFaults and
// kClearFaults; any other title is taken as an acknowledge.
inline constexpr std::uint8_t kEndByte = 0x03;
inline constexpr std::uint8_t kAckTitle = 0x09;
inline constexpr std::uint8_t kReadFaultsTitle = 0x07;
inline constexpr std::uint8_t kClearFaultsTitle = 0x05;
inline constexpr std::uint8_t kIdentTitle = 0x8A;      // identification data
inline constexpr std::uint8_t kFaultDataTitle = 0x87;  // fault records, answer to kReadFaultsTitle
inline constexpr std::uint8_t kKeyByte = 0xAE;         // the tester's answer to the synchronisation bytes

struct PumpConfig {
    int baudRate = 9600;  // 8E1: 11 bits a byte, about 1.15 ms at 9600 baud
    // Data bytes (Windows-1251) of the identification blocks with counters 0, 2, 4, 6.
    std::array<std::string, 4> identData = DefaultIdentData();
    // The fault memory; a clear request empties it.
    std::vector<FaultRecord> faults = {{0x53, 2, {}}, {0x5A, 17, {}}};
    int faultBytesPerBlock = 12;  // fault data is spread over blocks of at most this many data bytes

    // Timing of the control unit, in milliseconds.
    double replyDelayMs = 0.5;   // complement of a tester byte
    double byteGapMs = 0.5;      // next own byte after the tester's complement arrived
    double blockGapMs = 25.0;    // own next block after the tester's end byte
    double syncGapMs = 8.0;      // between the three synchronisation bytes
    double wakeDelayMs = 40.0;   // from the end of the wake-up pattern to the first sync byte

    // A unit that hears nothing from the tester for this long while it is the
    // tester's turn gives up the exchange and goes back to sleep.
    double idleTimeoutMs = 2000.0;

    // Faults to switch on for tests. Indexes count from 0 and restart at every
    // wake-up of the unit:
    // - unit byte index: every byte the unit puts on the line since it woke up:
    //   the three synchronisation bytes are 0, 1, 2, then every byte of its
    //   blocks and every complement it sends, in the order it starts them.
    //   A garbage byte does not count.
    // - tester byte index: every byte of the tester that the unit received
    //   since it woke up (in a normal start 0xAE is 0), then the tester's
    //   complements of the unit's block bytes and the bytes of the tester's
    //   blocks, in order. With the default identification, the length byte
    //   of the tester's first block is 14.
    bool adapterEcho = true;       // false: the adapter returns nothing of what the tester sends
    int loseByteIndex = -1;        // the unit byte with this index never reaches the tester (traced as LostByte)
    int lateReplyIndex = -1;       // the unit's complement of the tester byte with this index comes late ...
    double lateReplyMs = 0.0;      // ... by this much (no effect on a tester byte the unit does not answer)
    int garbageAfterIndex = -1;    // right after the unit byte with this index the unit sends garbageByte too
    std::uint8_t garbageByte = 0xA5;
    int stopAfterBlocks = -1;      // after the end byte of its n-th block since wake-up the unit falls
                                   // asleep (silent until the next wake-up pattern); 0: no block at all

    static std::array<std::string, 4> DefaultIdentData();
};

// Raises core::EInvalidOperation naming the first unusable setting (rate not
// positive, negative timing, identification data too long for a block, ...).
void ValidateConfig(const PumpConfig& config);

enum class TraceKind {
    TesterByte,  // the tester put a byte on the line
    EchoByte,    // the adapter returned it to the tester
    PumpByte,    // the control unit sent a byte to the tester
    BreakOn,
    BreakOff,
    Purge,       // the tester purged its buffers (byte: 1 input, 2 output, 3 both)
    LostByte,    // a byte of the unit that was lost on the way (fault injection)
};

// Times are those at which the tester side could see the event: a tester
// byte and its echo when the byte's transmission ended (which is also when the
// unit receives it), a unit byte when it has arrived (one byte time after the
// unit started it), break and purge when they were called.
struct TraceEntry {
    double timeMs;  // since the line was created
    TraceKind kind;
    std::uint8_t byte;
};

class SimLine {
public:
    explicit SimLine(PumpConfig config = {});
    ~SimLine();
    SimLine(const SimLine&) = delete;
    SimLine& operator=(const SimLine&) = delete;

    // Puts the bytes on the line; returns when the last of them has been
    // transmitted (count x byte time). Returns count.
    int Write(const std::uint8_t* data, int count);
    // Takes up to maxCount received bytes; never waits.
    int Read(std::uint8_t* data, int maxCount);
    // Read as asked at `asked`: only the bytes that had arrived by then, as a
    // port's driver gives what it holds when the call is made, however late
    // the caller then gets the line.
    int ReadArrivedBy(std::uint8_t* data, int maxCount, std::chrono::steady_clock::time_point asked);
    int WaitingCount() const;
    // Holds the tester's transmit line in break (on) or releases it; the unit
    // watches the breaks for its wake-up pattern. Setting the current state
    // again is no event.
    void SetBreak(bool on);
    // Discards the bytes waiting for the tester (input); the line holds no
    // unsent tester bytes (Write is synchronous), so output has nothing to drop.
    void Purge(bool input, bool output);
    // A wake event (core/platform/wake_event.h) signalled when bytes arrive for the
    // tester; the reader resets it.
    int ArrivalFd() const;

    std::vector<TraceEntry> Trace() const;
    void ClearTrace();
    std::vector<FaultRecord> FaultMemory() const;
    bool PumpAwake() const;
    double ByteTimeMs() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace pumpsim
