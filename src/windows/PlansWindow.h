#pragma once
// The Plans window: a test plan opened from its file, run through the same plan runner as
// rs232c run, on a serial control of its own, every exchange going to the session log as the
// consoles' do. Each step shows in the table as it ends (PASS, FAIL, STOP or SKIP in colour,
// what it expected and what came, its latency), each exchange's latency is a point over its step
// in the chart, and the run's JUnit report can be saved. A plan that is refused says so in the
// words rs232c run uses. Like rs232c run, each run starts from the program's first values and
// sets com1 and com2 to the devices the plan names.
//
// The run is event-driven: the window stays live, and Stop (or closing the window) cuts the
// exchange running, leaving that step interrupted and the rest not run. A run does not start
// while a console is in the middle of an exchange, whose port it may share.

#include "engine/SessionLog.h"
#include "plans/PlanReader.h"
#include "plans/PlanRun.h"
#include "plans/StepResult.h"
#include "protocols/ExchangeRunner.h"
#include "protocols/ProgramState.h"
#include "serial/SerialControl.h"

#include <QDateTime>
#include <QWidget>

#include <memory>
#include <optional>

class QChart;
class QLabel;
class QLineEdit;
class QPushButton;
class QScatterSeries;
class QTableWidget;
class QValueAxis;

class PlansWindow : public QWidget {
    Q_OBJECT

public:
    // The exchanges go to log (none: nullptr), which outlives the window.
    explicit PlansWindow(SessionLog* log, QWidget* parent = nullptr);
    ~PlansWindow() override;

    // Reads the plan at path, or shows why it is refused.
    void openPlan(const QString& path);
    void runPlan();
    void stopPlan();
    // Writes the JUnit report of the latest run to path; false, said in the window, when it
    // cannot be written.
    bool exportReport(const QString& path);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildControls();
    // The chart's view, for the window to place.
    QWidget* buildChart();
    QPushButton* addButton(const char* name, const QString& caption, const QKeySequence& keys,
                           const QString& tip);
    void chooseFile();
    void chooseReportFile();
    void showStep(const StepResult& result);
    void showPoint(int step, const ExchangeRecord& record);
    void runFinished();
    void say(const QString& text, bool problem);
    void setRunning(bool running);
    // Stops a running plan for the reason the log and the table give ("ended by Stop").
    void endRun(const QString& reason);
    // A console of the program in the middle of an exchange.
    bool consoleBusy() const;

    ProgramState m_state;
    SerialControl* m_port;
    ExchangeRunner* m_runner;
    std::unique_ptr<PlanRun> m_run;
    std::optional<Plan> m_plan;
    QString m_planPath;
    QDateTime m_startedAt;

    QLineEdit* m_path;
    QPushButton* m_open;
    QPushButton* m_runButton;
    QPushButton* m_stop;
    QPushButton* m_export;
    QLabel* m_message;
    QTableWidget* m_steps;
    QChart* m_chart;
    QScatterSeries* m_points;
    QValueAxis* m_stepAxis;
    QValueAxis* m_latencyAxis;
    double m_maxLatencyMs = 0;
};
