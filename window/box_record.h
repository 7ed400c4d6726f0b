// A modal message box as the program asks for it: title, text and icon, with
// one OK button. Each face shows it its own way.
#pragma once

#include <string>

namespace window {

enum class BoxIcon { None, Information, Error };

struct BoxRecord {
    std::string title;  // UTF-8
    std::string text;   // UTF-8
    BoxIcon icon = BoxIcon::None;
};

}  // namespace window
