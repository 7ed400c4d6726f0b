#include "trace/timeline_svg.h"

#include <algorithm>
#include <cstdio>

#include "trace/svg_writer.h"
#include "trace/timeline_layout.h"
#include "trace/timeline_style.h"

namespace cli {

namespace {

using namespace svg;

// A row, from its top: the tester's lane, the pump's answer times, the
// pump's lane, the time axis, then the derailments of the row in words.
constexpr double kTesterTop = 0;
constexpr double kGaugeTop = 50;
constexpr double kPumpTop = 70;
constexpr double kAxisY = 122;
constexpr double kNotesTop = 152;
constexpr double kNoteHeight = 15;
constexpr double kRowGap = 26;
constexpr double kRowRight = kAxisLeft + static_cast<double>(kRowUs) / 1000.0 * kPxPerMs;
constexpr std::size_t kNoteChars = 150;

// Something drawn as a bar in a lane, labelled, with bytes under it.
struct Mark {
    MarkKind kind;
    TimeSpan span;
    std::string label;
    std::string hex;
    std::string tooltip;
    const Block* gauge = nullptr;  // the tester's block whose answers are drawn under it
};

std::string Hex(const std::vector<std::uint8_t>& bytes) {
    std::string out;
    for (std::uint8_t b : bytes) {
        char buf[4];
        std::snprintf(buf, sizeof buf, "%02X", b);
        out += (out.empty() ? "" : " ") + std::string(buf);
    }
    return out;
}

std::string Ms(double ms) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1f ms", ms);
    return buf;
}

// A length of time as a reader takes it in: ms up to 10 s, then seconds.
std::string Duration(std::int64_t us) {
    if (us < 10000000) return Ms(static_cast<double>(us) / 1000.0);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1f s", static_cast<double>(us) / 1e6);
    return buf;
}

std::string Seconds(std::int64_t us) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "+%.3f s", static_cast<double>(us) / 1e6);
    return buf;
}

Mark BlockMark(const Block& b, const std::string& name) {
    const std::string counter = b.bytes.size() > 1 ? "#" + Hex({b.bytes[1]}) + " " : "";
    const std::string text = BlockDataText(b);
    Mark m{b.fromPump ? MarkKind::PumpBlock : MarkKind::TesterBlock,
           {std::min(b.startUs, b.endUs), std::max(b.startUs, b.endUs)},
           counter + name + (text.empty() ? "" : " \u201C" + text + "\u201D"),
           Hex(b.bytes),
           std::string(b.fromPump ? "pump's" : "tester's") + " block " + counter + name + ", " + Seconds(b.startUs) +
               ": came " + Ms(b.answerMs) + " after the other side's block; slowest reply to its bytes " +
               Ms(b.slowestReplyMs) + "; bytes " + Hex(b.bytes)};
    if (!b.fromPump) m.gauge = &b;
    return m;
}

std::vector<Mark> Marks(const std::vector<LineRecord>& records, const Exchange& ex) {
    std::vector<Mark> marks;
    for (const TimeSpan& s : Breaks(records)) {
        const std::string length = Duration(s.toUs - s.fromUs);
        marks.push_back({MarkKind::Break, s, "break " + length, "", "break held " + length + ", " + Seconds(s.fromUs)});
    }
    if (ex.synced)
        marks.push_back({MarkKind::Sync, {ex.syncUs, ex.syncUs}, "synchronised", "AE",
                         "the pump sent 55 8C 51, the tester answered AE, " + Seconds(ex.syncUs)});
    const std::vector<std::string> names = BlockNames(ex.blocks);
    for (std::size_t i = 0; i < ex.blocks.size(); ++i) marks.push_back(BlockMark(ex.blocks[i], names[i]));
    for (const LineRecord& r : records)
        if (r.dir == LineDir::End) marks.push_back({MarkKind::End, {r.us, r.us}, "end of trace", "", Seconds(r.us)});
    std::stable_sort(marks.begin(), marks.end(),
                     [](const Mark& a, const Mark& b) { return a.span.fromUs < b.span.fromUs; });
    return marks;
}

class Page {
public:
    Page(const std::vector<LineRecord>& records, const Exchange& ex)
        : ex_(ex), rows_(BusySpans(records, ex)), marks_(Marks(records, ex)), rowMarks_(rows_.Count()),
          rowDerailments_(rows_.Count()) {
        for (std::size_t i = 0; i < marks_.size(); ++i) {
            const auto [first, last] = rows_.RowsOf(marks_[i].span);
            for (std::size_t row = first; row < last; ++row) rowMarks_[row].push_back(i);
        }
        for (std::size_t i = 0; i < ex.derailments.size(); ++i) {
            const auto [first, last] = rows_.RowsOf({ex.derailments[i].us, ex.derailments[i].us});
            if (first < last) rowDerailments_[first].push_back(i);
        }
        for (const LineRecord& r : records)
            if (r.dir == LineDir::Sent || r.dir == LineDir::Received) bytes_.push_back(r);
        std::stable_sort(bytes_.begin(), bytes_.end(),
                         [](const LineRecord& a, const LineRecord& b) { return a.us < b.us; });
    }

    std::string Draw() {
        double y = DrawHeader(ex_, 0, body_);
        for (std::size_t row = 0; row < rows_.Count(); ++row) {
            if (rows_.SkippedBefore(row) > 0)
                body_ += Text(kAxisLeft, y - 10,
                              "\u2026 " + Duration(rows_.SkippedBefore(row)) +
                                  " with nothing on the line left out \u2026",
                              "fill=\"#777\" font-style=\"italic\"");
            y = DrawRow(row, y) + kRowGap;
        }
        const double height = y - kRowGap + 14;
        return "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + Num(kPageWidth) + "\" height=\"" + Num(height) +
               "\" viewBox=\"0 0 " + Num(kPageWidth) + " " + Num(height) +
               "\" font-family=\"DejaVu Sans, Verdana, sans-serif\" font-size=\"11\">\n" +
               Rect(0, 0, kPageWidth, height, "fill=\"white\"") + body_ + "</svg>\n";
    }

private:
    // Returns the row's bottom.
    double DrawRow(std::size_t row, double top) {
        DrawAxis(row, top);
        usedUntil_[0] = usedUntil_[1] = 0;
        for (const std::size_t i : rowMarks_[row]) DrawMark(row, top, i);
        const auto from = std::lower_bound(bytes_.begin(), bytes_.end(), rows_.Start(row),
                                           [](const LineRecord& r, std::int64_t us) { return r.us < us; });
        for (auto r = from; r != bytes_.end() && InRow(row, r->us); ++r) {
            const double laneTop = top + (r->dir == LineDir::Sent ? kTesterTop : kPumpTop);
            body_ += Rect(rows_.X(row, r->us), laneTop + kBarTop + kBarHeight + 1, 1, 4, "fill=\"#222\"");
        }
        double notesY = top + kNotesTop;
        for (const std::size_t i : rowDerailments_[row]) {
            const Derailment& d = ex_.derailments[i];
            const double x = rows_.X(row, d.us);
            body_ += Line(x, top + kTesterTop + kBarTop - 2, x, top + kAxisY, "stroke=\"#d62728\" stroke-width=\"1.5\"");
            body_ += DerailmentBadge(x, top + kGaugeTop + 8, i + 1, d.text);
            bool first = true;
            for (const std::string& line : Wrap(Seconds(d.us) + "  " + d.text, kNoteChars)) {
                if (first) body_ += DerailmentBadge(kAxisLeft + 8, notesY - 4, i + 1, d.text);
                body_ += Text(kAxisLeft + 22, notesY, line, "fill=\"#b00\"");
                notesY += kNoteHeight;
                first = false;
            }
        }
        return std::max(notesY - kNoteHeight, top + kAxisY + 16);
    }

    bool InRow(std::size_t row, std::int64_t us) const {
        return us >= rows_.Start(row) && us < rows_.Start(row) + kRowUs;
    }

    void DrawAxis(std::size_t row, double top) {
        body_ += Text(8, top + kTesterTop + 27, "tester", "font-weight=\"bold\"");
        body_ += Text(8, top + kGaugeTop + 11, "pump's answer", "font-size=\"9\" fill=\"#555\"");
        body_ += Text(8, top + kPumpTop + 27, "pump", "font-weight=\"bold\"");
        body_ += Text(8, top + kAxisY + 4, "time (ms)", "fill=\"#555\"");
        for (const double laneTop : {kTesterTop, kPumpTop})
            body_ += Rect(kAxisLeft, top + laneTop + kBarTop, kRowRight - kAxisLeft, kBarHeight, "fill=\"#f6f6f6\"");
        body_ += Line(kAxisLeft, top + kAxisY, kRowRight, top + kAxisY, "stroke=\"#333\"");
        const std::int64_t start = rows_.Start(row);
        for (std::int64_t t = start; t <= start + kRowUs; t += 10000) {
            const double x = rows_.X(row, t);
            const bool major = t % 50000 == 0;
            body_ += Line(x, top + kAxisY, x, top + kAxisY + (major ? 6 : 3), "stroke=\"#333\"");
            if (!major) continue;
            body_ += Line(x, top + kTesterTop + kBarTop, x, top + kAxisY, "stroke=\"#e4e4e4\"");
            // The row's last figure ends just past its tick, inside the page.
            const bool last = t + 10000 > start + kRowUs;
            body_ += Text(last ? x + 8 : x, top + kAxisY + 16, std::to_string(t / 1000),
                          last ? "text-anchor=\"end\" fill=\"#333\"" : "text-anchor=\"middle\" fill=\"#333\"");
        }
    }

    // A mark in each row it reaches. Its label, bytes and answer gauge go in
    // the row where it begins, as far as the next mark of its lane; a label
    // that does not fit there before the row's end moves to the next row.
    void DrawMark(std::size_t row, double top, std::size_t i) {
        const Mark& m = marks_[i];
        const auto [first, last] = rows_.RowsOf(m.span);
        if (row < first || row >= last) return;
        const MarkStyle& style = StyleOf(m.kind);
        const double laneTop = top + (style.pumpLane ? kPumpTop : kTesterTop);
        const double x1 = rows_.X(row, m.span.fromUs);
        const double x2 = std::max(rows_.X(row, m.span.toUs), x1 + style.minWidth);
        body_ += Rect(x1, laneTop + kBarTop, x2 - x1, kBarHeight, style.barAttrs, m.tooltip);
        const bool begins = row == first && InRow(row, m.span.fromUs);
        if (!begins && !(row == first + 1 && deferred_[i])) return;
        const double limit = LabelLimit(row, i);
        const double want = static_cast<double>(Length(m.label)) * kLabelCharPx;
        double& used = usedUntil_[style.pumpLane ? 1 : 0];
        double x = x1;
        if (x1 + want > limit) {
            if (begins && last > first + 1) {
                deferred_[i] = true;
                return;
            }
            x = std::max({kAxisLeft, used + 6, limit - want});
        }
        const std::string label = Fit(m.label, limit - x, kLabelCharPx);
        body_ += Text(x, laneTop + 12, label, style.labelAttrs);
        used = x + static_cast<double>(Length(label)) * kLabelCharPx;
        body_ += Text(x1, laneTop + 44, Fit(m.hex, limit - x1, kHexCharPx),
                      "font-family=\"DejaVu Sans Mono, monospace\" font-size=\"9\" fill=\"#555\"");
        if (!m.gauge) return;
        const double ms = m.gauge->slowestReplyMs;
        body_ += AnswerGauge(std::min(x1, kPageWidth - 4 - AnswerGaugeWidth(ms)), top + kGaugeTop, ms);
    }

    // Where the label of mark i must end: before the next mark of its lane
    // in the row, else at the page's edge.
    double LabelLimit(std::size_t row, std::size_t i) const {
        const bool pumpLane = StyleOf(marks_[i].kind).pumpLane;
        for (std::size_t j = i + 1; j < marks_.size(); ++j) {
            if (StyleOf(marks_[j].kind).pumpLane != pumpLane) continue;
            if (InRow(row, marks_[j].span.fromUs)) return rows_.X(row, marks_[j].span.fromUs) - 4;
            break;
        }
        return kPageWidth - 4;
    }

    std::string body_;
    const Exchange& ex_;
    const RowLayout rows_;
    const std::vector<Mark> marks_;
    std::vector<std::vector<std::size_t>> rowMarks_;        // the marks each row shows
    std::vector<std::vector<std::size_t>> rowDerailments_;  // the derailments each row explains
    std::vector<LineRecord> bytes_;                         // sent and received, by time
    std::vector<bool> deferred_ = std::vector<bool>(marks_.size());  // labels moved to the mark's second row
    double usedUntil_[2] = {0, 0};  // where the last label of the tester's and the pump's lane ends
};

}  // namespace

std::string TimelineSvg(const std::vector<LineRecord>& records, const Exchange& exchange) {
    return Page(records, exchange).Draw();
}

}  // namespace cli
