#include "trace/timeline_style.h"

#include <algorithm>
#include <cstdio>

#include "trace/svg_writer.h"
#include "trace/timeline_layout.h"

namespace cli {

namespace {

using namespace svg;

constexpr double kGaugePxPerMs = 4;
constexpr double kGaugeCapMs = 25;  // a later answer is drawn this long, with its figure beside it

const struct {
    MarkKind kind;
    MarkStyle style;
} kStyles[] = {
    {MarkKind::TesterBlock, {false, 3, "fill=\"#b9e0b0\" stroke=\"#2e7d32\"", "fill=\"#1b5e20\""}},
    {MarkKind::PumpBlock, {true, 3, "fill=\"#bcd3f5\" stroke=\"#1f4e9c\"", "fill=\"#0d3275\""}},
    {MarkKind::Break, {false, 2, "fill=\"#444\"", "fill=\"#333\""}},
    {MarkKind::Sync, {false, 3, "fill=\"#8e5cc4\"", "fill=\"#5b2d8e\""}},
    {MarkKind::End, {false, 1.5, "fill=\"#999\"", "fill=\"#777\" font-style=\"italic\""}},
};

std::string Count(std::size_t n, const char* thing) {
    return std::to_string(n) + " " + thing + (n == 1 ? "" : "s");
}

std::string GaugeFigure(double ms) {
    char figure[48];
    std::snprintf(figure, sizeof figure, ms > kReplyWindowMs ? "%.1f ms, late" : "%.1f ms", ms);
    return figure;
}

double GaugeBar(double ms) { return std::clamp(ms, 0.0, kGaugeCapMs) * kGaugePxPerMs; }

}  // namespace

const MarkStyle& StyleOf(MarkKind kind) {
    for (const auto& s : kStyles)
        if (s.kind == kind) return s.style;
    return kStyles[0].style;
}

double AnswerGaugeWidth(double ms) {
    return std::max(kReplyWindowMs * kGaugePxPerMs, GaugeBar(ms)) + 4 +
           static_cast<double>(GaugeFigure(ms).size()) * kLabelCharPx;
}

std::string AnswerGauge(double x, double y, double ms) {
    const bool late = ms > kReplyWindowMs;
    const std::string figure = GaugeFigure(ms);
    const double bar = GaugeBar(ms);
    std::string out = Rect(x, y + 2, kReplyWindowMs * kGaugePxPerMs, 10, "fill=\"#f0f0f0\" stroke=\"#999\"",
                           std::string("the pump's slowest answer to a byte of this block: ") + figure +
                               "; the engine waits 10 ms for each");
    out += Rect(x, y + 4, std::max(bar, 1.0), 6, late ? "fill=\"#d62728\"" : "fill=\"#43a047\"");
    out += Text(x + std::max(kReplyWindowMs * kGaugePxPerMs, bar) + 4, y + 11, figure,
                late ? "font-size=\"10\" font-weight=\"bold\" fill=\"#d62728\"" : "font-size=\"9\" fill=\"#555\"");
    return out;
}

std::string DerailmentBadge(double x, double y, std::size_t number, const std::string& text) {
    const std::string figure = std::to_string(number);
    // A circle for one digit, a pill around more.
    const double w = std::max(14.0, 6 + static_cast<double>(figure.size()) * 5.6);
    return Rect(x - w / 2, y - 7, w, 14, "rx=\"7\" fill=\"#d62728\"", text) +
           Text(x, y + 3.5, figure, "text-anchor=\"middle\" font-size=\"9\" font-weight=\"bold\" fill=\"white\"");
}

double DrawHeader(const Exchange& ex, double top, std::string& out) {
    double y = top + 24;
    for (const std::string& line : Wrap("Line trace: " + ex.verdict, 110)) {
        out += Text(12, y, line, "font-size=\"15\" font-weight=\"bold\"");
        y += 19;
    }
    out += Text(12, y, Count(static_cast<std::size_t>(ex.breaks), "break") + " \u00B7 " + std::to_string(ex.sent) +
                          " bytes sent, " + std::to_string(ex.echoed) + " echoed \u00B7 " +
                          Count(ex.blocks.size(), "block") + " \u00B7 " + Count(ex.derailments.size(), "derailment") +
                          " \u00B7 time in ms from the start of the trace, 500 ms a row",
                "fill=\"#444\"");
    // The legend: samples drawn as the rows draw them.
    const double row1 = y + 22, row2 = y + 44;
    double x = 12;
    const auto item = [&](double w, const std::string& text, double rowY) {
        out += Text(x + w + 6, rowY + 10, text, "");
        x += w + 6 + static_cast<double>(text.size()) * 6.0 + 24;
    };
    out += Rect(x, row1, 26, kBarHeight - 4, StyleOf(MarkKind::TesterBlock).barAttrs);
    item(26, "tester's block: counter and command", row1);
    out += Rect(x, row1, 26, kBarHeight - 4, StyleOf(MarkKind::PumpBlock).barAttrs);
    item(26, "pump's block: counter and what it carries", row1);
    out += Rect(x, row1, 26, kBarHeight - 4, StyleOf(MarkKind::Break).barAttrs);
    item(26, "break (wake-up)", row1);
    for (int k = 0; k < 4; ++k) out += Rect(x + 4 + k * 6, row1 + 3, 1, 4, "fill=\"#222\"");
    item(26, "a byte on the line", row1);
    x = 12;
    out += AnswerGauge(x, row2 - 2, 2.0);
    item(80, "pump's slowest answer to a tester's block, in the engine's 10 ms window", row2);
    out += AnswerGauge(x, row2 - 2, 14.0);
    item(150, "late answer", row2);
    out += DerailmentBadge(x + 7, row2 + 6, 1, "derailment");
    item(14, "derailment, explained under its row", row2);
    return row2 + 46;
}

}  // namespace cli
