// Test doubles for driving the protocol engine byte by byte on the test's own
// thread: a line whose far end is scripted by the test, and a view that
// records every effect and keeps the window state those effects produce.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "protocol/engine_view.h"
#include "protocol/pump_port.h"
#include "protocol/pump_protocol.h"

namespace testing_support {

// A line through an echoing adapter whose far end is played by the test.
class ScriptedLine : public protocol::PumpPort {
public:
    int WriteText(const std::string& bytes) override {
        std::lock_guard guard(mutex_);
        written += bytes;
        if (echo) input_.insert(input_.end(), bytes.begin(), bytes.end());
        if (replyWithComplement)
            for (char c : bytes) {
                // As a pump: every byte of the engine's block but its end byte,
                // the last of the bytes its length byte counts.
                if (blockBytesLeft_ < 0) {
                    blockBytesLeft_ = static_cast<std::uint8_t>(c);
                } else if (--blockBytesLeft_ == 0) {
                    blockBytesLeft_ = -1;
                    continue;
                }
                // the echo is read by poll reads + 1; the reply waits replyOnPoll polls more
                if (replyOnPoll > 0) late_.push_back({reads + 1 + replyOnPoll, static_cast<char>(c ^ 0xFF)});
                else input_.push_back(static_cast<char>(c ^ 0xFF));
            }
        if (!afterNextWrite_.empty()) {
            input_.insert(input_.end(), afterNextWrite_.begin(), afterNextWrite_.end());
            afterNextWrite_.clear();
        }
        return static_cast<int>(bytes.size());
    }
    int ReadText(std::string& bytes, int count) override {
        std::lock_guard guard(mutex_);
        bytes.clear();
        while (!late_.empty() && late_.front().first <= reads + 1) {
            input_.push_back(late_.front().second);
            late_.pop_front();
        }
        while (count-- > 0 && !input_.empty()) {
            bytes += input_.front();
            input_.pop_front();
        }
        ++reads;
        return static_cast<int>(bytes.size());
    }
    void SetBreakState(bool on) override {
        if (failBreak) throw std::runtime_error("break refused");
        std::lock_guard guard(mutex_);
        breaks.push_back(on);
        if (!on && breakEndsAsZero) input_.push_back('\0');
    }
    void PurgeBuffers(bool in, bool) override {
        std::lock_guard guard(mutex_);
        ++purges;
        if (in) input_.clear();
    }

    void Push(const std::string& bytes) {
        std::lock_guard guard(mutex_);
        input_.insert(input_.end(), bytes.begin(), bytes.end());
    }
    void PushAfterNextWrite(const std::string& bytes) {
        std::lock_guard guard(mutex_);
        afterNextWrite_ += bytes;
    }
    int Waiting() {
        std::lock_guard guard(mutex_);
        return static_cast<int>(input_.size() + late_.size());
    }

    bool echo = true;
    bool replyWithComplement = false;
    int replyOnPoll = 0;  // 0: the reply is there with the echo; n: only at the n-th poll after the echo
    bool breakEndsAsZero = false;  // the adapter receives each break as a zero byte
    bool failBreak = false;
    std::string written;
    std::vector<bool> breaks;
    int purges = 0;
    int reads = 0;

private:
    std::mutex mutex_;
    std::deque<char> input_;
    std::deque<std::pair<int, char>> late_;  // (read number it arrives by, byte)
    std::string afterNextWrite_;
    int blockBytesLeft_ = -1;  // of the engine's block being answered; -1: none begun
};

// Records effects in order and keeps the resulting window state.
class RecordingView : public protocol::EngineView {
public:
    void SetFieldText(protocol::IdentField field, const std::string& text) override {
        std::lock_guard guard(mutex_);
        fields[field] = text;
        log.push_back("field " + std::to_string(static_cast<int>(field)) + "=" + text);
    }
    void SetMemo2Text(const std::string& text) override {
        std::lock_guard guard(mutex_);
        memo2 = text;
        log.push_back("memo2=" + text);
        if (onEffect) onEffect();
    }
    void SetControlEnabled(protocol::Control control, bool enabled) override {
        std::lock_guard guard(mutex_);
        enabled_[control] = enabled;
        log.push_back("enable " + std::to_string(static_cast<int>(control)) + "=" + std::to_string(enabled));
    }
    void SetFaultButtonVisible(int code, bool visible) override {
        std::lock_guard guard(mutex_);
        buttons[code] = visible;
    }
    void SetFaultButtonHint(int code, const std::string& hint) override {
        std::lock_guard guard(mutex_);
        hints[code] = hint;
    }
    void SetStatusVisible(bool visible) override {
        std::lock_guard guard(mutex_);
        status = visible;
        log.push_back("status=" + std::to_string(visible));
    }
    void SetTimerEnabled(protocol::Timer timer, bool enabled) override {
        std::lock_guard guard(mutex_);
        timers[timer] = enabled;
        log.push_back("timer " + std::to_string(static_cast<int>(timer)) + "=" + std::to_string(enabled));
    }

    bool Enabled(protocol::Control c) {
        std::lock_guard guard(mutex_);
        return enabled_[c];
    }
    bool TimerOn(protocol::Timer t) {
        std::lock_guard guard(mutex_);
        return timers[t];
    }
    std::string Field(protocol::IdentField f) {
        std::lock_guard guard(mutex_);
        return fields[f];
    }
    std::vector<int> VisibleButtons() {
        std::lock_guard guard(mutex_);
        std::vector<int> codes;
        for (auto& [code, visible] : buttons)
            if (visible) codes.push_back(code);
        return codes;
    }
    std::string Hint(int code) {
        std::lock_guard guard(mutex_);
        return hints[code];
    }

    std::map<protocol::IdentField, std::string> fields;
    std::map<int, bool> buttons;
    std::map<int, std::string> hints;
    std::map<protocol::Timer, bool> timers;
    std::string memo2;
    bool status = true;
    std::vector<std::string> log;
    std::function<void()> onEffect;  // called at every effect, on the engine's thread

private:
    std::mutex mutex_;
    std::map<protocol::Control, bool> enabled_;
};

// Plays the bytes of a pump block before its end byte as the engine sees them
// on the line: the length byte arrives on its own, the counter follows the
// engine's answer to it, the rest arrive one by one.
inline void PlayPumpBlockBody(protocol::PumpProtocol& engine, ScriptedLine& line, const std::string& body) {
    line.PushAfterNextWrite(body.substr(1, 1));
    line.Push(body.substr(0, 1));
    engine.Rx(1);
    for (size_t i = 2; i < body.size(); ++i) {
        line.Push(body.substr(i, 1));
        engine.Rx(1);
    }
}

// The pump's end byte: it makes the engine send its own block, whose bytes
// the far end answers with complements.
inline void PlayEndByte(protocol::PumpProtocol& engine, ScriptedLine& line) {
    line.replyWithComplement = true;
    line.Push("\x03");
    engine.Rx(1);
    line.replyWithComplement = false;
}

inline void PlayPumpBlock(protocol::PumpProtocol& engine, ScriptedLine& line, const std::string& block) {
    PlayPumpBlockBody(engine, line, block.substr(0, block.size() - 1));
    PlayEndByte(engine, line);
}

// A pump block: length, counter, title, data, end byte 0x03.
inline std::string PumpBlock(std::uint8_t counter, std::uint8_t title, const std::string& data) {
    std::string b;
    b += static_cast<char>(data.size() + 3);
    b += static_cast<char>(counter);
    b += static_cast<char>(title);
    b += data;
    b += '\x03';
    return b;
}

// Brings the engine into the synchronised state as after a start.
inline void Synchronise(protocol::PumpProtocol& engine, ScriptedLine& line) {
    engine.SetFirstStartValues();
    engine.SetRemainingStartValues();
    for (char c : std::string("\x55\x8C\x51")) {
        line.Push(std::string(1, c));
        engine.Rx(1);
    }
}

}  // namespace testing_support
