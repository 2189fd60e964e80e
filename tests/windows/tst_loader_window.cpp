// The Loader console end to end: typed text and clicks on the window, a simulated device on a
// pseudo-terminal as port 1 (and another as port 2), and what crossed the line compared byte for
// byte. The common controls on their own are covered by the console window tests.

#include "ConsoleHarness.h"
#include "PortMapOverride.h"
#include "PtyPair.h"
#include "RecordingServices.h"
#include "device/SimulatedDevice.h"
#include "protocols/ProgramState.h"
#include "serial/PortMap.h"
#include "windows/LoaderWindow.h"

#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <termios.h>

namespace {

// A Loader console as the user sees it, and the controls a running transaction locks.
struct Console : ShownConsole<LoaderWindow> {
    using ShownConsole::ShownConsole;
    QList<QWidget*> lockedWhileBusy() const { return {sendButton, clear, hexa, ascii}; }
};

} // namespace

class TestLoaderWindow : public QObject {
    Q_OBJECT

private slots:
    void init() { m_fixture = std::make_unique<ConsoleFixture>(); }
    void cleanup() { m_fixture.reset(); }

    void sendsTheFrameAndShowsTheAnswer_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("frame");
        QTest::newRow("AB") << "AB" << hex("024142383303");
        QTest::newRow("ABC") << "ABC" << hex("02414243433603");
        QTest::newRow("empty") << "" << hex("02303003");
    }
    void sendsTheFrameAndShowsTheAnswer()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, frame);
        Console c;
        c.type(text);
        c.clickSend();
        QTRY_VERIFY(!c.busy());

        QCOMPARE(m_fixture->port1.received(), frame);
        QCOMPARE(c.window->SendFrame(), frame);
        // The device checks the digits and answers ACK EOT; the loop ends at the EOT.
        QCOMPARE(c.window->RecvData(), hex("0604"));
        QCOMPARE(c.recv->toPlainText(), QStringLiteral("\u2406\u2404"));
        QCOMPARE(c.status->text(), QStringLiteral("ACK"));
        QCOMPARE(c.send->toPlainText(), text);
        QVERIFY(!c.window->MSComm1().portOpen());
        QVERIFY(m_fixture->services.boxes().isEmpty());
    }

    void classifiesTheReplyByItsFirstByte_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QByteArray>("collected");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("word");
        QTest::newRow("NAK") << hex("1504") << hex("1504") << "\u2415\u2404"
                             << "NAK";
        QTest::newRow("STX first") << hex("020604") << hex("020604") << "\u2402\u2406\u2404"
                                   << "Error";
        QTest::newRow("EOT in the middle ends the reply")
            << hex("0641044243") << hex("064104") << "\u2406A\u2404"
            << "ACK";
    }
    void classifiesTheReplyByItsFirstByte()
    {
        QFETCH(QByteArray, reply);
        QFETCH(QByteArray, collected);
        QFETCH(QString, shown);
        QFETCH(QString, word);
        m_fixture->port1.setBehaviour({SimulatedDevice::Mode::Bytes, reply, 0});
        Console c;
        c.type(QStringLiteral("AB"));
        c.clickSend();
        QTRY_VERIFY(!c.busy());
        QCOMPARE(c.window->RecvData(), collected);
        QCOMPARE(c.recv->toPlainText(), shown);
        QCOMPARE(c.status->text(), word);
        QCOMPARE(c.window->historyBytes(1), collected);
    }

    void silentDeviceGivesNonResponseAndAnEmptyReplyRow()
    {
        m_fixture->port1.setBehaviour({SimulatedDevice::Mode::Silent, {}, 0});
        Console c;
        c.type(QStringLiteral("AB"));
        c.clickSend();
        QTRY_VERIFY(!c.busy());
        QCOMPARE(c.window->transaction().polls(), 501);
        QVERIFY(c.recv->toPlainText().isEmpty());
        QCOMPARE(c.status->text(), QStringLiteral("Non Response"));
        QCOMPARE(c.history[0]->text(), QStringLiteral("\u2402AB83\u2403"));
        QCOMPARE(c.history[1]->text(), QStringLiteral("Send1:"));
        QVERIFY(c.history[2]->text().isEmpty());
        QCOMPARE(c.history[3]->text(), QStringLiteral("Recv1:"));
        QVERIFY(!c.window->MSComm1().portOpen());
    }

    void historyRowsOfTwoSends()
    {
        Console c;
        c.type(QStringLiteral("AB"));
        c.clickSend();
        QTRY_VERIFY(!c.busy());
        c.send->clear();
        c.type(QStringLiteral("ABC"));
        c.clickSend();
        QTRY_VERIFY(!c.busy());

        QCOMPARE(c.history[0]->text(), QStringLiteral("\u2402AB83\u2403"));
        QCOMPARE(textColour(c.history[0]), QColor(0, 0, 255));
        QCOMPARE(c.history[1]->text(), QStringLiteral("Send1:"));
        QCOMPARE(c.history[2]->text(), QStringLiteral("\u2406\u2404"));
        QCOMPARE(textColour(c.history[2]), QColor(255, 0, 0));
        QCOMPARE(c.history[3]->text(), QStringLiteral("Recv1:"));
        QCOMPARE(c.history[4]->text(), QStringLiteral("\u2402ABCC6\u2403"));
        QCOMPARE(textColour(c.history[4]), QColor(0, 0, 255));
        QCOMPARE(c.history[5]->text(), QStringLiteral("Send2:"));
        QCOMPARE(c.history[6]->text(), QStringLiteral("\u2406\u2404"));
        QCOMPARE(textColour(c.history[6]), QColor(255, 0, 0));
        QCOMPARE(c.history[7]->text(), QStringLiteral("Recv2:"));
        QVERIFY(c.history[8]->text().isEmpty());
    }

    void ignoresThePortAndRateOfTheSettingsWindow()
    {
        // Port 1 played by hand, so the line the program set can be read from the far end.
        PtyPair line;
        termios slow{};
        QVERIFY(::tcgetattr(line.deviceHandle(), &slow) == 0);
        ::cfsetspeed(&slow, B9600);
        QVERIFY(::tcsetattr(line.deviceHandle(), TCSANOW, &slow) == 0);
        const PortMapOverride map(line.devicePath());
        program().PortNo = QStringLiteral("2");
        program().BaudRate = 9600;
        Console c;
        c.type(QStringLiteral("AB"));
        c.clickSend();

        QByteArray frame;
        QTRY_VERIFY((frame += line.read(6 - frame.size(), 0)).size() == 6);
        QCOMPARE(frame, hex("024142383303"));
        QVERIFY(c.window->MSComm1().portOpen());
        QCOMPARE(line.lineState().summary(), QStringLiteral("8N1 at 38400"));
        QCOMPARE(c.window->MSComm1().settings(), QStringLiteral("38400,n,8,1"));
        QCOMPARE(c.window->MSComm1().commPort(), 1);
        line.write(hex("0604"));
        QTRY_VERIFY(!c.busy());
        QCOMPARE(c.status->text(), QStringLiteral("ACK"));
        QVERIFY(m_fixture->port2.received().isEmpty());
        QVERIFY(m_fixture->services.boxes().isEmpty());
    }

    void asciiModeSendsTheCharactersAndShowsDigits()
    {
        Console c;
        QTest::mouseClick(c.ascii, Qt::LeftButton);
        QVERIFY(c.ascii->isChecked());
        c.type(QStringLiteral("4142"));
        c.clickSend();
        QTRY_VERIFY(!c.busy());

        QCOMPARE(m_fixture->port1.received(), hex("024142383303"));
        QCOMPARE(c.send->toPlainText(), QStringLiteral("4142"));
        QCOMPARE(c.recv->toPlainText(), QStringLiteral("0604"));
        QCOMPARE(c.history[0]->text(), QStringLiteral("024142383303"));
        QCOMPARE(c.history[2]->text(), QStringLiteral("0604"));
        QCOMPARE(c.history[1]->text(), QStringLiteral("Send1:"));
        QCOMPARE(c.status->text(), QStringLiteral("ACK"));
        QVERIFY(c.ascii->isChecked());
        QVERIFY(c.ascii->isEnabled());

        // The bytes held, not the digits shown, come back as characters.
        QTest::mouseClick(c.hexa, Qt::LeftButton);
        QCOMPARE(c.send->toPlainText(), QStringLiteral("AB"));
        QCOMPARE(c.recv->toPlainText(), QStringLiteral("\u2406\u2404"));
        QCOMPARE(c.history[0]->text(), QStringLiteral("\u2402AB83\u2403"));
    }

    void enterSendsOnceWhileATransactionRuns()
    {
        // The answer comes late enough to press keys and buttons while the loop waits for it.
        m_fixture->port1.setBehaviour({SimulatedDevice::Mode::Protocol, {}, 100});
        Console c;
        QVERIFY(QTest::qWaitForWindowActive(c.window));
        c.type(QStringLiteral("AB"));
        QTest::keyClick(c.send, Qt::Key_Return);
        QCOMPARE(c.send->toPlainText(), QStringLiteral("AB\n"));
        QVERIFY(c.busy());
        QVERIFY(c.status->text().isEmpty()); // no word until the reply is in
        for (QWidget* control : c.lockedWhileBusy())
            QVERIFY2(!control->isEnabled(), qPrintable(control->objectName()));
        QTRY_COMPARE(m_fixture->port1.received(), hex("024142383303"));

        QTest::keyClick(c.send, Qt::Key_Return);
        QTest::mouseClick(c.sendButton, Qt::LeftButton);
        QTest::mouseClick(c.ascii, Qt::LeftButton);
        QTest::mouseClick(c.clear, Qt::LeftButton);
        QVERIFY(c.busy());
        QVERIFY(c.hexa->isChecked());
        QTRY_VERIFY(!c.busy());

        QCOMPARE(m_fixture->port1.frames(), QList<QByteArray>{hex("024142383303")});
        QCOMPARE(c.status->text(), QStringLiteral("ACK"));
        QCOMPARE(c.send->toPlainText(), QStringLiteral("AB\n\n"));
        QCOMPARE(c.history[1]->text(), QStringLiteral("Send1:"));
        QVERIFY(c.history[5]->text().isEmpty());
        for (QWidget* control : c.lockedWhileBusy())
            QVERIFY2(control->isEnabled(), qPrintable(control->objectName()));
    }

    // Disabling the clicked Send must not hand the focus on to the status box.
    void focusStaysInTheSendBoxWhileATransactionRuns()
    {
        m_fixture->port1.setBehaviour({SimulatedDevice::Mode::Silent, {}, 0});
        Console c;
        QVERIFY(QTest::qWaitForWindowActive(c.window));
        c.type(QStringLiteral("AB"));
        c.clickSend();
        QVERIFY(c.busy());
        QCOMPARE(QApplication::focusWidget(), c.send);
        QTRY_VERIFY_WITH_TIMEOUT(!c.busy(), 5000);
        QCOMPARE(QApplication::focusWidget(), c.send);
    }

    void preScreenEndsTheTransactionAndFreesThePort()
    {
        m_fixture->port1.setBehaviour({SimulatedDevice::Mode::Silent, {}, 0});
        m_fixture->services.registerWindow(WindowId::Settings, [] {
            auto* settings = new QWidget;
            settings->setObjectName(QStringLiteral("Form1"));
            return settings;
        });
        m_fixture->services.registerWindow(WindowId::Loader,
                                           [] { return new LoaderWindow(program()); });
        QPointer<ConsoleWindow> first =
            static_cast<ConsoleWindow*>(m_fixture->services.show(WindowId::Loader));
        Console c(first);
        c.type(QStringLiteral("AB"));
        c.clickSend();
        QTRY_COMPARE(m_fixture->port1.received(), hex("024142383303"));
        QVERIFY(first->MSComm1().portOpen());

        QTest::mouseClick(c.button("Command1"), Qt::LeftButton);

        QVERIFY(first); // discarded by the event loop, not yet
        QVERIFY(!first->MSComm1().portOpen());
        QVERIFY(!first->transactionRunning());
        QVERIFY(m_fixture->services.window(WindowId::Settings));
        QVERIFY(m_fixture->services.window(WindowId::Settings)->isVisible());
        QTRY_VERIFY(!first);

        // A fresh console finds the device free and its reply not yet spoken for.
        m_fixture->port1.setBehaviour({SimulatedDevice::Mode::Protocol, {}, 0});
        m_fixture->port1.clearReceived();
        Console fresh(static_cast<ConsoleWindow*>(m_fixture->services.show(WindowId::Loader)));
        fresh.type(QStringLiteral("AB"));
        fresh.clickSend();
        QTRY_VERIFY(!fresh.busy());
        QCOMPARE(fresh.status->text(), QStringLiteral("ACK"));
        QCOMPARE(m_fixture->port1.received(), hex("024142383303"));
        QVERIFY(m_fixture->services.boxes().isEmpty());
        QCOMPARE(m_fixture->services.endProgramCalls(), 0);
    }

    void endEndsTheTransactionAndClosesThePort()
    {
        m_fixture->port1.setBehaviour({SimulatedDevice::Mode::Silent, {}, 0});
        Console c;
        c.type(QStringLiteral("AB"));
        c.clickSend();
        QTRY_COMPARE(m_fixture->port1.received(), hex("024142383303"));
        QVERIFY(c.window->MSComm1().portOpen());

        QTest::mouseClick(c.button("끝내기"), Qt::LeftButton);

        QCOMPARE(m_fixture->services.endProgramCalls(), 1);
        QVERIFY(!c.window->MSComm1().portOpen());
        QVERIFY(!c.busy());
        QCOMPARE(c.window->transaction().state(), Transaction::State::Idle);
        QVERIFY(c.history[1]->text().isEmpty());
        QVERIFY(m_fixture->services.boxes().isEmpty());
    }

    void missingPortReportsOnceAndTheNextSendWorks()
    {
        // Port 1 is a name that does not exist yet; later it appears, as a plugged-in adapter.
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath(QStringLiteral("loader-port1"));
        const PortMapOverride map(path);
        Console c;
        QVERIFY(QTest::qWaitForWindowActive(c.window));
        c.type(QStringLiteral("AB"));
        c.clear->setFocus();
        c.clickSend();

        QCOMPARE(m_fixture->services.boxes().size(), 1);
        QCOMPARE(m_fixture->services.boxes()[0].text, QStringLiteral("Port Disorder"));
        QCOMPARE(m_fixture->services.boxes()[0].title, QStringLiteral("Error"));
        QCOMPARE(m_fixture->services.boxes()[0].parent.data(), c.window);
        // Under the fixed text, the reason names the device and what is wrong with it.
        QVERIFY(m_fixture->services.boxes()[0].detail.contains(path));
        QVERIFY(m_fixture->services.boxes()[0].detail.contains(QStringLiteral("No such file")));
        QVERIFY(!c.busy());
        QVERIFY(!c.window->MSComm1().portOpen());
        QCOMPARE(QApplication::focusWidget(), c.send);
        QVERIFY(c.sendButton->isEnabled());
        QCOMPARE(c.status->text(), QStringLiteral("Status"));
        QVERIFY(c.history[1]->text().isEmpty());
        QCOMPARE(c.send->toPlainText(), QStringLiteral("AB"));

        QVERIFY(QFile::link(m_fixture->port1.devicePath(), path));
        c.clickSend();
        QTRY_VERIFY(!c.busy());
        QCOMPARE(c.status->text(), QStringLiteral("ACK"));
        QCOMPARE(m_fixture->port1.received(), hex("024142383303"));
        QCOMPARE(m_fixture->services.boxes().size(), 1);
    }

    void vanishingDeviceEndsTheTransactionWithOneBox()
    {
        m_fixture->port1.setBehaviour({SimulatedDevice::Mode::Silent, {}, 0});
        Console c;
        c.type(QStringLiteral("AB"));
        c.clickSend();
        QTRY_COMPARE(m_fixture->port1.received(), hex("024142383303"));
        m_fixture->port1.send(hex("0641"));
        QTRY_COMPARE(c.window->transaction().reply(), hex("0641"));
        bool openWhileBoxShown = true;
        m_fixture->services.setWhileBoxShown([&](const RecordingServices::Box&) {
            openWhileBoxShown = c.window->MSComm1().portOpen();
        });

        m_fixture->port1.vanish();
        QTRY_VERIFY(!c.busy());

        QCOMPARE(m_fixture->services.boxes().size(), 1);
        QCOMPARE(m_fixture->services.boxes()[0].text, QStringLiteral("Port Disorder"));
        QCOMPARE(m_fixture->services.boxes()[0].title, QStringLiteral("Error"));
        QVERIFY(m_fixture->services.boxes()[0].detail.contains(QStringLiteral("went away")));
        QVERIFY(!openWhileBoxShown);
        QVERIFY(!c.window->MSComm1().portOpen());
        QVERIFY(c.sendButton->isEnabled());
        QVERIFY(c.history[1]->text().isEmpty());

        // Qt repeats the read error of a vanished device without end: a whole Send on another
        // device afterwards runs its course with no second box.
        PortMap::setDevice(1, m_fixture->port2.devicePath());
        c.clickSend();
        QTRY_VERIFY(!c.busy());
        QCOMPARE(c.status->text(), QStringLiteral("ACK"));
        QCOMPARE(m_fixture->services.boxes().size(), 1);
    }

    void formatSwitchKeepsEveryByteOfTheReply()
    {
        // A lone lead byte, a Korean character, CR LF: none of them may change on the way.
        const QByteArray reply = hex("0680C7D10D0A04");
        m_fixture->port1.setBehaviour({SimulatedDevice::Mode::Bytes, reply, 0});
        Console c;
        c.type(QStringLiteral("AB"));
        c.clickSend();
        QTRY_VERIFY(!c.busy());
        QVERIFY(c.recv->isReadOnly());
        QVERIFY(c.history[2]->isReadOnly());
        const QString characters = c.recv->toPlainText();
        const QString historyCharacters = c.history[2]->text();
        QCOMPARE(historyCharacters, QStringLiteral("\u2406\u2880한\u240D\u240A\u2404"));

        QTest::mouseClick(c.ascii, Qt::LeftButton);
        QCOMPARE(c.recv->toPlainText(), QStringLiteral("0680C7D10D0A04"));
        QCOMPARE(c.history[2]->text(), QStringLiteral("0680C7D10D0A04"));
        QTest::mouseClick(c.hexa, Qt::LeftButton);
        QCOMPARE(c.recv->toPlainText(), characters);
        QCOMPARE(c.history[2]->text(), historyCharacters);
        QCOMPARE(c.window->RecvData(), reply);
        QCOMPARE(c.window->historyBytes(1), reply);
    }

    void longReplyWithoutEotIsCutAt501Bytes()
    {
        QByteArray reply(1000, 'x');
        m_fixture->port1.setBehaviour({SimulatedDevice::Mode::Bytes, reply, 0});
        Console c;
        c.window->transaction().setPollInterval(kPatientPoll);
        c.type(QStringLiteral("AB"));
        c.clickSend();
        QTRY_VERIFY(!c.busy());
        QCOMPARE(c.window->RecvData(), QByteArray(501, 'x'));
        QCOMPARE(c.window->historyBytes(1), QByteArray(501, 'x'));
        QCOMPARE(c.status->text(), QStringLiteral("Error"));
    }

private:
    std::unique_ptr<ConsoleFixture> m_fixture;
};

QTEST_MAIN(TestLoaderWindow)
#include "tst_loader_window.moc"
