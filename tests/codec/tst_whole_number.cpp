// The one whole-number reader every option and plan field reads through: what it takes, where its
// limits lie, and the one wording of its refusal, for command-line text and for JSON values.

#include "codec/WholeNumber.h"

#include <QJsonValue>
#include <QtTest>

#include <limits>
#include <optional>

class TestWholeNumber : public QObject {
    Q_OBJECT

private slots:
    void text_data();
    void text();
    void json_data();
    void json();
};

void TestWholeNumber::text_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<qint64>("min");
    QTest::addColumn<qint64>("max");
    QTest::addColumn<std::optional<qint64>>("number");

    const qint64 seedMax = std::numeric_limits<quint32>::max();
    QTest::newRow("plain") << "42" << 0LL << 100LL << std::optional<qint64>(42);
    QTest::newRow("the lower limit") << "1" << 1LL << 2LL << std::optional<qint64>(1);
    QTest::newRow("the upper limit") << "2" << 1LL << 2LL << std::optional<qint64>(2);
    QTest::newRow("below") << "0" << 1LL << 2LL << std::optional<qint64>();
    QTest::newRow("above") << "3" << 1LL << 2LL << std::optional<qint64>();
    QTest::newRow("blanks around") << " 7\t" << 0LL << 10LL << std::optional<qint64>(7);
    QTest::newRow("a plus") << "+5" << 0LL << 10LL << std::optional<qint64>(5);
    QTest::newRow("minus zero") << "-0" << 0LL << 10LL << std::optional<qint64>(0);
    QTest::newRow("negative") << "-5" << 0LL << 10LL << std::optional<qint64>();
    QTest::newRow("a seed's largest")
        << "4294967295" << 0LL << seedMax << std::optional<qint64>(seedMax);
    QTest::newRow("past a seed") << "4294967296" << 0LL << seedMax << std::optional<qint64>();
    QTest::newRow("past any integer")
        << "99999999999999999999999999" << 0LL << seedMax << std::optional<qint64>();
    QTest::newRow("empty") << "" << 0LL << 10LL << std::optional<qint64>();
    QTest::newRow("a sign alone") << "-" << 0LL << 10LL << std::optional<qint64>();
    QTest::newRow("a fraction") << "1.5" << 0LL << 10LL << std::optional<qint64>();
    QTest::newRow("a blank inside") << "1 0" << 0LL << 100LL << std::optional<qint64>();
    QTest::newRow("hex") << "0x10" << 0LL << 100LL << std::optional<qint64>();
    QTest::newRow("a word") << "soon" << 0LL << 100LL << std::optional<qint64>();
    QTest::newRow("Arabic-Indic digits")
        << QString::fromUtf8("\xd9\xa1\xd9\xa2") << 0LL << 100LL << std::optional<qint64>();
    QTest::newRow("full-width digits")
        << QString::fromUtf8("\xef\xbc\x95") << 0LL << 100LL << std::optional<qint64>();
}

void TestWholeNumber::text()
{
    QFETCH(QString, text);
    QFETCH(qint64, min);
    QFETCH(qint64, max);
    QFETCH(std::optional<qint64>, number);
    const WholeNumber limits{min, max};
    QCOMPARE(limits.read(text), number);
    QCOMPARE(limits.refusal(text),
             QStringLiteral("a whole number from %1 to %2 expected, not \"%3\"")
                 .arg(min)
                 .arg(max)
                 .arg(text));
}

void TestWholeNumber::json_data()
{
    QTest::addColumn<QJsonValue>("value");
    QTest::addColumn<std::optional<qint64>>("number");
    QTest::addColumn<QString>("given"); // as the refusal names it

    QTest::newRow("in range") << QJsonValue(3) << std::optional<qint64>(3) << "3";
    QTest::newRow("the upper limit")
        << QJsonValue(1000000) << std::optional<qint64>(1000000) << "1000000";
    QTest::newRow("a fraction") << QJsonValue(1.5) << std::optional<qint64>() << "1.5";
    QTest::newRow("past a 32-bit integer")
        << QJsonValue(2147483648.0) << std::optional<qint64>() << "2147483648";
    QTest::newRow("huge") << QJsonValue(1e300) << std::optional<qint64>() << "1e+300";
    QTest::newRow("below") << QJsonValue(0) << std::optional<qint64>() << "0";
    QTest::newRow("a number as text") << QJsonValue("5") << std::optional<qint64>() << "\"5\"";
    QTest::newRow("true") << QJsonValue(true) << std::optional<qint64>() << "true";
    QTest::newRow("null") << QJsonValue() << std::optional<qint64>() << "null";
    QTest::newRow("a list") << QJsonValue(QJsonArray{1}) << std::optional<qint64>() << "a list";
}

void TestWholeNumber::json()
{
    QFETCH(QJsonValue, value);
    QFETCH(std::optional<qint64>, number);
    QFETCH(QString, given);
    const WholeNumber limits{1, 1000000};
    QCOMPARE(limits.read(value), number);
    QCOMPARE(limits.refusal(value), "a whole number from 1 to 1000000 expected, not " + given);
}

QTEST_GUILESS_MAIN(TestWholeNumber)
#include "tst_whole_number.moc"
