// The windows' session log and reply timing: every console transaction, a failed one and one cut
// short too, as one JSON line holding the bytes that crossed the line; the history's label boxes
// telling the local time and the latency of their transaction; a log that cannot be opened
// refused with a box.

#include "ConsoleHarness.h"
#include "app/CommandLine.h"
#include "app/SessionLogStart.h"
#include "protocols/ProgramState.h"
#include "serial/PortMap.h"
#include "windows/DedicatedWindow.h"
#include "windows/LoaderWindow.h"
#include "windows/UserDefWindow.h"

#include <QDateTime>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <cstring>
#include <memory>

namespace {

// The tooltip a record's exchange should leave on its label boxes, made from the log line alone.
QString expectedNote(const QJsonObject& record)
{
    const QString time = record["time"].toString(); // 2026-12-08T11:23:41.123456Z
    const QDateTime utc = QDateTime::fromString(time.left(19) + 'Z', Qt::ISODate);
    const QString local = utc.toLocalTime().toString("yyyy-MM-dd HH:mm:ss.") + time.mid(20, 6);
    if (record["latency_us"].isNull())
        return local + ", no reply";
    return local + QStringLiteral(", latency %1 ms")
                       .arg(record["latency_us"].toInteger() / 1000.0, 0, 'f', 3);
}

} // namespace

class TestConsoleLog : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void everyTransactionIsLoggedAndTimed_data();
    void everyTransactionIsLoggedAndTimed();
    void aCutExchangeIsLoggedAsInterrupted_data();
    void aCutExchangeIsLoggedAsInterrupted();
    void aLogThatCannotBeOpenedIsRefusedWithABox_data();
    void aLogThatCannotBeOpenedIsRefusedWithABox();

private:
    QList<QJsonObject> records() const;

    std::unique_ptr<ConsoleFixture> m_fixture;
    QTemporaryDir m_dir;
    std::unique_ptr<SessionLog> m_log;
};

void TestConsoleLog::init()
{
    m_fixture = std::make_unique<ConsoleFixture>();
    CommandLine options;
    options.log = m_dir.filePath("session.log");
    QFile::remove(*options.log);
    QVERIFY(startSessionLog(options, &m_log));
}

void TestConsoleLog::cleanup()
{
    m_log.reset();
    m_fixture.reset();
}

void TestConsoleLog::everyTransactionIsLoggedAndTimed_data()
{
    QTest::addColumn<QString>("form");
    QTest::addColumn<QString>("portNo");
    QTest::addColumn<QString>("reply"); // how port 1 answers, as --demo-reply takes it
    QTest::addColumn<QString>("console");
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("word");
    QTest::addColumn<QString>("replyHex");

    QTest::newRow("Loader, ACK EOT") << "Form2"
                                     << "1"
                                     << "protocol"
                                     << "loader"
                                     << "ack"
                                     << "ACK"
                                     << "0604";
    QTest::newRow("Dedicated, nothing") << "Form3"
                                        << "1"
                                        << "silent"
                                        << "dedicated"
                                        << "none"
                                        << "None"
                                        << "";
    QTest::newRow("User Define, no device") << "Form4"
                                            << "2"
                                            << "ack"
                                            << "userdef"
                                            << "port_failure"
                                            << "Port Disorder"
                                            << "";
}

void TestConsoleLog::everyTransactionIsLoggedAndTimed()
{
    QFETCH(QString, form);
    QFETCH(QString, portNo);
    QFETCH(QString, reply);
    QFETCH(QString, console);
    QFETCH(QString, className);
    QFETCH(QString, word);
    QFETCH(QString, replyHex);

    SimulatedDevice::Behaviour behaviour;
    QVERIFY(SimulatedDevice::parseMode(reply, &behaviour));
    m_fixture->port1.setBehaviour(behaviour);
    PortMap::setDevice(2, "/nonexistent/rs232c-test-port");
    program().PortNo = portNo;
    program().BaudRate = 38400;
    ConsoleControls c(makeConsole(form, m_log.get()));
    c.window->show();
    c.type("AB");
    c.clickSend();
    QTRY_VERIFY_WITH_TIMEOUT(!c.busy(), 10000);

    QFile file(m_log->path());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    QCOMPARE(lines.size(), 2); // one line and its line break
    const QJsonObject record = QJsonDocument::fromJson(lines[0]).object();
    QCOMPARE(record["console"].toString(), console);
    QCOMPARE(record["class"].toString(), className);
    QCOMPARE(record["word"].toString(), word);
    QCOMPARE(record["frame_hex"].toString().toLatin1(), c.window->SendFrame().toHex().toUpper());
    QCOMPARE(record["reply_hex"].toString(), replyHex);

    const QLineEdit* sendLabel = c.history[1];
    const QLineEdit* recvLabel = c.history[3];
    if (className == "port_failure") {
        QCOMPARE(record["device"].toString(), "/nonexistent/rs232c-test-port");
        QVERIFY(record["error"].toString().contains("/nonexistent/rs232c-test-port"));
        QCOMPARE(m_fixture->services.boxes().size(), 1);
        QCOMPARE(sendLabel->toolTip(), QString());
        return;
    }
    QCOMPARE(record["device"].toString(), m_fixture->port1.devicePath());
    QCOMPARE(record["frame_hex"].toString().toLatin1(),
             m_fixture->port1.received().toHex().toUpper());
    QCOMPARE(record["latency_us"].isNull(), replyHex.isEmpty());
    QCOMPARE(sendLabel->text(), "Send1:");
    QCOMPARE(sendLabel->toolTip(), expectedNote(record));
    QCOMPARE(recvLabel->toolTip(), expectedNote(record));

    // Clear empties the notes with the boxes.
    QTest::mouseClick(c.clear, Qt::LeftButton);
    QCOMPARE(sendLabel->toolTip(), QString());
}

QList<QJsonObject> TestConsoleLog::records() const
{
    QFile file(m_log->path());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QList<QJsonObject> lines;
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (!line.isEmpty())
            lines << QJsonDocument::fromJson(line).object();
    }
    return lines;
}

void TestConsoleLog::aCutExchangeIsLoggedAsInterrupted_data()
{
    QTest::addColumn<QString>("button"); // none: the window is closed
    QTest::addColumn<QString>("error");
    QTest::newRow("Pre_Screen") << "전화면"
                                << "ended by Pre_Screen";
    QTest::newRow("END") << "끝내기"
                         << "ended by END";
    QTest::newRow("closing the window") << ""
                                        << "ended by closing the window";
}

// A User Define Send to a silent device, ended while it waits for the reply: its frame went out,
// so the exchange is on record, once.
void TestConsoleLog::aCutExchangeIsLoggedAsInterrupted()
{
    QFETCH(QString, button);
    QFETCH(QString, error);
    m_fixture->port1.setBehaviour({SimulatedDevice::Mode::Silent, {}, 0});
    program().PortNo = "1";
    program().BaudRate = 19200;
    RecordingServices& services = m_fixture->services;
    services.registerWindow(WindowId::Settings, [] { return new QWidget; });
    services.registerWindow(WindowId::UserDefine,
                            [this] { return new UserDefWindow(program(), m_log.get()); });
    ConsoleControls c(static_cast<ConsoleWindow*>(services.show(WindowId::UserDefine)));
    // A window that cannot run out while the test looks.
    c.window->transaction().setPollInterval(kPatientPoll);
    c.type("AB");
    c.clickSend();
    const QByteArray frame = c.window->SendFrame();
    QTRY_COMPARE(m_fixture->port1.received(), frame);
    QVERIFY(c.busy());

    if (button.isEmpty())
        c.window->close();
    else
        QTest::mouseClick(c.button(button.toUtf8().constData()), Qt::LeftButton);
    QVERIFY(!c.busy());
    QVERIFY(!c.window->MSComm1().portOpen());
    QVERIFY(services.boxes().isEmpty());

    const QList<QJsonObject> lines = records();
    QCOMPARE(lines.size(), 1);
    const QJsonObject record = lines[0];
    QCOMPARE(record["console"].toString(), "userdef");
    QCOMPARE(record["class"].toString(), "interrupted");
    QCOMPARE(record["word"].toString(), "Interrupted");
    QCOMPARE(record["error"].toString(), error);
    QCOMPARE(record["device"].toString(), m_fixture->port1.devicePath());
    QCOMPARE(record["frame_hex"].toString().toLatin1(), frame.toHex().toUpper());
    QCOMPARE(record["reply_hex"].toString(), "");
    QVERIFY(record["latency_us"].isNull());
}

void TestConsoleLog::aLogThatCannotBeOpenedIsRefusedWithABox_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("named"); // what the box's reason names
    QTest::newRow("missing folder")
        << QStringList{"--log", "/nonexistent/rs232c.log"} << "/nonexistent/rs232c.log";
    const QString noSuchFile = QString::fromLocal8Bit(std::strerror(ENOENT));
    QTest::newRow("empty name") << QStringList{"--log", ""} << noSuchFile;
    QTest::newRow("empty name, joined") << QStringList{"--log="} << noSuchFile;
}

void TestConsoleLog::aLogThatCannotBeOpenedIsRefusedWithABox()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, named);
    const CommandLine options = parseCommandLine(QStringList{"rs232c-tester"} + arguments);
    QCOMPARE(options.action, CommandLine::Action::Run);
    std::unique_ptr<SessionLog> log;
    QVERIFY(!startSessionLog(options, &log));
    QVERIFY(!log);
    QCOMPARE(m_fixture->services.boxes().size(), 1);
    QCOMPARE(m_fixture->services.boxes()[0].text, "Log Disorder");
    QVERIFY(m_fixture->services.boxes()[0].detail.contains(named));
}

QTEST_MAIN(TestConsoleLog)
#include "tst_console_log.moc"
