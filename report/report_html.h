// The printable report of one diagnosis: a single self-contained HTML page
// (inline style, no other file) that prints on one A4 sheet, in the user's
// language. Fields carry ids (ident-<column>, date, port, version, workshop,
// technician, erase, failure with its data-cause when the link failed) and
// each fault row a data-code, so that scripts and tests read it back. A long word (a number from the pump, a name without spaces)
// is broken at the page's edge rather than widening the page.
#pragma once

#include <string>
#include <string_view>

#include "report/diagnosis.h"
#include "report/report_settings.h"

namespace report {

// Longest help paragraph and names printed: the page must stay one
// sheet whatever a help file holds. The help texts of all faults share a
// budget; one fault's paragraph gets at most kMostHelpChars of it.
inline constexpr std::size_t kMostHelpChars = 400;
inline constexpr std::size_t kHelpCharsPerPage = 2000;
inline constexpr std::size_t kMostNameChars = 120;

// The header names the workshop and the technician; an empty one is left out.
std::string ReportHtml(const Diagnosis& d, const ReportSettings& names);

// The first paragraph of a help text (paragraphs are parted by empty lines),
// its lines joined by spaces. A first paragraph of one short line is the
// text's heading: the next paragraph follows it after a dash.
std::string FirstParagraph(std::string_view helpText);

}  // namespace report
