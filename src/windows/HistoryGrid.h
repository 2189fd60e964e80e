#pragma once
// The consoles' history grid 송수신이력: 20 rows, each a label box (index 2r + 1) and a one-line
// data box (index 2r), ten exchanges a page. An exchange writes "SendN:" and its frame into one
// row and "RecvN:" and its reply into the next, the frame in blue and the reply in red. The page
// starts over at the top when it is full or box 0 is empty (a new window, after Clear), and
// every write appends to what the box already holds. The data boxes keep the bytes they show,
// so a format switch renders them again losing nothing.

#include "codec/Codec.h"

#include <QByteArray>
#include <QColor>
#include <QFont>
#include <QString>

#include <array>

class QLineEdit;
class QWidget;

class HistoryGrid {
public:
    // The boxes are made in window, in index order: row 0 at top (twips), each row 240 twips
    // below the one before; the data boxes dataWidth twips wide in dataFont.
    HistoryGrid(QWidget* window, int top, int dataWidth, const QFont& dataFont,
                const QColor& sentColour, const QColor& receivedColour);

    // Writes one exchange into the page; the note (its time and latency) goes to the tooltips
    // of its two label boxes, which append on a new page as the boxes do.
    void update(const QByteArray& sendFrame, const QByteArray& recvData, const QString& note = {});
    // Shows every data box in view.
    void render(codec::View view);
    // Empties every box.
    void clear();
    // The bytes a data box (row 0 to 19) holds, whatever the view shows.
    QByteArray bytes(int row) const { return m_bytes.at(row); }

private:
    void appendLabel(int index, const QString& label, const QString& note);
    void appendData(int index, const QColor& colour, const QByteArray& bytes);

    std::array<QLineEdit*, 40> m_boxes;
    std::array<QByteArray, 20> m_bytes;
    QColor m_sentColour;
    QColor m_receivedColour;
    codec::View m_view = codec::View::Characters;
    // One past the last box written on the page: 0, 4, ... 40.
    int HistoryPos = 0;
};
