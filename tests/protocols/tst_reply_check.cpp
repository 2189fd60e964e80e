// The reply check of an exchange's record: a reply that is itself a frame of the console's own
// form has its check digits verified, and the record, its JSON line and its tooltip note say so.

#include "HexBytes.h"
#include "protocols/ExchangeRecord.h"

#include <QtTest>

class TestReplyCheck : public QObject {
    Q_OBJECT

private slots:
    void checksTheConsolesOwnForm_data();
    void checksTheConsolesOwnForm();
};

void TestReplyCheck::checksTheConsolesOwnForm_data()
{
    QTest::addColumn<ConsoleKind>("console");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("check"); // as the JSON line holds it; empty: null

    const auto row = [](const char* name, ConsoleKind console, const char* reply,
                        const char* check) {
        QTest::newRow(name) << console << hex(reply) << QString::fromLatin1(check);
    };
    row("loader ok", ConsoleKind::Loader, "02414243433603", "ok");
    row("loader ok, EOT after", ConsoleKind::Loader, "0241424343360304", "ok");
    row("loader bad", ConsoleKind::Loader, "02414243433703", "bad");
    row("loader bad, EOT after", ConsoleKind::Loader, "0241424343370304", "bad");
    row("loader ACK EOT", ConsoleKind::Loader, "0604", "");
    row("loader, two EOTs after", ConsoleKind::Loader, "024142434336030404", "");
    row("loader, no digits", ConsoleKind::Loader, "024103", "");
    row("loader, a Dedicated frame", ConsoleKind::Loader, "05414243044346", "");
    row("loader, nothing", ConsoleKind::Loader, "", "");
    row("dedicated ok", ConsoleKind::Dedicated, "05414243044346", "ok");
    row("dedicated ok, empty text", ConsoleKind::Dedicated, "050439", "ok");
    row("dedicated bad", ConsoleKind::Dedicated, "05414243044345", "bad");
    row("dedicated, no digits", ConsoleKind::Dedicated, "0541424304", "");
    row("dedicated ACK", ConsoleKind::Dedicated, "06", "");
    row("dedicated, a Loader frame", ConsoleKind::Dedicated, "02414243433603", "");
    row("user define, a Loader frame", ConsoleKind::UserDefine, "02414243433603", "");
}

void TestReplyCheck::checksTheConsolesOwnForm()
{
    QFETCH(ConsoleKind, console);
    QFETCH(QByteArray, reply);
    QFETCH(QString, check);
    ExchangeRecord record;
    record.console = console;
    record.reply = reply;
    record.latency = std::chrono::microseconds(312);

    const QJsonValue field = record.toJson().value(QLatin1String("reply_check"));
    if (check.isEmpty()) {
        QCOMPARE(record.replyCheck(), ReplyCheck::None);
        QVERIFY(field.isNull());
        QVERIFY(!record.timingNote().contains(QLatin1String("reply check")));
    } else {
        QCOMPARE(field.toString(), check);
        QCOMPARE(replyCheckName(record.replyCheck()), check);
        QVERIFY2(record.timingNote().endsWith(QLatin1String(", reply check ") + check),
                 qPrintable(record.timingNote()));
    }
    // The reply's words stay as they were: the check is a fact of its own.
    QCOMPARE(record.word(), replyWord(classify(reply), console));
}

QTEST_GUILESS_MAIN(TestReplyCheck)
#include "tst_reply_check.moc"
