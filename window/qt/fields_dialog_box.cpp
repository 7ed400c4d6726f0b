#include "window/qt/fields_dialog_box.h"

#include <vector>

#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace window {

bool ShowFieldsDialog(QWidget* owner, FieldsDialog& dialog) {
    QDialog box(owner);
    box.setObjectName(QStringLiteral("FieldsDialog"));
    box.setWindowTitle(QString::fromStdString(dialog.title));
    auto* form = new QFormLayout;
    std::vector<QLineEdit*> edits;
    for (const DialogField& field : dialog.fields) {
        auto* edit = new QLineEdit(QString::fromStdString(field.value), &box);
        edit->setObjectName(QStringLiteral("field%1").arg(edits.size()));
        if (field.mostChars > 0) edit->setMaxLength(static_cast<int>(field.mostChars));
        edit->setMinimumWidth(320);
        form->addRow(QString::fromStdString(field.label), edit);
        edits.push_back(edit);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &box);
    buttons->button(QDialogButtonBox::Ok)->setText(QString::fromStdString(dialog.ok));
    buttons->button(QDialogButtonBox::Cancel)->setText(QString::fromStdString(dialog.cancel));
    QObject::connect(buttons, &QDialogButtonBox::accepted, &box, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &box, &QDialog::reject);
    auto* layout = new QVBoxLayout(&box);
    layout->addLayout(form);
    layout->addWidget(buttons);
    if (box.exec() != QDialog::Accepted) return false;
    for (std::size_t i = 0; i < edits.size(); ++i) dialog.fields[i].value = edits[i]->text().toStdString();
    return true;
}

}  // namespace window
