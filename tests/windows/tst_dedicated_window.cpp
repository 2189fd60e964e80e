// The Dedicated console end to end: typed text and clicks on the window, simulated devices on
// pseudo-terminals as ports 1 and 2, and what crossed the line compared byte for byte.

#include "ConsoleHarness.h"
#include "RecordingServices.h"
#include "device/SimulatedDevice.h"
#include "protocols/ProgramState.h"
#include "windows/DedicatedWindow.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

#include <memory>

Q_DECLARE_METATYPE(SimulatedDevice::Behaviour)

namespace {

// A Dedicated console as the user sees it, with its choice of a check code.
struct Console : ShownConsole<DedicatedWindow> {
    QRadioButton* bccNo = child<QRadioButton>(window, QStringLiteral("BCC_NO"));
    QRadioButton* bccYes = child<QRadioButton>(window, QStringLiteral("BCC_YES"));
};

} // namespace

class TestDedicatedWindow : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_fixture = std::make_unique<ConsoleFixture>();
        program().PortNo = QStringLiteral("1");
        program().BaudRate = 19200;
    }
    void cleanup() { m_fixture.reset(); }

    // Only the frame matters here: closing the window ends the transaction once it is out.
    void sendsTheFrameByteForByte_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("withCheck");
        QTest::addColumn<QByteArray>("frame");
        QTest::newRow("ABC") << "ABC" << false << hex("0541424304");
        QTest::newRow("ABC, check") << "ABC" << true << hex("05414243044346");
        QTest::newRow("empty") << "" << false << hex("0504");
        QTest::newRow("empty, check") << "" << true << hex("050439");
    }
    void sendsTheFrameByteForByte()
    {
        QFETCH(QString, text);
        QFETCH(bool, withCheck);
        QFETCH(QByteArray, frame);
        Console c;
        if (withCheck)
            QTest::mouseClick(c.bccYes, Qt::LeftButton);
        c.type(text);
        c.clickSend();
        QVERIFY(c.busy());
        QCOMPARE(program().BccFlag, withCheck);
        QCOMPARE(c.window->SendFrame(), frame);
        QTRY_COMPARE(m_fixture->port1.received(), frame);

        c.window->close();
        QVERIFY(!c.busy());
        QVERIFY(!c.window->MSComm1().portOpen());
        QVERIFY(m_fixture->port2.received().isEmpty());
    }

    void checkChoiceDecidesTheExtraReads()
    {
        m_fixture->port1.setBehaviour({SimulatedDevice::Mode::Bytes, QByteArray(600, 'y'), 0});
        Console c;
        c.window->transaction().setPollInterval(kPatientPoll);
        c.type(QStringLiteral("ABC"));

        QTest::mouseClick(c.bccYes, Qt::LeftButton);
        c.clickSend();
        QVERIFY(program().BccFlag);
        QTRY_VERIFY(!c.busy());
        QCOMPARE(c.window->RecvData(), QByteArray(502, 'y'));

        QTest::mouseClick(c.bccNo, Qt::LeftButton);
        c.clickSend();
        QVERIFY(!program().BccFlag);
        QTRY_VERIFY(!c.busy());
        QCOMPARE(c.window->RecvData(), QByteArray(500, 'y'));
        QCOMPARE(c.window->transaction().polls(), 500);

        QCOMPARE(m_fixture->port1.frames(),
                 (QList<QByteArray>{hex("05414243044346"), hex("0541424304")}));
        QCOMPARE(c.status->text(), QStringLiteral("Error"));
        QVERIFY(m_fixture->services.boxes().isEmpty());
    }

    void classifiesTheReplyByItsFirstByte_data()
    {
        QTest::addColumn<SimulatedDevice::Behaviour>("device");
        QTest::addColumn<QByteArray>("collected");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("word");
        QTest::newRow("ACK and text")
            << SimulatedDevice::Behaviour{SimulatedDevice::Mode::Bytes, hex("0641424304"), 0}
            << hex("0641424304") << "\u2406ABC\u2404"
            << "ACK";
        QTest::newRow("STX first")
            << SimulatedDevice::Behaviour{SimulatedDevice::Mode::Bytes, hex("020641"), 0}
            << hex("020641") << "\u2402\u2406A"
            << "Error";
        QTest::newRow("silent") << SimulatedDevice::Behaviour{SimulatedDevice::Mode::Silent, {}, 0}
                                << QByteArray() << ""
                                << "None";
    }
    void classifiesTheReplyByItsFirstByte()
    {
        QFETCH(SimulatedDevice::Behaviour, device);
        QFETCH(QByteArray, collected);
        QFETCH(QString, shown);
        QFETCH(QString, word);
        m_fixture->port1.setBehaviour(device);
        Console c;
        c.type(QStringLiteral("ABC"));
        c.clickSend();
        QTRY_VERIFY(!c.busy());
        QCOMPARE(c.window->transaction().polls(), 500);
        QCOMPARE(c.window->RecvData(), collected);
        QCOMPARE(c.recv->toPlainText(), shown);
        QCOMPARE(c.status->text(), word);
        QCOMPARE(c.window->historyBytes(0), hex("0541424304"));
        QCOMPARE(c.window->historyBytes(1), collected);
        QVERIFY(!c.window->MSComm1().portOpen());
    }

    void portNumberChoosesTheDevice_data()
    {
        QTest::addColumn<QString>("portNo");
        QTest::addColumn<int>("port");
        QTest::newRow("1") << "1" << 1;
        QTest::newRow("2") << "2" << 2;
        QTest::newRow("3") << "3" << 2;
        QTest::newRow("9") << "9" << 2;
    }
    void portNumberChoosesTheDevice()
    {
        QFETCH(QString, portNo);
        QFETCH(int, port);
        program().PortNo = portNo;
        Console c;
        c.type(QStringLiteral("ABC"));
        c.clickSend();
        SimulatedDevice& chosen = port == 1 ? m_fixture->port1 : m_fixture->port2;
        SimulatedDevice& other = port == 1 ? m_fixture->port2 : m_fixture->port1;
        QTRY_COMPARE(chosen.received(), hex("0541424304"));
        QCOMPARE(c.window->MSComm1().commPort(), port);
        c.window->close();
        QVERIFY(other.received().isEmpty());
    }

    void portNumberThatIsNoNumberSendsNothing()
    {
        program().PortNo = QStringLiteral("x");
        Console c;
        c.type(QStringLiteral("ABC"));
        c.clickSend();
        QCOMPARE(m_fixture->services.boxes().size(), 1);
        QCOMPARE(m_fixture->services.boxes()[0].text, QStringLiteral("Port Disorder"));
        QCOMPARE(m_fixture->services.boxes()[0].title, QStringLiteral("Error"));
        QCOMPARE(m_fixture->services.boxes()[0].detail,
                 QStringLiteral("The port number \"x\" is not a number."));
        QVERIFY(!c.busy());
        QVERIFY(!c.window->MSComm1().portOpen());
        QCOMPARE(c.status->text(), QStringLiteral("Status"));
        QVERIFY(c.window->historyBytes(0).isEmpty());
        // A Send on each port afterwards: its frame arrives alone, so nothing went before it.
        for (const auto& [portNo, device] :
             {std::pair{"1", &m_fixture->port1}, std::pair{"2", &m_fixture->port2}}) {
            program().PortNo = QString::fromLatin1(portNo);
            c.clickSend();
            QTRY_VERIFY(!c.busy());
            QCOMPARE(device->received(), hex("0541424304"));
        }
    }

    void rate128000WarnsBeforeThePortOpensThenSends()
    {
        program().BaudRate = 128000;
        Console c;
        QString settingsSeen;
        bool openSeen = true;
        QByteArray receivedSeen = "not looked";
        m_fixture->services.setWhileBoxShown([&](const RecordingServices::Box&) {
            settingsSeen = c.window->MSComm1().settings();
            openSeen = c.window->MSComm1().portOpen();
            receivedSeen = m_fixture->port1.received();
        });
        c.type(QStringLiteral("ABC"));
        c.clickSend();

        QCOMPARE(m_fixture->services.boxes().size(), 1);
        QCOMPARE(m_fixture->services.boxes()[0].text, QStringLiteral("Bout_Rate Disorder"));
        QCOMPARE(m_fixture->services.boxes()[0].title, QStringLiteral("Error"));
        QCOMPARE(settingsSeen, QStringLiteral("128000, n, 8, 1"));
        QVERIFY(!openSeen);
        QVERIFY(receivedSeen.isEmpty());
        QVERIFY(c.busy());
        QTRY_COMPARE(m_fixture->port1.received(), hex("0541424304"));
        c.window->close();
        QCOMPARE(m_fixture->services.boxes().size(), 1);
    }

    void rateOutsideTheTableKeepsTheSettings()
    {
        program().BaudRate = 4800;
        Console c;
        c.type(QStringLiteral("ABC"));
        c.clickSend();
        QVERIFY(c.busy());
        QVERIFY(c.window->MSComm1().portOpen());
        QCOMPARE(c.window->MSComm1().settings(), QStringLiteral("38400,n,8,1"));
        QTRY_COMPARE(m_fixture->port1.received(), hex("0541424304"));
        c.window->close();
        QVERIFY(m_fixture->services.boxes().isEmpty());
    }

    void secondSendDuringTheWindowStartsNothing()
    {
        m_fixture->port1.setBehaviour({SimulatedDevice::Mode::Ack, {}, 0});
        Console c;
        c.type(QStringLiteral("ABC"));
        c.clickSend();
        QTRY_COMPARE(m_fixture->port1.received(), hex("0541424304"));

        // A check chosen now would change BccFlag and the frame, had a second Send begun.
        QTest::mouseClick(c.bccYes, Qt::LeftButton);
        QTest::keyClick(c.send, Qt::Key_Return);
        QTest::mouseClick(c.sendButton, Qt::LeftButton);
        QVERIFY(!program().BccFlag);
        QVERIFY(c.busy());
        QTRY_VERIFY(!c.busy());

        QCOMPARE(m_fixture->port1.frames(), QList<QByteArray>{hex("0541424304")});
        QCOMPARE(c.window->SendFrame(), hex("0541424304"));
        QCOMPARE(c.window->RecvData(), hex("06"));
        QCOMPARE(c.window->transaction().polls(), 500);
        QCOMPARE(c.status->text(), QStringLiteral("ACK"));
        QVERIFY(c.window->historyBytes(2).isEmpty());
    }

private:
    std::unique_ptr<ConsoleFixture> m_fixture;
};

QTEST_MAIN(TestDedicatedWindow)
#include "tst_dedicated_window.moc"
