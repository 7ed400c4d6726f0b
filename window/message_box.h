// Modal message boxes of the program, behind one replaceable function so that
// tests can record what would have been shown instead of waiting for a user.
#pragma once

#include <functional>
#include <string>

class QWidget;

namespace window {

enum class BoxIcon { None, Information, Error };

struct BoxRecord {
    std::string title;  // UTF-8
    std::string text;   // UTF-8
    BoxIcon icon = BoxIcon::None;
};

using BoxHook = std::function<void(const BoxRecord&)>;

// Shows a modal box with one OK button and returns when it has been closed.
// With a hook installed the hook gets the record and no box appears.
void ShowMessageBox(QWidget* owner, const BoxRecord& box);

// Installs a hook (empty restores the real boxes); returns the previous one.
BoxHook ReplaceBoxHook(BoxHook hook);

}  // namespace window
