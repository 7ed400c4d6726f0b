// A modal dialog as the program asks for it: a title, labelled one-line text
// fields, OK and Cancel. Each face shows it its own way (FormFace::EditFields).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace window {

struct DialogField {
    std::string label;  // UTF-8
    std::string value;  // UTF-8: shown first, then as edited
    std::size_t mostChars = 0;  // characters the field takes; 0: no limit
};

struct FieldsDialog {
    std::string title;
    std::vector<DialogField> fields;
    std::string ok, cancel;  // the buttons' captions
};

}  // namespace window
