// The report's settings: the workshop's name and the technician's, printed in
// the report's header. They live in report.ini in the user's folder, one
// "key=value" line each; the window's Report menu edits them, and any editor
// may: spaces around the key and the value are dropped, the key's letter case
// does not matter, and the file may be UTF-8 (with or without a byte-order
// mark), UTF-16 with its mark, or Windows-1251 as Notepad may save it.
#pragma once

#include <string>
#include <string_view>

namespace report {

struct ReportSettings {
    std::string workshop;
    std::string technician;
    bool operator==(const ReportSettings&) const = default;
};

// The settings in a report.ini's bytes; a key missing is empty.
ReportSettings ParseReportSettings(std::string_view bytes);
// `bytes` (an old report.ini's, or empty) with the two keys' lines set to
// `settings`, its other lines kept: UTF-8 with a byte-order mark and CR LF.
std::string WithReportSettings(std::string_view bytes, const ReportSettings& settings);

// The user's settings. A missing file is made with both keys empty for the
// user to fill; one that cannot be read gives empty names.
ReportSettings ReadReportSettings();
// Writes them into report.ini, whole or not at all. Returns an empty text, or
// what failed, for a box.
std::string SaveReportSettings(const ReportSettings& settings);

// Where report.ini is (in the user's folder); empty when the folder is unknown.
std::string ReportSettingsPath();

}  // namespace report
