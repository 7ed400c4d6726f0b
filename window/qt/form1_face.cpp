// The Qt face's side of the form: drawing the form's state into the widgets,
// and what the logic asks of a face.
#include <QMetaObject>
#include <QTextCursor>
#include <QThread>

#include "window/handler_guard.h"
#include "window/qt/fields_dialog_box.h"
#include "window/qt/form1.h"
#include "window/qt/memo_text.h"
#include "window/qt/message_box.h"

namespace window {

void TForm1::Post(std::function<void()> effect) {
    if (QThread::currentThread() == thread())
        effect();
    else
        QMetaObject::invokeMethod(this, std::move(effect), Qt::QueuedConnection);
}

void TForm1::DrawCaptions() {
    auto text = [this](Caption target) { return CaptionText(target); };
    Exit1->setText(text(Caption::Exit1));
    N2->setTitle(text(Caption::N2));
    Help1->setTitle(text(Caption::Help1));
    About1->setText(text(Caption::About1));
    GroupBox2->setTitle(text(Caption::GroupBox2));
    Button3->setText(text(Caption::Button3));
    Button4->setText(text(Caption::Button4));
    button1->setText(text(Caption::button1));
    status->setCaption(text(Caption::status));
    setWindowTitle(text(Caption::Title));
    Label5->setCaption(text(Caption::Label5));
    Label2->setCaption(text(Caption::Label2));
    Label3->setCaption(text(Caption::Label3));
    Label1->setCaption(text(Caption::Label1));
    Label4->setCaption(text(Caption::Label4));
}

void TForm1::DrawPortItems() {
    QAction* const items[4] = {Com11, Com21, com31, Com41};
    for (std::size_t i = 0; i < 4; ++i) items[i]->setChecked(logic_.State().checkedPort == kPortItemNames[i]);
}

void TForm1::ListFoundPorts() {
    for (QAction* item : foundPortItems) {
        N2->removeAction(item);
        item->deleteLater();
    }
    foundPortItems.clear();
    const FormLogic::PortMenu menu = logic_.ScanPortMenu();
    QAction* const fixed[4] = {Com11, Com21, com31, Com41};
    for (std::size_t i = 0; i < 4; ++i) fixed[i]->setText(QString::fromStdString(menu.fixedCaptions[i]));
    const std::vector<FormLogic::PortMenuItem>& found = menu.found;
    if (found.empty()) return;
    // Between the four and the adapter check.
    foundPortItems.push_back(N2->insertSeparator(CheckAdapterSeparator));
    for (const FormLogic::PortMenuItem& item : found) {
        QAction* action = new QAction(QString::fromStdString(item.port.text), N2);
        N2->insertAction(CheckAdapterSeparator, action);
        action->setCheckable(true);
        action->setChecked(item.checked);
        connect(action, &QAction::triggered, this, Guarded([this, name = item.port.name] { logic_.ChoosePort(name); }));
        foundPortItems.push_back(action);
    }
}

void TForm1::Draw(FormPart part, int index) {
    const FormState& s = logic_.State();
    switch (part) {
        case FormPart::Captions: DrawCaptions(); break;
        case FormPart::PortItems: DrawPortItems(); break;
        case FormPart::Memo2:
            Memo2->setPlainText(QString::fromStdString(s.memo2));
            Memo2->moveCursor(QTextCursor::Start);
            break;
        case FormPart::Button4Shown: Button4->setVisible(s.button4Visible); break;
        case FormPart::Field: {
            using protocol::IdentField;
            const auto field = static_cast<IdentField>(index);
            TLabel* target = field == IdentField::OrName ? Or_name
                             : field == IdentField::Id   ? Id
                             : field == IdentField::SerialNumber ? S_n
                                                                 : Id_b;
            target->setCaption(QString::fromStdString(s.fields.at(field)));
            break;
        }
        case FormPart::Control: {
            const auto control = static_cast<protocol::Control>(index);
            QPushButton* target = control == protocol::Control::Button3   ? Button3
                                  : control == protocol::Control::Button4 ? Button4
                                                                          : static_cast<QPushButton*>(button1);
            target->setEnabled(s.enabled.at(control));
            break;
        }
        case FormPart::FaultButton: {
            QPushButton* button = FaultButton(index);
            button->setVisible(s.visibleFaults.count(index) != 0);
            const auto hint = s.hints.find(index);
            button->setToolTip(hint == s.hints.end() ? QString() : QString::fromStdString(hint->second));
            break;
        }
        case FormPart::Status: status->setVisible(s.statusVisible); break;
        case FormPart::Timer: {
            const auto timer = static_cast<protocol::Timer>(index);
            QTimer* target = timer == protocol::Timer::Timer1 ? timer1 : Timer2;
            // Enabling a running timer leaves its period as it is.
            if (!s.timers.at(timer)) target->stop();
            else if (!target->isActive()) target->start();
            break;
        }
    }
}

std::vector<std::string> TForm1::Memo2Lines(const std::string& line) {
    std::vector<std::string> lines;
    for (const QString& piece : WrappedLines(Memo2, QString::fromStdString(line))) lines.push_back(piece.toStdString());
    return lines;
}

std::string TForm1::Memo2Text() const { return MemoText(Memo2).toStdString(); }

void TForm1::FocusMemo2() { Memo2->setFocus(Qt::OtherFocusReason); }

void TForm1::ShowBox(const BoxRecord& box) { ShowMessageBox(this, box); }

bool TForm1::EditFields(FieldsDialog& dialog) { return ShowFieldsDialog(this, dialog); }

// The desktop's opener, whose answer is awaited (window/qt/system_opener.h).
void TForm1::OpenInSystem(const std::string& path, std::function<void(bool opened)> answered) {
    opener_.Open(QString::fromStdString(path), [answered = std::move(answered)](bool opened) {
        // The answer comes from the event loop, outside any handler's guard.
        try {
            answered(opened);
        } catch (...) {
            PresentEscapedError();
        }
    });
}

}  // namespace window
