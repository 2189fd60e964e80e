#include "commands/CommandParser.h"

#include "commands/ExitStatus.h"
#include "commands/Output.h"

#include <QCoreApplication>

CommandParser::CommandParser(const QString& command, const QString& description,
                             const QString& usage, const QString& epilogue)
    : m_command(command), m_usage(usage), m_epilogue(epilogue)
{
    setApplicationDescription(description);
    setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    addOption(QCommandLineOption({QStringLiteral("h"), QStringLiteral("help")},
                                 QStringLiteral("Shows this help.")));
}

std::optional<int> CommandParser::parse(const QStringList& arguments)
{
    if (!QCommandLineParser::parse(arguments))
        return refuse(errorText());
    if (isSet(QStringLiteral("help"))) {
        Output::line(help());
        return 0;
    }
    return std::nullopt;
}

int CommandParser::refuse(const QString& why) const
{
    Output::error(QStringLiteral("%1: %2\nTry '%3 %1 --help'.")
                      .arg(m_command, why, QCoreApplication::applicationName()));
    return ExitStatus::kUsage;
}

QString CommandParser::help() const
{
    // Qt's help starts with a usage line naming the executable alone.
    QString text = helpText();
    text = text.mid(text.indexOf(QLatin1Char('\n')) + 1);
    QString usage = QStringLiteral("Usage: %1 %2 [options]")
                        .arg(QCoreApplication::applicationName(), m_command);
    if (!m_usage.isEmpty())
        usage += QLatin1Char(' ') + m_usage;
    text = usage + QLatin1Char('\n') + text;
    if (!m_epilogue.isEmpty())
        text += QLatin1Char('\n') + m_epilogue.trimmed() + QLatin1Char('\n');
    return text.trimmed();
}

void CommandParser::addTableOption(const Option& option)
{
    QCommandLineOption added(QString::fromLatin1(option.name),
                             QString::fromUtf8(option.description));
    if (option.value)
        added.setValueName(QString::fromLatin1(option.value));
    addOption(added);
}
