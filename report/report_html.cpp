#include "report/report_html.h"

#include <algorithm>
#include <array>
#include <vector>
#include <cstdio>

#include "core/platform/text_file.h"
#include "localization/gettext.h"
#include "localization/instance.h"
#include "localization/runtime.h"

namespace report {

namespace {

constexpr std::size_t kHeadingChars = 80;

std::string T(const char* text) { return localization::TranslateUtf8(text); }

std::string Escaped(std::string_view text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            default: out += c;
        }
    }
    return out;
}

// At most `most` characters of UTF-8 text, an ellipsis marking a cut.
std::string Shortened(const std::string& text, std::size_t most) {
    std::size_t chars = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;
        if (chars++ == most) return text.substr(0, i) + "…";
    }
    return text;
}

std::string Code(int code) {
    char text[8];
    std::snprintf(text, sizeof text, "%02X", static_cast<unsigned>(code));
    return text;
}

std::string Language() {
    const localization::TGnuGettextInstance* instance = localization::SharedInstance();
    const std::string code = instance ? instance->Language().substr(0, 2) : "";
    return code.size() == 2 ? code : "en";
}

constexpr const char* kStyle =
    "@page{size:A4;margin:12mm}"
    "body{font-family:'DejaVu Sans',Arial,sans-serif;font-size:10pt;line-height:1.25;color:#000;margin:0}"
    "h1{font-size:16pt;margin:0 0 2mm}h2{font-size:11.5pt;margin:5mm 0 1.5mm;border-bottom:1px solid #444}"
    "table{border-collapse:collapse;width:100%}td,th{text-align:left;vertical-align:top;padding:1mm 2mm}"
    "table.faults td,table.faults th{border:1px solid #999;padding:0.2mm 1.5mm;line-height:1.15}table.faults th{background:#eee}"
    "td.help{font-size:8.5pt}"
    "td.code,td.counter{white-space:nowrap;width:1%}th.label{width:22%;font-weight:normal;color:#333}"
    ".workshop{font-size:12pt;font-weight:bold}.technician{margin-top:1mm}.erased{font-weight:bold}"
    // Long words (a number from the pump, a name without spaces) break
    // anywhere rather than widen the page; short ones keep their width.
    "td.help,td.long,.workshop,.technician{overflow-wrap:anywhere}td.long{font-size:8.5pt}"
    "table.ident td{white-space:pre-wrap}@media screen{body{max-width:186mm;margin:8mm auto;padding:0 6mm}}"
    ".signs{margin-top:10mm;display:flex;gap:12mm}.signs div{flex:1;border-top:1px solid #000;padding-top:1mm}";

// A word longer than this may break anywhere in its cell.
constexpr std::size_t kLongWordChars = 24;

bool HasLongWord(std::string_view text) {
    std::size_t run = 0;
    for (char c : text) {
        run = c == ' ' || c == '\t' || c == '\r' || c == '\n' ? 0 : run + 1;
        if (run > kLongWordChars) return true;
    }
    return false;
}

std::string Cell(const std::string& label, const std::string& id, const std::string& value) {
    return "<th class=\"label\">" + Escaped(label) + "</th><td id=\"" + id + "\"" +
           (HasLongWord(value) ? " class=\"long\"" : "") + ">" + Escaped(value) + "</td>";
}

// Label and value pairs, two to a row.
std::string PairTable(const char* kind, const std::vector<std::array<std::string, 3>>& pairs) {
    std::string html = std::string("<table class=\"") + kind + "\">\n";
    for (std::size_t i = 0; i < pairs.size(); i += 2) {
        html += "<tr>" + Cell(pairs[i][0], pairs[i][1], pairs[i][2]);
        if (i + 1 < pairs.size()) html += Cell(pairs[i + 1][0], pairs[i + 1][1], pairs[i + 1][2]);
        html += "</tr>\n";
    }
    return html + "</table>\n";
}

std::string FaultSection(const FaultRead& read, const std::string& id, std::size_t mostHelp) {
    if (!read.done) return "<p id=\"" + id + "\" class=\"not-read\">" + Escaped(T("The fault memory was not read.")) +
                           "</p>\n";
    if (read.faults.empty())
        return "<p id=\"" + id + "\" class=\"no-faults\">" + Escaped(T("No faults stored.")) + "</p>\n";
    std::string html = "<table class=\"faults\" id=\"" + id + "\"><tr><th>" + Escaped(T("Code")) + "</th><th>" +
                       Escaped(T("Counter")) + "</th><th>" + Escaped(T("Description")) + "</th></tr>\n";
    for (const Fault& f : read.faults)
        html += "<tr data-code=\"" + Code(f.code) + "\"><td class=\"code\">" + Code(f.code) +
                "</td><td class=\"counter\">" + std::to_string(f.counter) + "</td><td class=\"help\">" +
                Escaped(Shortened(f.help, mostHelp)) + "</td></tr>\n";
    return html + "</table>\n";
}

}  // namespace

std::string FirstParagraph(std::string_view helpText) {
    std::vector<std::string> paragraphs;
    bool open = false;
    for (const std::string& line : core::SplitLines(helpText)) {
        const auto first = line.find_first_not_of(" \t");
        if (first == std::string::npos) {
            open = false;
            if (paragraphs.size() >= 2) break;
            continue;
        }
        const std::string text = line.substr(first, line.find_last_not_of(" \t") - first + 1);
        if (open) paragraphs.back() += " " + text;
        else paragraphs.push_back(text);
        open = true;
    }
    if (paragraphs.empty()) return "";
    const bool heading = paragraphs.size() > 1 && paragraphs[0].size() <= kHeadingChars &&
                         paragraphs[0].find(' ') != std::string::npos && paragraphs[0].back() != '.';
    return heading ? paragraphs[0] + " — " + paragraphs[1] : paragraphs[0];
}

std::string ReportHtml(const Diagnosis& d, const ReportSettings& names) {
    using std::string;
    const string title = T("Pump diagnosis report");
    // Both fault tables share the page.
    const std::size_t faults = std::max<std::size_t>(1, d.faults.faults.size() + d.afterErase.faults.size());
    const std::size_t mostHelp = std::min(kMostHelpChars, kHelpCharsPerPage / faults);
    string html = "<!DOCTYPE html>\n<html lang=\"" + Language() + "\"><head><meta charset=\"utf-8\"><title>" +
                  Escaped(title) + " " + Escaped(d.identification[kSerialNumber]) + "</title><style>" + kStyle +
                  "</style></head>\n<body>\n";
    if (!names.workshop.empty())
        html += "<div class=\"workshop\" id=\"workshop\">" + Escaped(Shortened(names.workshop, kMostNameChars)) +
                "</div>\n";
    if (!names.technician.empty())
        html += "<div class=\"technician\">" + Escaped(T("Technician")) + ": <span id=\"technician\">" +
                Escaped(Shortened(names.technician, kMostNameChars)) + "</span></div>\n";
    html += "<h1>" + Escaped(title) + "</h1>\n";
    html += PairTable("meta", {{T("Date"), "date", PrintedText(d.time)},
                               {T("Port"), "port", d.port},
                               {T("Program version"), "version", d.version}});
    html += "<h2>" + Escaped(T("Identification")) + "</h2>\n";
    html += PairTable("ident", {{T("Serial number"), "ident-serial_number", d.identification[kSerialNumber]},
                                {T("Bosch number"), "ident-bosch_number", d.identification[kBoschNumber]},
                                {T("Id number"), "ident-id_number", d.identification[kIdNumber]},
                                {T("Original number"), "ident-original_number", d.identification[kOriginalNumber]}});
    if (!d.failureText.empty())
        html += "<h2>" + Escaped(T("Link")) + "</h2>\n<p id=\"failure\" data-cause=\"" + Escaped(d.failureCause) +
                "\">" + Escaped(Shortened(d.failureText, kMostHelpChars)) + "</p>\n";
    html += "<h2>" + Escaped(T("Fault memory")) + "</h2>\n" + FaultSection(d.faults, "faults", mostHelp);
    html += "<h2>" + Escaped(T("Erase")) + "</h2>\n";
    if (d.erased) {
        html += "<p class=\"erased\" id=\"erase\">" + Escaped(T("The fault memory was erased at")) + " " +
                Escaped(PrintedText(d.erasedAt)) + ".</p>\n";
        if (d.afterErase.done)
            html += "<p>" + Escaped(T("Read after the erase:")) + "</p>\n" + FaultSection(d.afterErase, "after-erase", mostHelp);
    } else {
        html += "<p id=\"erase\">" + Escaped(T("The fault memory was not erased.")) + "</p>\n";
    }
    html += "<div class=\"signs\"><div>" + Escaped(T("Technician")) + "</div><div>" + Escaped(T("Customer")) +
            "</div></div>\n</body></html>\n";
    return html;
}

}  // namespace report
