#include "trace/svg_writer.h"

#include <cstdio>

#include "core/text/utf.h"

namespace cli::svg {

namespace {

constexpr char16_t kReplacement = 0xFFFD;
constexpr char16_t kEllipsis = 0x2026;

// Characters XML 1.0 allows, as UTF-16 units; a surrogate pair passes only
// whole (Utf8ToUtf16 makes no lone surrogates).
std::u16string Clean(std::string_view text) {
    std::u16string out = core::Utf8ToUtf16(text);
    for (char16_t& c : out) {
        if (c == '\t' || c == '\n' || c == '\r') c = ' ';
        else if (c < 0x20 || c == 0xFFFE || c == 0xFFFF) c = kReplacement;
    }
    return out;
}

}  // namespace

std::string SvgText(std::string_view text) {
    std::u16string escaped;
    for (char16_t c : Clean(text)) {
        switch (c) {
            case '<': escaped += u"&lt;"; break;
            case '>': escaped += u"&gt;"; break;
            case '&': escaped += u"&amp;"; break;
            case '"': escaped += u"&quot;"; break;
            default: escaped += c;
        }
    }
    return core::Utf16ToUtf8(escaped);
}

std::string Fit(std::string_view text, double widthPx, double charPx) {
    std::u16string chars = Clean(text);
    const double fits = widthPx / charPx;
    if (static_cast<double>(chars.size()) <= fits) return core::Utf16ToUtf8(chars);
    if (fits < 2) return "";
    chars.resize(static_cast<std::size_t>(fits) - 1);
    if (!chars.empty() && chars.back() >= 0xD800 && chars.back() <= 0xDBFF) chars.pop_back();
    while (!chars.empty() && chars.back() == ' ') chars.pop_back();
    return core::Utf16ToUtf8(chars + kEllipsis);
}

std::size_t Length(std::string_view text) { return Clean(text).size(); }

std::vector<std::string> Wrap(std::string_view text, std::size_t maxChars) {
    const std::u16string chars = Clean(text);
    std::vector<std::string> lines;
    std::u16string line;
    std::size_t i = 0;
    while (i < chars.size()) {
        std::size_t end = chars.find(u' ', i);
        if (end == std::u16string::npos) end = chars.size();
        std::u16string word = chars.substr(i, end - i);
        i = end + 1;
        if (word.empty()) continue;
        if (!line.empty() && line.size() + 1 + word.size() > maxChars) {
            lines.push_back(core::Utf16ToUtf8(line));
            line.clear();
        }
        if (!line.empty()) line += u' ';
        line += word.substr(0, maxChars);
    }
    if (!line.empty() || lines.empty()) lines.push_back(core::Utf16ToUtf8(line));
    return lines;
}

std::string Num(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1f", v);
    return buf;
}

std::string Rect(double x, double y, double w, double h, std::string_view attrs, std::string_view tooltip) {
    std::string out = "<rect x=\"" + Num(x) + "\" y=\"" + Num(y) + "\" width=\"" + Num(w) + "\" height=\"" + Num(h) +
                      "\" " + std::string(attrs);
    if (tooltip.empty()) return out + "/>\n";
    return out + "><title>" + SvgText(tooltip) + "</title></rect>\n";
}

std::string Line(double x1, double y1, double x2, double y2, std::string_view attrs) {
    return "<line x1=\"" + Num(x1) + "\" y1=\"" + Num(y1) + "\" x2=\"" + Num(x2) + "\" y2=\"" + Num(y2) + "\" " +
           std::string(attrs) + "/>\n";
}

std::string Text(double x, double y, std::string_view text, std::string_view attrs) {
    return "<text x=\"" + Num(x) + "\" y=\"" + Num(y) + "\" " + std::string(attrs) + ">" + SvgText(text) + "</text>\n";
}

}  // namespace cli::svg
