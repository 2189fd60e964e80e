// The plan reader on its own, bytes in: what a plan written by hand becomes, and where a plan
// that cannot be run is refused. A document that is no JSON is refused at the same place whether
// it is read as a plan (rs232c run) or as answer rules (rs232c simulate).

#include "HexBytes.h"
#include "device/AnswerRules.h"
#include "plans/PlanReader.h"

#include <QtTest>

namespace {

QString refusalOf(const std::variant<Plan, QString>& reading)
{
    const QString* refusal = std::get_if<QString>(&reading);
    return refusal ? *refusal : QString();
}

} // namespace

class TestPlanReader : public QObject {
    Q_OBJECT

private slots:
    void readsDefaultsOverridesAndExpectations();
    void refusals_data();
    void refusals();
    void brokenJsonAtOnePlace_data();
    void brokenJsonAtOnePlace();
};

void TestPlanReader::readsDefaultsOverridesAndExpectations()
{
    const auto reading = readPlan(R"json({
        "name": "night run", "comment": ["anything", 1],
        "ports": {"2": "/dev/ttyUSB1"}, "port": 2, "baud": 9600,
        "steps": [
            {"console": "loader", "message": "A␂B"},
            {"console": "dedicated", "hex": "41 42", "bcc": true, "port": 1, "baud": 128000,
             "repeat": 3, "interval_ms": 20, "name": "R",
             "expect": {"class": "NAK", "reply_hex": "1504", "max_latency_ms": 2.5,
                        "reply_check": "bad"}},
            {"console": "userdef", "message": "", "name": " ", "header": "NONE", "bcc1": "SUM_2",
             "tail": "ETX(03)", "expect": {"reply_hex": "", "comment": "silent", "reply_check": null}}
        ]})json");
    QVERIFY2(std::holds_alternative<Plan>(reading), qPrintable(refusalOf(reading)));
    const Plan& plan = std::get<Plan>(reading);
    QCOMPARE(plan.name, "night run");
    QCOMPARE(plan.ports[0], QString());
    QCOMPARE(plan.ports[1], "/dev/ttyUSB1");
    QCOMPARE(plan.steps.size(), 3);

    const PlanStep& loader = plan.steps[0];
    QCOMPARE(loader.name, "loader A␂B");
    QCOMPARE(loader.exchange.request.kind, ConsoleKind::Loader);
    QCOMPARE(loader.exchange.request.message, QByteArray("A\x02"
                                                         "B"));
    QCOMPARE(loader.exchange.usedPort(), 1);
    QCOMPARE(loader.repeat, 1);
    QVERIFY(!loader.expect.replyClass && !loader.expect.reply && !loader.expect.replyCheck &&
            !loader.expect.maxLatency);

    const PlanStep& dedicated = plan.steps[1];
    QCOMPARE(dedicated.name, "R");
    QCOMPARE(dedicated.exchange.request.message, QByteArray("AB"));
    QVERIFY(dedicated.exchange.request.withCheck);
    QCOMPARE(dedicated.exchange.usedPort(), 1);
    QCOMPARE(dedicated.exchange.baud, 128000);
    QCOMPARE(dedicated.repeat, 3);
    QCOMPARE(dedicated.intervalMs, 20);
    QCOMPARE(dedicated.expect.replyClass, std::optional(ReplyClass::Nak));
    QCOMPARE(dedicated.expect.reply, std::optional(hex("1504")));
    QCOMPARE(dedicated.expect.maxLatency, std::optional(std::chrono::microseconds(2500)));
    QCOMPARE(dedicated.expect.replyCheck, std::optional(ReplyCheck::Bad));

    const PlanStep& userDef = plan.steps[2];
    QCOMPARE(userDef.name, "userdef "); // a blank name is none
    QCOMPARE(userDef.exchange.usedPort(), 2);
    QCOMPARE(userDef.exchange.baud, 9600);
    QCOMPARE(userDef.exchange.request.selections.header, "NONE");
    QCOMPARE(userDef.exchange.request.selections.bcc1, "SUM_2");
    QCOMPARE(userDef.exchange.request.selections.tail, "ETX(03)");
    QCOMPARE(userDef.exchange.request.selections.bcc2, UserDefSelections{}.bcc2);
    QCOMPARE(userDef.expect.reply, std::optional(QByteArray()));
    QCOMPARE(userDef.expect.replyCheck, std::optional(ReplyCheck::None));
}

void TestPlanReader::refusals_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("refusal"); // how the refusal starts

    const QByteArray step = R"({"console": "loader", "message": "A"})";
    const auto withStep = [&step](const QByteArray& second) {
        return R"({"steps": [)" + step + ", " + second + "]}";
    };
    QTest::newRow("not JSON") << QByteArray("{\"steps\": [\n  {\"console\": \"loader\",,}\n]}")
                              << "line 2, column 24: ";
    QTest::newRow("not an object") << QByteArray("[1]") << "a plan is a JSON object";
    QTest::newRow("typo at the top") << QByteArray(R"({"step": []})") << "step: unknown key";
    QTest::newRow("no steps") << QByteArray(R"({"steps": []})") << "steps: a plan needs";
    QTest::newRow("typo in a step")
        << withStep(R"({"console": "loader", "mesage": "A"})") << "steps[1].mesage: unknown key";
    QTest::newRow("typo in an expectation")
        << withStep(R"({"console": "loader", "message": "A", "expect": {"clas": "ack"}})")
        << "steps[1].expect.clas: unknown key";
    QTest::newRow("class of a wrong type")
        << withStep(R"({"console": "loader", "message": "A", "expect": {"class": 6}})")
        << "steps[1].expect.class: a text is needed, not a number";
    QTest::newRow("class of no value")
        << withStep(R"({"console": "loader", "message": "A", "expect": {"class": "ok"}})")
        << "steps[1].expect.class: \"ok\" is none of";
    QTest::newRow("reply check of no value")
        << withStep(R"({"console": "loader", "message": "A", "expect": {"reply_check": "OK"}})")
        << "steps[1].expect.reply_check: \"OK\" is none of ok, bad, null";
    QTest::newRow("reply check of a wrong type")
        << withStep(R"({"console": "loader", "message": "A", "expect": {"reply_check": true}})")
        << "steps[1].expect.reply_check: \"ok\", \"bad\" or null is needed, not true or false";
    QTest::newRow("no console") << withStep(R"({"message": "A"})") << "steps[1].console: missing";
    QTest::newRow("message and hex")
        << withStep(R"({"console": "loader", "message": "A", "hex": "41"})")
        << "steps[1]: give message or hex, not both";
    QTest::newRow("no message") << withStep(R"({"console": "loader"})")
                                << "steps[1]: a message is missing";
    QTest::newRow("no hex digit") << withStep(R"({"console": "loader", "hex": "4G"})")
                                  << "steps[1].hex: ";
    QTest::newRow("unlisted rate") << QByteArray(R"({"baud": 4800, "steps": [)" + step + "]}")
                                   << "baud: 4800 is not one of the rates";
    QTest::newRow("baud on the loader")
        << withStep(R"({"console": "loader", "message": "A", "baud": 9600})")
        << "steps[1].baud: the loader console always";
    QTest::newRow("port 3") << withStep(R"({"console": "dedicated", "message": "A", "port": 3})")
                            << "steps[1].port: a whole number from 1 to 2 expected, not 3";
    QTest::newRow("repeat of a fraction")
        << withStep(R"({"console": "loader", "message": "A", "repeat": 1.5})")
        << "steps[1].repeat: a whole number from 1 to 1000000 expected, not 1.5";
    QTest::newRow("bcc as a text")
        << withStep(R"({"console": "dedicated", "message": "A", "bcc": "yes"})")
        << "steps[1].bcc: true or false is needed, not a text";
    QTest::newRow("unreadable tail")
        << withStep(R"({"console": "userdef", "message": "A", "tail": "ETX"})")
        << "steps[1].tail: Tail \"ETX\"";
    QTest::newRow("latency limit of 0")
        << withStep(R"({"console": "loader", "message": "A", "expect": {"max_latency_ms": 0}})")
        << "steps[1].expect.max_latency_ms: 0 is out of range";
    QTest::newRow("latency limit below a microsecond")
        << withStep(
               R"({"console": "loader", "message": "A", "expect": {"max_latency_ms": 1e-300}})")
        << "steps[1].expect.max_latency_ms: 1e-300 is out of range: 0.001 to 3600000";
    QTest::newRow("repeat past the limit")
        << withStep(R"({"console": "loader", "message": "A", "repeat": 2147483648})")
        << "steps[1].repeat: a whole number from 1 to 1000000 expected, not 2147483648";
    QTest::newRow("half of a surrogate pair")
        << withStep(R"({"console": "loader", "message": "A\ud800"})")
        << "steps[1].message: The character U+D800 at position 2";
    QTest::newRow("network port without a port number")
        << QByteArray(R"({"ports": {"1": "rfc2217://rack7"}, "steps": [)" + step + "]}")
        << "ports.1: rfc2217://rack7: a port number from 1 to 65535 expected after the host";
    QTest::newRow("port 3 in the map")
        << QByteArray(R"({"ports": {"3": "/dev/x"}, "steps": [)" + step + "]}")
        << "ports.3: unknown key";
    // Qt would keep the last of the two and drop the others without a word.
    QTest::newRow("an expectation twice")
        << QByteArray(R"({"steps":[{"console":"loader","message":"ABC","expect":{"class":"nak"},)"
                      R"("expect":{"class":"ack"}}]})")
        << "steps[0].expect: key given twice (again at line 1, column 72)";
    QTest::newRow("steps twice") << QByteArray("{\"steps\": [" + step + "],\n \"steps\": []}")
                                 << "steps: key given twice (again at line 2, column 2)";
    QTest::newRow("a key twice, one written with an escape")
        << withStep(R"({"console": "loader", "message": "A", "\u006dessage": "B"})")
        << "steps[1].message: key given twice";
    QTest::newRow("a key twice deep in a comment")
        << QByteArray(R"({"comment": {"notes": [{"by": "a", "by": "b"}]}, "steps": [)" + step +
                      "]}")
        << "comment.notes[0].by: key given twice";
}

void TestPlanReader::refusals()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, refusal);
    const QString given = refusalOf(readPlan(json));
    QVERIFY2(given.startsWith(refusal), qPrintable(given));
}

void TestPlanReader::brokenJsonAtOnePlace_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("refusal"); // how both refusals start

    QTest::newRow("two commas") << QByteArray("{\"steps\": [\n  {\"console\": \"loader\",,}\n]}")
                                << "line 2, column 24: ";
    QTest::newRow("no colon") << QByteArray("{\n\n  \"rules\" []}") << "line 3, column 11: ";
    // Columns count characters, not the bytes of UTF-8.
    QTest::newRow("after Hangul") << QByteArray("{\"name\": \"\xed\x95\x9c\xea\xb8\x80\" x}")
                                  << "line 1, column 15: ";
    QTest::newRow("cut short") << QByteArray("{\"rules\": [\n") << "line 2, column 1: ";
    QTest::newRow("a key twice") << QByteArray("{\"a\": 1,\n \"a\": 2}")
                                 << "a: key given twice (again at line 2, column 2)";
}

void TestPlanReader::brokenJsonAtOnePlace()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, refusal);
    const QString asPlan = refusalOf(readPlan(json));
    const QString asRules = AnswerRules::read(json).refusal;
    QVERIFY2(asPlan.startsWith(refusal), qPrintable(asPlan));
    QCOMPARE(asRules, asPlan);
}

QTEST_GUILESS_MAIN(TestPlanReader)
#include "tst_plan_reader.moc"
