#include "windows/UserDefWindow.h"

#include "windows/WidgetPlacement.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

namespace {

ConsoleWindow::Layout userDefLayout()
{
    ConsoleWindow::Layout layout;
    layout.caption = QStringLiteral("User Define");
    layout.clientWidth = 8100;
    layout.clientHeight = 7755;
    layout.label3 = {1320, 120, 870, 180};
    layout.send = {1320, 360, 3615, 855};
    layout.label4 = {120, 1320, 1110, 180};
    layout.recv = {120, 1560, 4815, 855};
    layout.label5 = {120, 2520, 585, 180};
    layout.sendButton = {5160, 840, 1215, 495};
    layout.frame3 = {6600, 3000, 1215, 1335};
    layout.status = {5160, 1560, 1215, 375};
    layout.clear = {6600, 840, 1215, 495};
    layout.preScreen = {6600, 2280, 1215, 495};
    layout.end = {6600, 1560, 1215, 495};
    layout.messages = {6600, 4440, 1215, 375};
    layout.saveAsPlan = {6600, 4920, 1215, 375};
    layout.plans = {6600, 5400, 1215, 375};
    layout.historyTop = 2760;
    layout.historyDataWidth = 5655;
    return layout;
}

// An editable list whose typed text is taken as it stands: no completion, nothing added.
QComboBox* selection(QWidget* parent, const QString& name, const QStringList& entries,
                     const QString& initial, const ConsoleWindow::Rect& rect)
{
    auto* combo = new QComboBox(parent);
    combo->setObjectName(name);
    combo->setEditable(true);
    combo->setInsertPolicy(QComboBox::NoInsert);
    combo->setCompleter(nullptr);
    // A size smaller than the window's keeps "SUM_1" whole in the narrow check-field lists.
    combo->setFont(ConsoleWindow::gulim(8.25, false));
    combo->addItems(entries);
    combo->setCurrentIndex(combo->findText(initial));
    placeWidget(combo, rect.left, rect.top, rect.width, rect.height);
    return combo;
}

void title(QWidget* parent, const QString& name, const QString& text,
           const ConsoleWindow::Rect& rect)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    placeWidget(label, rect.left, rect.top, rect.width, rect.height);
}

} // namespace

UserDefWindow::UserDefWindow(ProgramState& state, SessionLog* log, QWidget* parent)
    : ConsoleWindow(ConsoleKind::UserDefine, QStringLiteral("19200,n,8,1"), userDefLayout(), state,
                    log, parent)
{
    setObjectName(QStringLiteral("Form4"));

    const QStringList sums = {QStringLiteral("SUM_1"), QStringLiteral("SUM_2"),
                              QStringLiteral("NONE")};
    const UserDefSelections initial;
    title(this, QStringLiteral("Label2"), QStringLiteral("Header"), {240, 120, 600, 180});
    Header =
        selection(this, QStringLiteral("Header"),
                  {QStringLiteral("ENQ(05)"), QStringLiteral("STX(02)"), QStringLiteral("ACK(06)"),
                   QStringLiteral("NAK(21)"), QStringLiteral("NUL(00)"), QStringLiteral("NONE")},
                  initial.header, {60, 360, 1095, 300});
    title(this, QStringLiteral("Label7"), QStringLiteral("BCC1"), {5160, 120, 480, 180});
    BCC1 = selection(this, QStringLiteral("BCC1"), sums, initial.bcc1, {5040, 360, 975, 300});
    title(this, QStringLiteral("Label6"), QStringLiteral("Tail"), {6120, 120, 315, 180});
    Tail = selection(this, QStringLiteral("Tail"),
                     {QStringLiteral("ETX(03)"), QStringLiteral("EOT(04)"),
                      QStringLiteral("NUL(00)"), QStringLiteral("NONE")},
                     initial.tail, {6000, 360, 1095, 300});
    title(this, QStringLiteral("Label8"), QStringLiteral("BCC2"), {7080, 120, 480, 180});
    BCC2 = selection(this, QStringLiteral("BCC2"), sums, initial.bcc2, {7080, 360, 975, 300});

    // Tab follows the frame's order along the top row, then the buttons and boxes below it.
    const QList<QWidget*> order = {Header, 송신, BCC1, Tail,   BCC2,       전송,
                                   클리어, 수신, 응답, 끝내기, m_preScreen};
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);
}

ConsoleRequest UserDefWindow::request(const QByteArray& message) const
{
    return {.kind = ConsoleKind::UserDefine,
            .message = message,
            .selections = {Header->currentText(), BCC1->currentText(), Tail->currentText(),
                           BCC2->currentText()}};
}

void UserDefWindow::showOptions(const ConsoleRequest& saved)
{
    const UserDefSelections& selections = saved.selections;
    for (const auto& [list, text] :
         {std::pair{Header, selections.header}, std::pair{BCC1, selections.bcc1},
          std::pair{Tail, selections.tail}, std::pair{BCC2, selections.bcc2}}) {
        // A listed text is chosen from the list; any other is typed, as the user would.
        const int listed = list->findText(text);
        if (listed >= 0)
            list->setCurrentIndex(listed);
        else
            list->setEditText(text);
    }
}
