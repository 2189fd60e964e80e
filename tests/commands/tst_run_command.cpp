// rs232c run as a whole process: the shipped examples against the demo devices and their JUnit
// reports, plans refused before anything is sent, a port failure, a log that fails and a signal
// mid-plan: the step they cut is an error or interrupted, the steps after it not run.

#include "CommandProcess.h"
#include "device/SimulatedDevice.h"
#include "plans/PlanReader.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>

#include <csignal>

namespace {

// One testcase of a JUnit report: its name and, when it did not pass, how.
struct TestCase {
    QString name;
    QString outcome; // "", "failure", "error" or "skipped"
    QString type;
    QString message;
    QString text;
};

struct Report {
    QMap<QString, QString> suite; // the testsuite's attributes
    QList<TestCase> cases;
};

Report readReport(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    Report report;
    QXmlStreamReader xml(&file);
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        const QXmlStreamAttributes attributes = xml.attributes();
        if (xml.name() == u"testsuite") {
            for (const QXmlStreamAttribute& attribute : attributes)
                report.suite[attribute.name().toString()] = attribute.value().toString();
        } else if (xml.name() == u"testcase") {
            report.cases << TestCase{attributes.value("name").toString(), {}, {}, {}, {}};
        } else if (!report.cases.isEmpty() && (xml.name() == u"failure" || xml.name() == u"error" ||
                                               xml.name() == u"skipped")) {
            TestCase& last = report.cases.last();
            last.outcome = xml.name().toString();
            last.type = attributes.value("type").toString();
            last.message = attributes.value("message").toString();
            last.text = xml.readElementText();
        }
    }
    return xml.hasError() ? Report{} : report;
}

QString writePlan(const QTemporaryDir& dir, const QByteArray& json)
{
    const QString path = dir.filePath("plan.json");
    QFile file(path);
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    file.write(json);
    return path;
}

} // namespace

class TestRunCommand : public QObject {
    Q_OBJECT

private slots:
    void init();
    void examplesAgainstTheDemo_data();
    void examplesAgainstTheDemo();
    void refusedPlansSendNothing_data();
    void refusedPlansSendNothing();
    void portsLeftOutAreTheChosenDevices_data();
    void portsLeftOutAreTheChosenDevices();
    void aPortFailureLeavesTheRestNotRun();
    void aLogThatFailsMakesTheStepThatRanAnError();
    void aSignalWritesTheReportOfTheStepsDone_data();
    void aSignalWritesTheReportOfTheStepsDone();

private:
    // A plan whose ports are the test's two devices.
    QByteArray onDevices(const QByteArray& steps) const
    {
        return QStringLiteral(R"({"ports": {"1": "%1", "2": "%2"}, "steps": %3})")
            .arg(m_port1.devicePath(), m_port2.devicePath(), QString::fromUtf8(steps))
            .toUtf8();
    }

    QTemporaryDir m_dir;
    SimulatedDevice m_port1;
    SimulatedDevice m_port2;
};

void TestRunCommand::init()
{
    for (SimulatedDevice* device : {&m_port1, &m_port2}) {
        device->setBehaviour({});
        device->clearReceived();
    }
}

void TestRunCommand::examplesAgainstTheDemo_data()
{
    QTest::addColumn<QString>("plan");
    QTest::addColumn<QStringList>("demo");
    QTest::addColumn<int>("status");
    QTest::addColumn<QList<int>>("failing"); // the steps that fail, counted from 1
    QTest::addColumn<QString>("summary");

    QTest::newRow("smoke test") << "smoke-test.json" << QStringList{"--demo"} << 0 << QList<int>{}
                                << "4 passed, 0 failed";
    QTest::newRow("failing step") << "failing-step.json" << QStringList{"--demo"} << 1
                                  << QList<int>{2} << "2 passed, 1 failed";
    QTest::newRow("smoke test, every frame NAKed")
        << "smoke-test.json" << QStringList{"--demo", "--demo-reply", "nak"} << 1
        << QList<int>{1, 2, 3} << "1 passed, 3 failed";
}

// Every step has its testcase; a failing one names what was expected and what came, bytes too.
void TestRunCommand::examplesAgainstTheDemo()
{
    QFETCH(QString, plan);
    QFETCH(QStringList, demo);
    QFETCH(int, status);
    QFETCH(QList<int>, failing);
    QFETCH(QString, summary);

    const QString planPath = QDir(RS232C_EXAMPLES_DIR).filePath(plan);
    QFile planFile(planPath);
    QVERIFY(planFile.open(QIODevice::ReadOnly));
    const auto reading = readPlan(planFile.readAll());
    QVERIFY(std::holds_alternative<Plan>(reading));
    const QList<PlanStep>& steps = std::get<Plan>(reading).steps;

    const QString reportPath = m_dir.filePath("report.xml");
    const CommandResult result =
        runCommand(QStringList{"run", planPath, "--junit", reportPath} + demo);
    QCOMPARE(result.status, status);
    const QStringList lines = result.outLines();
    QCOMPARE(lines.size(), steps.size() + 1);
    QCOMPARE(lines.last(), summary);

    const Report report = readReport(reportPath);
    QCOMPARE(report.cases.size(), steps.size());
    QCOMPARE(report.suite.value("tests"), QString::number(steps.size()));
    QCOMPARE(report.suite.value("failures"), QString::number(failing.size()));
    QCOMPARE(report.suite.value("errors"), "0");
    for (qsizetype i = 0; i < steps.size(); ++i) {
        const TestCase& testCase = report.cases[i];
        const int number = int(i + 1);
        QCOMPARE(testCase.name, QStringLiteral("%1 %2").arg(number).arg(steps[i].name));
        QVERIFY(lines[i].startsWith(failing.contains(number) ? "FAIL " : "PASS "));
        if (!failing.contains(number)) {
            QCOMPARE(testCase.outcome, QString());
            continue;
        }
        QCOMPARE(testCase.outcome, "failure");
        QVERIFY2(testCase.text.contains("expected: " + steps[i].expect.describe()),
                 qPrintable(testCase.text));
        QVERIFY2(testCase.text.contains(QRegularExpression("\nactual: class nak, reply 15")),
                 qPrintable(testCase.text));
        QVERIFY(testCase.text.contains(QRegularExpression("\nframe_hex: [0-9A-F]+\n")));
        QVERIFY(testCase.text.contains(QRegularExpression("\nreply_hex: 15(04)?\n")));
    }
}

void TestRunCommand::refusedPlansSendNothing_data()
{
    QTest::addColumn<QByteArray>("steps");
    QTest::addColumn<QString>("path");

    const QByteArray first = R"({"console": "loader", "message": "A"})";
    QTest::newRow("typo'd key") << "[" + first + R"(, {"console": "loader", "mesage": "B"}])"
                                << "steps[1].mesage";
    QTest::newRow("wrong type")
        << "[" + first + R"(, {"console": "loader", "message": "B", "expect": {"class": 6}}])"
        << "steps[1].expect.class";
}

void TestRunCommand::refusedPlansSendNothing()
{
    QFETCH(QByteArray, steps);
    QFETCH(QString, path);
    const QString reportPath = m_dir.filePath("refused.xml");
    const CommandResult result =
        runCommand({"run", writePlan(m_dir, onDevices(steps)), "--junit", reportPath});
    QCOMPARE(result.status, 65);
    QVERIFY2(result.err.contains(path.toUtf8() + ": "), result.err.constData());
    QVERIFY(result.out.isEmpty());
    QVERIFY(!QFile::exists(reportPath));
    QCOMPARE(m_port1.received(), QByteArray());
}

void TestRunCommand::portsLeftOutAreTheChosenDevices_data()
{
    QTest::addColumn<bool>("planGivesPort1");
    QTest::newRow("no ports: the Ports window's choice") << false;
    QTest::newRow("ports: the plan's device over the choice") << true;
}

// Port 1 is chosen in the Ports window as m_port1; a plan naming port 1 sends to m_port2 instead.
void TestRunCommand::portsLeftOutAreTheChosenDevices()
{
    QFETCH(bool, planGivesPort1);
    const QTemporaryDir config;
    QVERIFY(QDir(config.path()).mkpath("rs232c-tester"));
    QFile choices(config.filePath("rs232c-tester/rs232c-tester.ini"));
    QVERIFY(choices.open(QIODevice::WriteOnly));
    choices.write("[ports]\ncom1=" + m_port1.devicePath().toUtf8() + "\n");
    choices.close();
    const QByteArray ports =
        planGivesPort1 ? R"("ports": {"1": ")" + m_port2.devicePath().toUtf8() + "\"}, " : "";
    const QString plan =
        writePlan(m_dir, "{" + ports + R"("steps": [{"console": "loader", "message": "A"}]})");

    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    const auto restore = qScopeGuard([] { qunsetenv("XDG_CONFIG_HOME"); });
    const CommandResult result = runCommand({"run", plan});
    QCOMPARE(result.status, 0);
    SimulatedDevice& used = planGivesPort1 ? m_port2 : m_port1;
    SimulatedDevice& other = planGivesPort1 ? m_port1 : m_port2;
    QCOMPARE(used.frames().size(), 1);
    QVERIFY(other.received().isEmpty());
}

void TestRunCommand::aPortFailureLeavesTheRestNotRun()
{
    const QString reportPath = m_dir.filePath("port.xml");
    const QByteArray plan = R"({"ports": {"1": ")" + m_port1.devicePath().toUtf8() +
                            R"(", "2": "/nonexistent/rs232c-port"}, "steps": [
        {"console": "loader", "message": "A", "expect": {"class": "ack"}},
        {"console": "dedicated", "port": 2, "message": "B"},
        {"console": "loader", "message": "C"}]})";
    const CommandResult result =
        runCommand({"run", writePlan(m_dir, plan), "--junit", reportPath, "--json"});
    QCOMPARE(result.status, 4);

    const QList<QJsonObject> lines = result.jsonLines();
    QCOMPARE(lines.size(), 4);
    QCOMPARE(lines[1]["result"].toString(), "error");
    QCOMPARE(lines[1]["exchange"].toObject()["class"].toString(), "port_failure");
    QVERIFY(lines[1]["why"].toString().contains("/nonexistent/rs232c-port"));
    QCOMPARE(lines[2]["result"].toString(), "not_run");
    QCOMPARE(lines[3],
             (QJsonObject{{"passed", 1}, {"failed", 1}, {"interrupted", 0}, {"not_run", 1}}));
    QCOMPARE(m_port1.frames().size(), 1);

    const Report report = readReport(reportPath);
    QCOMPARE(report.cases.size(), 3);
    QCOMPARE(report.cases[0].outcome, QString());
    QCOMPARE(report.cases[1].outcome, "error");
    QCOMPARE(report.cases[1].type, "port_failure");
    QVERIFY(report.cases[1].message.contains("/nonexistent/rs232c-port"));
    QCOMPARE(report.cases[2].outcome, "skipped");
    QCOMPARE(report.suite.value("errors"), "1");
    QCOMPARE(report.suite.value("skipped"), "1");
}

// The device answered step 1, so the step ran: an error, since its record is not in the log. Its
// name's control characters reach neither the terminal nor the report as themselves.
void TestRunCommand::aLogThatFailsMakesTheStepThatRanAnError()
{
    const QString reportPath = m_dir.filePath("log.xml");
    const CommandResult result = runCommand(
        {"run", "--log", "/dev/full", "--junit", reportPath, writePlan(m_dir, onDevices(R"([
        {"console": "loader", "message": "A", "name": "A\u001b[2J\u0000B"},
        {"console": "loader", "message": "C"}])"))});
    QCOMPARE(result.status, 74);
    QCOMPARE(m_port1.frames().size(), 1);
    QVERIFY(!result.out.contains('\x1b') && !result.out.contains('\0'));
    const QStringList lines = result.outLines();
    QCOMPARE(lines.size(), 3);
    QVERIFY2(lines[0].startsWith("FAIL 1 A␛[2J␀B: the log could not be written: "),
             qPrintable(lines[0]));
    QCOMPARE(lines[1], "SKIP 2 loader C: not run: the log could not be written");
    QCOMPARE(lines[2], "0 passed, 1 failed, 1 not run");

    const Report report = readReport(reportPath);
    QCOMPARE(report.cases.size(), 2);
    QCOMPARE(report.cases[0].name, "1 A␛[2J␀B");
    QCOMPARE(report.cases[0].outcome, "error");
    QCOMPARE(report.cases[0].type, "log_failure");
    QVERIFY(report.cases[0].text.contains("\nactual: class ack"));
    QCOMPARE(report.cases[1].outcome, "skipped");
}

void TestRunCommand::aSignalWritesTheReportOfTheStepsDone_data()
{
    QTest::addColumn<QByteArray>("step"); // the second step, which the signal cuts
    QTest::addColumn<bool>("silent");     // whether port 2's device answers
    QTest::addColumn<int>("logged");      // the records in the log when the signal comes

    QTest::newRow("in its exchange")
        << QByteArray(R"({"console": "userdef", "port": 2, "message": "B"})") << true << 1;
    QTest::newRow("between its exchanges")
        << QByteArray(R"({"console": "dedicated", "port": 2, "message": "B", "repeat": 2,
                          "interval_ms": 3600000})")
        << false << 2;
}

void TestRunCommand::aSignalWritesTheReportOfTheStepsDone()
{
    QFETCH(QByteArray, step);
    QFETCH(bool, silent);
    QFETCH(int, logged);
    if (silent)
        m_port2.setBehaviour({SimulatedDevice::Mode::Silent, {}, 0});
    const QString reportPath = m_dir.filePath("signal.xml");
    const QString logPath = m_dir.filePath(QStringLiteral("signal-%1.log").arg(logged));
    QProcess process;
    startCommand(process, {"run", "--json", "--log", logPath, "--junit", reportPath,
                           writePlan(m_dir, onDevices(R"([
        {"console": "loader", "message": "A", "expect": {"class": "ack"}},
        )" + step + R"(,
        {"console": "loader", "message": "C"}])"))});
    const auto logLines = [&logPath] {
        QFile log(logPath);
        return log.open(QIODevice::ReadOnly) ? log.readAll().count('\n') : 0;
    };
    QTRY_VERIFY(logLines() == logged && !m_port2.frames().isEmpty());
    ::kill(pid_t(process.processId()), SIGINT);
    const CommandResult result = resultOf(process);

    QCOMPARE(result.status, 130);
    QVERIFY(!QFile::exists(lockFileOf(m_port2.devicePath())));
    const QList<QJsonObject> lines = result.jsonLines();
    QCOMPARE(lines.size(), 4);
    QCOMPARE(lines[1]["result"].toString(), "interrupted");
    QCOMPARE(lines[1]["exchanges"].toInt(), 1);
    QCOMPARE(lines[2]["result"].toString(), "not_run");
    QCOMPARE(lines[3],
             (QJsonObject{{"passed", 1}, {"failed", 0}, {"interrupted", 1}, {"not_run", 1}}));
    const Report report = readReport(reportPath);
    QCOMPARE(report.cases.size(), 3);
    QCOMPARE(report.cases[0].outcome, QString());
    QCOMPARE(report.cases[1].outcome, "error");
    QCOMPARE(report.cases[1].type, "interrupted");
    QCOMPARE(report.cases[1].message, "ended by SIGINT");
    QCOMPARE(report.cases[2].outcome, "skipped");
    QCOMPARE(m_port1.frames().size(), 1);
}

QTEST_GUILESS_MAIN(TestRunCommand)
#include "tst_run_command.moc"
