// Modal message boxes of the program, behind one replaceable function so that
// tests can record what would have been shown instead of waiting for a user.
#pragma once

#include <functional>
#include <string>

#include "window/box_record.h"

class QWidget;

namespace window {

using BoxHook = std::function<void(const BoxRecord&)>;

// Shows a modal box with one OK button and returns when it has been closed.
// With a hook installed the hook gets the record and no box appears.
void ShowMessageBox(QWidget* owner, const BoxRecord& box);

// Installs a hook (empty restores the real boxes); returns the previous one.
BoxHook ReplaceBoxHook(BoxHook hook);

}  // namespace window
