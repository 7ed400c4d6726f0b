// The pump protocol engine: wakes the pump, synchronises, exchanges blocks in
// which every byte is answered with its complement, decodes the pump's
// identification, collects and shows its fault memory and erases it.
//
// Threads: Rx runs on the port's monitoring thread; the button and timer
// handlers and the start-value steps run on the GUI thread. Effects on the
// window go through EngineView, which applies them on the GUI thread in order.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>

#include "protocol/byte_string.h"
#include "protocol/engine_view.h"
#include "protocol/pump_port.h"

namespace protocol {

inline const ByteString<255> AckCommand{0x09};
inline const ByteString<255> ReadFaultsCommand{0x07};
inline const ByteString<255> ClearFaultsCommand{0x05};
inline const ByteString<3> SyncPattern{0x55, 0x8C, 0x51};

// Copy of the engine's state record, for tests and diagnostics.
struct ProtocolState {
    bool Synced = false;
    ByteString<3> SyncHistory;
    std::uint8_t CurrentByte = 0;
    bool InBlock = false;
    std::uint8_t BlockLength = 0;
    std::uint8_t BytesLeft = 0;
    std::uint8_t BlockCounter = 0;
    std::array<std::uint8_t, 256> RxBuffer{};
    bool OurTurn = false;
    ByteString<255> PendingCommand;
    bool IdentPending = false;
    bool FaultMode = false;
    ByteString<255> FaultBuffer;  // the count; storage() holds all 255 bytes
    std::array<std::array<std::uint8_t, 8>, 15> FaultRecords{};
    bool ClearPending = false;
    bool WatchdogArmed = false;
    std::uint8_t WatchdogLastCounter = 0;
};

class PumpProtocol {
public:
    PumpProtocol(PumpPort& port, EngineView& view);

    // --- entries ---
    // Handler of the port's arrival event: `count` bytes are waiting.
    void Rx(int count);
    void Button3Click();  // start: link reset with wake-up pattern, watchdog on
    void Button4Click();  // read faults with the next block
    void Button1Click();  // clear faults with the next block
    void timer1Timer();   // link watchdog tick
    void Timer2Timer();   // fault hints after a read

    // --- start values, set by the main window's creation ---
    void SetFirstStartValues();      // PendingCommand := AckCommand; BlockCounter := 0
    void SetRemainingStartValues();  // SyncHistory count 3 (zero bytes), FaultMode false, FaultBuffer empty
    void ClearSynced();              // before the port is (re)opened

    ProtocolState State() const;

    // --- steps (public for tests; the entries above are the normal way in) ---
    void ResetLink();
    void SendWakeUpPattern();
    void SendEchoed(const std::string& bytes);
    void ReceiveBlockByte();
    void SendBlock();
    void AwaitPumpReply();
    void SendEndByte();  // SendEchoed of 0x03, then AwaitPumpReply within the time they take
    void DecodeIdentification();
    void AppendFaultByte();
    void ShowFaultRecords();
    void ResetFaultDisplay();

private:
    ByteString<255> PendingSnapshot() const;
    void SetPending(const ByteString<255>& command);
    void RestartWatchdogAtBlockEnd();
    // Polls that would begin at `until` or later are not made.
    std::uint8_t PollOneByte(int polls, bool& got,
                             std::chrono::steady_clock::time_point until = std::chrono::steady_clock::time_point::max());

    PumpPort& port_;
    EngineView& view_;

    // Rx holds this for the whole handling of an arrival; only State() takes
    // it from outside, so a snapshot never sees half a block.
    mutable std::mutex rxMutex_;

    // Fields shared between the two threads are atomics so that each read
    // and write is whole; PendingCommand is replaced under its mutex so the
    // replacement is one step against SendBlock's snapshot and comparison.
    std::atomic<bool> synced_{false};
    mutable std::mutex syncMutex_;  // SyncHistory: shifted by Rx, reset by ResetLink
    ByteString<3> syncHistory_;
    std::uint8_t currentByte_ = 0;
    std::atomic<bool> inBlock_{false};
    std::uint8_t blockLength_ = 0;
    std::uint8_t bytesLeft_ = 0;
    std::atomic<std::uint8_t> blockCounter_{0};
    std::array<std::uint8_t, 256> rxBuffer_{};
    std::atomic<bool> ourTurn_{false};
    mutable std::mutex pendingMutex_;
    ByteString<255> pendingCommand_;
    std::atomic<bool> identPending_{false};
    std::atomic<bool> faultMode_{false};
    mutable std::mutex faultMutex_;  // FaultBuffer and FaultRecords, touched by both threads
    ByteString<255> faultBuffer_;
    std::array<std::array<std::uint8_t, 8>, 15> faultRecords_{};
    std::atomic<bool> clearPending_{false};
    std::atomic<bool> watchdogArmed_{false};
    std::atomic<std::uint8_t> watchdogLastCounter_{0};
};

}  // namespace protocol
