#include "protocol/pump_protocol.h"

#include <algorithm>
#include <chrono>

#include "core/text/cp1251.h"
#include "core/platform/delay.h"

namespace protocol {

namespace {

constexpr int kEchoPolls = 101;
constexpr int kCounterPolls = 80;
constexpr int kReplyPolls = 10;
// The end byte goes out (a byte time at 9600 baud), its echo is read, and
// the wait after it, which the pump does not answer, makes its 10 polls of
// about a millisecond: all within this time of the end byte's sending. A
// poll that would begin later belongs to a thread that was held up, and what
// it found would be the length byte of the pump's next block.
constexpr auto kEndByteWaitLimit = std::chrono::milliseconds(15);
constexpr std::size_t kMaxEchoRead = 22;
constexpr std::uint8_t kEndByte = 0x03;
constexpr std::uint8_t kSyncAnswer = 0xAE;
constexpr std::uint16_t kBlockEndPauseMs = 50;
constexpr int kFirstFaultCode = 0x50;
constexpr int kLastFaultCode = 0x5E;

const char* const kCheckingFaultsText = "Проверка Ошибок";
const char* const kFaultCounterHint = "Сетчик ошибок ";

std::uint8_t Complement(std::uint8_t byte) { return static_cast<std::uint8_t>(byte ^ 0xFF); }

bool IsShownFaultCode(std::uint8_t code) { return code >= kFirstFaultCode && code <= kLastFaultCode; }

}  // namespace

PumpProtocol::PumpProtocol(PumpPort& port, EngineView& view) : port_(port), view_(view) {}

// ---------------------------------------------------------------- start values

void PumpProtocol::SetFirstStartValues() {
    SetPending(AckCommand);
    blockCounter_ = 0;
}

void PumpProtocol::SetRemainingStartValues() {
    {
        std::lock_guard guard(syncMutex_);
        syncHistory_.SetCount(3);
    }
    faultMode_ = false;
    std::lock_guard guard(faultMutex_);
    faultBuffer_.Clear();
}

void PumpProtocol::ClearSynced() { synced_ = false; }

// ---------------------------------------------------------------- link start-up

void PumpProtocol::Button3Click() {
    ResetLink();
    view_.SetControlEnabled(Control::Button3, false);
    view_.SetTimerEnabled(Timer::Timer1, true);
}

void PumpProtocol::ResetLink() {
    synced_ = false;
    SendWakeUpPattern();
    SetPending(AckCommand);
    blockCounter_ = 0x61;
    ourTurn_ = false;
    port_.PurgeBuffers(true, true);
    {
        std::lock_guard guard(syncMutex_);
        syncHistory_ = ByteString<3>{'1', '2', '3'};
    }
    identPending_ = true;
    inBlock_ = false;
    watchdogLastCounter_ = 0;
    watchdogArmed_ = true;
}

void PumpProtocol::SendWakeUpPattern() {
    port_.SetBreakState(true);
    core::DelayMs(200);
    port_.SetBreakState(false);
    core::DelayMs(200);
    port_.SetBreakState(true);
    core::DelayMs(500);
    port_.SetBreakState(false);
}

void PumpProtocol::SendEchoed(const std::string& bytes) {
    const int n = static_cast<int>(std::min(bytes.size(), kMaxEchoRead));
    port_.WriteText(bytes);
    std::string echo;
    for (int poll = 0; poll < kEchoPolls; ++poll) {
        int got = port_.ReadText(echo, n);
        core::DelayMs(1);
        if (got > 0) return;
    }
}

void PumpProtocol::Rx(int count) {
    std::lock_guard rxGuard(rxMutex_);
    std::string arrival;
    // Only the first byte of an arrival counts. An arrival that reads nothing
    // (the input was purged after the event) is ignored.
    if (port_.ReadText(arrival, count) <= 0 || arrival.empty()) return;
    currentByte_ = static_cast<std::uint8_t>(arrival[0]);
    {
        std::lock_guard guard(syncMutex_);
        syncHistory_.Shift(currentByte_);
    }
    if (synced_) {
        if (ourTurn_) SendBlock();
        else ReceiveBlockByte();
    }
    bool patternSeen;
    {
        std::lock_guard guard(syncMutex_);
        patternSeen = syncHistory_ == SyncPattern;
    }
    if (!synced_ && patternSeen) {
        synced_ = true;
        SendEchoed(std::string(1, static_cast<char>(kSyncAnswer)));
    }
}

void PumpProtocol::timer1Timer() {
    const std::uint8_t counter = blockCounter_;
    const bool stopped = watchdogLastCounter_ == counter;
    view_.SetControlEnabled(Control::Button3, stopped);
    watchdogLastCounter_ = counter;
    if (stopped) view_.SetTimerEnabled(Timer::Timer1, false);
}

// ---------------------------------------------------------------- reception

std::uint8_t PumpProtocol::PollOneByte(int polls, bool& got, std::chrono::steady_clock::time_point until) {
    std::string byte;
    got = false;
    for (int poll = 0; poll < polls && std::chrono::steady_clock::now() < until; ++poll) {
        int n = port_.ReadText(byte, 1);
        core::DelayMs(1);
        if (n > 0 && !byte.empty()) {
            got = true;
            return static_cast<std::uint8_t>(byte[0]);
        }
    }
    return 0;
}

void PumpProtocol::ReceiveBlockByte() {
    const std::string answer(1, static_cast<char>(Complement(currentByte_)));
    if (inBlock_) {
        SendEchoed(answer);
    } else {
        SendEchoed(answer);
        inBlock_ = true;
        bytesLeft_ = currentByte_;
        blockLength_ = currentByte_;
        // A counter that never comes is taken as 0; the block goes on.
        bool got;
        const std::uint8_t counter = PollOneByte(kCounterPolls, got);
        SendEchoed(std::string(1, static_cast<char>(Complement(counter))));
        blockCounter_ = counter;
    }
    // BytesLeft never exceeds BlockLength, so the index stays within RxBuffer.
    const int index = static_cast<int>(blockLength_) - static_cast<int>(bytesLeft_);
    rxBuffer_[static_cast<std::size_t>(index)] = currentByte_;
    // Lengths 0 and 1 cannot count down to 1: such a block ends here, right
    // after its counter, like a block of length 2.
    const int left = static_cast<int>(bytesLeft_) - 1;
    bytesLeft_ = static_cast<std::uint8_t>(left < 1 ? 1 : left);
    if (bytesLeft_ == 1) {
        inBlock_ = false;
        ourTurn_ = true;
        core::DelayMs(kBlockEndPauseMs);
    }
    if (faultMode_ && index >= 2) AppendFaultByte();
    if (faultMode_ && blockLength_ == 3 && bytesLeft_ == 1) ShowFaultRecords();
    if (watchdogArmed_ && bytesLeft_ == 1) RestartWatchdogAtBlockEnd();
}

void PumpProtocol::RestartWatchdogAtBlockEnd() {
    watchdogArmed_ = false;
    if (blockLength_ > 4 && blockCounter_ > 18) view_.SetTimerEnabled(Timer::Timer1, true);
    if (currentByte_ == 0xF0 || currentByte_ == 0x0A) view_.SetTimerEnabled(Timer::Timer1, true);
}

// ---------------------------------------------------------------- transmission

ByteString<255> PumpProtocol::PendingSnapshot() const {
    std::lock_guard guard(pendingMutex_);
    return pendingCommand_;
}

void PumpProtocol::SetPending(const ByteString<255>& command) {
    std::lock_guard guard(pendingMutex_);
    pendingCommand_ = command;
}

void PumpProtocol::AwaitPumpReply() {
    bool got;
    PollOneByte(kReplyPolls, got);
}

void PumpProtocol::SendEndByte() {
    // Polls as AwaitPumpReply does, but only within the time the end byte and
    // its wait take: on a busy computer the thread can be held up in the
    // sending or in the polls, and a late poll would swallow the length byte
    // of the pump's next block, which Rx must take.
    const auto limit = std::chrono::steady_clock::now() + kEndByteWaitLimit;
    SendEchoed(std::string(1, static_cast<char>(kEndByte)));
    bool got;
    PollOneByte(kReplyPolls, got, limit);
}

void PumpProtocol::SendBlock() {
    const ByteString<255> snapshot = PendingSnapshot();
    const auto lengthByte = static_cast<std::uint8_t>(snapshot.size() + 2);
    if (identPending_) DecodeIdentification();
    blockCounter_ = static_cast<std::uint8_t>(blockCounter_ + 1);
    if (!snapshot.empty() && snapshot[0] == ReadFaultsCommand[0]) {
        view_.SetMemo2Text(kCheckingFaultsText);
        faultMode_ = true;
    }
    auto sendOne = [this](std::uint8_t byte) {
        SendEchoed(std::string(1, static_cast<char>(byte)));
        AwaitPumpReply();
    };
    sendOne(lengthByte);
    sendOne(blockCounter_);
    for (std::size_t i = 0; i < snapshot.size(); ++i) sendOne(snapshot[i]);
    SendEndByte();
    {
        // A request made while the block was going out stays pending.
        std::lock_guard guard(pendingMutex_);
        const bool unchanged = pendingCommand_ == snapshot;
        if (unchanged && !(snapshot == AckCommand)) watchdogArmed_ = true;
        if (unchanged) pendingCommand_ = AckCommand;
    }
    if (clearPending_) {
        {
            std::lock_guard guard(faultMutex_);
            faultBuffer_.Clear();
        }
        ResetFaultDisplay();
    }
    clearPending_ = false;
    ourTurn_ = false;
}

void PumpProtocol::Button4Click() {
    ResetFaultDisplay();
    // Emptied before the request is made: once it is pending, the block that
    // carries it and the pump's answer may come before this thread goes on.
    {
        std::lock_guard guard(faultMutex_);
        faultBuffer_.Clear();
    }
    SetPending(ReadFaultsCommand);
}

void PumpProtocol::Button1Click() {
    clearPending_ = true;
    SetPending(ClearFaultsCommand);
}

// ---------------------------------------------------------------- identification

namespace {

// Builds a field's text from segments of RxBuffer bytes: each segment ends
// at its first zero byte, as the field's text would.
class FieldText {
public:
    explicit FieldText(const std::array<std::uint8_t, 256>& buffer) : buffer_(buffer) {}
    FieldText& Byte(int index) { return Segment(std::string(1, static_cast<char>(buffer_[static_cast<std::size_t>(index)]))); }
    FieldText& Bytes(int first, int last) {
        for (int i = first; i <= last; ++i) Byte(i);
        return *this;
    }
    FieldText& Segment(const std::string& segment) {
        text_.append(segment.c_str());
        return *this;
    }
    const std::string& Text() const { return text_; }

private:
    const std::array<std::uint8_t, 256>& buffer_;
    std::string text_;
};

}  // namespace

void PumpProtocol::DecodeIdentification() {
    FieldText text(rxBuffer_);
    switch (blockCounter_.load()) {
        case 0:
            text.Byte(2).Bytes(3, static_cast<int>(blockLength_) - 2);
            view_.SetFieldText(IdentField::OrName, core::Cp1251ToUtf8(text.Text()));
            break;
        case 2:
            text.Bytes(2, 10).Segment(" ").Bytes(11, 14);
            view_.SetFieldText(IdentField::Id, core::Cp1251ToUtf8(text.Text()));
            break;
        case 4:
            text.Bytes(2, 7).Segment("    ").Bytes(8, 11);
            view_.SetFieldText(IdentField::SerialNumber, core::Cp1251ToUtf8(text.Text()));
            break;
        case 6:
            text.Segment(std::string(1, static_cast<char>(rxBuffer_[5])) + " ")
                .Bytes(6, 8).Segment(" ").Bytes(9, 11).Segment(" ").Bytes(12, 14);
            view_.SetFieldText(IdentField::BoschNumber, core::Cp1251ToUtf8(text.Text()));
            identPending_ = false;
            view_.SetControlEnabled(Control::Button4, true);
            view_.SetControlEnabled(Control::Button1, true);
            break;
        default:
            break;
    }
}

// ---------------------------------------------------------------- fault memory

void PumpProtocol::AppendFaultByte() {
    std::lock_guard guard(faultMutex_);
    faultBuffer_.Append(currentByte_);  // dropped when 255 bytes are held
}

void PumpProtocol::ShowFaultRecords() {
    faultMode_ = false;
    std::array<std::array<std::uint8_t, 8>, 15> records;
    {
        std::lock_guard guard(faultMutex_);
        for (std::size_t r = 0; r < records.size(); ++r)
            for (std::size_t k = 0; k < 8; ++k) records[r][k] = faultBuffer_.storage()[8 * r + k];
        faultRecords_ = records;
    }
    if (records[0][0] == 0) view_.SetStatusVisible(true);
    for (const auto& record : records)
        if (IsShownFaultCode(record[0])) view_.SetFaultButtonVisible(record[0], true);
    view_.SetTimerEnabled(Timer::Timer2, true);
}

void PumpProtocol::Timer2Timer() {
    view_.SetControlEnabled(Control::Button4, true);
    std::array<std::array<std::uint8_t, 8>, 15> records;
    {
        std::lock_guard guard(faultMutex_);
        records = faultRecords_;
    }
    for (const auto& record : records) {
        if (!IsShownFaultCode(record[0])) continue;
        view_.SetFaultButtonVisible(record[0], true);
        view_.SetFaultButtonHint(record[0], kFaultCounterHint + std::to_string(record[1]));
    }
    view_.SetTimerEnabled(Timer::Timer2, false);
    view_.SetControlEnabled(Control::Button1, true);
}

void PumpProtocol::ResetFaultDisplay() {
    {
        std::lock_guard guard(faultMutex_);
        faultBuffer_.ZeroStorage();
    }
    for (int code = kFirstFaultCode; code <= kLastFaultCode; ++code) view_.SetFaultButtonVisible(code, false);
    for (int code = kFirstFaultCode; code <= kLastFaultCode; ++code) view_.SetFaultButtonHint(code, "");
    view_.SetStatusVisible(false);
}

// ---------------------------------------------------------------- state

ProtocolState PumpProtocol::State() const {
    std::lock_guard rxGuard(rxMutex_);
    ProtocolState s;
    s.Synced = synced_;
    {
        std::lock_guard guard(syncMutex_);
        s.SyncHistory = syncHistory_;
    }
    s.CurrentByte = currentByte_;
    s.InBlock = inBlock_;
    s.BlockLength = blockLength_;
    s.BytesLeft = bytesLeft_;
    s.BlockCounter = blockCounter_;
    s.RxBuffer = rxBuffer_;
    s.OurTurn = ourTurn_;
    s.PendingCommand = PendingSnapshot();
    s.IdentPending = identPending_;
    s.FaultMode = faultMode_;
    {
        std::lock_guard guard(faultMutex_);
        s.FaultBuffer = faultBuffer_;
        s.FaultRecords = faultRecords_;
    }
    s.ClearPending = clearPending_;
    s.WatchdogArmed = watchdogArmed_;
    s.WatchdogLastCounter = watchdogLastCounter_;
    return s;
}

}  // namespace protocol
