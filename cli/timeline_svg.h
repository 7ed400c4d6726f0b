// The SVG timeline of a trace: one lane for what the tester sent, one for the
// echo, one for the pump; blocks shaded, breaks as bars, derailments in red.
#pragma once

#include <string>
#include <vector>

#include "cli/exchange.h"
#include "cli/line_trace.h"

namespace cli {

std::string TimelineSvg(const std::vector<LineRecord>& records, const Exchange& exchange);

}  // namespace cli
