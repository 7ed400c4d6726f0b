// The protocol engine fed arbitrary line bytes as arrivals, with the window's
// requests and timer ticks in between. Every effect on the window stays in
// range: fault buttons and hints only for codes 0x50..0x5E that came off the
// line, field texts made of received bytes, only the engine's own texts, and
// the engine writes one byte at a time.
#include <array>
#include <cstdint>
#include <string>

#include "core/text/cp1251.h"
#include "core/text/utf.h"
#include "engine_fakes.h"
#include "fuzz_support.h"

// Waits end at once: the engine's polls count, not its milliseconds, so the
// fuzzer runs whole exchanges without the real clock.
namespace core {
void DelayMs(std::uint16_t) {}
}  // namespace core

namespace {

using protocol::Control;
using protocol::Timer;

// Every byte value that was ever there to be read; zero stands for the start
// values of the engine's buffers.
using Seen = std::array<bool, 256>;

class FuzzLine : public testing_support::ScriptedLine {
public:
    explicit FuzzLine(Seen& received) : received_(received) {}
    int WriteText(const std::string& bytes) override {
        FUZZ_CHECK(bytes.size() == 1);
        const auto byte = static_cast<unsigned char>(bytes[0]);
        if (echo) received_[byte] = true;
        if (replyWithComplement) received_[byte ^ 0xFF] = true;
        return ScriptedLine::WriteText(bytes);
    }
    void Arrive(const std::uint8_t* bytes, std::size_t n, bool afterNextWrite) {
        for (std::size_t k = 0; k < n; ++k) received_[bytes[k]] = true;
        const std::string arrival(reinterpret_cast<const char*>(bytes), n);
        if (afterNextWrite) PushAfterNextWrite(arrival);
        else Push(arrival);
    }

private:
    Seen& received_;
};

class CheckingView : public protocol::EngineView {
public:
    explicit CheckingView(const Seen& received) : received(received) {}
    const Seen& received;

    void SetFieldText(protocol::IdentField field, const std::string& text) override {
        FUZZ_CHECK(field >= protocol::IdentField::OrName && field <= protocol::IdentField::BoschNumber);
        FUZZ_CHECK(core::IsValidUtf8(text));
        const std::string bytes = core::Utf8ToCp1251(text);
        FUZZ_CHECK(bytes.size() <= 256);
        for (unsigned char b : bytes) FUZZ_CHECK(b == ' ' || received[b]);
    }
    void SetMemo2Text(const std::string& text) override { FUZZ_CHECK(text == "Проверка Ошибок"); }
    void SetControlEnabled(Control control, bool) override {
        FUZZ_CHECK(control == Control::Button3 || control == Control::Button4 || control == Control::Button1);
    }
    void SetFaultButtonVisible(int code, bool visible) override {
        FUZZ_CHECK(code >= 0x50 && code <= 0x5E);
        FUZZ_CHECK(!visible || received[static_cast<std::size_t>(code)]);
    }
    void SetFaultButtonHint(int code, const std::string& hint) override {
        FUZZ_CHECK(code >= 0x50 && code <= 0x5E);
        const std::string prefix = "Сетчик ошибок ";
        if (hint.empty()) return;
        FUZZ_CHECK(hint.starts_with(prefix) && hint.size() > prefix.size() && hint.size() <= prefix.size() + 3);
        const int counter = std::stoi(hint.substr(prefix.size()));
        FUZZ_CHECK(counter >= 0 && counter <= 255 && received[static_cast<std::size_t>(counter)]);
    }
    void SetStatusVisible(bool) override {}
    void SetTimerEnabled(Timer timer, bool) override { FUZZ_CHECK(timer == Timer::Timer1 || timer == Timer::Timer2); }
};

void CheckState(const protocol::ProtocolState& s) {
    FUZZ_CHECK(s.SyncHistory.size() == 3 || s.SyncHistory.size() == 0);
    FUZZ_CHECK(!s.InBlock || (s.BytesLeft >= 2 && s.BytesLeft < s.BlockLength));
    FUZZ_CHECK(s.FaultBuffer.size() <= 255);
    // empty until the window's start values are set
    const auto& pending = s.PendingCommand;
    FUZZ_CHECK(pending.empty() || pending == protocol::AckCommand || pending == protocol::ReadFaultsCommand ||
               pending == protocol::ClearFaultsCommand);
}

}  // namespace

// The first byte sets the line: bit 0 the adapter's echo, bit 1 a far end that
// answers every engine byte with its complement, bit 2 the window's start
// values. Then each byte is one step. From 0xF0: a button, a timer tick, an
// empty arrival or a change of the line. Below: (step & 0x0F) + 1 bytes that
// arrive at once, then step >> 4 bytes that arrive right after the engine's
// next write, as a pump block's counter follows the answer to its length.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    Seen received{};
    received[0] = true;
    FuzzLine line(received);
    CheckingView view(received);
    protocol::PumpProtocol engine(line, view);
    line.echo = data[0] & 1;
    line.replyWithComplement = data[0] & 2;
    if (data[0] & 4) {
        engine.SetFirstStartValues();
        engine.SetRemainingStartValues();
    }
    for (std::size_t i = 1; i < size;) {
        const std::uint8_t step = data[i++];
        switch (step) {
            case 0xF0: engine.Button3Click(); break;
            case 0xF1: engine.Button4Click(); break;
            case 0xF2: engine.Button1Click(); break;
            case 0xF3: engine.timer1Timer(); break;
            case 0xF4: engine.Timer2Timer(); break;
            case 0xF5: engine.Rx(1); break;  // the input was purged after the event
            case 0xF6: line.replyWithComplement = !line.replyWithComplement; break;
            case 0xF7: line.echo = !line.echo; break;
            default: {
                if (step > 0xF7) break;
                const std::size_t now = std::min<std::size_t>((step & 0x0F) + 1, size - i);
                line.Arrive(data + i, now, false);
                i += now;
                const std::size_t later = std::min<std::size_t>(step >> 4, size - i);
                line.Arrive(data + i, later, true);
                i += later;
                if (line.Waiting() > 0) engine.Rx(line.Waiting());
            }
        }
        line.written.clear();
        line.breaks.clear();
        CheckState(engine.State());
    }
    return 0;
}
