// The trace's pieces that need no process: the window of the line the
// companion keeps, and the summary's cost.
#include <gtest/gtest.h>

#include <chrono>

#include "trace/exchange.h"
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
