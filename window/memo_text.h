// Text areas of the main window: filling them from the program's Windows-1251
// files and reading their lines back as the area lays them out.
#pragma once

#include <cstddef>
#include <string>

#include <QString>
#include <QStringList>

class QPlainTextEdit;

namespace window {

// Largest file text a text area takes. A larger file is refused with
// EInvalidOperation "Text exceeds memo capacity" instead of stalling the
// window on an enormous layout.
constexpr std::size_t kMemoCapacity = 1024 * 1024;

// Reads the file by name (EFOpenError "Cannot open file %s" when it cannot
// be read), stops at a zero byte, decodes Windows-1251 and turns every line
// end into one line break. Raises EInvalidOperation when the text is beyond
// kMemoCapacity.
QString ReadMemoFile(const std::string& name);

// Text of the area with line breaks as "\n" and every character as stored.
QString MemoText(const QPlainTextEdit* memo);

// The first `maxLines` lines of the area's text as the area shows them at its
// present width: a line wider than the area is broken (between words where it
// can) and counts as two or more lines.
QStringList VisualLines(const QPlainTextEdit* memo, int maxLines);

}  // namespace window
