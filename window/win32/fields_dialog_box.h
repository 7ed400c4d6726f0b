// The Windows face's dialog of text fields (window/fields_dialog.h): a modal
// dialog made from a template in memory, each field a label over an edit
// (ids kFirstDialogLabel + n, kFirstDialogField + n), OK and Cancel.
#pragma once

#include <windows.h>

#include "window/fields_dialog.h"

namespace window::win32 {

// Modal over `owner`; true when confirmed, the fields' values as edited.
bool ShowFieldsDialog(HWND owner, FieldsDialog& dialog);

}  // namespace window::win32
