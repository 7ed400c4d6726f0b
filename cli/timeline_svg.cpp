#include "cli/timeline_svg.h"

#include <algorithm>
#include <cstdio>
#include <map>

namespace cli {

namespace {

// Pauses longer than this are drawn as a short cut, so that a 900 ms wake-up
// does not push the blocks off the picture.
constexpr std::int64_t kCutAfterUs = 40000;
constexpr double kCutWidth = 44;
constexpr double kPxPerMs = 6;
constexpr double kLeft = 110;
constexpr double kLaneHeight = 60;
constexpr double kTop = 40;

std::string Escape(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '<') out += "&lt;";
        else if (c == '>') out += "&gt;";
        else if (c == '&') out += "&amp;";
        else if (c == '"') out += "&quot;";
        else out += c;
    }
    return out;
}

std::string Num(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1f", v);
    return buf;
}

// Time to x, with long pauses cut short.
class TimeAxis {
public:
    explicit TimeAxis(std::vector<std::int64_t> times) {
        std::sort(times.begin(), times.end());
        double x = kLeft + 10;
        for (std::size_t i = 0; i < times.size(); ++i) {
            if (i > 0) {
                const std::int64_t gap = times[i] - times[i - 1];
                if (gap > kCutAfterUs) {
                    cuts_.push_back({x + 4, gap});
                    x += kCutWidth;
                } else {
                    x += static_cast<double>(gap) / 1000.0 * kPxPerMs;
                }
            }
            if (!points_.count(times[i])) points_[times[i]] = x;
        }
        width_ = x + 60;
    }
    double X(std::int64_t us) const {
        auto it = points_.lower_bound(us);
        if (it == points_.end()) return points_.empty() ? kLeft : points_.rbegin()->second;
        return it->second;
    }
    double Width() const { return width_; }
    const std::vector<std::pair<double, std::int64_t>>& Cuts() const { return cuts_; }

private:
    std::map<std::int64_t, double> points_;
    std::vector<std::pair<double, std::int64_t>> cuts_;  // x, pause length
    double width_ = kLeft;
};

double LaneY(LineDir dir) {
    switch (dir) {
        case LineDir::Echo: return kTop + kLaneHeight;
        case LineDir::Received: return kTop + 2 * kLaneHeight;
        default: return kTop;
    }
}

}  // namespace

std::string TimelineSvg(const std::vector<LineRecord>& records, const Exchange& ex) {
    std::vector<std::int64_t> times;
    for (const auto& r : records) times.push_back(r.us);
    for (const auto& d : ex.derailments) times.push_back(d.us);
    const TimeAxis axis(times);
    const double height = kTop + 3 * kLaneHeight + 30 + 16.0 * static_cast<double>(ex.derailments.size()) + 20;
    std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + Num(axis.Width()) + "\" height=\"" +
                      Num(height) + "\" font-family=\"monospace\" font-size=\"10\">\n";
    svg += "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
    svg += "<text x=\"10\" y=\"18\" font-size=\"13\">" + Escape(ex.verdict) + "</text>\n";
    const struct {
        LineDir dir;
        const char* name;
    } lanes[] = {{LineDir::Sent, "tester sent"}, {LineDir::Echo, "echo"}, {LineDir::Received, "from pump"}};
    for (const auto& lane : lanes) {
        const double y = LaneY(lane.dir);
        svg += "<text x=\"8\" y=\"" + Num(y + 34) + "\" font-size=\"12\">" + lane.name + "</text>\n";
        svg += "<line x1=\"" + Num(kLeft) + "\" y1=\"" + Num(y + 40) + "\" x2=\"" + Num(axis.Width()) + "\" y2=\"" +
               Num(y + 40) + "\" stroke=\"#999\"/>\n";
    }
    for (const auto& [x, gap] : axis.Cuts()) {
        svg += "<text x=\"" + Num(x) + "\" y=\"" + Num(kTop + 3 * kLaneHeight + 14) + "\" fill=\"#666\">" +
               std::to_string((gap + 500) / 1000) + "ms</text>\n";
        svg += "<line x1=\"" + Num(x + 14) + "\" y1=\"" + Num(kTop) + "\" x2=\"" + Num(x + 14) + "\" y2=\"" +
               Num(kTop + 3 * kLaneHeight) + "\" stroke=\"#ccc\" stroke-dasharray=\"3,3\"/>\n";
    }
    for (const Block& b : ex.blocks) {
        const double y = LaneY(b.fromPump ? LineDir::Received : LineDir::Sent);
        const double x1 = axis.X(b.startUs) - 2;
        const double x2 = std::max(axis.X(b.endUs) + 6, x1 + 8);
        svg += "<rect x=\"" + Num(x1) + "\" y=\"" + Num(y + 4) + "\" width=\"" + Num(x2 - x1) +
               "\" height=\"38\" fill=\"" + (b.fromPump ? "#dde8ff" : "#e2f4dc") + "\"><title>answer " +
               Num(b.answerMs) + " ms, slowest reply " + Num(b.slowestReplyMs) + " ms</title></rect>\n";
        char label[32];
        std::snprintf(label, sizeof label, "#%02X %02X", b.bytes.size() > 1 ? b.bytes[1] : 0,
                      b.bytes.size() > 2 ? b.bytes[2] : 0);
        svg += "<text x=\"" + Num(x1 + 1) + "\" y=\"" + Num(y + 13) + "\" font-size=\"9\">" + label + "</text>\n";
    }
    std::int64_t breakOn = -1;
    for (const auto& r : records) {
        if (r.dir == LineDir::BreakOn) breakOn = r.us;
        if (r.dir == LineDir::BreakOff && breakOn >= 0) {
            svg += "<rect x=\"" + Num(axis.X(breakOn)) + "\" y=\"" + Num(kTop + 22) + "\" width=\"" +
                   Num(std::max(2.0, axis.X(r.us) - axis.X(breakOn))) +
                   "\" height=\"18\" fill=\"#555\"><title>break</title></rect>\n";
            breakOn = -1;
        }
        if (!CarriesByte(r.dir)) continue;
        char hex[4];
        std::snprintf(hex, sizeof hex, "%02X", r.byte);
        const double x = axis.X(r.us);
        const double y = LaneY(r.dir);
        svg += "<rect x=\"" + Num(x) + "\" y=\"" + Num(y + 30) + "\" width=\"3\" height=\"10\" fill=\"#333\"/>";
        svg += "<text x=\"" + Num(x + 2) + "\" y=\"" + Num(y + 28) + "\" transform=\"rotate(-90 " + Num(x + 2) + " " +
               Num(y + 28) + ")\">" + hex + "</text>\n";
    }
    double listY = kTop + 3 * kLaneHeight + 36;
    int n = 0;
    for (const Derailment& d : ex.derailments) {
        const double x = axis.X(d.us);
        const std::string number = std::to_string(++n);
        svg += "<line x1=\"" + Num(x) + "\" y1=\"" + Num(kTop) + "\" x2=\"" + Num(x) + "\" y2=\"" +
               Num(kTop + 3 * kLaneHeight) + "\" stroke=\"red\"><title>" + Escape(d.text) + "</title></line>";
        svg += "<text x=\"" + Num(x + 2) + "\" y=\"" + Num(kTop + 8) + "\" fill=\"red\">" + number + "</text>\n";
        svg += "<text x=\"10\" y=\"" + Num(listY) + "\" fill=\"red\">" + number + ". " + Escape(d.text) + "</text>\n";
        listY += 16;
    }
    return svg + "</svg>\n";
}

}  // namespace cli
