// The timeline picture as a reader gets it: rendered by rsvg-convert and
// read back as XML, for a real trace of the simulated pump and for traces
// made to hold a late answer, derailments and hostile text.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <tuple>

#include "trace/exchange.h"
#include "trace/line_trace.h"
#include "trace/timeline_svg.h"

namespace {

namespace fs = std::filesystem;

constexpr double kPageWidth = 1100;

class TempDir {
public:
    TempDir() {
        char name[] = "/tmp/pumpdiag-timeline-test-XXXXXX";
        path_ = ::mkdtemp(name);
    }
    ~TempDir() { fs::remove_all(path_); }
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }

private:
    fs::path path_;
};

std::string Slurp(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// What a reader of the picture gets: the page width as rendered, and every
// text with its colour as an XML parser finds them.
struct Picture {
    bool rendered = false;
    bool parsed = false;
    unsigned pngWidth = 0;
    std::vector<std::string> texts;
    std::vector<std::string> fills;

    bool HasText(const std::string& part, const std::string& fill = "") const {
        for (std::size_t i = 0; i < texts.size(); ++i)
            if (texts[i].find(part) != std::string::npos && (fill.empty() || fills[i] == fill)) return true;
        return false;
    }
    std::size_t Count(const std::string& text) const {
        return static_cast<std::size_t>(std::count(texts.begin(), texts.end(), text));
    }
};

Picture Look(const std::string& svg, const TempDir& dir) {
    const std::string file = dir / "t.svg", png = dir / "t.png", listing = dir / "t.txt";
    std::ofstream(file) << svg;
    Picture p;
    p.rendered = std::system(("rsvg-convert -o '" + png + "' '" + file + "' 2>/dev/null").c_str()) == 0;
    const std::string header = Slurp(png);
    if (header.size() >= 24)  // PNG: the width stands big-endian after the IHDR tag
        for (int i = 16; i < 20; ++i) p.pngWidth = p.pngWidth << 8 | static_cast<unsigned char>(header[i]);
    const char* script =
        "import sys, xml.etree.ElementTree as E\n"
        "for e in E.parse(sys.argv[1]).getroot().iter():\n"
        "    tag = e.tag.split('}')[-1]\n"
        "    if tag == 'text': print((e.get('fill') or '-') + ' ' + ''.join(e.itertext()))\n";
    std::ofstream(dir / "look.py") << script;
    p.parsed = std::system(("python3 '" + dir / "look.py" + "' '" + file + "' > '" + listing + "'").c_str()) == 0;
    std::istringstream lines(Slurp(listing));
    for (std::string line; std::getline(lines, line);) {
        const auto space = line.find(' ');
        p.fills.push_back(line.substr(0, space));
        p.texts.push_back(space == std::string::npos ? "" : line.substr(space + 1));
    }
    return p;
}

TEST(Timeline, RealTraceFitsAPageWithAxisLegendAndNamedBlocks) {
    TempDir dir;
    const std::string trace = dir / "line.jsonl", svg = dir / "line.svg";
    ASSERT_EQ(std::system(("'" PUMPDIAG_CLI "' diagnose --port SIM --read-faults --trace '" + trace +
                           "' >/dev/null 2>&1").c_str()), 0);
    ASSERT_EQ(std::system(("'" PUMPDIAG_CLI "' trace-summary '" + trace + "' --svg '" + svg + "' >/dev/null").c_str()),
              0);
    const Picture p = Look(Slurp(svg), dir);
    ASSERT_TRUE(p.rendered && p.parsed);
    EXPECT_GT(p.pngWidth, 0u);
    EXPECT_LE(p.pngWidth, kPageWidth);
    // A diagnosis of a few seconds folds into several rows, each with its axis.
    EXPECT_GE(p.Count("time (ms)"), 3u);
    for (const char* text : {"tester's block: counter and command", "in the engine's 10 ms window", "#00 identification",
                             "#01 acknowledge", "read faults", "fault data", "synchronised", "break "}) {
        EXPECT_TRUE(p.HasText(text)) << text;
    }
}

// Bytes on the line by time in ms: S sent with its echo 1 ms later, R from the pump.
std::vector<cli::LineRecord> Line(std::initializer_list<std::tuple<double, char, int>> bytes) {
    std::vector<cli::LineRecord> records;
    for (const auto& [ms, kind, byte] : bytes) {
        const auto us = static_cast<std::int64_t>(ms * 1000);
        const auto b = static_cast<std::uint8_t>(byte);
        records.push_back({us, kind == 'S' ? cli::LineDir::Sent : cli::LineDir::Received, b});
        if (kind == 'S') records.push_back({us + 1000, cli::LineDir::Echo, b});
    }
    return records;
}

TEST(Timeline, LateAnswerIsRedAndDerailmentsAreExplained) {
    // The pump's complement of the tester's title 09 comes 15 ms after its echo.
    const auto records = Line({{0, 'R', 0x55}, {8, 'R', 0x8C}, {16, 'R', 0x51}, {17, 'S', 0xAE},
                               {40, 'R', 0x03}, {41, 'S', 0xFC}, {43, 'R', 0x00}, {44, 'S', 0xFF},
                               {46, 'R', 0x09}, {47, 'S', 0xF6}, {97, 'R', 0x03},
                               {98, 'S', 0x03}, {100, 'R', 0xFC}, {101, 'S', 0x01}, {103, 'R', 0xFE},
                               {104, 'S', 0x09}, {120, 'R', 0xF6}, {121, 'S', 0x03}});
    const cli::Exchange ex = cli::AnalyseTrace(records);
    TempDir dir;
    const Picture p = Look(cli::TimelineSvg(records, ex), dir);
    ASSERT_TRUE(p.rendered && p.parsed);
    EXPECT_TRUE(p.HasText("15.0 ms, late", "#d62728")) << "the late answer in red";
    EXPECT_TRUE(p.HasText("late reply: the pump's answer to 09 came after 15.0 ms"));
    EXPECT_TRUE(p.HasText("#01 acknowledge"));
}

TEST(Timeline, StaysWellFormedAndBoundedWhateverTheTraceHolds) {
    // Identification in Windows-1251 Cyrillic, texts with markup, bytes that
    // are no UTF-8, control characters; a break held for days.
    cli::Exchange ex;
    ex.verdict = "<b>&\"verdict\x01\xFF";
    ex.blocks.push_back({true, {0x07, 0x00, 0x8A, 0xD2, 0xCD, 0xC2, 0xC4, 0x03}, 40000, 90000, 26, 2});
    ex.blocks.push_back({true, {0x06, 0x02, 0x8A, '<', '&', 0x01, 0x03}, 200000, 250000, 26, 2});
    ex.derailments.push_back({60000, "ошибка <&> \x02"});
    const std::vector<cli::LineRecord> records = {
        {0, cli::LineDir::BreakOn, 0}, {300000000000, cli::LineDir::BreakOff, 0}, {40000, cli::LineDir::Received, 7}};
    TempDir dir;
    const Picture p = Look(cli::TimelineSvg(records, ex), dir);
    ASSERT_TRUE(p.rendered && p.parsed);
    EXPECT_TRUE(p.HasText("<b>&\"verdict"));
    EXPECT_TRUE(p.HasText("#00 identification \u201C\u0422\u041D\u0412\u0414\u201D"));
    EXPECT_TRUE(p.HasText("ошибка <&>"));
    EXPECT_LE(p.pngWidth, kPageWidth);
    EXPECT_LE(p.Count("time (ms)"), 4u) << "the days of break fold into a few rows";
}

}  // namespace
