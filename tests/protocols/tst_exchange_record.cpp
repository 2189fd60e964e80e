// The line-state notices on an exchange's record: the JSON's line_state list (empty, never
// missing, when there are none) and the history tooltip's note that names them.

#include "protocols/ExchangeRecord.h"

#include <QJsonArray>
#include <QtTest>

class TestExchangeRecord : public QObject {
    Q_OBJECT

private slots:
    void lineStateIsOnTheRecord_data()
    {
        QTest::addColumn<QStringList>("lineState");
        QTest::addColumn<QString>("noteEnd");
        QTest::newRow("none") << QStringList() << "latency 0.312 ms";
        QTest::newRow("framing and break")
            << QStringList{"framing", "break"} << "latency 0.312 ms, line errors: framing, break";
    }
    void lineStateIsOnTheRecord()
    {
        QFETCH(QStringList, lineState);
        QFETCH(QString, noteEnd);
        ExchangeRecord record;
        record.latency = std::chrono::microseconds(312);
        record.lineState = lineState;
        const QJsonObject json = record.toJson();
        QVERIFY(json.contains("line_state"));
        QCOMPARE(json["line_state"].toArray().toVariantList(), QVariant(lineState).toList());
        QVERIFY2(record.timingNote().endsWith(noteEnd), qPrintable(record.timingNote()));
    }
};

QTEST_GUILESS_MAIN(TestExchangeRecord)
#include "tst_exchange_record.moc"
