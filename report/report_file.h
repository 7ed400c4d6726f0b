// Writing a diagnosis's report: its file's name and folder, the names in its
// header from the report's settings.
#pragma once

#include <string>
#include <string_view>

#include "report/diagnosis.h"

namespace report {

// 2026-12-07_19-25-03_VR1708512.html: the time, and the serial number's first
// word with anything but letters of the Latin alphabet, digits and '-' made '_'.
std::string ReportFileName(const Diagnosis& d, const LocalTime& time);

// Writes the report to `path`, whole or not at all (report/whole_file.h).
// Raises core::EFCreateError when it cannot.
void WriteReport(const Diagnosis& d, const std::string& path);

struct MadeReport {
    std::string path;   // the file written
    std::string error;  // empty, or what failed, for a box
};
// Writes the report into "Pump diagnostics" in the user's documents folder.
MadeReport MakeReport(const Diagnosis& d, const LocalTime& time);

// Writes `bytes` whole as `name` into that folder, as a report is written.
MadeReport SaveInReportsFolder(const std::string& name, std::string_view bytes);

}  // namespace report
