#pragma once
// The consoles' multi-line text boxes (송신, 수신): a QPlainTextEdit with two mends.
//
// Long texts stay fast: a box wraps anywhere instead of at word boundaries, since Qt's search
// for a word boundary in a long text without blanks (hex digits, a pasted frame) costs seconds
// on every layout, and a tool that shows bytes gains nothing from whole words.
//
// Pasting data that offers no format at all does nothing: Qt 6.4 reads such clipboard data
// (an empty clipboard after login, or one whose owner has ended) as if it had a format and
// crashes.

#include <QPlainTextEdit>

class QMimeData;

class TextBox : public QPlainTextEdit {
public:
    explicit TextBox(QWidget* parent = nullptr);

protected:
    bool canInsertFromMimeData(const QMimeData* source) const override;
    void insertFromMimeData(const QMimeData* source) override;
};
