#include "windows/PlansWindow.h"

#include "codec/Codec.h"
#include "plans/JUnitReport.h"
#include "serial/PortMap.h"
#include "windows/ConsoleWindow.h"
#include "windows/WindowServices.h"

#include <QChart>
#include <QChartView>
#include <QCloseEvent>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScatterSeries>
#include <QShortcut>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>
#include <QValueAxis>

#include <algorithm>

namespace {

enum Column { kNumber, kName, kResult, kExpected, kGot, kLatency, kColumns };

QColor tagColour(StepResult::Status status)
{
    switch (status) {
    case StepResult::Status::Passed:
        return {0, 128, 0};
    case StepResult::Status::Failed:
    case StepResult::Status::Error:
        return {255, 0, 0};
    case StepResult::Status::Interrupted:
        return {192, 96, 0};
    case StepResult::Status::NotRun:
        break;
    }
    return {128, 128, 128};
}

} // namespace

PlansWindow::PlansWindow(SessionLog* log, QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("PlansWindow"));
    setWindowTitle(QStringLiteral("Plans"));
    resize(900, 620);
    m_port = new SerialControl(QStringLiteral("9600,n,8,1"), this);
    m_runner = new ExchangeRunner(*m_port, m_state, this);
    m_runner->setLog(log);
    m_runner->setWarning([this](const QString& warning) { say(warning, true); });
    buildControls();
    setRunning(false);
}

PlansWindow::~PlansWindow()
{
    endRun(QStringLiteral("ended by closing the window"));
    m_run.reset();
    // The runner still refers to the serial control, which as a child would otherwise go first.
    delete m_runner;
}

QPushButton* PlansWindow::addButton(const char* name, const QString& caption,
                                    const QKeySequence& keys, const QString& tip)
{
    auto* button = new QPushButton(caption, this);
    button->setObjectName(QString::fromLatin1(name));
    button->setToolTip(QStringLiteral("%1 (%2)").arg(tip, keys.toString(QKeySequence::NativeText)));
    button->setAccessibleName(tip);
    auto* shortcut = new QShortcut(keys, this);
    connect(shortcut, &QShortcut::activated, button, &QPushButton::click);
    return button;
}

void PlansWindow::buildControls()
{
    m_path = new QLineEdit(this);
    m_path->setObjectName(QStringLiteral("planPath"));
    m_path->setPlaceholderText(QStringLiteral("The plan's file; Enter opens it"));
    m_path->setToolTip(QStringLiteral("The plan's file; Enter opens it"));
    m_path->setAccessibleName(QStringLiteral("Plan file"));
    connect(m_path, &QLineEdit::returnPressed, this, [this] { openPlan(m_path->text()); });

    m_open = addButton("openButton", QStringLiteral("Open\u2026"), QKeySequence::Open,
                       QStringLiteral("Open a plan"));
    connect(m_open, &QPushButton::clicked, this, &PlansWindow::chooseFile);
    m_runButton = addButton("runButton", QStringLiteral("Run"), QKeySequence(Qt::CTRL | Qt::Key_R),
                            QStringLiteral("Run the plan's steps"));
    connect(m_runButton, &QPushButton::clicked, this, &PlansWindow::runPlan);
    m_stop = addButton("stopButton", QStringLiteral("Stop"), QKeySequence(Qt::Key_Escape),
                       QStringLiteral("Stop the run"));
    connect(m_stop, &QPushButton::clicked, this, &PlansWindow::stopPlan);
    m_export = addButton("exportButton", QStringLiteral("Export JUnit\u2026"),
                         QKeySequence(Qt::CTRL | Qt::Key_E),
                         QStringLiteral("Save the run's JUnit report"));
    connect(m_export, &QPushButton::clicked, this, &PlansWindow::chooseReportFile);

    m_message = new QLabel(this);
    m_message->setObjectName(QStringLiteral("planMessage"));
    m_message->setWordWrap(true);
    m_message->setTextInteractionFlags(Qt::TextSelectableByMouse);

    m_steps = new QTableWidget(0, kColumns, this);
    m_steps->setObjectName(QStringLiteral("stepsTable"));
    m_steps->setAccessibleName(QStringLiteral("Steps"));
    m_steps->setHorizontalHeaderLabels({QStringLiteral("#"), QStringLiteral("Step"),
                                        QStringLiteral("Result"), QStringLiteral("Expected"),
                                        QStringLiteral("Got"), QStringLiteral("Latency")});
    m_steps->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_steps->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_steps->verticalHeader()->hide();
    m_steps->setWordWrap(false);
    QHeaderView* header = m_steps->horizontalHeader();
    for (const int column : {kNumber, kResult, kLatency})
        header->setSectionResizeMode(column, QHeaderView::ResizeToContents);
    for (const int column : {kName, kExpected, kGot})
        header->setSectionResizeMode(column, QHeaderView::Stretch);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_path, 1);
    for (QPushButton* button : {m_open, m_runButton, m_stop, m_export})
        buttons->addWidget(button);
    auto* split = new QSplitter(Qt::Vertical, this);
    split->addWidget(m_steps);
    split->addWidget(buildChart());
    auto* column = new QVBoxLayout(this);
    column->addLayout(buttons);
    column->addWidget(m_message);
    column->addWidget(split, 1);
}

QWidget* PlansWindow::buildChart()
{
    m_chart = new QChart;
    m_chart->setTitle(QStringLiteral("Latency of each exchange"));
    m_chart->legend()->hide();
    m_points = new QScatterSeries(m_chart);
    m_points->setObjectName(QStringLiteral("latencies"));
    m_points->setMarkerSize(8);
    m_chart->addSeries(m_points);
    m_stepAxis = new QValueAxis(m_chart);
    m_stepAxis->setTitleText(QStringLiteral("Step"));
    m_stepAxis->setLabelFormat(QStringLiteral("%.0f"));
    m_stepAxis->setTickType(QValueAxis::TicksDynamic);
    m_stepAxis->setTickAnchor(1);
    m_latencyAxis = new QValueAxis(m_chart);
    m_latencyAxis->setTitleText(QStringLiteral("ms"));
    m_chart->addAxis(m_stepAxis, Qt::AlignBottom);
    m_chart->addAxis(m_latencyAxis, Qt::AlignLeft);
    m_points->attachAxis(m_stepAxis);
    m_points->attachAxis(m_latencyAxis);

    auto* view = new QChartView(m_chart, this);
    view->setObjectName(QStringLiteral("latencyChart"));
    view->setAccessibleName(QStringLiteral("Latency chart"));
    view->setRenderHint(QPainter::Antialiasing);
    view->setMinimumHeight(200);
    return view;
}

void PlansWindow::chooseFile()
{
    const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("Open a plan"),
                                                      m_planPath, QStringLiteral("Plans (*.json)"));
    if (path.isEmpty())
        return;
    m_path->setText(path);
    openPlan(path);
}

void PlansWindow::chooseReportFile()
{
    const QString path = QFileDialog::getSaveFileName(
        this, QStringLiteral("Export the JUnit report"),
        m_planPath.isEmpty() ? QString()
                             : QFileInfo(m_planPath).path() + QStringLiteral("/report.xml"),
        QStringLiteral("JUnit reports (*.xml)"));
    if (!path.isEmpty())
        exportReport(path);
}

void PlansWindow::openPlan(const QString& path)
{
    if (m_run && m_run->running())
        return;
    m_run.reset();
    m_steps->setRowCount(0);
    m_points->clear();
    const auto reading = readPlanFile(path);
    if (const QString* refusal = std::get_if<QString>(&reading)) {
        m_plan.reset();
        say(*refusal, true);
    } else {
        m_plan = std::get<Plan>(reading);
        m_planPath = path;
        const qsizetype steps = m_plan->steps.size();
        say(QStringLiteral("%1: %2 step%3").arg(path).arg(steps).arg(steps == 1 ? "" : "s"), false);
    }
    m_path->setText(path);
    setRunning(false);
}

bool PlansWindow::consoleBusy() const
{
    const WindowServices& services = WindowServices::instance();
    for (const WindowId id : {WindowId::Loader, WindowId::Dedicated, WindowId::UserDefine}) {
        const auto* console = dynamic_cast<const ConsoleWindow*>(services.window(id));
        if (console && console->transactionRunning())
            return true;
    }
    return false;
}

void PlansWindow::runPlan()
{
    if (!m_plan || (m_run && m_run->running()))
        return;
    if (consoleBusy()) {
        say(QStringLiteral("A console is in the middle of an exchange; run the plan when it has "
                           "ended."),
            true);
        return;
    }
    for (int port = 1; port <= 2; ++port) {
        if (!m_plan->ports[port - 1].isEmpty())
            PortMap::setDevice(port, m_plan->ports[port - 1]);
    }
    m_state = ProgramState{};
    m_steps->setRowCount(0);
    m_points->clear();
    m_maxLatencyMs = 0;
    const qsizetype steps = m_plan->steps.size();
    m_stepAxis->setRange(0.5, double(steps) + 0.5);
    m_stepAxis->setTickInterval(std::max<qsizetype>(1, (steps + 9) / 10));
    m_latencyAxis->setRange(0, 1);

    m_run = std::make_unique<PlanRun>(*m_plan, *m_runner);
    connect(m_run.get(), &PlanRun::exchangeEnded, this, &PlansWindow::showPoint);
    connect(m_run.get(), &PlanRun::stepEnded, this, &PlansWindow::showStep);
    connect(m_run.get(), &PlanRun::finished, this, &PlansWindow::runFinished);
    m_startedAt = QDateTime::currentDateTimeUtc();
    say(QStringLiteral("Running %1").arg(m_planPath), false);
    setRunning(true);
    m_run->start();
}

void PlansWindow::stopPlan()
{
    endRun(QStringLiteral("ended by Stop"));
}

void PlansWindow::endRun(const QString& reason)
{
    if (m_run)
        m_run->stop(reason);
}

void PlansWindow::showPoint(int step, const ExchangeRecord& record)
{
    // An exchange with no reply has no latency, and no point.
    if (!record.latency)
        return;
    const double ms = double(record.latency->count()) / 1000.0;
    m_points->append(step, ms);
    if (ms > m_maxLatencyMs) {
        m_maxLatencyMs = ms;
        m_latencyAxis->setRange(0, ms * 1.15);
        m_latencyAxis->applyNiceNumbers();
    }
}

void PlansWindow::showStep(const StepResult& result)
{
    const int row = m_steps->rowCount();
    m_steps->insertRow(row);
    const auto put = [this, row](int column, const QString& text) {
        auto* item = new QTableWidgetItem(codec::withControlPictures(text));
        item->setToolTip(item->text());
        m_steps->setItem(row, column, item);
        return item;
    };
    put(kNumber, QString::number(result.number));
    put(kName, result.name);
    QTableWidgetItem* tag = put(kResult, stepTag(result.status));
    tag->setForeground(tagColour(result.status));
    QFont bold = tag->font();
    bold.setBold(true);
    tag->setFont(bold);
    tag->setToolTip(codec::withControlPictures(result.why));
    put(kExpected, result.expected);
    const bool judged = result.last && result.status != StepResult::Status::Interrupted;
    QTableWidgetItem* got = put(kGot, judged ? Expectation::describe(*result.last) : result.why);
    if (!result.why.isEmpty())
        got->setToolTip(codec::withControlPictures(result.why));
    QString latency = result.last && result.last->latency ? millisecondsText(*result.last->latency)
                                                          : QStringLiteral("-");
    if (result.exchanges > 1)
        latency += QStringLiteral(" (%1 exchanges)").arg(result.exchanges);
    put(kLatency, latency);
    m_steps->scrollToItem(tag);
}

void PlansWindow::runFinished()
{
    const StepCounts counts = StepCounts::of(m_run->results());
    say(counts.summary(), counts.passed < m_run->results().size());
    if (!m_run->logError().isEmpty())
        say(QStringLiteral("The log cannot be written: %1").arg(m_run->logError()), true);
    setRunning(false);
}

bool PlansWindow::exportReport(const QString& path)
{
    if (!m_run || m_run->running() || !m_plan)
        return false;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        say(QStringLiteral("The report cannot be created: %1: %2").arg(path, file.errorString()),
            true);
        return false;
    }
    writeJUnitReport(file, junitSuiteName(m_plan->name, m_planPath), m_startedAt, m_run->results());
    if (!file.flush()) {
        say(QStringLiteral("The report cannot be written: %1: %2").arg(path, file.errorString()),
            true);
        return false;
    }
    say(QStringLiteral("Report written to %1").arg(path), false);
    return true;
}

void PlansWindow::say(const QString& text, bool problem)
{
    m_message->setText(text);
    m_message->setStyleSheet(problem ? QStringLiteral("color: rgb(255, 0, 0)") : QString());
}

void PlansWindow::setRunning(bool running)
{
    m_runButton->setEnabled(!running && m_plan);
    m_stop->setEnabled(running);
    m_open->setEnabled(!running);
    m_path->setReadOnly(running);
    m_export->setEnabled(!running && m_run && m_plan);
}

void PlansWindow::closeEvent(QCloseEvent* event)
{
    endRun(QStringLiteral("ended by closing the window"));
    event->accept();
}
