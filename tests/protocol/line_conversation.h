// Reads a simulated line's trace back as a conversation of blocks and checks
// every byte against the rules of the line: the wake-up pattern, the three
// synchronisation bytes and their answer, and blocks in turn whose every byte
// but the end byte is answered with its complement.
#pragma once

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "pumpsim/sim_line.h"

namespace testing_support {

struct LineBlock {
    bool fromPump;
    std::vector<std::uint8_t> bytes;  // length, counter, title, data, end byte
    std::uint8_t Counter() const { return bytes.size() > 1 ? bytes[1] : 0; }
    std::uint8_t Title() const { return bytes.size() > 2 ? bytes[2] : 0; }
    std::string Data() const {
        return bytes.size() > 4 ? std::string(bytes.begin() + 3, bytes.end() - 1) : std::string();
    }
};

struct Conversation {
    std::vector<LineBlock> blocks;
    std::string error;  // empty when every byte followed the rules
};

inline Conversation ReadConversation(const std::vector<pumpsim::TraceEntry>& trace) {
    using pumpsim::TraceKind;
    Conversation c;
    std::vector<std::pair<bool, std::uint8_t>> bytes;  // (from pump, byte)
    std::vector<TraceKind> control;
    for (const auto& e : trace) {
        if (e.kind == TraceKind::PumpByte) bytes.push_back({true, e.byte});
        else if (e.kind == TraceKind::TesterByte) bytes.push_back({false, e.byte});
        else if (e.kind == TraceKind::BreakOn || e.kind == TraceKind::BreakOff) control.push_back(e.kind);
    }
    auto fail = [&](size_t at, const std::string& what) {
        std::ostringstream s;
        s << what << " at line byte " << at;
        c.error = s.str();
        return c;
    };
    if (control != std::vector<TraceKind>{TraceKind::BreakOn, TraceKind::BreakOff, TraceKind::BreakOn,
                                          TraceKind::BreakOff})
        return fail(0, "wake-up pattern is not break, idle, break, idle");
    const std::pair<bool, std::uint8_t> sync[] = {{true, 0x55}, {true, 0x8C}, {true, 0x51}, {false, 0xAE}};
    for (size_t i = 0; i < 4; ++i)
        if (i >= bytes.size() || bytes[i] != sync[i]) return fail(i, "synchronisation bytes differ");
    size_t i = 4;
    bool pumpTurn = true;
    while (i < bytes.size()) {
        LineBlock block{pumpTurn, {}};
        const bool sender = pumpTurn;
        std::uint8_t length = bytes[i].second;
        for (int k = 0; k <= length; ++k) {
            if (i >= bytes.size()) return c;  // the run ended mid-block
            if (bytes[i].first != sender) return fail(i, "byte from the wrong side");
            std::uint8_t b = bytes[i].second;
            block.bytes.push_back(b);
            ++i;
            if (k == length) break;  // the end byte gets no answer
            if (i >= bytes.size()) return c;
            if (bytes[i].first == sender || bytes[i].second != static_cast<std::uint8_t>(b ^ 0xFF)) {
                // A unit that fell silent leaves the tester's last block unanswered.
                bool unitSilentFromHere = !sender;
                for (size_t j = i; j < bytes.size(); ++j) unitSilentFromHere = unitSilentFromHere && !bytes[j].first;
                if (unitSilentFromHere) return c;
                return fail(i, "byte not answered with its complement");
            }
            ++i;
        }
        if (block.bytes.back() != 0x03) return fail(i - 1, "block does not end with 0x03");
        c.blocks.push_back(block);
        pumpTurn = !pumpTurn;
    }
    return c;
}

}  // namespace testing_support
