#include "windows/ConsoleWindow.h"

#include "protocols/LineSettings.h"
#include "windows/MessagesWindow.h"
#include "windows/SaveAsPlanDialog.h"
#include "windows/TextBox.h"
#include "windows/WidgetPlacement.h"

#include <QCloseEvent>
#include <QEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QTextCursor>

const QColor ConsoleWindow::kBlue{0, 0, 255};
const QColor ConsoleWindow::kRed{255, 0, 0};

namespace {

void place(QWidget* widget, const ConsoleWindow::Rect& rect)
{
    placeWidget(widget, rect.left, rect.top, rect.width, rect.height);
}

} // namespace

ConsoleWindow::ConsoleWindow(ConsoleKind kind, const QString& initialSettings, const Layout& layout,
                             ProgramState& state, SessionLog* log, QWidget* parent)
    : QWidget(parent), m_kind(kind)
{
    setWindowTitle(layout.caption);
    // The titles and buttons use the system's dialog face; the boxes set their own below.
    setFont(gulim(9, false));
    setFixedSize(twipsSize(layout.clientWidth, layout.clientHeight));

    Label3 = new QLabel(QStringLiteral("Send Data"), this);
    Label3->setObjectName(QStringLiteral("Label3"));
    place(Label3, layout.label3);

    송신 = new TextBox(this);
    송신->setObjectName(QStringLiteral("송신"));
    송신->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    송신->setTabChangesFocus(true);
    송신->setToolTip(QStringLiteral("최대120Byte"));
    송신->setFont(layout.sendFont);
    setTextColour(송신, kBlue);
    송신->installEventFilter(this);
    place(송신, layout.send);

    Label4 = new QLabel(QStringLiteral("Recieve Data"), this);
    Label4->setObjectName(QStringLiteral("Label4"));
    place(Label4, layout.label4);

    수신 = new TextBox(this);
    수신->setObjectName(QStringLiteral("수신"));
    수신->setReadOnly(true);
    수신->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    수신->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    수신->setTabChangesFocus(true);
    수신->setFont(layout.sendFont);
    setTextColour(수신, kRed);
    place(수신, layout.recv);

    Label5 = new QLabel(QStringLiteral("History"), this);
    Label5->setObjectName(QStringLiteral("Label5"));
    place(Label5, layout.label5);

    m_history = std::make_unique<HistoryGrid>(this, layout.historyTop, layout.historyDataWidth,
                                              layout.historyFont, kBlue, kRed);

    전송 = new QPushButton(QStringLiteral("Send"), this);
    전송->setObjectName(QStringLiteral("전송"));
    place(전송, layout.sendButton);

    Frame3 = new QGroupBox(QStringLiteral("Format"), this);
    Frame3->setObjectName(QStringLiteral("Frame3"));
    place(Frame3, layout.frame3);
    Hexa = new QRadioButton(QStringLiteral("Hex"), Frame3);
    Hexa->setObjectName(QStringLiteral("Hexa"));
    Hexa->setChecked(true);
    placeWidget(Hexa, 240, 240, 855, 375);
    ASCii = new QRadioButton(QStringLiteral("ASCii"), Frame3);
    ASCii->setObjectName(QStringLiteral("ASCii"));
    placeWidget(ASCii, 240, 720, 855, 375);

    응답 = new QLineEdit(QStringLiteral("Status"), this);
    응답->setObjectName(QStringLiteral("응답"));
    응답->setReadOnly(true);
    응답->setAlignment(Qt::AlignCenter);
    응답->setFont(layout.statusFont);
    setTextColour(응답, kBlue);
    place(응답, layout.status);

    클리어 = new QPushButton(QStringLiteral("Clear"), this);
    클리어->setObjectName(QStringLiteral("클리어"));
    place(클리어, layout.clear);

    m_preScreen = new QPushButton(QStringLiteral("Pre_Screen"), this);
    m_preScreen->setObjectName(layout.preScreenName);
    place(m_preScreen, layout.preScreen);

    끝내기 = new QPushButton(QStringLiteral("END"), this);
    끝내기->setObjectName(QStringLiteral("끝내기"));
    place(끝내기, layout.end);
    addWorkbench(layout);

    m_serial = new SerialControl(initialSettings, this);
    m_serial->setObjectName(QStringLiteral("MSComm1"));
    m_runner = new ExchangeRunner(*m_serial, state, this);
    m_runner->setLog(log);
    m_runner->setWarning([this](const QString& warning) {
        services().messageBox(this, warning, QStringLiteral("Error"));
    });

    WindowServices::pressOnEnter(this);

    connect(Hexa, &QRadioButton::toggled, this, [this](bool selected) {
        if (selected)
            Hexa_Click();
    });
    connect(ASCii, &QRadioButton::toggled, this, [this](bool selected) {
        if (selected)
            ASCii_Click();
    });
    connect(전송, &QPushButton::clicked, this, &ConsoleWindow::전송_Click);
    connect(클리어, &QPushButton::clicked, this, &ConsoleWindow::클리어_Click);
    connect(끝내기, &QPushButton::clicked, this, &ConsoleWindow::endClick);
    connect(m_preScreen, &QPushButton::clicked, this, &ConsoleWindow::preScreenClick);
    connect(m_runner, &ExchangeRunner::finished, this, &ConsoleWindow::transactionFinished);
}

QFont ConsoleWindow::gulim(qreal pointSize, bool bold)
{
    QFont font(QStringLiteral("굴림"));
    font.setPointSizeF(pointSize);
    font.setBold(bold);
    return font;
}

ConsoleWindow::~ConsoleWindow()
{
    // The runner still refers to the serial control, which as a child would otherwise go first.
    delete m_runner;
}

void ConsoleWindow::ASCii_Click()
{
    convertAll(codec::View::HexDigits);
}

void ConsoleWindow::Hexa_Click()
{
    convertAll(codec::View::Characters);
}

void ConsoleWindow::convertAll(codec::View to)
{
    if (to == m_view)
        return;
    // The option of the view the texts are in. Its handler, run by the selection, finds that
    // view already there and does nothing.
    const auto selectViewOption = [this] {
        (m_view == codec::View::Characters ? Hexa : ASCii)->setChecked(true);
    };
    QString sendText;
    try {
        sendText = codec::render(codec::parse(송신->toPlainText(), m_view), to,
                                 codec::LineBreaks::AsLineBreak);
    } catch (const codec::CodecError& error) {
        // The option already moved; the texts still say otherwise, so put it back.
        selectViewOption();
        services().messageBox(this, error.message(), QStringLiteral("Format"));
        return;
    }
    송신->setPlainText(sendText);
    송신->moveCursor(QTextCursor::End);
    m_view = to;
    selectViewOption();
    renderReadOnlyBoxes();
    if (m_messages)
        m_messages->refresh();
}

void ConsoleWindow::renderReadOnlyBoxes()
{
    수신->setPlainText(codec::render(m_recvBytes, m_view, codec::LineBreaks::AsLineBreak));
    m_history->render(m_view);
}

void ConsoleWindow::클리어_Click()
{
    m_history->clear();
    m_session.clear();
    m_recvBytes.clear();
    수신->clear();
    송신->clear();
    응답->clear();
    services().focus(송신);
}

void ConsoleWindow::historyUpdate(const QByteArray& sendFrame, const QByteArray& recvData)
{
    m_history->update(sendFrame, recvData);
}

codec::View ConsoleWindow::view() const
{
    return m_view;
}

bool ConsoleWindow::transactionRunning() const
{
    return m_busy;
}

QByteArray ConsoleWindow::historyBytes(int row) const
{
    return m_history->bytes(row);
}

void ConsoleWindow::전송_Click()
{
    if (m_busy)
        return;
    sendStarting();

    QByteArray message;
    try {
        message = codec::parse(송신->toPlainText(), m_view);
    } catch (const codec::CodecError& error) {
        services().messageBox(this, error.message(), QStringLiteral("Format"));
        return;
    }
    if (m_view == codec::View::HexDigits) {
        // The digits as they will read back after the reply, so that a line break typed by
        // Enter lands after them.
        const QString normalised = codec::AscConvert(message);
        if (normalised != 송신->toPlainText()) {
            송신->setPlainText(normalised);
            송신->moveCursor(QTextCursor::End);
        }
    }

    const ConsoleRequest sendRequest = request(message);
    m_sending = {sendRequest, commPortFromPortNo(state().PortNo).value_or(1), {}};
    // Focus stays in 송신 while the transaction runs: disabling a focused Send would hand it on.
    services().focus(송신);
    setBusy(true);

    bool begun = false;
    try {
        begun = m_runner->begin(sendRequest);
    } catch (const SelectionError& error) {
        // Nothing went out: the selection is said in a box titled as the window.
        setBusy(false);
        services().messageBox(this, error.message(), windowTitle());
        services().focus(송신);
        return;
    }
    m_sendFrame = m_runner->frame();
    if (!begun) {
        m_sending.record = m_runner->record();
        m_session << m_sending;
        reportLogFailure();
        reportPortFailure(m_runner->record());
        wrapperClosing();
        return;
    }

    m_recvData.clear();
    m_recvBytes.clear();
    수신->clear();
    응답->clear();
    m_runner->run();
}

void ConsoleWindow::transactionFinished()
{
    const ExchangeRecord& record = m_runner->record();
    m_sending.record = record;
    m_session << m_sending;
    reportLogFailure();
    if (record.outcome == ExchangeRecord::Outcome::PortFailure) {
        reportPortFailure(record);
    } else {
        m_recvData = record.reply;
        m_recvBytes = m_recvData;
        수신->setPlainText(codec::render(m_recvBytes, m_view, codec::LineBreaks::AsLineBreak));
        응답->setText(record.word());
        m_history->update(m_sendFrame, m_recvData, record.timingNote());
    }
    wrapperClosing();
}

void ConsoleWindow::reportLogFailure()
{
    if (!m_runner->logError().isEmpty())
        services().messageBox(this, QStringLiteral("Log Disorder"), QStringLiteral("Error"),
                              m_runner->logError());
}

void ConsoleWindow::reportPortFailure(const ExchangeRecord& record)
{
    services().messageBox(this, record.word(), QStringLiteral("Error"), record.error);
}

void ConsoleWindow::wrapperClosing()
{
    setBusy(false);
    services().focus(송신);
}

void ConsoleWindow::setBusy(bool busy)
{
    m_busy = busy;
    for (QWidget* control : std::initializer_list<QWidget*>{전송, 클리어, Hexa, ASCii})
        control->setEnabled(!busy);
}

void ConsoleWindow::endTransaction(const QString& reason)
{
    if (!m_busy)
        return;
    if (m_runner->abort(reason))
        reportLogFailure();
    setBusy(false);
}

void ConsoleWindow::preScreenClick()
{
    endTransaction(QStringLiteral("ended by Pre_Screen"));
    services().show(WindowId::Settings);
    services().close(this);
}

void ConsoleWindow::endClick()
{
    endTransaction(QStringLiteral("ended by END"));
    services().endProgram();
}

void ConsoleWindow::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        services().focus(송신);
    QWidget::changeEvent(event);
}

void ConsoleWindow::closeEvent(QCloseEvent* event)
{
    endTransaction(QStringLiteral("ended by closing the window"));
    event->accept();
}

bool ConsoleWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == 송신 && event->type() == QEvent::KeyPress) {
        // Only a plain Enter, the main one or the keypad's, types the carriage return that sends;
        // with Ctrl, Shift or Alt it is an ordinary key of the box.
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
        if (enter && (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier)
            전송_Click();
    }
    // The key is not consumed: the carriage return still breaks the line in 송신.
    return QWidget::eventFilter(watched, event);
}

std::optional<ConsoleRequest> ConsoleWindow::typedRequest()
{
    try {
        return request(codec::parse(송신->toPlainText(), m_view));
    } catch (const codec::CodecError& error) {
        services().messageBox(this, error.message(), QStringLiteral("Format"));
        return std::nullopt;
    }
}

void ConsoleWindow::sendRequest(const ConsoleRequest& saved)
{
    if (m_busy)
        return;
    송신->setPlainText(codec::render(saved.message, m_view, codec::LineBreaks::AsLineBreak));
    송신->moveCursor(QTextCursor::End);
    showOptions(saved);
    전송_Click();
}

void ConsoleWindow::addWorkbench(const Layout& layout)
{
    struct Button {
        const char* name;
        QString caption;
        QKeySequence key;
        QString tip;
        Rect rect;
        void (ConsoleWindow::*action)();
    };
    const Button buttons[] = {
        {"messagesButton", QStringLiteral("Messages\u2026"), QKeySequence(Qt::CTRL | Qt::Key_M),
         QStringLiteral("The console's saved messages: keep, edit and send them (Ctrl+M)"),
         layout.messages, &ConsoleWindow::openMessages},
        {"saveAsPlanButton", QStringLiteral("Save as plan\u2026"),
         QKeySequence(Qt::CTRL | Qt::Key_S),
         QStringLiteral("Save the exchanges since the window opened or Clear as a test plan "
                        "for rs232c run (Ctrl+S)"),
         layout.saveAsPlan, &ConsoleWindow::saveAsPlan},
        {"plansButton", QStringLiteral("Plans\u2026"), QKeySequence(Qt::CTRL | Qt::Key_L),
         QStringLiteral("Run a test plan and chart its latencies (Ctrl+L)"), layout.plans,
         &ConsoleWindow::openPlans},
    };
    for (const Button& button : buttons) {
        auto* made = new QPushButton(button.caption, this);
        made->setObjectName(QLatin1String(button.name));
        // Out of the tab chain, which keeps its order; the shortcut reaches it from the keyboard.
        made->setFocusPolicy(Qt::NoFocus);
        made->setToolTip(button.tip);
        made->setAccessibleName(QString(button.caption).remove(QChar(0x2026)));
        place(made, button.rect);
        connect(made, &QPushButton::clicked, this, button.action);
        connect(new QShortcut(button.key, this), &QShortcut::activated, this, button.action);
    }
    for (int number = 1; number <= 9; ++number) {
        connect(new QShortcut(QKeySequence(Qt::CTRL | (Qt::Key_0 + number)), this),
                &QShortcut::activated, this, [this, number] { messages()->send(number - 1); });
    }
}

MessagesWindow* ConsoleWindow::messages()
{
    if (!m_messages)
        m_messages = new MessagesWindow(this);
    return m_messages;
}

void ConsoleWindow::openMessages()
{
    MessagesWindow* window = messages();
    window->show();
    window->raise();
    window->activateWindow();
}

void ConsoleWindow::openPlans()
{
    services().show(WindowId::Plans);
}

void ConsoleWindow::saveAsPlan()
{
    if (planOfSession(m_session, {}).steps.isEmpty()) {
        services().messageBox(this,
                              QStringLiteral("There is no exchange to save: none has ended "
                                             "since the window opened or Clear."),
                              QStringLiteral("Save as plan"));
        return;
    }
    auto* dialog = new SaveAsPlanDialog(this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->open();
}
