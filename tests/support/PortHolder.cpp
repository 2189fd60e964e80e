#include "PortHolder.h"

#include <QCoreApplication>
#include <QSerialPort>

#include <cstdio>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

constexpr char kLocked[] = "--hold-port-locked";
constexpr char kExclusive[] = "--hold-port-exclusive";
constexpr char kHolding[] = "holding";
constexpr int kWaitMs = 10000;

} // namespace

PortHolder::PortHolder(How how, const QString& devicePath)
{
    const char* argument = how == How::Locked ? kLocked : kExclusive;
    m_process.start(QCoreApplication::applicationFilePath(), {QLatin1String(argument), devicePath});
}

PortHolder::~PortHolder()
{
    if (m_process.state() != QProcess::NotRunning)
        release();
}

bool PortHolder::holding()
{
    QByteArray said;
    while (!said.contains('\n') && m_process.waitForReadyRead(kWaitMs))
        said += m_process.readAllStandardOutput();
    return said == QByteArray(kHolding) + '\n';
}

bool PortHolder::release()
{
    m_process.closeWriteChannel();
    return m_process.waitForFinished(kWaitMs) && m_process.exitStatus() == QProcess::NormalExit &&
           m_process.exitCode() == 0;
}

bool PortHolder::isHolderCall(int argc, char** argv)
{
    return argc == 3 && (qstrcmp(argv[1], kLocked) == 0 || qstrcmp(argv[1], kExclusive) == 0);
}

int PortHolder::hold(int argc, char** argv)
{
    const QCoreApplication app(argc, argv);
    QSerialPort port(QString::fromLocal8Bit(argv[2]));
    int exclusive = -1;
    if (qstrcmp(argv[1], kLocked) == 0) {
        if (!port.open(QIODevice::ReadWrite)) {
            std::fprintf(stderr, "%s: %s\n", argv[2], qPrintable(port.errorString()));
            return 1;
        }
    } else {
        exclusive = ::open(argv[2], O_RDWR | O_NOCTTY);
        if (exclusive < 0 || ::ioctl(exclusive, TIOCEXCL) != 0) {
            std::perror(argv[2]);
            return 1;
        }
    }
    std::puts(kHolding);
    std::fflush(stdout);
    char byte;
    while (::read(STDIN_FILENO, &byte, 1) > 0) {
    }
    // Let go as a well-behaved program does; the QSerialPort closes and unlocks on its way out.
    if (exclusive >= 0) {
        ::ioctl(exclusive, TIOCNXCL);
        ::close(exclusive);
    }
    return 0;
}
