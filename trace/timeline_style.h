// The timeline's visual vocabulary: how each kind of mark is drawn, the
// answer-time gauge, the derailment badge, and the page's header with the
// legend that explains them all.
#pragma once

#include <cstddef>
#include <string>

#include "trace/exchange.h"

namespace cli {

enum class MarkKind { TesterBlock, PumpBlock, Break, Sync, End };

struct MarkStyle {
    bool pumpLane;
    double minWidth;
    const char* barAttrs;
    const char* labelAttrs;
};

const MarkStyle& StyleOf(MarkKind kind);

// Within a lane: the bar's top and height.
inline constexpr double kBarTop = 16;
inline constexpr double kBarHeight = 14;
// Widths of one character, a little generous, to cut labels before they
// run into the next one.
inline constexpr double kLabelCharPx = 6.6;
inline constexpr double kHexCharPx = 5.5;

// The slowest answer of the pump to a byte of a tester's block, drawn
// against the engine's 10 ms wait; red when it came later.
std::string AnswerGauge(double x, double y, double ms);
double AnswerGaugeWidth(double ms);
// The numbered red circle of a derailment, its text as tooltip.
std::string DerailmentBadge(double x, double y, std::size_t number, const std::string& text);

// Title, verdict, counts and the legend from `top`; returns where the rows begin.
double DrawHeader(const Exchange& ex, double top, std::string& out);

}  // namespace cli
