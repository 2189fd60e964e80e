#pragma once
// The windows layer (src/windows): every widget of the desktop program, the console windows
// with their history grid and text boxes, the settings and Ports windows, and the window
// services. It translates between widgets and the layers below (protocols, engine, serial,
// codec) and holds no protocol of its own; only the desktop program's start-up uses it.
//
// The window all three consoles share: the send box 송신, the reply box 수신, the class box 응답,
// the history grid 송수신이력 (20 rows of a label box and a data box), the format options Hexa
// and ASCii, and the buttons Send (전송), Clear (클리어), END (끝내기) and Pre_Screen (전화면, on
// the Loader console Command1). A console adds its own controls and supplies, for Send, its
// request; the exchange runner makes the frame, runs the exchange and keeps its record, and the
// window shows what the record says.
//
// Bytes are the truth: 수신 and the history data boxes keep the bytes they show and are
// re-rendered on a format switch, so nothing received is ever lost or altered by the view.
// One transaction runs at a time: while it runs, Send starts nothing and Clear and the format
// options are disabled; Pre_Screen, END and closing the window end it and close the port first.
// Every transaction, failed ones too, goes to the session log the window is given, and so does one
// cut short by Pre_Screen, END or closing the window: its frame went out all the same, and it is
// logged as interrupted, "ended by END" say. The label boxes of the history tell the local time
// and the latency of their transactions in their tooltips.

#include "codec/Codec.h"
#include "engine/SessionLog.h"
#include "engine/Transaction.h"
#include "plans/SessionPlan.h"
#include "protocols/Consoles.h"
#include "protocols/ExchangeRecord.h"
#include "protocols/ExchangeRunner.h"
#include "protocols/ProgramState.h"
#include "serial/SerialControl.h"
#include "windows/HistoryGrid.h"
#include "windows/WindowServices.h"

#include <QByteArray>
#include <QColor>
#include <QFont>
#include <QList>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <memory>
#include <optional>

class QGroupBox;
class QLabel;
class MessagesWindow;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;

class ConsoleWindow : public QWidget {
public:
    struct Rect {
        int left, top, width, height; // twips
    };
    // The consoles' typeface ("굴림") at a size; a substitute stands in where the system lacks it.
    static QFont gulim(qreal pointSize, bool bold);

    struct Layout {
        QString caption;
        int clientWidth, clientHeight; // twips
        Rect label3, send, label4, recv, label5;
        Rect sendButton, frame3, status, clear, end, preScreen;
        // The workbench's buttons, in the free space of the right-hand column below the others.
        Rect messages, saveAsPlan, plans;
        int historyTop;       // top of row 0; each row 240 twips below the previous, 255 high
        int historyDataWidth; // data boxes stand at 720; the label boxes at 120, 615 wide
        QString preScreenName = QStringLiteral("전화면"); // Command1 on the Loader console
        QFont sendFont = gulim(12, true);                 // 송신 and 수신
        QFont statusFont = gulim(12.75, true);            // 응답
        QFont historyFont = gulim(8.25, false);           // the data boxes
    };

    static const QColor kBlue;
    static const QColor kRed;

    ~ConsoleWindow() override;

    // The handlers of the common controls.
    void ASCii_Click();
    void Hexa_Click();
    void 클리어_Click();
    void 전송_Click();
    void preScreenClick();
    void endClick();

    // Writes one transaction into the history grid: the page rules, labels, colours, appending.
    void historyUpdate(const QByteArray& sendFrame, const QByteArray& recvData);

    codec::View view() const;
    bool transactionRunning() const;
    QByteArray SendFrame() const { return m_sendFrame; }
    QByteArray RecvData() const { return m_recvData; }
    // The bytes a history data box (row 0 to 19) holds, whatever the view shows.
    QByteArray historyBytes(int row) const;
    SerialControl& MSComm1() { return *m_serial; }
    Transaction& transaction() { return m_runner->transaction(); }
    ConsoleKind kind() const { return m_kind; }

    // The request Send would make now: 송신 read in the view, with the console's options; none
    // when 송신 cannot be read (said in the box Send shows).
    std::optional<ConsoleRequest> typedRequest();
    // Puts a saved request's message into 송신 and its options into the console's controls, then
    // sends it as Send does. Does nothing while a transaction runs.
    void sendRequest(const ConsoleRequest& saved);
    // The exchanges since the window opened or Clear, as they ended.
    const QList<SessionExchange>& session() const { return m_session; }

protected:
    // initialSettings: what the console's serial control uses before any Settings assignment.
    // The exchanges run on the program-wide values of state and go to log (none: nullptr); both
    // outlive the window.
    ConsoleWindow(ConsoleKind kind, const QString& initialSettings, const Layout& layout,
                  ProgramState& state, SessionLog* log, QWidget* parent);

    // The console's first step of Send, before the texts are read (the Dedicated console's
    // BccFlag): it holds even when the send goes no further.
    virtual void sendStarting() {}
    // The console's part of Send: the request of the message bytes (송신 as characters) with
    // the console's own controls.
    virtual ConsoleRequest request(const QByteArray& message) const { return {m_kind, message}; }
    // Sets the console's own controls to the options of a request.
    virtual void showOptions(const ConsoleRequest&) {}

    ProgramState& state() const { return m_runner->state(); }
    WindowServices& services() const { return WindowServices::instance(); }
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

    QPlainTextEdit* 송신;
    QPlainTextEdit* 수신;
    QLineEdit* 응답;
    QGroupBox* Frame3;
    QRadioButton* Hexa;
    QRadioButton* ASCii;
    QPushButton* 전송;
    QPushButton* 클리어;
    QPushButton* 끝내기;
    QPushButton* m_preScreen;
    QLabel* Label3;
    QLabel* Label4;
    QLabel* Label5;

private:
    void convertAll(codec::View to);
    void renderReadOnlyBoxes();
    void transactionFinished();
    void setBusy(bool busy);
    void wrapperClosing();
    // The box of a port failure ("Port Disorder"), with its reason under it.
    void reportPortFailure(const ExchangeRecord& record);
    // The box of a record the session log could not take.
    void reportLogFailure();
    // Ends a running transaction, for the reason the log gives ("ended by END").
    void endTransaction(const QString& reason);
    // The workbench's buttons and shortcuts: Messages…, Save as plan… and Plans….
    void addWorkbench(const Layout& layout);
    // The console's Messages window, made (hidden) on first use.
    MessagesWindow* messages();
    void openMessages();
    void saveAsPlan();
    void openPlans();

    const ConsoleKind m_kind;
    SerialControl* m_serial;
    ExchangeRunner* m_runner;
    codec::View m_view = codec::View::Characters;
    QByteArray m_sendFrame;
    QByteArray m_recvData;
    QByteArray m_recvBytes; // what 수신 shows
    std::unique_ptr<HistoryGrid> m_history;
    bool m_busy = false;       // from a plan to the end of its transaction
    SessionExchange m_sending; // the exchange running, until its record is made
    QList<SessionExchange> m_session;
    QPointer<MessagesWindow> m_messages;
};
