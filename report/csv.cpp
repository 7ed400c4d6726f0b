#include "report/csv.h"

namespace report {

namespace {
constexpr std::string_view kBom = "\xEF\xBB\xBF";
}

std::string CsvLine(const std::vector<std::string>& fields) {
    std::string line;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i) line += kCsvSeparator;
        const std::string& f = fields[i];
        if (f.find_first_of(std::string{kCsvSeparator, '"', '\r', '\n'}) == std::string::npos) {
            line += f;
            continue;
        }
        line += '"';
        for (char c : f) {
            if (c == '"') line += '"';
            line += c;
        }
        line += '"';
    }
    return line + "\r\n";
}

std::vector<CsvRow> ParseCsv(std::string_view text) {
    if (text.substr(0, kBom.size()) == kBom) text.remove_prefix(kBom.size());
    std::vector<CsvRow> rows;
    CsvRow row;
    std::string field;
    bool quoted = false, inRow = false;
    auto endField = [&] {
        row.fields.push_back(std::move(field));
        field.clear();
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        inRow = true;
        if (quoted) {
            if (c != '"') field += c;
            else if (i + 1 < text.size() && text[i + 1] == '"') field += text[++i];
            else quoted = false;
        } else if (c == '"') {
            quoted = true;
        } else if (c == kCsvSeparator) {
            endField();
        } else if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            endField();
            rows.push_back(std::move(row));
            row = {};
            inRow = false;
        } else {
            field += c;
        }
    }
    if (inRow) {
        endField();
        row.complete = false;
        rows.push_back(std::move(row));
    }
    return rows;
}

}  // namespace report
