// The program starts with the settings window alone, centred; every other window is made when
// it is first shown. It ends at END or when its last window closes.

#include "app/CommandLine.h"
#include "app/SessionLogStart.h"
#include "commands/Commands.h"
#include "commands/ExitStatus.h"
#include "protocols/ProgramState.h"
#include "serial/PortChoices.h"
#include "windows/WindowRegistry.h"
#include "windows/WindowServices.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QIcon>
#include <QStringList>

#include <cstdio>

int main(int argc, char* argv[])
{
    // rs232c-tester send ... is rs232c send ...: the commands start no window system.
    if (argc > 1 && isCommandName(argv[1]))
        return runCommandLine(argc, argv);

    QCoreApplication::setApplicationName(QString::fromLatin1(kApplicationName));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(kApplicationVersion));

    // Read before the window system starts, so that --help and a refused command line need no
    // display.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const CommandLine options = parseCommandLine(arguments);
    switch (options.action) {
    case CommandLine::Action::Help: {
        const QCoreApplication core(argc, argv);
        std::fputs(qPrintable(commandLineHelp()), stdout);
        return 0;
    }
    case CommandLine::Action::Version:
        std::printf("%s %s\n", kApplicationName, kApplicationVersion);
        return 0;
    case CommandLine::Action::Refuse:
        std::fprintf(stderr, "%s: %s\nTry '%s --help'.\n", kApplicationName,
                     qPrintable(options.error), kApplicationName);
        return ExitStatus::kUsage;
    case CommandLine::Action::Run:
        break;
    }

    QApplication app(argc, argv);
    // The build renders the icon at several sizes; each window shows the one nearest its need.
    // Wayland desktops take the icon from the desktop entry named here.
    QIcon icon;
    for (const QString& file : QDir(QStringLiteral(":/icon")).entryList(QDir::Files))
        icon.addFile(QStringLiteral(":/icon/") + file);
    QApplication::setWindowIcon(icon);
    QGuiApplication::setDesktopFileName(QString::fromLatin1(kApplicationName));
    PortChoices::load();
    WindowServices::substituteFonts();
    std::unique_ptr<SessionLog> log;
    if (!startSessionLog(options, &log))
        return ExitStatus::kCannotCreate;
    const auto demoDevices = mapPorts(options);
    WindowServices& services = WindowServices::instance();
    registerWindows(services, program(), log.get());
    services.show(WindowId::Settings);
    const int status = QApplication::exec();
    services.discardAll();
    return status;
}
