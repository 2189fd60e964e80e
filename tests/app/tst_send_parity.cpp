// A console window's Send and rs232c send run one exchange through the same runner: for the same
// request against the same simulated device, both send the same frame and leave the same record
// in their session logs, but for the fields of time (when, how long, how many polls).

#include "CommandProcess.h"
#include "ConsoleHarness.h"
#include "protocols/ProgramState.h"
#include "serial/PortMap.h"

#include <QComboBox>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

const QString kMissingDevice = QStringLiteral("/nonexistent/rs232c-parity-port");

// The session log's one record, without the fields that tell time.
QJsonObject timelessRecord(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QList<QByteArray> lines = file.readAll().split('\n');
    if (lines.size() != 2 || !lines[1].isEmpty())
        return {};
    QJsonObject record = QJsonDocument::fromJson(lines[0]).object();
    for (const char* field : {"time", "latency_us", "window_us", "polls"})
        record.remove(QLatin1String(field));
    return record;
}

} // namespace

class TestSendParity : public QObject {
    Q_OBJECT

private slots:
    void init() { m_fixture = std::make_unique<ConsoleFixture>(); }
    void cleanup() { m_fixture.reset(); }

    void windowAndCommandLeaveTheSameRecord_data();
    void windowAndCommandLeaveTheSameRecord();

private:
    std::unique_ptr<ConsoleFixture> m_fixture;
    QTemporaryDir m_dir;
};

void TestSendParity::windowAndCommandLeaveTheSameRecord_data()
{
    QTest::addColumn<QString>("form");
    QTest::addColumn<QString>("console");
    QTest::addColumn<QString>("reply"); // how the device answers, as --demo-reply takes it
    QTest::addColumn<int>("port");      // 2 has no device: the port fails
    QTest::addColumn<int>("baud");
    QTest::addColumn<bool>("withCheck");
    QTest::addColumn<QString>("header"); // empty: the list as it opens
    QTest::addColumn<QString>("word");

    QTest::newRow("Loader, ACK EOT") << "Form2"
                                     << "loader"
                                     << "protocol" << 1 << 38400 << false << ""
                                     << "ACK";
    QTest::newRow("Dedicated with its check, NAK") << "Form3"
                                                   << "dedicated"
                                                   << "nak" << 1 << 19200 << true << ""
                                                   << "NAK";
    QTest::newRow("User Define, STX header, nothing") << "Form4"
                                                      << "userdef"
                                                      << "silent" << 1 << 9600 << false << "STX(02)"
                                                      << "None";
    QTest::newRow("Dedicated, no device") << "Form3"
                                          << "dedicated"
                                          << "ack" << 2 << 38400 << false << ""
                                          << "Port Disorder";
}

void TestSendParity::windowAndCommandLeaveTheSameRecord()
{
    QFETCH(QString, form);
    QFETCH(QString, console);
    QFETCH(QString, reply);
    QFETCH(int, port);
    QFETCH(int, baud);
    QFETCH(bool, withCheck);
    QFETCH(QString, header);
    QFETCH(QString, word);

    SimulatedDevice::Behaviour behaviour;
    QVERIFY(SimulatedDevice::parseMode(reply, &behaviour));
    m_fixture->port1.setBehaviour(behaviour);
    PortMap::setDevice(2, kMissingDevice);
    const QString device = port == 1 ? m_fixture->port1.devicePath() : kMissingDevice;

    // The window, as the settings window left the program-wide values.
    const QString windowLogPath = m_dir.filePath(QTest::currentDataTag() + QStringLiteral(".w"));
    QString why;
    std::unique_ptr<SessionLog> windowLog = SessionLog::open(windowLogPath, &why);
    QVERIFY2(windowLog, qPrintable(why));
    program().PortNo = QString::number(port);
    program().BaudRate = baud;
    ConsoleControls c(makeConsole(form, windowLog.get()));
    c.window->show();
    if (withCheck)
        child<QRadioButton>(c.window, QStringLiteral("BCC_YES"))->setChecked(true);
    if (!header.isEmpty())
        child<QComboBox>(c.window, QStringLiteral("Header"))->setCurrentText(header);
    c.type(QStringLiteral("AB"));
    c.clickSend();
    QTRY_VERIFY_WITH_TIMEOUT(!c.busy(), 10000);
    const QByteArray windowFrame = m_fixture->port1.received();
    m_fixture->port1.clearReceived();

    // The command, with the same request in its options.
    const QString commandLogPath = m_dir.filePath(QTest::currentDataTag() + QStringLiteral(".c"));
    QStringList arguments = {"send", "--console", console,       "--device",
                             device, "--log",     commandLogPath};
    if (console != "loader")
        arguments << "--port" << QString::number(port) << "--baud" << QString::number(baud);
    if (withCheck)
        arguments << "--bcc";
    if (!header.isEmpty())
        arguments << "--header" << header;
    arguments << "AB";
    const CommandResult result = runCommand(arguments);
    QVERIFY2(result.status != -1, result.err.constData());

    QCOMPARE(m_fixture->port1.received(), windowFrame);
    const QJsonObject windowRecord = timelessRecord(windowLogPath);
    QCOMPARE(windowRecord["word"].toString(), word);
    QCOMPARE(windowRecord["frame_hex"].toString().toLatin1(),
             c.window->SendFrame().toHex().toUpper());
    QCOMPARE(timelessRecord(commandLogPath), windowRecord);
}

QTEST_MAIN(TestSendParity)
#include "tst_send_parity.moc"
