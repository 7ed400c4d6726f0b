// The Qt face's dialog of text fields (window/fields_dialog.h): a form of
// labelled line edits named field0, field1, ... and OK and Cancel.
#pragma once

#include "window/fields_dialog.h"

class QWidget;

namespace window {

// Modal over `owner`; true when confirmed, the fields' values as edited.
bool ShowFieldsDialog(QWidget* owner, FieldsDialog& dialog);

}  // namespace window
