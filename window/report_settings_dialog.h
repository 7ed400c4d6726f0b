// The Report menu's settings dialog: the workshop's name and the technician's
// that the report's header prints (report/report_settings.h), edited in a
// dialog the face draws and saved when confirmed.
#pragma once

#include "report/report_settings.h"
#include "window/fields_dialog.h"
#include "window/form_face.h"

namespace window {

// The dialog with `now`'s names in its fields, in the user's language.
FieldsDialog ReportSettingsDialog(const report::ReportSettings& now);

// Shows the dialog with the stored names and stores what the user confirms;
// a failure to store costs a box naming the file and the reason.
void EditReportSettings(FormFace& face);

}  // namespace window
