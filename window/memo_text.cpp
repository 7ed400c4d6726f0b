#include "window/memo_text.h"

#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

#include "core/builtin_text.h"
#include "core/cp1251.h"
#include "core/exception.h"
#include "core/text_file.h"

namespace window {

QString ReadMemoFile(const std::string& name) {
    bool exceeded = false;
    std::string bytes = core::ReadWholeTextFile(name, kMemoCapacity, &exceeded);
    if (exceeded) throw core::EInvalidOperation(core::LoadBuiltInText(&core::SMemoCapacity));
    QString text = QString::fromStdString(core::Cp1251ToUtf8(bytes));
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

QString MemoText(const QPlainTextEdit* memo) {
    // toPlainText() would turn no-break spaces into plain ones, and 0xA0 is a
    // character of the code page the files are written in.
    QString text = memo->document()->toRawText();
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    return text;
}

QStringList VisualLines(const QPlainTextEdit* memo, int maxLines) {
    const QTextDocument* doc = memo->document();
    const qreal width =
        memo->width() - 2 * memo->frameWidth() - 2 * doc->documentMargin() - memo->cursorWidth();
    QTextOption option = doc->defaultTextOption();
    option.setWrapMode(memo->wordWrapMode());
    QStringList lines;
    for (QTextBlock block = doc->begin(); block.isValid() && lines.size() < maxLines; block = block.next()) {
        const QString text = block.text();
        if (text.isEmpty()) {
            lines << QString();
            continue;
        }
        QTextLayout layout(text, memo->font());
        layout.setTextOption(option);
        layout.beginLayout();
        for (;;) {
            QTextLine line = layout.createLine();
            if (!line.isValid()) break;
            line.setLineWidth(width > 1 ? width : 1);
            lines << text.mid(line.textStart(), line.textLength());
        }
        layout.endLayout();
    }
    while (lines.size() > maxLines) lines.removeLast();
    return lines;
}

}  // namespace window
