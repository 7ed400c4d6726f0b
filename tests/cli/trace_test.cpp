// The companion's pieces that need no process: what it shows of the pump's
// text, the window of the line it keeps, and the summary's cost.
#include <gtest/gtest.h>

#include <chrono>

#include "cli/diagnosis_report.h"
#include "cli/exchange.h"
#include "cli/tracing_port.h"
#include "core/cp1251.h"

namespace {

using namespace std::chrono_literals;

TEST(TextReport, ThePumpsControlCharactersAreShownEscaped) {
    const struct {
        std::string fromPump;  // UTF-8, as decoded from the line
        std::string shown;
    } rows[] = {
        {"\x1b]0;title\x07\x1b[2J", "\\x1b]0;title\\x07\\x1b[2J"},
        {"PU4471\r\nFault memory: no faults", "PU4471\\r\\nFault memory: no faults"},
        {"a\tb\\x1b\x7f", "a\\tb\\\\x1b\\x7f"},
        {core::Cp1251ToUtf8("\x98") + "\xc2\x9b", "\\x98\\x9b"},  // C1 controls: CP1251's unassigned 98, and CSI
        {std::string("\xff\xc3", 2), "\\xff\\xc3"},      // not UTF-8
        {core::Cp1251ToUtf8("\xca\xee\xe4 \xb9 4B1907401S"), "Код № 4B1907401S"},
    };
    for (const auto& row : rows) {
        cli::DiagnosisReport report;
        report.identification[1] = row.fromPump;
        const std::string text = cli::IdentificationText(report);
        EXPECT_NE(text.find("Id number:       " + row.shown + "\n"), std::string::npos) << text;
    }
}

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
