// Where a trace goes on the page: time runs left to right at one scale, in
// rows of kRowUs each, so that the picture fits a printed page however long
// the trace is. A stretch with nothing on the line that is longer than a row
// is left out; the row after it says how long it was.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "trace/exchange.h"
#include "trace/line_trace.h"

namespace cli {

inline constexpr double kPageWidth = 1100;  // about A4 landscape at 96 dpi, with margins
inline constexpr double kAxisLeft = 84;
inline constexpr std::int64_t kRowUs = 500000;
inline constexpr double kPxPerMs = 2.0;  // a row: 500 ms in 1000 px

struct TimeSpan {
    std::int64_t fromUs = 0;
    std::int64_t toUs = 0;
};

class RowLayout {
public:
    // The rows that show every span (a span may be a single instant).
    explicit RowLayout(std::vector<TimeSpan> busy);

    std::size_t Count() const { return starts_.size(); }
    std::int64_t Start(std::size_t row) const { return starts_[row]; }
    // Time left out before the row; 0 when it follows the row above.
    std::int64_t SkippedBefore(std::size_t row) const;
    // The rows a span touches, as [first, last); empty when none.
    std::pair<std::size_t, std::size_t> RowsOf(TimeSpan span) const;
    // x of a time within a row, held to the row's ends.
    double X(std::size_t row, std::int64_t us) const;

private:
    std::vector<std::int64_t> starts_;
};

// The spans the picture must show: every record, break, block and derailment.
std::vector<TimeSpan> BusySpans(const std::vector<LineRecord>& records, const Exchange& exchange);

// Breaks as the tester set them: from break_on to break_off (or the trace's end).
std::vector<TimeSpan> Breaks(const std::vector<LineRecord>& records);

// What a block is, in words: "acknowledge", "read faults", "identification" ...
// Pump blocks are named by what the engine does with them: data in the
// first pump blocks with counters 0, 2, 4 and 6 is the identification; data
// after a read-faults request is fault data.
std::vector<std::string> BlockNames(const std::vector<Block>& blocks);

// The data bytes of a block (between title and end byte) as text when they
// are all printable Windows-1251, as the identification is; else empty.
std::string BlockDataText(const Block& block);

}  // namespace cli
