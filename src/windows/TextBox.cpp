#include "windows/TextBox.h"

#include <QMimeData>
#include <QTextOption>

TextBox::TextBox(QWidget* parent) : QPlainTextEdit(parent)
{
    setWordWrapMode(QTextOption::WrapAnywhere);
}

bool TextBox::canInsertFromMimeData(const QMimeData* source) const
{
    return !source->formats().isEmpty() && QPlainTextEdit::canInsertFromMimeData(source);
}

void TextBox::insertFromMimeData(const QMimeData* source)
{
    if (!source->formats().isEmpty())
        QPlainTextEdit::insertFromMimeData(source);
}
