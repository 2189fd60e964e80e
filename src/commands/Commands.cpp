#include "commands/Commands.h"

#include "commands/ExitStatus.h"
#include "commands/MonitorCommand.h"
#include "commands/Output.h"
#include "commands/PortsCommand.h"
#include "commands/RunCommand.h"
#include "commands/SendCommand.h"
#include "commands/SimulateCommand.h"
#include "serial/PortChoices.h"

#include <QCoreApplication>
#include <QStringList>

#include <csignal>
#include <cstring>

namespace {

struct Command {
    const char* name;
    const char* summary;
    int (*run)(const QStringList& arguments);
};

constexpr Command kCommands[] = {
    {"send", "send one message as a console does and classify the reply", sendCommand},
    {"run", "run a test plan (JSON) and report each step, as JUnit XML too", runCommand},
    {"ports", "list the serial ports of this machine", portsCommand},
    {"simulate", "play a device for a host program to talk to, misbehaving when asked",
     simulateCommand},
    {"monitor", "watch a host and a device talk: frames, replies, checks and latency",
     monitorCommand},
};

QString overview()
{
    QString text = QStringLiteral("Usage: rs232c COMMAND [options] ...\n"
                                  "Tests the protocol of a device on a serial (RS-232C) line "
                                  "from a shell.\n\nCommands:\n");
    for (const Command& command : kCommands)
        text += QStringLiteral("  %1  %2\n")
                    .arg(QString::fromLatin1(command.name).leftJustified(10),
                         QString::fromLatin1(command.summary));
    text += QStringLiteral(
        "\nrs232c COMMAND --help shows a command's options and exit statuses; --help-all shows "
        "them all.\n\nOptions:\n"
        "  -h, --help     Shows this help.\n"
        "  --help-all     Shows this help and every command's.\n"
        "  -v, --version  Shows the version.\n\n"
        "Exit status:\n"
        "  0   --help, --version; a command's own statuses are in its help\n"
        "  64  no command, an unknown command or a refused command line\n"
        "  74  standard output cannot be written (a full disk, a closed pipe)");
    return text;
}

// The overview and every command's own help, for a manual page that holds them all.
void printAllHelp()
{
    Output::line(overview());
    for (const Command& command : kCommands) {
        Output::line(QStringLiteral("\nCommand %1:").arg(QString::fromLatin1(command.name)));
        command.run({QString::fromLatin1(command.name), QStringLiteral("--help")});
    }
}

} // namespace

bool isCommandName(const char* name)
{
    for (const Command& command : kCommands) {
        if (std::strcmp(command.name, name) == 0)
            return true;
    }
    return false;
}

int runCommandLine(int argc, char* argv[])
{
    QCoreApplication::setApplicationName(QStringLiteral("rs232c"));
    QCoreApplication::setApplicationVersion(QStringLiteral(RS232C_VERSION));
    const QCoreApplication application(argc, argv);
    // A closed standard output is a failed write to report, not a death that skips the clean-up.
    ::signal(SIGPIPE, SIG_IGN);
    // Port 1 and 2 stand for the devices the user chose in the windows, as there.
    PortChoices::load();
    QStringList arguments = QCoreApplication::arguments().mid(1);
    if (arguments.isEmpty()) {
        Output::error(QStringLiteral("a command is needed.\nTry 'rs232c --help'."));
        return ExitStatus::kUsage;
    }
    const QString first = arguments.first();
    if (first == QLatin1String("-h") || first == QLatin1String("--help")) {
        Output::line(overview());
        return Output::finish(0);
    }
    if (first == QLatin1String("--help-all")) {
        printAllHelp();
        return Output::finish(0);
    }
    if (first == QLatin1String("-v") || first == QLatin1String("--version")) {
        Output::line(QStringLiteral("rs232c " RS232C_VERSION));
        return Output::finish(0);
    }
    for (const Command& command : kCommands) {
        if (first == QLatin1String(command.name))
            return Output::finish(command.run(arguments));
    }
    Output::error(QStringLiteral("unknown command '%1'.\nTry 'rs232c --help'.").arg(first));
    return ExitStatus::kUsage;
}
