#include "report/report_file.h"

#include <cctype>

#include "core/platform/exception.h"
#include "core/text/format.h"
#include "localization/gettext.h"
#include "report/append_file.h"
#include "report/report_html.h"
#include "report/report_settings.h"
#include "report/user_folders.h"
#include "report/whole_file.h"

namespace report {

std::string ReportFileName(const Diagnosis& d, const LocalTime& time) {
    const std::string& serial = d.identification[kSerialNumber];
    std::string word = serial.substr(0, serial.find(' '));
    for (char& c : word)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-') c = '_';
    return FileStamp(time) + "_" + (word.empty() ? "pump" : word) + ".html";
}

void WriteReport(const Diagnosis& d, const std::string& path) {
    WriteFileWhole(path, ReportHtml(d, ReadReportSettings()));
}

MadeReport MakeReport(const Diagnosis& d, const LocalTime& time) {
    return SaveInReportsFolder(ReportFileName(d, time), ReportHtml(d, ReadReportSettings()));
}

MadeReport SaveInReportsFolder(const std::string& name, std::string_view bytes) {
    const std::string documents = DocumentsFolder();
    if (documents.empty())
        return {"", localization::TranslateUtf8("The report has no folder: the user's documents folder is not known.")};
    const std::string folder = InFolder(documents, kReportsSubfolder);
    if (const std::string reason = MakeFolders(folder); !reason.empty())
        return {"", core::FormatText(localization::TranslateUtf8("The report folder %s cannot be made: %s"),
                                     {folder, reason})};
    MadeReport made{InFolder(folder, name), ""};
    try {
        WriteFileWhole(made.path, bytes);
    } catch (const core::Exception& e) {
        made.error = e.Message();
    }
    return made;
}

}  // namespace report
