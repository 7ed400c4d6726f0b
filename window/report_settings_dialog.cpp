#include "window/report_settings_dialog.h"

#include "localization/gettext.h"
#include "report/report_html.h"

namespace window {

namespace {
std::string Tr(const char* text) { return localization::TranslateUtf8(text); }
}  // namespace

FieldsDialog ReportSettingsDialog(const report::ReportSettings& now) {
    // The report prints no more of a name than this.
    return {Tr("Report settings"),
            {{Tr("Workshop:"), now.workshop, report::kMostNameChars},
             {Tr("Technician:"), now.technician, report::kMostNameChars}},
            Tr("OK"),
            Tr("Cancel")};
}

void EditReportSettings(FormFace& face) {
    FieldsDialog dialog = ReportSettingsDialog(report::ReadReportSettings());
    if (!face.EditFields(dialog)) return;
    const std::string failure = report::SaveReportSettings({dialog.fields[0].value, dialog.fields[1].value});
    if (!failure.empty()) face.ShowBox({Tr("Report settings"), failure, BoxIcon::Error});
}

}  // namespace window
