// The report's settings (report.ini) on arbitrary files. The names read are
// one line each, without spaces at their ends; saving names over the file
// keeps every other line, and the names read back are those saved (their
// control characters made spaces).
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>

#include "core/platform/text_file.h"
#include "core/text/user_text.h"
#include "fuzz_support.h"
#include "report/report_settings.h"

namespace {

void CheckName(const std::string& name) {
    FUZZ_CHECK(name.find_first_of("\r\n") == std::string::npos);
    FUZZ_CHECK(name.empty() || (name.front() != ' ' && name.back() != ' ' && name.front() != '\t' && name.back() != '\t'));
}

// A name as saved: one line, its control characters made spaces.
std::string AsSaved(std::string name) {
    for (char& c : name)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
    const auto first = name.find_first_not_of(' ');
    return first == std::string::npos ? "" : name.substr(first, name.find_last_not_of(' ') - first + 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    // The names to save come as a user gives them: read from a file of their own.
    const report::ReportSettings given = report::ParseReportSettings(input.ConsumeRandomLengthString(200));
    const std::string file = input.ConsumeRemainingBytesAsString();

    const report::ReportSettings read = report::ParseReportSettings(file);
    CheckName(read.workshop);
    CheckName(read.technician);

    const std::string saved = report::WithReportSettings(file, given);
    FUZZ_CHECK(report::ParseReportSettings(saved) == (report::ReportSettings{AsSaved(given.workshop), AsSaved(given.technician)}));
    // Saving the same names again changes nothing.
    FUZZ_CHECK(report::WithReportSettings(saved, given) == saved);
    // Every line that sets no name stays.
    const std::string savedText = core::DecodeUserText(saved);
    for (const std::string& line : core::SplitLines(core::DecodeUserText(file))) {
        if (line.find('=') != std::string::npos) continue;
        FUZZ_CHECK(savedText.find(line) != std::string::npos);
    }
    return 0;
}
