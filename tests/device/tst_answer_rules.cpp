// The answer rules reader: bytes in, rules or a refusal that says where out; and what each kind
// of match takes.

#include "HexBytes.h"

#include "device/AnswerRules.h"

#include <QtTest>

class AnswerRulesTest : public QObject {
    Q_OBJECT

private slots:
    void readsEveryField();
    void refusals_data();
    void refusals();
    void matches_data();
    void matches();
};

void AnswerRulesTest::readsEveryField()
{
    const AnswerRules::Reading reading = AnswerRules::read(R"({"rules": [
        {"name": "status", "frame": "02 53 54\t03", "reply": "0604", "delay_ms": 25},
        {"prefix": "0252", "silent": true},
        {"wrong_check": "dedicated", "reply": "15"}
    ]})");
    QCOMPARE(reading.refusal, QString());
    QCOMPARE(reading.rules.size(), 3);
    const AnswerRule& first = reading.rules[0];
    QCOMPARE(first.name, QStringLiteral("status"));
    QCOMPARE(first.match, AnswerRule::Match::Frame);
    QCOMPARE(first.bytes, hex("02535403"));
    QCOMPARE(first.reply, hex("0604"));
    QCOMPARE(first.delayMs, std::optional<int>(25));
    QCOMPARE(reading.rules[1].match, AnswerRule::Match::Prefix);
    QVERIFY(reading.rules[1].reply.isEmpty());
    QCOMPARE(reading.rules[1].delayMs, std::nullopt);
    QCOMPARE(reading.rules[2].match, AnswerRule::Match::WrongCheck);
    QCOMPARE(reading.rules[2].consoles, DeviceFrames::Consoles::Dedicated);
}

void AnswerRulesTest::refusals_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("refusal");

    QTest::newRow("not JSON") << QByteArray("{\"rules\": [\n  {\"frame\": \"06\",, }]}")
                              << "line 2, column 18: ";
    QTest::newRow("an array at the top")
        << QByteArray("[]") << "an object with a \"rules\" array expected";
    QTest::newRow("no rules") << QByteArray("{}") << "rules: an array expected";
    QTest::newRow("an unknown key at the top") << QByteArray(R"({"rules": [], "rule": []})")
                                               << "unknown key \"rule\" (only \"rules\" is known)";
    QTest::newRow("a rule that is no object")
        << QByteArray(R"({"rules": [7]})") << "rules[0]: an object expected";
    QTest::newRow("an unknown key in a rule")
        << QByteArray(
               R"({"rules": [{"frame": "06", "reply": "06"}, {"frame": "06", "replay": "06"}]})")
        << "rules[1]: unknown key \"replay\"";
    // Qt would keep the last of the two and drop the first without a word.
    QTest::newRow("rules twice") << QByteArray("{\"rules\": [],\n  \"rules\": [{\"frame\": \"06\", "
                                               "\"reply\": \"06\"}]}")
                                 << "rules: key given twice (again at line 2, column 3)";
    QTest::newRow("a key twice in a rule")
        << QByteArray(R"({"rules": [{"frame": "06", "reply": "15", "reply": "06"}]})")
        << "rules[0].reply: key given twice (again at line 1, column 43)";
    QTest::newRow("no match")
        << QByteArray(R"({"rules": [{"reply": "06"}]})")
        << "rules[0]: exactly one of \"frame\", \"prefix\" or \"wrong_check\" expected";
    QTest::newRow("two matches")
        << QByteArray(R"({"rules": [{"frame": "06", "prefix": "06", "reply": "06"}]})")
        << "rules[0]: exactly one of \"frame\", \"prefix\" or \"wrong_check\" expected";
    QTest::newRow("bytes as a number") << QByteArray(R"({"rules": [{"frame": 6, "reply": "06"}]})")
                                       << "rules[0].frame: a string of hex digits expected";
    QTest::newRow("no hex digit") << QByteArray(R"({"rules": [{"prefix": "02", "reply": "0G"}]})")
                                  << "rules[0].reply: ";
    QTest::newRow("no bytes") << QByteArray(R"({"rules": [{"prefix": " ", "reply": "06"}]})")
                              << "rules[0].prefix: at least one byte expected";
    QTest::newRow("an unknown console")
        << QByteArray(R"({"rules": [{"wrong_check": "userdef", "reply": "15"}]})")
        << "rules[0].wrong_check: \"loader\", \"dedicated\" or \"any\" expected";
    QTest::newRow("no answer") << QByteArray(R"({"rules": [{"frame": "06"}]})")
                               << "rules[0]: \"reply\" or \"silent\": true expected";
    QTest::newRow("reply and silent")
        << QByteArray(R"({"rules": [{"frame": "06", "reply": "06", "silent": true}]})")
        << "rules[0]: \"reply\" and \"silent\" exclude each other";
    QTest::newRow("silent false")
        << QByteArray(R"({"rules": [{"frame": "06", "silent": false}]})")
        << "rules[0].silent: true expected (or leave it out and give a reply)";
    QTest::newRow("a name that is no string")
        << QByteArray(R"({"rules": [{"name": 1, "frame": "06", "silent": true}]})")
        << "rules[0].name: a string expected";
    const QString delay = "rules[0].delay_ms: a whole number from 0 to 3600000 expected, not ";
    QTest::newRow("a negative delay")
        << QByteArray(R"({"rules": [{"frame": "06", "silent": true, "delay_ms": -1}]})")
        << delay + "-1";
    QTest::newRow("a fraction of a ms")
        << QByteArray(R"({"rules": [{"frame": "06", "silent": true, "delay_ms": 1.5}]})")
        << delay + "1.5";
    QTest::newRow("a delay as text")
        << QByteArray(R"({"rules": [{"frame": "06", "silent": true, "delay_ms": "5"}]})")
        << delay + "\"5\"";
}

void AnswerRulesTest::refusals()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, refusal);
    const AnswerRules::Reading reading = AnswerRules::read(json);
    QVERIFY2(reading.refusal.startsWith(refusal), qPrintable(reading.refusal));
    QVERIFY(reading.rules.isEmpty());
}

void AnswerRulesTest::matches_data()
{
    QTest::addColumn<QByteArray>("rule");
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<bool>("matches");

    QTest::newRow("frame: the same bytes")
        << QByteArray(R"("frame": "0241")") << hex("0241") << true;
    QTest::newRow("frame: more bytes")
        << QByteArray(R"("frame": "0241")") << hex("024142") << false;
    QTest::newRow("prefix: more bytes")
        << QByteArray(R"("prefix": "0241")") << hex("024142") << true;
    QTest::newRow("prefix: fewer bytes") << QByteArray(R"("prefix": "0241")") << hex("02") << false;
    QTest::newRow("loader: a wrong check")
        << QByteArray(R"("wrong_check": "loader")") << hex("024142383403") << true;
    QTest::newRow("loader: a right check")
        << QByteArray(R"("wrong_check": "loader")") << hex("024142383303") << false;
    QTest::newRow("loader: a Dedicated frame")
        << QByteArray(R"("wrong_check": "loader")") << hex("05414243044345") << false;
    QTest::newRow("dedicated: a wrong check")
        << QByteArray(R"("wrong_check": "dedicated")") << hex("05414243044345") << true;
    QTest::newRow("dedicated: no check")
        << QByteArray(R"("wrong_check": "dedicated")") << hex("0541424304") << false;
    QTest::newRow("dedicated: no EOT")
        << QByteArray(R"("wrong_check": "dedicated")") << hex("05414243") << true;
    QTest::newRow("any: a wrong Loader check")
        << QByteArray(R"("wrong_check": "any")") << hex("024142383403") << true;
    QTest::newRow("any: plain text")
        << QByteArray(R"("wrong_check": "any")") << QByteArray("hello") << false;
}

void AnswerRulesTest::matches()
{
    QFETCH(QByteArray, rule);
    QFETCH(QByteArray, frame);
    QFETCH(bool, matches);
    const AnswerRules::Reading reading =
        AnswerRules::read(R"({"rules": [{)" + rule + R"(, "silent": true}]})");
    QCOMPARE(reading.refusal, QString());
    QCOMPARE(reading.rules.first().matches(frame), matches);
    QCOMPARE(AnswerRules::find(reading.rules, frame).has_value(), matches);
}

QTEST_GUILESS_MAIN(AnswerRulesTest)
#include "tst_answer_rules.moc"
