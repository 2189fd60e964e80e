#pragma once
// MessagesWindow, one for each console: the console's saved messages, each a name, the message
// (as characters or hex digits, as the console's view shows it) and the options the console's
// Send takes. Add saves the text in 송신 with the console's options now under a name; a message
// is renamed or edited in place (F2, or Rename and Edit), moved up or down, deleted, or taken in
// from a plan's steps. Double-click or Enter sends one through the console's own Send, so its
// history, words and log are as for a typed message; Ctrl+1 to Ctrl+9 in the console send the
// first nine. The messages are kept in SavedMessages' file, written at every change.

#include "plans/SavedMessages.h"

#include <QList>
#include <QWidget>

class ConsoleWindow;
class QLineEdit;
class QTableWidget;
class QTableWidgetItem;

class MessagesWindow : public QWidget {
public:
    explicit MessagesWindow(ConsoleWindow* console);

    // Shows the messages again, in the console's view now.
    void refresh();
    // Sends the console's message at index (from 0) as the console's Send does; false when there
    // is none.
    bool send(int index);

private:
    void add();
    void move(int by);
    void remove();
    void importPlan();
    void edited(QTableWidgetItem* item);
    void editCell(int column);
    int currentRow() const;
    // Writes the list; a file that could not be read is left alone.
    void keep();

    ConsoleWindow* m_console;
    SavedMessages m_saved;
    QList<qsizetype> m_rows; // the console's messages: their places in m_saved
    QLineEdit* m_name;
    QTableWidget* m_list;
    bool m_filling = false;
};
