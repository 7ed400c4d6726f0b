#include "report/csv.h"

#include <algorithm>
#include <cstring>

namespace report {

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";
constexpr std::size_t kChunk = 64 * 1024;

// What a spreadsheet takes as the start of a formula, and our own mark.
bool NeedsNeutralising(const std::string& field) {
    return !field.empty() && std::strchr("=+-@\t\r'", field[0]) != nullptr;
}

// The separator the first line uses outside quotes: ';' unless only ',' is there.
char SeparatorOf(std::string_view text) {
    std::size_t semicolons = 0, commas = 0;
    bool quoted = false;
    for (char c : text) {
        if (c == '"') quoted = !quoted;
        else if (quoted) continue;
        else if (c == '\n') break;
        else if (c == ';') ++semicolons;
        else if (c == ',') ++commas;
    }
    return commas > semicolons ? ',' : ';';
}

}  // namespace

std::string CsvLine(const std::vector<std::string>& fields, char separator) {
    std::string line;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i) line += separator;
        const std::string f = NeedsNeutralising(fields[i]) ? "'" + fields[i] : fields[i];
        // Both separators: a spreadsheet that splits on either keeps the columns.
        if (f.find_first_of(";,\"\r\n") == std::string::npos) {
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

CsvReader::CsvReader(Source source) : source_(std::move(source)) {
    while (buffer_.size() < kBom.size() && More()) {
    }
    if (std::string_view(buffer_).substr(0, kBom.size()) == kBom) at_ = kBom.size();
    separator_ = SeparatorOf(std::string_view(buffer_).substr(at_));
}

bool CsvReader::More() {
    if (end_) return false;
    if (at_ > 0) {
        buffer_.erase(0, at_);
        at_ = 0;
    }
    const std::size_t had = buffer_.size();
    buffer_.resize(had + kChunk);
    const std::size_t got = source_(buffer_.data() + had, kChunk);
    buffer_.resize(had + got);
    end_ = got == 0;
    return got > 0;
}

void CsvReader::SkipLine() {
    for (;;) {
        const std::size_t lf = buffer_.find('\n', at_);
        if (lf != std::string::npos) {
            at_ = lf + 1;
            return;
        }
        at_ = buffer_.size();
        if (!More()) return;
    }
}

bool CsvReader::Next(CsvRow& row) {
    // The row's strings are used again from row to row: no allocation a field.
    std::size_t count = 0;
    auto field = [&]() -> std::string& {
        if (count == row.fields.size()) row.fields.emplace_back();
        return row.fields[count];
    };
    auto endField = [&] {
        // One leading apostrophe is the writer's: see NeedsNeutralising.
        std::string& f = field();
        if (!f.empty() && f[0] == '\'') f.erase(0, 1);
        ++count;
        if (count < row.fields.size()) row.fields[count].clear();
    };
    auto endRow = [&](bool complete) {
        endField();
        row.fields.resize(count);
        row.complete = complete;
        return true;
    };
    if (!row.fields.empty()) row.fields[0].clear();
    std::size_t rowBytes = 0;
    bool quoted = false, any = false;
    for (;;) {
        if (at_ >= buffer_.size() && !More()) break;
        any = true;
        // A run of plain bytes goes in at once.
        std::size_t run = at_;
        if (quoted) {
            while (run < buffer_.size() && buffer_[run] != '"') ++run;
        } else {
            while (run < buffer_.size()) {
                const char c = buffer_[run];
                if (c == separator_ || c == '"' || c == '\r' || c == '\n') break;
                ++run;
            }
        }
        rowBytes += run - at_ + 1;
        if (rowBytes > kMostRowBytes) {
            SkipLine();
            return endRow(false);
        }
        field().append(buffer_, at_, run - at_);
        at_ = run;
        if (at_ >= buffer_.size()) continue;
        const char c = buffer_[at_++];
        if (quoted) {
            if (at_ >= buffer_.size()) More();
            if (at_ < buffer_.size() && buffer_[at_] == '"') field() += buffer_[at_++];
            else quoted = false;
        } else if (c == '"') {
            quoted = true;
        } else if (c == separator_) {
            endField();
        } else {
            if (c == '\r') {
                if (at_ >= buffer_.size()) More();
                if (at_ < buffer_.size() && buffer_[at_] == '\n') ++at_;
            }
            return endRow(true);
        }
    }
    if (!any) return false;
    return endRow(false);
}

CsvReader::Source TextSource(std::string_view text) {
    return [text](char* into, std::size_t room) mutable {
        const std::size_t n = std::min(room, text.size());
        std::memcpy(into, text.data(), n);
        text.remove_prefix(n);
        return n;
    };
}

std::vector<CsvRow> ParseCsv(std::string_view text) {
    CsvReader reader(TextSource(text));
    std::vector<CsvRow> rows;
    for (CsvRow row; reader.Next(row);) rows.push_back(std::move(row));
    return rows;
}

}  // namespace report
