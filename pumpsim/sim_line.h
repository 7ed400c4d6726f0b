// A simulated pump control unit behind an echoing adapter, on a simulated
// serial line with real byte timing. SimLine is the tester's side of that
// line: what a serial port connected to the adapter would see.
#pragma once

#include <array>
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

    // Faults to switch on for tests (indexes count bytes on the line from 0).
    bool adapterEcho = true;       // false: the adapter returns nothing of what the tester sends
    int loseByteIndex = -1;        // this byte of the unit never reaches the tester
    int lateReplyIndex = -1;       // the unit's complement of this tester byte comes late ...
    double lateReplyMs = 0.0;      // ... by this much
    int garbageAfterIndex = -1;    // after this byte of the unit, the unit sends garbageByte too
    std::uint8_t garbageByte = 0xA5;
    int stopAfterBlocks = -1;      // the unit falls silent after sending this many blocks

    static std::array<std::string, 4> DefaultIdentData();
};

enum class TraceKind {
    TesterByte,  // the tester put a byte on the line
    EchoByte,    // the adapter returned it to the tester
    PumpByte,    // the control unit sent a byte to the tester
    BreakOn,
    BreakOff,
    Purge,       // the tester purged its buffers (byte: 1 input, 2 output, 3 both)
    LostByte,    // a byte of the unit that was lost on the way (fault injection)
};

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
    int WaitingCount() const;
    void SetBreak(bool on);
    void Purge(bool input, bool output);
    // An event file descriptor that becomes readable when bytes arrive for the
    // tester; the reader resets it by reading its 8-byte counter.
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
