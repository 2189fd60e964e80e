#pragma once
// The command line of one command (rs232c send ...): QCommandLineParser with the command's own
// help (--help) and the usage status for anything it refuses.

#include <QCommandLineParser>
#include <QString>
#include <QStringList>

#include <optional>

class CommandParser : public QCommandLineParser {
public:
    // One option of a command's table: its name, its help and its value's name (nullptr for a
    // flag).
    struct Option {
        const char* name;
        const char* description;
        const char* value;
    };

    // usage: what follows "rs232c COMMAND [options]" in the help, as "MESSAGE"; epilogue: text
    // after the options (exit statuses, examples).
    CommandParser(const QString& command, const QString& description, const QString& usage = {},
                  const QString& epilogue = {});

    // Parses the command's arguments (arguments[0] is the command). A value when the command
    // ends at once with it: 0 after --help, the usage status for a refused command line.
    std::optional<int> parse(const QStringList& arguments);
    // Says why on standard error, with a pointer to --help, and returns the usage status.
    int refuse(const QString& why) const;

    QString help() const;
    // Adds every option of a command's table.
    using QCommandLineParser::addOptions;
    template <qsizetype N> void addOptions(const Option (&options)[N])
    {
        for (const Option& option : options)
            addTableOption(option);
    }

private:
    void addTableOption(const Option& option);

    QString m_command;
    QString m_usage;
    QString m_epilogue;
};
