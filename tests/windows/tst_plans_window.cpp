// The Plans window as a user meets it, over ptys with simulated devices: a plan run step by step
// with its failing step shown as FAIL and a point for every exchange, Stop in the middle of a
// step, a refused plan said in rs232c run's words, and the ways the window opens.

#include "CommandProcess.h"
#include "ConsoleHarness.h"
#include "windows/LoaderWindow.h"
#include "windows/PlansWindow.h"
#include "windows/SettingsWindow.h"

#include <QChartView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScatterSeries>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

enum Column { kResult = 2, kGot = 4 };

QString writeFile(const QTemporaryDir& dir, const QByteArray& bytes)
{
    const QString path = dir.filePath(QStringLiteral("plan.json"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        return {};
    return path;
}

// The plans window's controls, found by their names.
struct PlansControls {
    explicit PlansControls(PlansWindow* window)
        : window(window), path(window->findChild<QLineEdit*>("planPath")),
          run(window->findChild<QPushButton*>("runButton")),
          stop(window->findChild<QPushButton*>("stopButton")),
          message(window->findChild<QLabel*>("planMessage")),
          steps(window->findChild<QTableWidget*>("stepsTable")),
          points(window->findChild<QChartView*>("latencyChart")
                     ->chart()
                     ->findChild<QScatterSeries*>("latencies"))
    {
    }

    // Typed into the path box and opened by Enter, as a user does.
    void open(const QString& file) const
    {
        path->clear();
        QTest::keyClicks(path, file);
        QTest::keyClick(path, Qt::Key_Return);
    }
    QString cell(int row, int column) const { return steps->item(row, column)->text(); }

    PlansWindow* window;
    QLineEdit* path;
    QPushButton* run;
    QPushButton* stop;
    QLabel* message;
    QTableWidget* steps;
    QScatterSeries* points;
};

} // namespace

class TestPlansWindow : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void runsEachStepAndChartsEachExchange();
    void stopEndsTheStepAndSkipsTheRest();
    void aConsoleMidExchangeHoldsTheRunBack();
    void aRefusedPlanSaysWhatRunSays_data();
    void aRefusedPlanSaysWhatRunSays();
    void opensFromTheConsolesAndTheSettingsWindow_data();
    void opensFromTheConsolesAndTheSettingsWindow();

private:
    std::unique_ptr<ConsoleFixture> m_fixture;
    std::unique_ptr<PlansWindow> m_window;
    QTemporaryDir m_dir;
};

void TestPlansWindow::init()
{
    m_fixture = std::make_unique<ConsoleFixture>();
    m_window = std::make_unique<PlansWindow>(nullptr);
    m_window->show();
}

void TestPlansWindow::cleanup()
{
    m_window.reset();
    m_fixture.reset();
}

void TestPlansWindow::runsEachStepAndChartsEachExchange()
{
    // The second step's check field adds STX and ETX, which the device does not expect: NAK.
    const QString plan = writeFile(m_dir, R"json({"name": "bench", "steps": [
        {"name": "loader", "console": "loader", "message": "ABC", "repeat": 3,
         "expect": {"class": "ack", "reply_check": null}},
        {"name": "user define", "console": "userdef", "message": "123", "header": "STX(02)",
         "bcc1": "SUM_2", "tail": "ETX(03)", "bcc2": "NONE", "expect": {"class": "ack"}},
        {"name": "dedicated", "console": "dedicated", "message": "R01", "bcc": true,
         "expect": {"class": "ack", "reply_hex": "06"}}]})json");
    const PlansControls plans(m_window.get());
    plans.open(plan);
    QVERIFY(plans.run->isEnabled());
    QTest::mouseClick(plans.run, Qt::LeftButton);
    QVERIFY(plans.stop->isEnabled());
    QTRY_VERIFY(plans.run->isEnabled());

    QCOMPARE(plans.steps->rowCount(), 3);
    const QStringList results{"PASS", "FAIL", "PASS"};
    for (int row = 0; row < 3; ++row) {
        QCOMPARE(plans.cell(row, kResult), results[row]);
        const QColor colour = plans.steps->item(row, kResult)->foreground().color();
        QCOMPARE(colour, row == 1 ? QColor(255, 0, 0) : QColor(0, 128, 0));
    }
    QVERIFY2(plans.cell(1, kGot).startsWith("class nak"), qPrintable(plans.cell(1, kGot)));
    QCOMPARE(plans.message->text(), "2 passed, 1 failed");

    // One point per exchange, over its step: the repeated step shows all three.
    QCOMPARE(m_fixture->port1.frames().size(), 5);
    QList<qreal> steps;
    for (const QPointF& point : plans.points->points()) {
        steps << point.x();
        QVERIFY(point.y() > 0);
    }
    QCOMPARE(steps, (QList<qreal>{1, 1, 1, 2, 3}));

    const QString report = m_dir.filePath("report.xml");
    QVERIFY(m_window->exportReport(report));
    QFile written(report);
    QVERIFY(written.open(QIODevice::ReadOnly));
    const QByteArray xml = written.readAll();
    QVERIFY2(xml.contains(R"(name="bench" tests="3" failures="1")"), xml.constData());
}

void TestPlansWindow::stopEndsTheStepAndSkipsTheRest()
{
    SimulatedDevice::Behaviour silent;
    silent.mode = SimulatedDevice::Mode::Silent;
    m_fixture->port1.setBehaviour(silent);
    const PlansControls plans(m_window.get());
    plans.open(writeFile(m_dir, R"({"steps": [
        {"console": "loader", "message": "A", "repeat": 1000000},
        {"console": "loader", "message": "B"}]})"));
    QTest::mouseClick(plans.run, Qt::LeftButton);
    // The window stays live while the step runs: Stop is pressed once a frame is out.
    QTRY_VERIFY(!m_fixture->port1.frames().isEmpty());
    QTest::mouseClick(plans.stop, Qt::LeftButton);
    QTRY_VERIFY(plans.run->isEnabled());
    QCOMPARE(plans.steps->rowCount(), 2);
    QCOMPARE(plans.cell(0, kResult), "STOP");
    QCOMPARE(plans.cell(0, kGot), "ended by Stop");
    QCOMPARE(plans.cell(1, kResult), "SKIP");
    QCOMPARE(plans.message->text(), "0 passed, 0 failed, 1 interrupted, 1 not run");
    QVERIFY(!m_fixture->port1.received().contains('B'));
}

void TestPlansWindow::aConsoleMidExchangeHoldsTheRunBack()
{
    SimulatedDevice::Behaviour silent;
    silent.mode = SimulatedDevice::Mode::Silent;
    m_fixture->port1.setBehaviour(silent);
    m_fixture->services.registerWindow(WindowId::Loader,
                                       [] { return new LoaderWindow(program()); });
    ShownConsole<LoaderWindow> console(
        static_cast<ConsoleWindow*>(m_fixture->services.show(WindowId::Loader)));
    console.type("X");
    console.clickSend();
    QVERIFY(console.busy());

    const PlansControls plans(m_window.get());
    plans.open(writeFile(m_dir, R"({"steps": [{"console": "loader", "message": "A"}]})"));
    QTest::mouseClick(plans.run, Qt::LeftButton);
    QVERIFY(plans.message->text().startsWith("A console is in the middle of an exchange"));
    QVERIFY(plans.run->isEnabled());
    QCOMPARE(plans.steps->rowCount(), 0);
    QTRY_VERIFY(!console.busy());
    QVERIFY(!m_fixture->port1.received().contains('A'));
}

void TestPlansWindow::aRefusedPlanSaysWhatRunSays_data()
{
    QTest::addColumn<QByteArray>("json"); // empty: the plan's path is a folder
    QTest::newRow("no JSON") << QByteArray("{\"steps\": [\n  {\"console\": \"loader\",,}\n]}");
    QTest::newRow("unknown key") << QByteArray(
        R"({"steps": [{"console": "loader", "mesage": 1}]})");
    QTest::newRow("a folder") << QByteArray();
}

void TestPlansWindow::aRefusedPlanSaysWhatRunSays()
{
    QFETCH(QByteArray, json);
    const QString path = json.isEmpty() ? m_dir.path() : writeFile(m_dir, json);
    const PlansControls plans(m_window.get());
    plans.open(path);
    QVERIFY(!plans.run->isEnabled());
    const CommandResult run = runCommand({"run", path});
    QVERIFY(run.status == 65 || run.status == 66);
    QCOMPARE("rs232c: " + plans.message->text() + "\n", QString::fromUtf8(run.err));
}

void TestPlansWindow::opensFromTheConsolesAndTheSettingsWindow_data()
{
    QTest::addColumn<bool>("console"); // else the settings window
    QTest::addColumn<bool>("button");  // else Ctrl+L
    QTest::newRow("console, Plans…") << true << true;
    QTest::newRow("console, Ctrl+L") << true << false;
    QTest::newRow("settings window, Ctrl+L") << false << false;
}

void TestPlansWindow::opensFromTheConsolesAndTheSettingsWindow()
{
    QFETCH(bool, console);
    QFETCH(bool, button);
    m_fixture->services.registerWindow(WindowId::Plans, [] { return new PlansWindow(nullptr); });
    std::unique_ptr<QWidget> from;
    if (console)
        from = std::make_unique<LoaderWindow>(program());
    else
        from = std::make_unique<SettingsWindow>(program());
    from->show();
    from->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(from.get()));
    if (button)
        QTest::mouseClick(from->findChild<QPushButton*>("plansButton"), Qt::LeftButton);
    else
        QTest::keyClick(from.get(), Qt::Key_L, Qt::ControlModifier);
    QWidget* plans = m_fixture->services.window(WindowId::Plans);
    QVERIFY(plans);
    QCOMPARE(plans->objectName(), "PlansWindow");
    QVERIFY(plans->isVisible());
}

QTEST_MAIN(TestPlansWindow)
#include "tst_plans_window.moc"
