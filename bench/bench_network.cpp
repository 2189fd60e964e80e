// Prints one table of the network port's figures against a real ser2net on loopback serving the
// simulated device on a pty, configured as labgrid's exporter configures it: a Loader exchange
// through RFC 2217 by the engine next to a python3-serial rfc2217:// script doing the same in the
// same run, with ser2net's chardelay on (its default) and off; rs232c send as a whole process
// next to the script as one; the connection's own time; and an exchange right after a rate
// change. Figures only: nothing here passes or fails.

#include "BenchSupport.h"
#include "Ser2net.h"
#include "device/SimulatedDevice.h"
#include "protocols/ExchangeRunner.h"
#include "protocols/ProgramState.h"
#include "serial/PortMap.h"
#include "serial/SerialControl.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QSysInfo>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

using namespace bench;

constexpr int kRuns = 30;

// The script's exchanges: ign_set_control, as ser2net serving a pty never answers SET-CONTROL and
// the client would wait for it on every open.
std::vector<double> pythonExchanges(const QString& url, int runs)
{
    QProcess script;
    script.start(python(), {QStringLiteral("-c"), QString::fromLatin1(kPythonExchanges),
                            url + QStringLiteral("?ign_set_control"), QString::number(runs)});
    if (!script.waitForFinished(120000) || script.exitCode() != 0)
        qFatal("the python3-serial script failed: %s", script.readAllStandardError().constData());
    std::vector<double> times;
    for (const QByteArray& value : script.readAllStandardOutput().trimmed().split(' '))
        times.push_back(value.toDouble());
    return times;
}

struct Engine {
    std::vector<double> totals;    // begin to finished, the connection included
    std::vector<double> latencies; // the frame's last byte out to the reply's first byte
};

// True when the exchange got a reply.
bool exchange(ExchangeRunner& runner, const ConsoleRequest& request)
{
    QEventLoop loop;
    QObject::connect(&runner, &ExchangeRunner::finished, &loop, &QEventLoop::quit);
    if (runner.begin(request)) {
        runner.run();
        loop.exec();
    }
    return runner.record().outcome == ExchangeRecord::Outcome::Replied &&
           !runner.record().reply.isEmpty();
}

// Loader exchanges (38400); with rateChange, each right after a Dedicated one at 19200.
Engine engineExchanges(const QString& url, int runs, bool rateChange = false)
{
    PortMap::setDevice(1, url);
    SerialControl port;
    ProgramState state;
    state.PortNo = QStringLiteral("1");
    state.BaudRate = 19200;
    ExchangeRunner runner(port, state);
    Engine engine;
    for (int run = 0; run < runs; ++run) {
        if (rateChange && !exchange(runner, {ConsoleKind::Dedicated, "R01"}))
            qFatal("the exchange at 19200 failed: %s %s", qPrintable(runner.record().word()),
                   qPrintable(runner.record().error));
        QElapsedTimer clock;
        clock.start();
        if (!exchange(runner, {ConsoleKind::Loader, "ABC"}))
            qFatal("engine exchange: %s %s", qPrintable(runner.record().word()),
                   qPrintable(runner.record().error));
        engine.totals.push_back(clock.nsecsElapsed() / 1e6);
        engine.latencies.push_back(runner.record().latency->count() / 1e3);
    }
    return engine;
}

// From PortOpen := true to the frame handed to the server (the connection and, over RFC 2217,
// the settings sent).
std::vector<double> connectTimes(const QString& url, int runs)
{
    PortMap::setDevice(1, url);
    SerialControl port;
    std::vector<double> times;
    for (int run = 0; run < runs; ++run) {
        port.setCommPort(1);
        QElapsedTimer clock;
        clock.start();
        port.setPortOpen(true);
        port.setOutput("\x05");
        while (port.outputLeft() > 0) {
        }
        times.push_back(clock.nsecsElapsed() / 1e6);
        port.setPortOpen(false);
    }
    return times;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (!Ser2net::installed())
        qFatal("ser2net is not installed (scripts/bench installs it)");
    SimulatedDevice device;
    SimulatedDevice quietDevice;
    SimulatedDevice spare;
    Ser2net standard(device.devicePath(), spare.devicePath());
    Ser2net noCharDelay(quietDevice.devicePath(), spare.devicePath(), 10,
                        {QStringLiteral("chardelay: false")});
    QElapsedTimer waited;
    waited.start();
    while (!(standard.listening() && noCharDelay.listening())) {
        if (waited.elapsed() > 20000)
            qFatal("ser2net did not start: %s", qPrintable(standard.output()));
        QCoreApplication::processEvents();
    }

    std::printf("Network ports through ser2net %s on loopback (%s, %d runs each, medians)\n\n",
                "4.3", qPrintable(QSysInfo::prettyProductName()), kRuns);
    std::printf("| %-58s | %-30s | %-18s |\n", "measure", "value", "target");
    std::printf("|%s|%s|%s|\n", QByteArray(60, '-').constData(), QByteArray(32, '-').constData(),
                QByteArray(20, '-').constData());

    for (Ser2net* server : {&standard, &noCharDelay}) {
        const bool charDelay = server == &standard;
        const QString url = server->rfc2217Url();
        const Engine engine = engineExchanges(url, kRuns);
        const std::vector<double> script = pythonExchanges(url, kRuns);
        const char* suffix = charDelay ? "chardelay on" : "chardelay off";
        row(qPrintable(
                QStringLiteral("Loader exchange, engine, connect to close (%1)").arg(suffix)),
            ms(median(engine.totals), 2), "<= python3-serial");
        row(qPrintable(QStringLiteral("  of which frame out to reply (%1)").arg(suffix)),
            ms(median(engine.latencies), 2), "(reference)");
        row(qPrintable(
                QStringLiteral("Loader exchange, python3-serial rfc2217:// (%1)").arg(suffix)),
            ms(median(script), 2), "(reference)");
        row(qPrintable(QStringLiteral("  ratio engine / python3-serial (%1)").arg(suffix)),
            QStringLiteral("%1 x").arg(median(engine.totals) / median(script), 0, 'f', 2),
            "<= 1 x");
    }

    const QString url = standard.rfc2217Url();
    std::vector<double> send;
    std::vector<double> scriptProcess;
    for (int run = 0; run < kRuns; ++run) {
        send.push_back(timedRun(QStringLiteral(RS232C_EXECUTABLE),
                                {QStringLiteral("send"), QStringLiteral("--device"), url,
                                 QStringLiteral("--console"), QStringLiteral("loader"),
                                 QStringLiteral("ABC")}));
        scriptProcess.push_back(
            timedRun(python(), {QStringLiteral("-c"), QString::fromLatin1(kPythonExchanges),
                                url + QStringLiteral("?ign_set_control"), QStringLiteral("1")}));
    }
    row("rs232c send over RFC 2217, whole process", ms(median(send), 2), "(reference)");
    row("python3-serial script over RFC 2217, whole process", ms(median(scriptProcess), 2),
        "(reference)");
    row("  ratio rs232c send / python3-serial script",
        QStringLiteral("%1 x").arg(median(send) / median(scriptProcess), 0, 'f', 2), "<= 0.5 x");

    row("Connect: PortOpen to the frame handed over, RFC 2217",
        ms(median(connectTimes(url, kRuns)), 2), "(reference)");
    row("Connect: PortOpen to the frame handed over, raw TCP",
        ms(median(connectTimes(standard.rawUrl(), kRuns)), 2), "(reference)");
    const Engine afterChange = engineExchanges(url, kRuns, true);
    row("Loader exchange right after a rate change (19200 -> 38400)",
        ms(median(afterChange.totals), 2), "milliseconds");
    return 0;
}
