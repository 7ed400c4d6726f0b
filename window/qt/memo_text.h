// Text areas of the main window: filling them from the program's Windows-1251
// files and reading their lines back as the area lays them out.
#pragma once

#include <string>

#include <QString>
#include <QStringList>

#include "window/form_files.h"

class QPlainTextEdit;

namespace window {

// ReadFormFile as the text areas take it.
QString ReadMemoFile(const std::string& name);

// Text of the area with line breaks as "\n" and every character as stored.
QString MemoText(const QPlainTextEdit* memo);

// The lines that the area breaks one line of text (no line break in it) into
// at its present width (between words where it can).
QStringList WrappedLines(const QPlainTextEdit* memo, const QString& line);

// The first `maxLines` lines of the area's text as the area shows them at its
// present width: a line wider than the area counts as two or more lines.
QStringList VisualLines(const QPlainTextEdit* memo, int maxLines);

}  // namespace window
