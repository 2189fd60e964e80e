// The desktop program's --log given a named pipe that nobody reads: refused at once with the
// "Log Disorder" box, before any window, where open(2) used to wait for a reader for ever.

#include "RecordingServices.h"
#include "app/CommandLine.h"
#include "app/SessionLogStart.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

class TestSessionLogStart : public QObject {
    Q_OBJECT

private slots:
    void aPipeNobodyReadsIsRefusedAtOnce();
};

void TestSessionLogStart::aPipeNobodyReadsIsRefusedAtOnce()
{
    const QTemporaryDir dir;
    CommandLine options;
    options.log = dir.filePath("fifo");
    QCOMPARE(::mkfifo(QFile::encodeName(options.log).constData(), 0600), 0);
    const RecordingServices services;
    std::unique_ptr<SessionLog> log;
    QVERIFY(!startSessionLog(options, &log));
    QVERIFY(!log);
    QCOMPARE(services.boxes().size(), 1);
    QCOMPARE(services.boxes()[0].text, "Log Disorder");
    QCOMPARE(services.boxes()[0].detail, options.log + ": a named pipe that nobody reads");
}

QTEST_MAIN(TestSessionLogStart)
#include "tst_session_log_start.moc"
