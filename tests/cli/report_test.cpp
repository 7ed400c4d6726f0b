// What the companion's text report shows of the pump's text.
#include <gtest/gtest.h>

#include "cli/diagnosis_report.h"
#include "core/text/cp1251.h"

namespace {

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

}  // namespace
