#include "plans/SavedMessages.h"

#include "plans/PlanWriter.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

QString SavedMessages::defaultPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/rs232c-tester/messages.json");
}

SavedMessages::SavedMessages(QString path) : m_path(std::move(path)) {}

bool SavedMessages::load()
{
    m_messages.clear();
    m_problem.clear();
    m_readable = true;
    if (!QFileInfo::exists(m_path))
        return true;
    const auto reading = readPlanFile(m_path);
    if (const Plan* plan = std::get_if<Plan>(&reading))
        m_messages = plan->steps;
    else
        m_problem = std::get<QString>(reading);
    m_readable = m_problem.isEmpty();
    return m_readable;
}

bool SavedMessages::save()
{
    if (!m_readable)
        return false;
    if (m_messages.isEmpty()) {
        if (!QFileInfo::exists(m_path) || QFile::remove(m_path))
            return true;
        m_problem = QStringLiteral("%1: cannot be removed").arg(m_path);
        return false;
    }
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    QSaveFile file(m_path);
    Plan plan;
    plan.name = QStringLiteral("saved messages");
    plan.steps = m_messages;
    if (file.open(QIODevice::WriteOnly) && file.write(planJson(plan, StepLine::Omitted)) != -1 &&
        file.commit())
        return true;
    m_problem = QStringLiteral("%1: %2").arg(m_path, file.errorString());
    return false;
}

PlanStep savedMessage(const QString& name, const ConsoleRequest& request)
{
    PlanStep step;
    step.name = name;
    step.exchange.request = request;
    return step;
}
