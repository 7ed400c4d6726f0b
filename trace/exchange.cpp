#include "trace/exchange.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <deque>

namespace cli {

namespace {

// A pause this long with nothing from the pump is a lost link: its blocks
// follow each other within tens of milliseconds, and the engine's
// watchdog gives the start button back after about a second without one.
constexpr std::int64_t kLinkLostUs = 500000;
constexpr std::int64_t kReplyWindowUs = static_cast<std::int64_t>(kReplyWindowMs * 1000);

struct Item {
    std::int64_t us;
    bool sent;
    std::uint8_t byte;
    std::int64_t echoUs = -1;  // sent bytes: when their echo came back
    // The engine answers from here on: echo when there was one, else the send.
    std::int64_t AnsweredFrom() const { return echoUs >= 0 ? echoUs : us; }
};

std::string Hex(std::uint8_t b) {
    char buf[4];
    std::snprintf(buf, sizeof buf, "%02X", b);
    return buf;
}

std::string Ms(std::int64_t us) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1f ms", static_cast<double>(us) / 1000.0);
    return buf;
}

std::string Count(std::size_t n, const char* thing) {
    return std::to_string(n) + " " + thing + (n == 1 ? "" : "s");
}

std::string Seconds(std::int64_t us) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "+%.3f s", static_cast<double>(us) / 1e6);
    return buf;
}

// Walks the bytes after the synchronisation answer block by block.
class BlockReader {
public:
    BlockReader(const std::vector<Item>& items, std::size_t pos, std::int64_t lastEnd, Exchange& ex)
        : items_(items), pos_(pos), lastEnd_(lastEnd), ex_(ex) {}

    void Run() {
        while (pos_ < items_.size()) {
            if (!PumpBlock()) return;
            if (!TesterBlock()) return;
        }
    }

private:
    bool AtEnd() const { return pos_ >= items_.size(); }
    const Item& Peek() const { return items_[pos_]; }
    const Item& Take() { return items_[pos_++]; }
    void Derail(std::int64_t us, std::string text, DerailKind kind = DerailKind::Garbled) {
        ex_.derailments.push_back({us, std::move(text), kind});
    }

    // The pump's block: each byte but the end byte answered by the tester's
    // complement; the length byte says how many the engine takes.
    bool PumpBlock() {
        while (!AtEnd() && Peek().sent) {
            const Item& stray = Take();
            Derail(stray.us, "the tester sent " + Hex(stray.byte) + " while the pump's block was due");
        }
        if (AtEnd()) return false;
        Block block;
        block.fromPump = true;
        Item prev = Take();
        block.bytes.push_back(prev.byte);
        block.startUs = prev.us;
        block.answerMs = static_cast<double>(prev.us - lastEnd_) / 1000.0;
        // Length bytes 0 and 1 end the block after its counter, as length 2 does.
        const int answered = std::max<int>(prev.byte, 2);
        for (int k = 0; k < answered; ++k) {
            if (AtEnd()) return false;
            const Item& answer = Take();
            if (!answer.sent) {
                Derail(answer.us, "the pump sent " + Hex(answer.byte) + " before the tester answered " + Hex(prev.byte));
                block.bytes.push_back(answer.byte);
                prev = answer;
                continue;
            }
            block.slowestReplyMs = std::max(block.slowestReplyMs, static_cast<double>(answer.us - prev.us) / 1000.0);
            if (k + 1 == answered) break;
            if (AtEnd()) return false;
            if (Peek().sent) {
                // The engine waited in vain and answered a byte it never got.
                Derail(Peek().us, k == 0 ? "no counter byte from the pump within 80 ms of its length byte"
                                         : "the tester sent " + Hex(Peek().byte) + " where a pump byte was due");
                prev = Item{Peek().us, false, static_cast<std::uint8_t>(Peek().byte ^ 0xFF)};
                block.bytes.push_back(prev.byte);
                continue;
            }
            prev = Take();
            block.bytes.push_back(prev.byte);
        }
        while (!AtEnd() && Peek().sent) {
            const Item& stray = Take();
            Derail(stray.us, "the tester sent " + Hex(stray.byte) + " while the pump's end byte was due");
        }
        if (AtEnd()) return false;
        const Item& end = Take();
        block.bytes.push_back(end.byte);
        block.endUs = end.us;
        if (end.byte != 0x03)
            Derail(end.us, "the pump's block ended with " + Hex(end.byte) +
                               " where its end byte 03 was due: the engine's count and the line disagree");
        ex_.blocks.push_back(block);
        lastEnd_ = end.us;
        return true;
    }

    // The tester's block: length, counter, command, end byte; every byte is
    // followed by the engine's 10 ms wait for the pump's complement.
    bool TesterBlock() {
        Block block;
        std::deque<Item> owed;  // sent bytes whose complement has not come
        int total = -1;
        int sentCount = 0;
        Item end{};
        while (!AtEnd()) {
            const Item& x = Peek();
            if (x.sent) {
                if (sentCount == total) break;
                Take();
                if (total < 0) {
                    total = x.byte + 1;
                    block.startUs = x.us;
                    block.answerMs = static_cast<double>(x.us - lastEnd_) / 1000.0;
                }
                block.bytes.push_back(x.byte);
                if (++sentCount < total) owed.push_back(x);
                else end = x;
                continue;
            }
            if (total < 0) {
                Take();
                Derail(x.us, "the pump sent " + Hex(x.byte) + " after its end byte, before the tester's block");
                continue;
            }
            if (sentCount == total) {
                if (x.us - end.AnsweredFrom() > kReplyWindowUs) break;  // the pump's next block
                Take();
                if (owed.empty()) {
                    Derail(x.us,
                       "byte " + Hex(x.byte) + " came " + Ms(x.us - end.AnsweredFrom()) +
                           " after the tester's end byte and was consumed by the end-of-block poll: the "
                           "pump's next block lost it",
                       DerailKind::Late);
                    continue;
                }
            } else {
                Take();
            }
            if (owed.empty()) {
                Derail(x.us, "the pump sent " + Hex(x.byte) + " while no answer was due");
                continue;
            }
            // A complement answers its own byte even when it comes out of order.
            auto match = std::find_if(owed.begin(), owed.end(), [&](const Item& s) {
                return x.byte == static_cast<std::uint8_t>(s.byte ^ 0xFF);
            });
            if (match == owed.end()) match = owed.begin();
            const Item asked = *match;
            owed.erase(match);
            const std::int64_t delay = x.us - asked.AnsweredFrom();
            block.slowestReplyMs = std::max(block.slowestReplyMs, static_cast<double>(delay) / 1000.0);
            if (delay > kReplyWindowUs)
                Derail(x.us,
                       "late reply: the pump's answer to " + Hex(asked.byte) + " came after " + Ms(delay) +
                           "; the engine waits " + Ms(kReplyWindowUs) + ", so the next poll takes it instead",
                       DerailKind::Late);
            if (x.byte != static_cast<std::uint8_t>(asked.byte ^ 0xFF))
                Derail(x.us, "the pump answered " + Hex(asked.byte) + " with " + Hex(x.byte) + ", not its complement");
        }
        if (total < 0) return false;
        // The pump falling silent leaves these too: not garbled on their own.
        for (const Item& s : owed)
            Derail(s.us, "missing complement: the pump never answered " + Hex(s.byte), DerailKind::Other);
        if (sentCount < total) return false;
        block.endUs = end.us;
        ex_.blocks.push_back(block);
        lastEnd_ = end.AnsweredFrom();
        return true;
    }

    const std::vector<Item>& items_;
    std::size_t pos_;
    std::int64_t lastEnd_;
    Exchange& ex_;
};

}  // namespace

Exchange AnalyseTrace(std::vector<LineRecord> records) {
    std::stable_sort(records.begin(), records.end(),
                     [](const LineRecord& a, const LineRecord& b) { return a.us < b.us; });
    Exchange ex;
    std::vector<Item> items;
    // Sent bytes without their echo yet, a queue for each byte value: an echo
    // belongs to the oldest of them with its value.
    std::array<std::vector<std::size_t>, 256> unechoed;
    std::array<std::size_t, 256> oldestUnechoed{};
    std::size_t wokenAt = 0;  // first item after the last wake-up
    for (const LineRecord& r : records) {
        ex.endUs = std::max(ex.endUs, r.us);
        switch (r.dir) {
            case LineDir::Sent:
                ++ex.sent;
                unechoed[r.byte].push_back(items.size());
                items.push_back({r.us, true, r.byte});
                break;
            case LineDir::Echo: {
                ++ex.echoed;
                std::size_t& oldest = oldestUnechoed[r.byte];
                if (oldest < unechoed[r.byte].size()) items[unechoed[r.byte][oldest++]].echoUs = r.us;
                break;
            }
            case LineDir::Received: items.push_back({r.us, false, r.byte}); break;
            case LineDir::BreakOn:
                ++ex.breaks;
                wokenAt = items.size();
                break;
            default: break;
        }
    }
    if (ex.sent > 0 && ex.echoed == 0)
        ex.derailments.push_back({items.empty() ? 0 : items.front().us,
                                  "the adapter returned no echo of the " + std::to_string(ex.sent) +
                                      " bytes sent: the engine takes the pump's answers for echoes",
                                  DerailKind::Echo});
    else if (ex.echoed < ex.sent)
        ex.derailments.push_back(
            {0, std::to_string(ex.sent - ex.echoed) + " of " + std::to_string(ex.sent) + " bytes sent had no echo",
             DerailKind::Echo});

    std::size_t keyAt = items.size();
    for (std::size_t i = wokenAt; i + 3 < items.size(); ++i) {
        if (!items[i].sent && items[i].byte == 0x55 && !items[i + 1].sent && items[i + 1].byte == 0x8C &&
            !items[i + 2].sent && items[i + 2].byte == 0x51 && items[i + 3].sent && items[i + 3].byte == 0xAE) {
            keyAt = i + 3;
            break;
        }
    }
    for (std::size_t i = wokenAt; i < items.size(); ++i) ex.receivedAfterWake += items[i].sent ? 0 : 1;
    for (std::size_t i = 0; i + 1 < items.size(); ++i)
        ex.lateEchoes += items[i].sent && items[i].echoUs < 0 && !items[i + 1].sent && items[i + 1].byte == items[i].byte;
    if (keyAt == items.size()) {
        ex.missing = MissingStep::Synchronisation;
        // The pattern's bytes one after the other, echoes aside, yet unanswered.
        std::vector<std::uint8_t> received;
        for (std::size_t i = wokenAt; i < items.size(); ++i)
            if (!items[i].sent) received.push_back(items[i].byte);
        for (std::size_t i = 0; i + 2 < received.size() && !ex.syncUnanswered; ++i)
            ex.syncUnanswered = received[i] == 0x55 && received[i + 1] == 0x8C && received[i + 2] == 0x51;
        std::string got;
        int shown = 0;
        for (std::size_t i = wokenAt; i < items.size() && shown < 8; ++i)
            if (!items[i].sent) got += (shown++ ? " " : "") + Hex(items[i].byte);
        ex.verdict = got.empty()            ? "no synchronisation bytes: nothing came from the pump after the wake-up"
                     : ex.syncUnanswered ? "no synchronisation: the pump sent " + got +
                                               ", its 55 8C 51 read together, too late for the tester to answer AE"
                                         : "no synchronisation: the pump sent " + got + " but not 55 8C 51";
        return ex;
    }
    ex.synced = true;
    ex.syncUs = items[keyAt].us;
    BlockReader(items, keyAt + 1, items[keyAt].us, ex).Run();

    const auto pumpBlocks = static_cast<std::size_t>(
        std::count_if(ex.blocks.begin(), ex.blocks.end(), [](const Block& b) { return b.fromPump; }));
    std::int64_t lastFromPump = ex.syncUs;
    for (const Item& it : items)
        if (!it.sent) lastFromPump = it.us;
    if (pumpBlocks == 0) {
        ex.missing = MissingStep::Block;
        ex.verdict = "synchronised at " + Seconds(ex.syncUs) + ", but no block came from the pump";
    } else if (ex.endUs - lastFromPump >= kLinkLostUs) {
        ex.missing = MissingStep::Link;
        ex.verdict = "lost link: after " + Count(pumpBlocks, "block") + " nothing came from the pump from " +
                     Seconds(lastFromPump) + " on";
    } else {
        ex.verdict = Count(ex.blocks.size(), "block") + " exchanged, " +
                     (ex.derailments.empty() ? std::string("no derailment") : Count(ex.derailments.size(), "derailment"));
    }
    return ex;
}

std::string FormatExchange(const Exchange& ex) {
    std::string out;
    out += "Wake-up: " + Count(ex.breaks, "break") + "; bytes sent " +
           std::to_string(ex.sent) + ", echoed " + std::to_string(ex.echoed) + "\n";
    if (ex.synced) out += Seconds(ex.syncUs) + "  synchronised: 55 8C 51, answered AE\n";
    for (const Block& b : ex.blocks) {
        std::string bytes;
        for (std::uint8_t byte : b.bytes) bytes += (bytes.empty() ? "" : " ") + Hex(byte);
        char line[160];
        std::snprintf(line, sizeof line, "%s  %-6s #%s title %s  answer %6.1f ms  replies <= %.1f ms  | ",
                      Seconds(b.startUs).c_str(), b.fromPump ? "pump" : "tester",
                      b.bytes.size() > 1 ? Hex(b.bytes[1]).c_str() : "--",
                      b.bytes.size() > 2 ? Hex(b.bytes[2]).c_str() : "--", b.answerMs, b.slowestReplyMs);
        out += line + bytes + "\n";
    }
    if (!ex.derailments.empty()) {
        out += "Derailments:\n";
        for (const Derailment& d : ex.derailments) out += "  " + Seconds(d.us) + "  " + d.text + "\n";
    }
    out += "Verdict: " + ex.verdict + "\n";
    return out;
}

}  // namespace cli
