#include "windows/DedicatedWindow.h"

#include "windows/WidgetPlacement.h"

#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyleOptionButton>
#include <QStylePainter>

namespace {

// An option button whose caption breaks onto a second line when it is wider than the button, as
// the captions of this frame need at the console's font.
class WrappingOption : public QRadioButton {
public:
    WrappingOption(const QString& caption, QWidget* parent) : QRadioButton(caption, parent) {}

protected:
    void paintEvent(QPaintEvent*) override
    {
        QStylePainter painter(this);
        QStyleOptionButton option;
        initStyleOption(&option);
        const QString caption = option.text;
        option.text.clear();
        painter.drawControl(QStyle::CE_RadioButton, option);
        option.text = caption;
        const QRect textArea =
            style()->subElementRect(QStyle::SE_RadioButtonContents, &option, this);
        painter.drawItemText(textArea, Qt::AlignVCenter | Qt::AlignLeft | Qt::TextWordWrap,
                             palette(), isEnabled(), caption, QPalette::WindowText);
    }
};

ConsoleWindow::Layout dedicatedLayout()
{
    ConsoleWindow::Layout layout;
    layout.caption = QStringLiteral("Dedicate");
    layout.clientWidth = 7380;
    layout.clientHeight = 7830;
    layout.label3 = {120, 0, 870, 180};
    layout.send = {120, 240, 5775, 855};
    layout.label4 = {120, 1320, 1110, 180};
    layout.recv = {120, 1560, 5775, 855};
    layout.label5 = {120, 2640, 585, 180};
    layout.sendButton = {6120, 240, 1215, 495};
    layout.frame3 = {6120, 840, 1215, 1215};
    layout.status = {6120, 2160, 1215, 375};
    layout.clear = {6120, 4560, 1215, 495};
    layout.preScreen = {6120, 5160, 1215, 495};
    layout.end = {6120, 5760, 1215, 495};
    layout.messages = {6120, 6360, 1215, 375};
    layout.saveAsPlan = {6120, 6840, 1215, 375};
    layout.plans = {6120, 7320, 1215, 375};
    layout.historyTop = 2880;
    layout.historyDataWidth = 5175;
    return layout;
}

} // namespace

DedicatedWindow::DedicatedWindow(ProgramState& state, SessionLog* log, QWidget* parent)
    : ConsoleWindow(ConsoleKind::Dedicated, QStringLiteral("38400,n,8,1"), dedicatedLayout(), state,
                    log, parent)
{
    setObjectName(QStringLiteral("Form3"));

    Frame4 = new QGroupBox(QStringLiteral("BCC Check"), this);
    Frame4->setObjectName(QStringLiteral("Frame4"));
    placeWidget(Frame4, 6120, 2760, 1215, 1575);
    BCC_NO = new WrappingOption(QStringLiteral("BCC None"), Frame4);
    BCC_NO->setObjectName(QStringLiteral("BCC_NO"));
    BCC_NO->setChecked(true);
    placeWidget(BCC_NO, 120, 360, 855, 375);
    BCC_YES = new WrappingOption(QStringLiteral("BCC Use"), Frame4);
    BCC_YES->setObjectName(QStringLiteral("BCC_YES"));
    placeWidget(BCC_YES, 120, 960, 975, 375);
    // Tab order follows the screen, top to bottom, rather than the order of creation.
    setTabOrder(응답, BCC_NO);
    setTabOrder(BCC_NO, BCC_YES);
    setTabOrder(BCC_YES, 클리어);
}

void DedicatedWindow::sendStarting()
{
    state().BccFlag = BCC_YES->isChecked();
}

ConsoleRequest DedicatedWindow::request(const QByteArray& message) const
{
    return {.kind = ConsoleKind::Dedicated, .message = message, .withCheck = BCC_YES->isChecked()};
}

void DedicatedWindow::showOptions(const ConsoleRequest& saved)
{
    (saved.withCheck ? BCC_YES : BCC_NO)->setChecked(true);
}
