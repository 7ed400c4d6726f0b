#include "window/qt/memo_text.h"

#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

namespace window {

QString ReadMemoFile(const std::string& name) { return QString::fromStdString(ReadFormFile(name)); }

QString MemoText(const QPlainTextEdit* memo) {
    // toPlainText() would turn no-break spaces into plain ones, and 0xA0 is a
    // character of the code page the files are written in.
    QString text = memo->document()->toRawText();
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    return text;
}

QStringList WrappedLines(const QPlainTextEdit* memo, const QString& line) {
    if (line.isEmpty()) return {QString()};
    const QTextDocument* doc = memo->document();
    const qreal width =
        memo->width() - 2 * memo->frameWidth() - 2 * doc->documentMargin() - memo->cursorWidth();
    QTextOption option = doc->defaultTextOption();
    option.setWrapMode(memo->wordWrapMode());
    QStringList lines;
    QTextLayout layout(line, memo->font());
    layout.setTextOption(option);
    layout.beginLayout();
    for (;;) {
        QTextLine piece = layout.createLine();
        if (!piece.isValid()) break;
        piece.setLineWidth(width > 1 ? width : 1);
        lines << line.mid(piece.textStart(), piece.textLength());
    }
    layout.endLayout();
    return lines;
}

QStringList VisualLines(const QPlainTextEdit* memo, int maxLines) {
    QStringList lines;
    for (QTextBlock block = memo->document()->begin(); block.isValid() && lines.size() < maxLines;
         block = block.next())
        lines << WrappedLines(memo, block.text());
    while (lines.size() > maxLines) lines.removeLast();
    return lines;
}

}  // namespace window
