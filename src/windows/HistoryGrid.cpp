#include "windows/HistoryGrid.h"

#include "windows/WidgetPlacement.h"

#include <QLineEdit>

#include <limits>

namespace {

// The grid's columns and rows are alike on every console; each console gives only the grid's
// top and the data boxes' width.
constexpr int kDataLeft = 720;
constexpr int kLabelLeft = 120;
constexpr int kLabelWidth = 615;
constexpr int kRowPitch = 240;
constexpr int kRowHeight = 255;

} // namespace

HistoryGrid::HistoryGrid(QWidget* window, int top, int dataWidth, const QFont& dataFont,
                         const QColor& sentColour, const QColor& receivedColour)
    : m_sentColour(sentColour), m_receivedColour(receivedColour)
{
    for (int index = 0; index < int(m_boxes.size()); ++index) {
        auto* box = new QLineEdit(window);
        box->setObjectName(QStringLiteral("송수신이력"));
        box->setProperty("index", index);
        box->setReadOnly(true);
        // Pages append to what a box holds; Qt's default cap of 32,767 characters would cut it.
        box->setMaxLength(std::numeric_limits<int>::max());
        box->setFont(dataFont);
        const int rowTop = top + kRowPitch * (index / 2);
        if (index % 2 == 0)
            placeWidget(box, kDataLeft, rowTop, dataWidth, kRowHeight);
        else
            placeWidget(box, kLabelLeft, rowTop, kLabelWidth, kRowHeight);
        m_boxes[index] = box;
    }
}

void HistoryGrid::update(const QByteArray& sendFrame, const QByteArray& recvData,
                         const QString& note)
{
    if (HistoryPos > 39 || m_bytes[0].isEmpty())
        HistoryPos = 0;
    HistoryPos += 4;
    const int p = HistoryPos;
    // Each exchange takes four boxes, so its number on the page follows from the position.
    const int HistoryNo = p / 4;
    const QString n = QString::number(HistoryNo);
    appendLabel(p - 3, QStringLiteral("Send") + n + QStringLiteral(":"), note);
    appendData(p - 4, m_sentColour, sendFrame);
    appendLabel(p - 1, QStringLiteral("Recv") + n + QStringLiteral(":"), note);
    appendData(p - 2, m_receivedColour, recvData);
}

void HistoryGrid::render(codec::View view)
{
    m_view = view;
    for (int row = 0; row < int(m_bytes.size()); ++row) {
        QLineEdit* box = m_boxes[2 * row];
        box->setText(codec::render(m_bytes[row], m_view, codec::LineBreaks::AsSymbols));
        box->setCursorPosition(0);
    }
}

void HistoryGrid::clear()
{
    // QLineEdit::clear() records an undo step for every character it removes and keeps their
    // memory for the box's life; these boxes are read-only, with nothing to undo.
    for (QLineEdit* box : m_boxes) {
        box->setText(QString());
        box->setToolTip({});
    }
    for (QByteArray& bytes : m_bytes)
        bytes.clear();
}

void HistoryGrid::appendLabel(int index, const QString& label, const QString& note)
{
    QLineEdit* box = m_boxes[index];
    box->setText(box->text() + label);
    box->setCursorPosition(0);
    if (!note.isEmpty())
        box->setToolTip(box->toolTip().isEmpty() ? note
                                                 : box->toolTip() + QLatin1Char('\n') + note);
}

void HistoryGrid::appendData(int index, const QColor& colour, const QByteArray& bytes)
{
    QLineEdit* box = m_boxes[index];
    setTextColour(box, colour);
    QByteArray& held = m_bytes[index / 2];
    held += bytes;
    box->setText(codec::render(held, m_view, codec::LineBreaks::AsSymbols));
    box->setCursorPosition(0);
}
