#include "app/CommandLine.h"

#include "device/DemoDevices.h"
#include "serial/PortMap.h"

#include <QCommandLineOption>
#include <QCommandLineParser>

namespace {

const QCommandLineOption kHelp({QStringLiteral("h"), QStringLiteral("help")},
                               QStringLiteral("Shows this help and ends."));
const QCommandLineOption kVersion({QStringLiteral("v"), QStringLiteral("version")},
                                  QStringLiteral("Shows the version and ends."));
const QCommandLineOption
    kCom1(QStringLiteral("com1"),
          QStringLiteral("The serial device of port 1 (com1), or a network port: "
                         "rfc2217://HOST:PORT, tcp://HOST:PORT."),
          QStringLiteral("device"));
const QCommandLineOption
    kCom2(QStringLiteral("com2"),
          QStringLiteral("The serial device of port 2 (com2), or a network port."),
          QStringLiteral("device"));
const QCommandLineOption kLog(QStringLiteral("log"),
                              QStringLiteral("Appends a JSON line for every exchange of every "
                                             "console to the file."),
                              QStringLiteral("file"));

void describe(QCommandLineParser& parser)
{
    parser.setApplicationDescription(
        QStringLiteral("Tests the protocol of a device on a serial (RS-232C) line."));
    parser.addOptions({kHelp, kVersion, kCom1, kCom2});
    parser.addOptions(DemoDevices::options());
    parser.addOption(kLog);
}

// The options every Qt program takes (QGuiApplication's, QApplication's and the X11 platform's),
// each also with two dashes. QApplication reads them from the same command line.
const QStringList kQtOptionsWithValue =
    QStringLiteral("platform platformpluginpath platformtheme plugin qwindowgeometry geometry "
                   "qwindowicon icon qwindowtitle title session display name style stylesheet "
                   "visual cmap")
        .split(QLatin1Char(' '));
const QStringList kQtFlags =
    QStringLiteral("reverse widgetcount sync nograb dograb testability").split(QLatin1Char(' '));
// Taken only in the form -name=value.
const QStringList kQtAssignments =
    QStringLiteral("style stylesheet qmljsdebugger dialogs fontengine").split(QLatin1Char(' '));

QStringList withoutQtOptions(const QStringList& arguments)
{
    QStringList ours;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (i == 0 || !argument.startsWith(QLatin1Char('-'))) {
            ours << argument;
            continue;
        }
        const QString name = argument.mid(argument.startsWith(QLatin1String("--")) ? 2 : 1);
        const QString assigned = name.section(QLatin1Char('='), 0, 0);
        if (name.contains(QLatin1Char('=')) && kQtAssignments.contains(assigned))
            continue;
        if (kQtFlags.contains(name))
            continue;
        if (kQtOptionsWithValue.contains(name) && i + 1 < arguments.size()) {
            ++i;
            continue;
        }
        ours << argument;
    }
    return ours;
}

CommandLine refuse(const QString& error)
{
    CommandLine refused;
    refused.action = CommandLine::Action::Refuse;
    refused.error = error;
    return refused;
}

} // namespace

CommandLine parseCommandLine(const QStringList& arguments)
{
    QCommandLineParser parser;
    describe(parser);
    if (!parser.parse(withoutQtOptions(arguments)))
        return refuse(parser.errorText());

    CommandLine options;
    if (parser.isSet(kHelp)) {
        options.action = CommandLine::Action::Help;
        return options;
    }
    if (parser.isSet(kVersion)) {
        options.action = CommandLine::Action::Version;
        return options;
    }
    if (!parser.positionalArguments().isEmpty())
        return refuse(QStringLiteral("Unexpected argument '%1'.")
                          .arg(parser.positionalArguments().constFirst()));

    options.com1 = parser.value(kCom1);
    options.com2 = parser.value(kCom2);
    // An empty name is a file that cannot be opened, not a wish for no log.
    if (parser.isSet(kLog))
        options.log = parser.value(kLog);
    options.demo = DemoDevices::requested(parser);
    if (options.demo && (parser.isSet(kCom1) || parser.isSet(kCom2)))
        return refuse(QStringLiteral("--demo maps both ports to simulated devices; leave out "
                                     "--com1 and --com2."));
    const QString demoRefusal = DemoDevices::readOptions(parser, &options.demoBehaviour);
    if (!demoRefusal.isEmpty())
        return refuse(demoRefusal);
    return options;
}

QString commandLineHelp()
{
    QCommandLineParser parser;
    describe(parser);
    // The manual page is made from this text, so it names the exit statuses too.
    return parser.helpText() +
           QStringLiteral("\nExit status:\n"
                          "  0  The program ended: END, its last window closed, --help or "
                          "--version.\n"
                          "  64 The command line was refused; the error output says why.\n"
                          "  73 The --log file cannot be opened (a Log Disorder box says why).\n"
                          "Without a display to show the windows on, Qt aborts the program "
                          "(SIGABRT).\n");
}

std::vector<std::unique_ptr<SimulatedDevice>> mapPorts(const CommandLine& options)
{
    if (options.demo)
        return DemoDevices::start(options.demoBehaviour);
    // An empty path gives the port the device chosen in the Ports window, else the system's own.
    PortMap::setDevice(1, options.com1);
    PortMap::setDevice(2, options.com2);
    return {};
}
