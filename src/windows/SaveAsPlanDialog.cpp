#include "windows/SaveAsPlanDialog.h"

#include "plans/PlanWriter.h"
#include "plans/SessionPlan.h"
#include "windows/ConsoleWindow.h"
#include "windows/WindowServices.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QSpinBox>

namespace {

const QString kTitle = QStringLiteral("Save as plan");

} // namespace

SaveAsPlanDialog::SaveAsPlanDialog(ConsoleWindow* console) : QDialog(console), m_console(console)
{
    setObjectName(QStringLiteral("SaveAsPlanDialog"));
    setWindowTitle(kTitle);

    const qsizetype steps = planOfSession(console->session(), {}).steps.size();
    auto* summary = new QLabel(
        QStringLiteral("%1 exchange(s) since the window opened or Clear become the plan's steps, "
                       "each expecting the reply's class seen.")
            .arg(steps),
        this);
    summary->setWordWrap(true);

    m_replyBytes = new QCheckBox(QStringLiteral("Expect the same reply &bytes"), this);
    m_replyBytes->setObjectName(QStringLiteral("expectReplyBytes"));
    m_latency = new QCheckBox(QStringLiteral("&Limit the latency to the latency seen plus"), this);
    m_latency->setObjectName(QStringLiteral("limitLatency"));
    m_margin = new QSpinBox(this);
    m_margin->setObjectName(QStringLiteral("latencyMargin"));
    m_margin->setAccessibleName(QStringLiteral("Latency margin"));
    m_margin->setRange(1, 3'600'000);
    m_margin->setValue(100);
    m_margin->setSuffix(QStringLiteral(" ms"));
    m_margin->setEnabled(false);
    connect(m_latency, &QCheckBox::toggled, m_margin, &QSpinBox::setEnabled);

    m_path = new QLineEdit(
        QDir::home().filePath(QStringLiteral("%1-session.json").arg(consoleName(console->kind()))),
        this);
    m_path->setObjectName(QStringLiteral("planPath"));
    m_path->setAccessibleName(QStringLiteral("Plan file"));
    auto* browseButton = new QPushButton(QStringLiteral("B&rowse\u2026"), this);
    browseButton->setObjectName(QStringLiteral("browseButton"));
    connect(browseButton, &QPushButton::clicked, this, &SaveAsPlanDialog::browse);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Save | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Save)->setObjectName(QStringLiteral("savePlanButton"));
    connect(buttons, &QDialogButtonBox::accepted, this, &SaveAsPlanDialog::save);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* latencyRow = new QHBoxLayout;
    latencyRow->addWidget(m_latency);
    latencyRow->addWidget(m_margin);
    latencyRow->addStretch();
    auto* pathRow = new QHBoxLayout;
    pathRow->addWidget(m_path, 1);
    pathRow->addWidget(browseButton);
    auto* layout = new QFormLayout(this);
    layout->addRow(summary);
    layout->addRow(m_replyBytes);
    layout->addRow(latencyRow);
    // The label names the path box, so that Alt+F reaches it.
    auto* pathLabel = new QLabel(QStringLiteral("&File"), this);
    pathLabel->setBuddy(m_path);
    layout->addRow(pathLabel, pathRow);
    layout->addRow(buttons);
}

void SaveAsPlanDialog::browse()
{
    const QString path = QFileDialog::getSaveFileName(this, kTitle, m_path->text(),
                                                      QStringLiteral("Plans (*.json)"));
    if (!path.isEmpty())
        m_path->setText(path);
}

void SaveAsPlanDialog::save()
{
    SessionExpectations expectations{m_replyBytes->isChecked(), std::nullopt};
    if (m_latency->isChecked())
        expectations.latencyMargin = std::chrono::milliseconds(m_margin->value());
    const Plan plan = planOfSession(m_console->session(), expectations);

    QSaveFile file(m_path->text().trimmed());
    if (file.fileName().isEmpty() || !file.open(QIODevice::WriteOnly) ||
        file.write(planJson(plan, StepLine::Written)) == -1 || !file.commit()) {
        WindowServices::instance().messageBox(
            this, QStringLiteral("The plan cannot be written"), kTitle,
            file.fileName().isEmpty()
                ? QStringLiteral("No file is named.")
                : QStringLiteral("%1: %2").arg(file.fileName(), file.errorString()));
        return;
    }
    accept();
}
