#include "trace/timeline_layout.h"

#include <algorithm>
#include <cstdio>
#include <limits>

#include "core/text/cp1251.h"

namespace cli {

namespace {

// Rows begin on a round time, so that the axis reads easily.
constexpr std::int64_t kRowSnapUs = 50000;

std::int64_t Snap(std::int64_t us) {
    const std::int64_t down = us / kRowSnapUs * kRowSnapUs;
    return down > us ? down - kRowSnapUs : down;
}

const struct {
    std::uint8_t title;
    const char* name;
} kCommands[] = {{0x09, "acknowledge"}, {0x07, "read faults"}, {0x05, "clear faults"}};

constexpr std::uint8_t kReadFaultsTitle = 0x07;

std::string TitleName(std::uint8_t title) {
    for (const auto& c : kCommands)
        if (c.title == title) return c.name;
    char buf[16];
    std::snprintf(buf, sizeof buf, "title %02X", title);
    return buf;
}

bool HasData(const Block& b) { return b.bytes.size() > 4; }

}  // namespace

RowLayout::RowLayout(std::vector<TimeSpan> busy) {
    std::sort(busy.begin(), busy.end(), [](const TimeSpan& a, const TimeSpan& b) { return a.fromUs < b.fromUs; });
    if (busy.empty()) return;
    std::size_t next = 0;
    std::int64_t reach = std::numeric_limits<std::int64_t>::min();  // the latest end of the spans taken
    std::int64_t start = Snap(busy.front().fromUs);
    for (;;) {
        starts_.push_back(start);
        const std::int64_t end = start + kRowUs;
        for (; next < busy.size() && busy[next].fromUs < end; ++next) reach = std::max(reach, busy[next].toUs);
        // The next row shows what happens next: a span's start, or the end of
        // one running on; a longer quiet stretch in between is left out.
        std::int64_t target = next < busy.size() ? busy[next].fromUs : std::numeric_limits<std::int64_t>::max();
        if (reach >= end) target = std::min(target, reach);
        if (target == std::numeric_limits<std::int64_t>::max()) break;
        start = target < end + kRowUs ? end : Snap(target);
    }
}

std::int64_t RowLayout::SkippedBefore(std::size_t row) const {
    return row == 0 ? 0 : starts_[row] - (starts_[row - 1] + kRowUs);
}

std::pair<std::size_t, std::size_t> RowLayout::RowsOf(TimeSpan span) const {
    const auto first = std::upper_bound(starts_.begin(), starts_.end(), span.fromUs - kRowUs);
    const auto last = std::upper_bound(starts_.begin(), starts_.end(), span.toUs);
    const auto a = static_cast<std::size_t>(first - starts_.begin());
    return {a, std::max(a, static_cast<std::size_t>(last - starts_.begin()))};
}

double RowLayout::X(std::size_t row, std::int64_t us) const {
    const std::int64_t in = std::clamp<std::int64_t>(us - starts_[row], 0, kRowUs);
    return kAxisLeft + static_cast<double>(in) / 1000.0 * kPxPerMs;
}

std::vector<TimeSpan> Breaks(const std::vector<LineRecord>& records) {
    std::vector<LineRecord> sorted = records;
    std::stable_sort(sorted.begin(), sorted.end(), [](const LineRecord& a, const LineRecord& b) { return a.us < b.us; });
    std::vector<TimeSpan> breaks;
    std::int64_t on = -1;
    for (const LineRecord& r : sorted) {
        if (r.dir == LineDir::BreakOn && on < 0) on = r.us;
        if (r.dir == LineDir::BreakOff && on >= 0) {
            breaks.push_back({on, r.us});
            on = -1;
        }
    }
    if (on >= 0) breaks.push_back({on, sorted.back().us});
    return breaks;
}

std::vector<TimeSpan> BusySpans(const std::vector<LineRecord>& records, const Exchange& ex) {
    std::vector<TimeSpan> spans = Breaks(records);
    for (const LineRecord& r : records) spans.push_back({r.us, r.us});
    for (const Block& b : ex.blocks) spans.push_back({std::min(b.startUs, b.endUs), std::max(b.startUs, b.endUs)});
    for (const Derailment& d : ex.derailments) spans.push_back({d.us, d.us});
    return spans;
}

std::vector<std::string> BlockNames(const std::vector<Block>& blocks) {
    std::vector<std::string> names;
    bool faultRead = false;
    int pumpBlocks = 0;
    for (const Block& b : blocks) {
        if (b.bytes.size() < 3) {
            names.push_back("no title");
            continue;
        }
        const std::uint8_t counter = b.bytes[1], title = b.bytes[2];
        if (!b.fromPump) {
            names.push_back(TitleName(title));
            if (title == kReadFaultsTitle) faultRead = true;
            continue;
        }
        const bool identification = pumpBlocks++ < 4 && counter <= 6 && counter % 2 == 0;
        if (HasData(b) && identification) names.push_back("identification");
        else if (HasData(b) && faultRead) names.push_back("fault data");
        else names.push_back(HasData(b) ? "data, " + TitleName(title) : TitleName(title));
        // The fault data ends with the first pump block without data.
        if (!HasData(b)) faultRead = false;
    }
    return names;
}

std::string BlockDataText(const Block& b) {
    if (!HasData(b)) return "";
    const std::string data(b.bytes.begin() + 3, b.bytes.end() - 1);
    for (unsigned char c : data) {
        const char16_t u = core::Cp1251ToUnicode(c);
        if (u < 0x20 || (u >= 0x7F && u <= 0x9F)) return "";
    }
    return core::Cp1251ToUtf8(data);
}

}  // namespace cli
