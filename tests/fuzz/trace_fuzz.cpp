// Line traces as trace-summary reads them: any bytes. What reads as a trace
// writes back record for record, its summary counts agree with its records,
// its report has one line a block and a derailment, and its timeline is
// well-formed XML.
#include <algorithm>
#include <sstream>
#include <vector>

#include "trace/exchange.h"
#include "trace/line_trace.h"
#include "trace/timeline_svg.h"
#include "core/platform/exception.h"
#include "fuzz_support.h"

namespace {

bool NameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
           c == ':';
}

// At xml[i] == '&': a character or one of the five named entities.
bool Entity(std::string_view xml, std::size_t& i) {
    const auto end = xml.find(';', i);
    if (end == std::string_view::npos) return false;
    const std::string_view name = xml.substr(i + 1, end - i - 1);
    static constexpr std::string_view kNamed[] = {"lt", "gt", "amp", "quot", "apos"};
    const bool ok = std::find(std::begin(kNamed), std::end(kNamed), name) != std::end(kNamed) ||
                    (name.size() > 1 && name[0] == '#' &&
                     name.find_first_not_of("0123456789", 1) == std::string_view::npos);
    i = end + 1;
    return ok;
}

// Text or an attribute value up to `stop`: no raw '<', entities only.
bool CharData(std::string_view xml, std::size_t& i, char stop) {
    while (i < xml.size() && xml[i] != stop) {
        if (xml[i] == '<' || (xml[i] == '&' && !Entity(xml, i))) return false;
        if (xml[i] != '&') ++i;
    }
    return true;
}

// One root element, every element closed by its own name, attributes quoted.
bool WellFormedXml(std::string_view xml) {
    std::vector<std::string_view> open;
    int roots = 0;
    std::size_t i = 0;
    while (i < xml.size()) {
        if (xml[i] != '<') {
            const std::size_t start = i;
            if (!CharData(xml, i, '<')) return false;
            if (open.empty() && xml.substr(start, i - start).find_first_not_of(" \n") != std::string_view::npos)
                return false;
            continue;
        }
        const bool closing = i + 1 < xml.size() && xml[i + 1] == '/';
        i += closing ? 2 : 1;
        const std::size_t nameStart = i;
        while (i < xml.size() && NameChar(xml[i])) ++i;
        const std::string_view name = xml.substr(nameStart, i - nameStart);
        if (name.empty()) return false;
        if (closing) {
            if (open.empty() || open.back() != name || i >= xml.size() || xml[i] != '>') return false;
            open.pop_back();
            ++i;
            continue;
        }
        if (open.empty() && ++roots > 1) return false;
        for (;;) {
            while (i < xml.size() && xml[i] == ' ') ++i;
            if (i >= xml.size()) return false;
            if (xml[i] == '>' || xml.substr(i, 2) == "/>") break;
            const std::size_t attr = i;
            while (i < xml.size() && NameChar(xml[i])) ++i;
            if (i == attr || xml.substr(i, 2) != "=\"") return false;
            i += 2;
            if (!CharData(xml, i, '"') || i >= xml.size()) return false;
            ++i;
        }
        if (xml[i] == '>') open.push_back(name);
        i += xml[i] == '>' ? 1 : 2;
    }
    return open.empty() && roots == 1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::istringstream in{std::string(fuzz::AsText(data, size))};
    std::vector<cli::LineRecord> records;
    try {
        records = cli::ReadTrace(in, "input");
    } catch (const core::EConvertError&) {
        return 0;
    }
    int sent = 0, echoed = 0, breaks = 0;
    std::int64_t last = 0;
    for (const cli::LineRecord& r : records) {
        FUZZ_CHECK(cli::ParseRecord(cli::FormatRecord(r)) == r);
        sent += r.dir == cli::LineDir::Sent;
        echoed += r.dir == cli::LineDir::Echo;
        breaks += r.dir == cli::LineDir::BreakOn;
        last = std::max(last, r.us);
    }

    const cli::Exchange ex = cli::AnalyseTrace(records);
    FUZZ_CHECK(ex.sent == sent && ex.echoed == echoed && ex.breaks == breaks && ex.endUs == last);
    FUZZ_CHECK(ex.synced == (ex.missing != cli::MissingStep::Synchronisation));
    FUZZ_CHECK(!ex.verdict.empty() && ex.verdict.find('\n') == std::string::npos);
    std::int64_t previousStart = 0;
    for (const cli::Block& b : ex.blocks) {
        FUZZ_CHECK(!b.bytes.empty() && b.startUs <= b.endUs && b.endUs <= last && previousStart <= b.startUs);
        previousStart = b.startUs;
    }
    for (const cli::Derailment& d : ex.derailments) {
        FUZZ_CHECK(d.us >= 0 && d.us <= last && !d.text.empty() && d.text.find('\n') == std::string::npos);
    }

    const std::string report = cli::FormatExchange(ex);
    const auto lines = static_cast<std::size_t>(std::count(report.begin(), report.end(), '\n'));
    FUZZ_CHECK(lines == 2 + (ex.synced ? 1 : 0) + ex.blocks.size() +
                            (ex.derailments.empty() ? 0 : 1 + ex.derailments.size()));

    const std::string svg = cli::TimelineSvg(records, ex);
    FUZZ_CHECK(svg.starts_with("<svg") && WellFormedXml(svg));
    return 0;
}
