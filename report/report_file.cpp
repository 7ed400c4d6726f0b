#include "report/report_file.h"

#include <cctype>
#include <string_view>

#include "core/text/cp1251.h"
#include "core/platform/exception.h"
#include "core/platform/text_file.h"
#include "core/text/format.h"
#include "core/text/utf.h"
#include "localization/gettext.h"
#include "report/append_file.h"
#include "report/report_html.h"
#include "report/user_folders.h"

namespace report {

namespace {
constexpr std::string_view kWorkshopKey = "workshop=";
constexpr std::string_view kBom = "\xEF\xBB\xBF";
}  // namespace

std::string WorkshopName() {
    const std::string folder = UserFolder();
    if (folder.empty()) return "";
    const std::string path = InFolder(folder, kSettingsName);
    std::string text;
    try {
        text = core::ReadWholeTextFile(path);
    } catch (const core::EFOpenError&) {
        try {
            if (MakeFolders(folder).empty()) core::WriteWholeTextFile(path, std::string(kWorkshopKey) + "\r\n");
        } catch (const core::Exception&) {
            // Only a convenience: the name stays empty either way.
        }
        return "";
    }
    if (text.starts_with(kBom)) text.erase(0, kBom.size());
    if (!core::IsValidUtf8(text)) text = core::Cp1251ToUtf8(text);
    for (const std::string& line : core::SplitLines(text)) {
        if (!line.starts_with(kWorkshopKey)) continue;
        const std::string name = line.substr(kWorkshopKey.size());
        const auto first = name.find_first_not_of(" \t");
        return first == std::string::npos ? "" : name.substr(first, name.find_last_not_of(" \t") - first + 1);
    }
    return "";
}

std::string ReportFileName(const Diagnosis& d, const LocalTime& time) {
    const std::string& serial = d.identification[kSerialNumber];
    std::string word = serial.substr(0, serial.find(' '));
    for (char& c : word)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-') c = '_';
    return FileStamp(time) + "_" + (word.empty() ? "pump" : word) + ".html";
}

void WriteReport(const Diagnosis& d, const std::string& path) {
    core::WriteWholeTextFile(path, ReportHtml(d, WorkshopName()));
}

MadeReport MakeReport(const Diagnosis& d, const LocalTime& time) {
    const std::string documents = DocumentsFolder();
    if (documents.empty())
        return {"", localization::TranslateUtf8("The report has no folder: the user's documents folder is not known.")};
    const std::string folder = InFolder(documents, kReportsSubfolder);
    if (const std::string reason = MakeFolders(folder); !reason.empty())
        return {"", core::FormatText(localization::TranslateUtf8("The report folder %s cannot be made: %s"),
                                     {folder, reason})};
    MadeReport made{InFolder(folder, ReportFileName(d, time)), ""};
    try {
        WriteReport(d, made.path);
    } catch (const core::Exception& e) {
        made.error = e.Message();
    }
    return made;
}

}  // namespace report
