// The trace's pieces that need no process: the window of the line the
// companion and the window keep, and the summary's cost.
#include <gtest/gtest.h>

#include <chrono>

#include "trace/exchange.h"
#include "trace/link_failure.h"
#include "trace/tracing_port.h"

namespace {

using namespace std::chrono_literals;

TEST(LineWindow, KeepsTheBeginningAndTheLatestInOrder) {
    cli::LineWindow window(3, 4);
    std::vector<cli::LineRecord> all;
    for (int i = 0; i < 12; ++i) {
        all.push_back({i, cli::LineDir::Received, static_cast<std::uint8_t>(i)});
        window.Add(all.back());
    }
    std::vector<cli::LineRecord> kept(all.begin(), all.begin() + 3);
    kept.insert(kept.end(), all.end() - 4, all.end());
    EXPECT_EQ(window.Records(), kept);
    EXPECT_EQ(window.LeftOut(), 5u);
}

// A line that never stops sending, as fast as the port can be read.
class FloodingLine final : public protocol::PumpPort {
public:
    int WriteText(const std::string& bytes) override { return static_cast<int>(bytes.size()); }
    int ReadText(std::string& bytes, int count) override {
        bytes.assign(static_cast<std::size_t>(count), '\x55');
        return count;
    }
    void SetBreakState(bool) override {}
    void PurgeBuffers(bool, bool) override {}
};

TEST(TracingPort, TheWindowsRingStaysWithinItsBoundUnderAFloodAndAcrossStarts) {
    constexpr std::size_t kHead = 1 << 10, kTail = 1 << 12;
    const std::size_t bound = (kHead + kTail) * sizeof(cli::LineRecord) + (64 << 10);
    FloodingLine line;
    cli::TracingPort ring(line, cli::kTraceFileLimit, kHead, kTail);
    std::string bytes;
    for (int start = 0; start < 3; ++start) {
        ring.MarkStart();
        ring.SetBreakState(true);
        // Some minutes of a line far faster than 9600 baud.
        for (int i = 0; i < 2000; ++i) {
            ring.WriteText("\xAE");
            ring.ReadText(bytes, 512);
        }
        EXPECT_LE(ring.MemoryBytes(), bound);
        const cli::LineSnapshot snapshot = ring.Snapshot();
        // The start's beginning, the latest records, and the snapshot's end.
        ASSERT_EQ(snapshot.records.size(), kHead + kTail + 1);
        EXPECT_EQ(snapshot.records.front().dir, cli::LineDir::BreakOn);
        EXPECT_EQ(snapshot.arrived, 2000u * 512);
        EXPECT_GE(snapshot.gapEndUs, snapshot.records[kHead - 1].us);
        cli::LineFacts facts;
        EXPECT_EQ(cli::ReadLineBack(snapshot, facts).cause, "line_flood");
    }
}

// Late answers name the adapter's latency timer where the system tells it,
// and its remedy where it is too long.
TEST(LinkFailure, LateAnswersSayWhatTheAdaptersTimerIs) {
    cli::Exchange late;
    late.sent = late.echoed = 10;
    late.synced = true;
    late.missing = cli::MissingStep::Link;
    late.derailments = {{5, "a pump byte", cli::DerailKind::Other}, {9, "late", cli::DerailKind::Late},
                        {12, "garbled after it", cli::DerailKind::Garbled}};
    const struct {
        int timerMs;
        const char* remedy;
        const char* says;
    } rows[] = {
        {-1, "", "(for a USB adapter, set its latency timer to 1 ms)"},
        {16, "echo 1 | sudo tee /sys/x", "(its timer is now 16 ms; echo 1 | sudo tee /sys/x)"},
        {1, "", "a busy computer (the adapter's latency timer is 1 ms, as it should be)"},
    };
    for (const auto& row : rows) {
        cli::LineFacts facts;
        facts.adapterTimerMs = row.timerMs;
        facts.adapterRemedy = row.remedy;
        const cli::LinkFailure failure = cli::ClassifyLinkFailure(late, facts);
        EXPECT_EQ(failure.cause, "late_answers");
        EXPECT_NE(failure.text.find(row.says), std::string::npos) << failure.text;
    }
    // Records left out before the late answer: what the line shows there means nothing.
    cli::LineFacts gap;
    gap.gapEndUs = 8;
    EXPECT_EQ(cli::ClassifyLinkFailure(late, gap).cause, "answers_stopped");
}

TEST(TraceSummary, CostGrowsWithTheTraceNotItsSquare) {
    // Bytes sent, then as many echoes that match none of them.
    constexpr int kBytes = 100000;
    std::vector<cli::LineRecord> records;
    for (int i = 0; i < kBytes; ++i) records.push_back({i, cli::LineDir::Sent, 0x11});
    for (int i = 0; i < kBytes; ++i) records.push_back({kBytes + i, cli::LineDir::Echo, 0x22});
    const auto start = std::chrono::steady_clock::now();
    const cli::Exchange ex = cli::AnalyseTrace(records);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
    EXPECT_EQ(ex.echoed, kBytes);
}

}  // namespace
