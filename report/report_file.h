// Writing a diagnosis's report: the workshop's name from the settings file,
// the file's name and folder.
#pragma once

#include <string>

#include "report/diagnosis.h"

namespace report {

// The workshop's name: the line "workshop=..." of report.ini in the user's
// folder (UTF-8, or Windows-1251 as Notepad may save it). Empty when unset;
// a missing file is made with an empty line for the user to fill.
std::string WorkshopName();

// 2026-12-07_19-25-03_VR1708512.html: the time, and the serial number's first
// word with anything but letters of the Latin alphabet, digits and '-' made '_'.
std::string ReportFileName(const Diagnosis& d, const LocalTime& time);

// Writes the report to `path`. Raises core::EFCreateError when it cannot.
void WriteReport(const Diagnosis& d, const std::string& path);

struct MadeReport {
    std::string path;   // the file written
    std::string error;  // empty, or what failed, for a box
};
// Writes the report into "Pump diagnostics" in the user's documents folder.
MadeReport MakeReport(const Diagnosis& d, const LocalTime& time);

}  // namespace report
