// The SVG timeline of a trace, for a technician and for print: a page wide
// (long traces fold into rows), a time axis in milliseconds, a legend, the
// blocks as labelled bars, each tester block's answer from the pump against
// the engine's 10 ms window, derailments numbered and explained in words.
// The bytes stay under the bars and in the tooltips.
#pragma once

#include <string>
#include <vector>

#include "trace/exchange.h"
#include "trace/line_trace.h"

namespace cli {

std::string TimelineSvg(const std::vector<LineRecord>& records, const Exchange& exchange);

}  // namespace cli
