// The User Define console end to end: selections made in its four lists, typed text and clicks
// on the window, simulated devices on pseudo-terminals as ports 1 and 2, and what crossed the
// line compared byte for byte.

#include "ConsoleHarness.h"
#include "RecordingServices.h"
#include "device/SimulatedDevice.h"
#include "protocols/ProgramState.h"
#include "windows/UserDefWindow.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

#include <memory>

Q_DECLARE_METATYPE(SimulatedDevice::Behaviour)

namespace {

const QByteArray kInitialFrameOfABC = hex("05414243044336");

// A User Define console as the user sees it, with its four frame lists.
struct Console : ShownConsole<UserDefWindow> {
    QComboBox* list(const QString& name) const { return child<QComboBox>(window, name); }
    // Picks a list entry, as from the drop-down.
    bool select(const QString& name, const QString& entry) const
    {
        const int index = list(name)->findText(entry);
        list(name)->setCurrentIndex(index);
        return index >= 0 && list(name)->currentText() == entry;
    }
    // Types a text of one's own into the list's edit field.
    void typeInto(const QString& name, const QString& text) const
    {
        QLineEdit* edit = list(name)->lineEdit();
        edit->setFocus();
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Delete);
        QTest::keyClicks(edit, text);
    }
};

} // namespace

class TestUserDefWindow : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_fixture = std::make_unique<ConsoleFixture>();
        m_fixture->port1.setBehaviour({SimulatedDevice::Mode::Ack, {}, 0});
        program().PortNo = QStringLiteral("1");
        program().BaudRate = 38400;
    }
    void cleanup() { m_fixture.reset(); }

    // Only the frame matters here: closing the window ends the transaction once it is out.
    void sendsTheChosenFrameByteForByte_data()
    {
        QTest::addColumn<QStringList>("selections"); // Header, BCC1, Tail, BCC2; empty: as is
        QTest::addColumn<bool>("typed");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("frame");
        QTest::newRow("initial selections")
            << QStringList{} << false << "ABC" << kInitialFrameOfABC;
        QTest::newRow("STX SUM_1 ETX SUM_2") << QStringList{"STX(02)", "SUM_1", "ETX(03)", "SUM_2"}
                                             << false << "ABC" << hex("024142434336033434");
        QTest::newRow("STX SUM_2 ETX NONE, typed")
            << QStringList{"STX(02)", "SUM_2", "ETX(03)", "NONE"} << true << "ABC"
            << hex("02414243434203");
        QTest::newRow("message alone")
            << QStringList{"NONE", "NONE", "NONE", "NONE"} << false << "ABC" << hex("414243");
        QTest::newRow("second field covers the first")
            << QStringList{"ENQ(05)", "SUM_1", "EOT(04)", "SUM_1"} << false << "ABC"
            << hex("054142434336043346");
        QTest::newRow("NUL header sends a 0 byte")
            << QStringList{"NUL(00)", "NONE", "EOT(04)", "SUM_1"} << false << "ABC"
            << hex("00414243044336");
        QTest::newRow("any four characters mean absent")
            << QStringList{"----", "SUM!", "ABCD", "SUM_1"} << true << "ABC" << hex("4142434336");
        QTest::newRow("empty message") << QStringList{} << false << "" << hex("050430");
    }
    void sendsTheChosenFrameByteForByte()
    {
        QFETCH(QStringList, selections);
        QFETCH(bool, typed);
        QFETCH(QString, text);
        QFETCH(QByteArray, frame);
        Console c;
        const QStringList names{"Header", "BCC1", "Tail", "BCC2"};
        for (qsizetype i = 0; i < selections.size(); ++i) {
            if (typed)
                c.typeInto(names[i], selections[i]);
            else
                QVERIFY2(c.select(names[i], selections[i]), qPrintable(selections[i]));
            QCOMPARE(c.list(names[i])->currentText(), selections[i]);
        }
        c.type(text);
        c.clickSend();
        QVERIFY(c.busy());
        QCOMPARE(c.window->SendFrame(), frame);
        QTRY_COMPARE(m_fixture->port1.received(), frame);

        c.window->close();
        QVERIFY(!c.busy());
        QVERIFY(!c.window->MSComm1().portOpen());
        QVERIFY(m_fixture->services.boxes().isEmpty());
        // The selections are the user's: sending never changes them.
        for (qsizetype i = 0; i < selections.size(); ++i)
            QCOMPARE(c.list(names[i])->currentText(), selections[i]);
    }

    void classifiesTheReplyByItsFirstByte_data()
    {
        QTest::addColumn<SimulatedDevice::Behaviour>("device");
        QTest::addColumn<QByteArray>("collected");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("word");
        QTest::newRow("ACK and text")
            << SimulatedDevice::Behaviour{SimulatedDevice::Mode::Bytes, hex("06414243"), 0}
            << hex("06414243") << "\u2406ABC"
            << "ACK";
        QTest::newRow("STX first")
            << SimulatedDevice::Behaviour{SimulatedDevice::Mode::Bytes, hex("0206"), 0}
            << hex("0206") << "\u2402\u2406"
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
        QCOMPARE(c.window->transaction().polls(), 1000);
        QCOMPARE(c.window->RecvData(), collected);
        QCOMPARE(c.recv->toPlainText(), shown);
        QCOMPARE(c.status->text(), word);
        QCOMPARE(c.window->historyBytes(0), kInitialFrameOfABC);
        QCOMPARE(c.history[1]->text(), QStringLiteral("Send1:"));
        QCOMPARE(c.window->historyBytes(1), collected);
        QCOMPARE(c.history[3]->text(), QStringLiteral("Recv1:"));
        QVERIFY(!c.window->MSComm1().portOpen());
    }

    void dedicatedCheckFlagAddsTwoReads()
    {
        m_fixture->port1.setBehaviour({SimulatedDevice::Mode::Bytes, QByteArray(1200, 'u'), 0});
        Console c;
        c.window->transaction().setPollInterval(kPatientPoll);
        c.type(QStringLiteral("ABC"));

        // As a Dedicated send with its check chosen leaves it.
        program().BccFlag = true;
        c.clickSend();
        QTRY_VERIFY(!c.busy());
        QCOMPARE(c.window->RecvData(), QByteArray(1002, 'u'));
        QVERIFY(program().BccFlag); // read here, never written

        program().BccFlag = false;
        c.clickSend();
        QTRY_VERIFY(!c.busy());
        QCOMPARE(c.window->RecvData(), QByteArray(1000, 'u'));
        QCOMPARE(c.window->transaction().polls(), 1000);
        QCOMPARE(m_fixture->port1.frames(),
                 (QList<QByteArray>{kInitialFrameOfABC, kInitialFrameOfABC}));
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
        QCOMPARE(m_fixture->services.boxes()[0].text, QStringLiteral("Bout_rate Disorder"));
        QCOMPARE(m_fixture->services.boxes()[0].title, QStringLiteral("Error"));
        QCOMPARE(settingsSeen, QStringLiteral("128000, n, 8, 1"));
        QVERIFY(!openSeen);
        QVERIFY(receivedSeen.isEmpty());
        QVERIFY(c.busy());
        QTRY_COMPARE(m_fixture->port1.received(), kInitialFrameOfABC);
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
        QCOMPARE(c.window->MSComm1().settings(), QStringLiteral("19200,n,8,1"));
        QTRY_COMPARE(m_fixture->port1.received(), kInitialFrameOfABC);
        c.window->close();
        QVERIFY(m_fixture->services.boxes().isEmpty());
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
        QVERIFY(!c.busy());
        QVERIFY(!c.window->MSComm1().portOpen());
        QCOMPARE(c.status->text(), QStringLiteral("Status"));
        QVERIFY(c.history[1]->text().isEmpty());
        // A Send on each port afterwards: its frame arrives alone, so nothing went before it.
        for (const auto& [portNo, device] :
             {std::pair{"1", &m_fixture->port1}, std::pair{"2", &m_fixture->port2}}) {
            program().PortNo = QString::fromLatin1(portNo);
            c.clickSend();
            QTRY_VERIFY(!c.busy());
            QCOMPARE(device->received(), kInitialFrameOfABC);
        }
    }

    void selectionTheListsDoNotOfferIsRefused_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("text");
        QTest::newRow("Header one digit") << "Header"
                                          << "ENQ(5)";
        QTest::newRow("Header no number") << "Header"
                                          << "XYZ(AB)";
        QTest::newRow("Header too short for a code") << "Header"
                                                     << "ENQ";
        QTest::newRow("BCC1 no digit last") << "BCC1"
                                            << "SUM_X";
        QTest::newRow("Tail no number") << "Tail"
                                        << "EOT(4)";
        QTest::newRow("BCC2 empty") << "BCC2"
                                    << "";
    }
    void selectionTheListsDoNotOfferIsRefused()
    {
        QFETCH(QString, field);
        QFETCH(QString, text);
        Console c;
        c.typeInto(field, text);
        QCOMPARE(c.list(field)->currentText(), text);
        c.type(QStringLiteral("ABC"));
        c.clickSend();

        QCOMPARE(m_fixture->services.boxes().size(), 1);
        const RecordingServices::Box box = m_fixture->services.boxes()[0];
        QCOMPARE(box.title, QStringLiteral("User Define"));
        QVERIFY2(box.text.contains(field), qPrintable(box.text));
        QVERIFY2(box.text.contains(QLatin1Char('"') + text + QLatin1Char('"')),
                 qPrintable(box.text));
        QVERIFY(!c.busy());
        QVERIFY(!c.window->MSComm1().portOpen());
        QVERIFY(c.window->SendFrame().isEmpty());
        QCOMPARE(c.send->toPlainText(), QStringLiteral("ABC"));
        QCOMPARE(c.status->text(), QStringLiteral("Status"));
        QVERIFY(c.history[0]->text().isEmpty());
        QVERIFY(c.history[1]->text().isEmpty());
        QCOMPARE(c.list(field)->currentText(), text);
        QVERIFY(m_fixture->port1.received().isEmpty());

        // With the field's initial entry picked again, the same text goes out, and alone:
        // nothing went before it.
        const QHash<QString, QString> initial{
            {"Header", "ENQ(05)"}, {"BCC1", "NONE"}, {"Tail", "EOT(04)"}, {"BCC2", "SUM_1"}};
        QVERIFY(c.select(field, initial[field]));
        c.clickSend();
        QVERIFY(c.busy());
        QTRY_COMPARE(m_fixture->port1.received(), kInitialFrameOfABC);
        c.window->close();
        QCOMPARE(m_fixture->services.boxes().size(), 1);
    }

    void asciiModeSendsTheCharactersAndShowsDigits()
    {
        Console c;
        QTest::mouseClick(c.ascii, Qt::LeftButton);
        QVERIFY(c.ascii->isChecked());
        c.type(QStringLiteral("414243"));
        c.clickSend();
        QTRY_VERIFY(!c.busy());
        QCOMPARE(m_fixture->port1.received(), kInitialFrameOfABC);
        QCOMPARE(c.send->toPlainText(), QStringLiteral("414243"));
        QCOMPARE(c.recv->toPlainText(), QStringLiteral("06"));
        QCOMPARE(c.history[0]->text(), QStringLiteral("05414243044336"));
        QCOMPARE(c.status->text(), QStringLiteral("ACK"));
    }

private:
    std::unique_ptr<ConsoleFixture> m_fixture;
};

QTEST_MAIN(TestUserDefWindow)
#include "tst_userdef_window.moc"
