#include "report/journal_layout.h"

#include <algorithm>
#include <string_view>

namespace report {

namespace {

constexpr std::string_view kTextMark = "\xE2\x81\xA0";  // U+2060 WORD JOINER
constexpr std::string_view kZonePrefix = "UTC";

bool IsText(std::string_view column) {
    for (const char* name : {"port", "bosch_number", "id_number", "original_number", "serial_number", "faults",
                             "version"})
        if (column == name) return true;
    return false;
}

std::string Marked(const std::string& text) { return text.empty() ? text : text + std::string(kTextMark); }

std::string Unmarked(std::string text) {
    if (text.ends_with(kTextMark)) text.resize(text.size() - kTextMark.size());
    return text;
}

bool Digits(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// 2026-12-08T11:25:13+03:00 as its date, its time of day and its zone.
struct TimeParts {
    std::string date, timeOfDay, zone;
};

TimeParts Split(const std::string& iso) {
    const std::size_t t = iso.find('T');
    if (t == std::string::npos) return {iso, "", ""};
    const std::size_t zone = iso.find_first_of("+-Z", t);
    const std::string offset = zone == std::string::npos ? "" : iso.substr(zone);
    return {iso.substr(0, t), iso.substr(t + 1, zone == std::string::npos ? std::string::npos : zone - t - 1),
            offset.empty() ? "" : std::string(kZonePrefix) + offset};
}

// A date as spreadsheets may save it back: 2026-12-08 stays, 08.12.2026 (a
// Russian locale's) becomes 2026-12-08; anything else is kept as it is.
std::string IsoDate(const std::string& date) {
    const std::string_view d = date;
    if (d.size() == 10 && d[2] == '.' && d[5] == '.' && Digits(d.substr(0, 2)) && Digits(d.substr(3, 2)) &&
        Digits(d.substr(6)))
        return date.substr(6) + "-" + date.substr(3, 2) + "-" + date.substr(0, 2);
    return date;
}

// 9:05:03 as 09:05:03, so that times sort and compare as text.
std::string IsoTimeOfDay(const std::string& time) {
    return time.size() == 7 && time[1] == ':' ? "0" + time : time;
}

std::string Joined(const std::string& date, const std::string& timeOfDay, const std::string& zone) {
    if (date.empty()) return "";
    std::string iso = IsoDate(date);
    if (!timeOfDay.empty()) iso += "T" + IsoTimeOfDay(timeOfDay);
    return iso + (zone.starts_with(kZonePrefix) ? zone.substr(kZonePrefix.size()) : zone);
}

std::size_t FieldIndex(std::string_view name) {
    for (std::size_t i = 0; i < kJournalFieldCount; ++i)
        if (name == kJournalFields[i]) return i;
    return kJournalFieldCount;
}

}  // namespace

const std::string& JournalEntry::Field(const char* name) const {
    static const std::string kNone;
    const std::size_t i = FieldIndex(name);
    return i < fields.size() ? fields[i] : kNone;
}

std::string& JournalEntry::Field(const char* name) {
    if (fields.size() < kJournalFieldCount) fields.resize(kJournalFieldCount);
    const std::size_t i = FieldIndex(name);
    if (i < kJournalFieldCount) return fields[i];
    // A name that is no field: what is written to it goes nowhere.
    static thread_local std::string nowhere;
    nowhere.clear();
    return nowhere;
}

JournalLayout::JournalLayout(std::vector<std::string> columns) : columns_(std::move(columns)) {
    for (const std::string& column : columns_) {
        const std::size_t field = FieldIndex(column);
        slots_.push_back(column == "date"          ? kDate
                         : column == "time_of_day" ? kTimeOfDay
                         : column == "zone"        ? kZone
                         : field < kJournalFieldCount ? static_cast<int>(field)
                                                      : kNone);
        texts_.push_back(IsText(column));
    }
}

JournalLayout JournalLayout::Current() { return JournalLayout(); }

bool JournalLayout::FromHeader(const std::vector<std::string>& header, JournalLayout& layout) {
    auto has = [&header](const char* name) { return std::find(header.begin(), header.end(), name) != header.end(); };
    if (!has("event") || !(has("time") || has("date"))) return false;
    layout = JournalLayout(header);
    return true;
}

JournalLayout JournalLayout::Guessed(std::size_t fieldCount) {
    if (fieldCount != kJournalFieldCount) return Current();
    return JournalLayout(std::vector<std::string>(std::begin(kJournalFields), std::end(kJournalFields)));
}

std::vector<std::string> JournalLayout::Row(const JournalEntry& entry) const {
    const TimeParts time = Split(entry.Field("time"));
    std::vector<std::string> row;
    for (std::size_t i = 0; i < columns_.size(); ++i) {
        switch (slots_[i]) {
            case kDate: row.push_back(time.date); break;
            case kTimeOfDay: row.push_back(time.timeOfDay); break;
            case kZone: row.push_back(time.zone); break;
            case kNone: row.push_back(""); break;  // a column a spreadsheet added: ours to leave empty
            default: {
                const std::string& value = entry.fields[static_cast<std::size_t>(slots_[i])];
                row.push_back(texts_[i] ? Marked(value) : value);
            }
        }
    }
    return row;
}

JournalEntry JournalLayout::Entry(const CsvRow& row) const {
    JournalEntry entry;
    entry.cut = !row.complete || row.fields.size() < columns_.size();
    TimeParts time;
    for (std::size_t i = 0; i < columns_.size() && i < row.fields.size(); ++i) {
        const std::string& value = row.fields[i];
        switch (slots_[i]) {
            case kDate: time.date = value; break;
            case kTimeOfDay: time.timeOfDay = value; break;
            case kZone: time.zone = value; break;
            case kNone: break;
            default: entry.fields[static_cast<std::size_t>(slots_[i])] = texts_[i] ? Unmarked(value) : value;
        }
    }
    if (std::string& iso = entry.Field("time"); iso.empty()) iso = Joined(time.date, time.timeOfDay, time.zone);
    return entry;
}

}  // namespace report
