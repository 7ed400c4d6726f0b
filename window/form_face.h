// What the form's logic asks of a face (the Qt window, the Windows window, or
// the companion's headless one). A face draws the form's state and turns the
// user's clicks into the logic's handlers; it holds no handler logic itself.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "window/box_record.h"
#include "window/fields_dialog.h"

namespace window {

// The part of the state that has changed. `index` names the field, control,
// fault code or timer (as the engine's enums and codes count them).
enum class FormPart { Captions, PortItems, Memo2, Button4Shown, Field, Control, FaultButton, Status, Timer };

class FormFace {
public:
    virtual ~FormFace() = default;

    // Runs `effect` on the GUI thread: at once when called there, otherwise
    // queued behind the effects posted before it. Any thread.
    virtual void Post(std::function<void()> effect) = 0;
    // Shows the state's `part` as it is now (Memo2: a new text with the caret at
    // its start). GUI thread.
    virtual void Draw(FormPart part, int index) = 0;

    // The lines that Memo2 breaks one line of text into at its width.
    virtual std::vector<std::string> Memo2Lines(const std::string& line) = 0;
    // Memo2's text as shown now, what the user typed included ("\n" line ends).
    virtual std::string Memo2Text() const = 0;
    // Moves the keyboard focus to Memo2.
    virtual void FocusMemo2() = 0;
    // A modal box; returns when it has been closed.
    virtual void ShowBox(const BoxRecord& box) = 0;
    // A modal dialog of text fields; returns when it has been closed: true
    // when confirmed, with the fields' values as edited.
    virtual bool EditFields(FieldsDialog& dialog) = 0;
    // Opens a file or folder as the system does (a report in the browser, a
    // folder in the file manager) without holding the window. `answered` runs
    // once on the GUI thread, at once or later from the event loop, with
    // whether the system opened it (an opener still busy after some seconds
    // is taken to have); never after the face has gone.
    virtual void OpenInSystem(const std::string& path, std::function<void(bool opened)> answered) = 0;
};

}  // namespace window
