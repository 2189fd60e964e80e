// What the windows write as plans: every step written reads back as the same step, in the form
// a person reads (characters where the bytes are text), and a session becomes the steps with the
// expectations seen.

#include "HexBytes.h"
#include "plans/PlanWriter.h"
#include "plans/SessionPlan.h"

#include <QJsonObject>
#include <QtTest>

Q_DECLARE_METATYPE(PlanStep)
Q_DECLARE_METATYPE(StepLine)

using namespace std::chrono_literals;

namespace {

PlanStep step(ConsoleKind kind, const QByteArray& message)
{
    PlanStep made;
    made.name = QStringLiteral("a step");
    made.exchange.request.kind = kind;
    made.exchange.request.message = message;
    return made;
}

ExchangeRecord record(const QByteArray& reply, std::optional<std::chrono::microseconds> latency,
                      const QString& device,
                      const QString& settings = QStringLiteral("38400,n,8,1"))
{
    ExchangeRecord made;
    made.reply = reply;
    made.latency = latency;
    made.device = device;
    made.settings = settings;
    return made;
}

} // namespace

class TestPlanWriter : public QObject {
    Q_OBJECT

private slots:
    void stepReadsBackAsWritten_data()
    {
        QTest::addColumn<PlanStep>("written");
        QTest::addColumn<StepLine>("line");
        QTest::addColumn<QString>("messageKey");

        QTest::newRow("loader text")
            << step(ConsoleKind::Loader, "ABC") << StepLine::Written << "message";
        QTest::newRow("control bytes and a line break")
            << step(ConsoleKind::Loader, hex("0241 0D0A 4203")) << StepLine::Omitted << "message";
        QTest::newRow("bytes that are no text")
            << step(ConsoleKind::Loader, hex("80FF00")) << StepLine::Omitted << "hex";

        PlanStep dedicated = step(ConsoleKind::Dedicated, "R01");
        dedicated.exchange.request.withCheck = true;
        dedicated.exchange.port = 2;
        dedicated.exchange.baud = 9600;
        dedicated.repeat = 3;
        dedicated.intervalMs = 10;
        dedicated.expect = {ReplyClass::Nak, hex("15 04"), ReplyCheck::Bad, 1500us};
        QTest::newRow("dedicated on its line, expecting")
            << dedicated << StepLine::Written << "message";

        PlanStep userDef = step(ConsoleKind::UserDefine, "Q");
        userDef.exchange.request.selections = {QStringLiteral("STX(02)"), QStringLiteral("SUM_2"),
                                               QStringLiteral("ETX(03)"), QStringLiteral("NONE")};
        userDef.expect.reply = QByteArray();
        QTest::newRow("user define lists, no reply expected")
            << userDef << StepLine::Omitted << "message";
    }
    void stepReadsBackAsWritten()
    {
        QFETCH(PlanStep, written);
        QFETCH(StepLine, line);
        QFETCH(QString, messageKey);

        QVERIFY(stepJson(written, line).contains(messageKey));
        Plan plan;
        plan.ports[0] = QStringLiteral("/dev/ttyUSB0");
        plan.steps = {written};
        const auto reading = readPlan(planJson(plan, line));
        QVERIFY2(std::holds_alternative<Plan>(reading),
                 qPrintable(std::get_if<QString>(&reading) ? std::get<QString>(reading) : ""));
        const Plan& read = std::get<Plan>(reading);
        QCOMPARE(read.ports[0], plan.ports[0]);
        QCOMPARE(read.steps.size(), 1);
        const PlanStep& back = read.steps[0];
        const ConsoleRequest& request = back.exchange.request;
        QCOMPARE(back.name, written.name);
        QCOMPARE(request.kind, written.exchange.request.kind);
        QCOMPARE(request.message, written.exchange.request.message);
        QCOMPARE(request.withCheck, written.exchange.request.withCheck);
        QCOMPARE(request.selections.header, written.exchange.request.selections.header);
        QCOMPARE(request.selections.bcc1, written.exchange.request.selections.bcc1);
        QCOMPARE(request.selections.tail, written.exchange.request.selections.tail);
        QCOMPARE(request.selections.bcc2, written.exchange.request.selections.bcc2);
        const bool lineKept =
            line == StepLine::Written && written.exchange.request.kind != ConsoleKind::Loader;
        QCOMPARE(back.exchange.port, lineKept ? written.exchange.port : 1);
        QCOMPARE(back.exchange.baud, lineKept ? written.exchange.baud : 38400);
        QCOMPARE(back.repeat, written.repeat);
        QCOMPARE(back.intervalMs, written.intervalMs);
        QCOMPARE(back.expect.replyClass, written.expect.replyClass);
        QCOMPARE(back.expect.reply, written.expect.reply);
        QCOMPARE(back.expect.replyCheck, written.expect.replyCheck);
        QCOMPARE(back.expect.maxLatency, written.expect.maxLatency);
    }

    void sessionBecomesStepsWithWhatWasSeen_data()
    {
        QTest::addColumn<bool>("replyBytes");
        QTest::addColumn<int>("marginMs");
        QTest::newRow("class only") << false << 0;
        QTest::newRow("reply bytes") << true << 0;
        QTest::newRow("latency margin") << false << 50;
    }
    void sessionBecomesStepsWithWhatWasSeen()
    {
        QFETCH(bool, replyBytes);
        QFETCH(int, marginMs);
        ConsoleRequest withCheck{ConsoleKind::Dedicated, "R01", true, {}};
        ExchangeRecord failed = record({}, std::nullopt, QStringLiteral("/dev/gone"));
        failed.outcome = ExchangeRecord::Outcome::PortFailure;
        const QList<SessionExchange> session = {
            {withCheck, 2, record(hex("06"), 300us, QStringLiteral("/dev/b"), "9600,n,8,1")},
            {withCheck, 1, failed},
            {withCheck, 1, record({}, std::nullopt, QStringLiteral("/dev/a"))},
        };
        SessionExpectations expectations{replyBytes, std::nullopt};
        if (marginMs > 0)
            expectations.latencyMargin = std::chrono::milliseconds(marginMs);

        const Plan plan = planOfSession(session, expectations);
        QCOMPARE(plan.ports[0], QStringLiteral("/dev/a"));
        QCOMPARE(plan.ports[1], QStringLiteral("/dev/b"));
        QCOMPARE(plan.steps.size(), 2);
        const PlanStep& acked = plan.steps[0];
        const PlanStep& silent = plan.steps[1];
        QCOMPARE(acked.exchange.port, 2);
        QCOMPARE(acked.exchange.baud, 9600);
        QCOMPARE(acked.exchange.request.message, QByteArray("R01"));
        QVERIFY(acked.exchange.request.withCheck);
        QCOMPARE(acked.expect.replyClass, ReplyClass::Ack);
        QCOMPARE(silent.expect.replyClass, ReplyClass::None);
        QCOMPARE(acked.expect.reply, replyBytes ? std::optional(hex("06")) : std::nullopt);
        QCOMPARE(silent.expect.reply, replyBytes ? std::optional(QByteArray()) : std::nullopt);
        if (marginMs > 0)
            QCOMPARE(acked.expect.maxLatency, std::chrono::microseconds(300us + 50ms));
        else
            QVERIFY(!acked.expect.maxLatency);
        QVERIFY(!silent.expect.maxLatency);
    }
};

QTEST_GUILESS_MAIN(TestPlanWriter)
#include "tst_plan_writer.moc"
