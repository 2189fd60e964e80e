// Prints one table of the network port's figures against a real ser2net on loopback serving the
// simulated device on a pty, configured as labgrid's exporter configures it: a Loader exchange
// through RFC 2217 by the engine next to a python3-serial rfc2217:// script doing the same in the
// same run, with ser2net's chardelay on (its default) and off; rs232c send as a whole process
// next to the script as one; the connection's own time; and an exchange right after a rate
// change. Figures only: nothing here passes or fails.

#include "Ser2net.h"
#include "device/SimulatedDevice.h"
#include "protocols/ExchangeRunner.h"
#include "protocols/ProgramState.h"
#include "serial/PortMap.h"
#include "serial/SerialControl.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QSysInfo>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr int kRuns = 30;

// The same exchange as the engine's, each with its own connection: open, the frame, the reply
// up to EOT, close. ign_set_control: ser2net serving a pty never answers SET-CONTROL, and the
// client would wait for it on every open. Prints the times in ms as a JSON list.
const char kPythonExchanges[] = R"(
import serial, sys, time, json
url, runs = sys.argv[1], int(sys.argv[2])
times = []
for _ in range(runs):
    start = time.perf_counter()
    s = serial.serial_for_url(url, 38400, timeout=1)
    s.write(bytes.fromhex('02414243433603'))
    reply = b''
    while not reply.endswith(b'\x04'):
        c = s.read(1)
        if not c:
            break
        reply += c
    s.close()
    if reply != b'\x06\x04':
        sys.exit(1)
    times.append((time.perf_counter() - start) * 1000)
print(json.dumps(times))
)";

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

void row(const char* what, const QString& value, const char* target)
{
    std::printf("| %-58s | %-30s | %-18s |\n", what, value.toUtf8().constData(), target);
}

QString ms(double value)
{
    return QStringLiteral("%1 ms").arg(value, 0, 'f', 2);
}

QString python()
{
    return QFileInfo::exists(QStringLiteral("/usr/bin/python3"))
               ? QStringLiteral("/usr/bin/python3")
               : QStringLiteral("python3");
}

std::vector<double> pythonExchanges(const QString& url, int runs)
{
    QProcess script;
    script.start(python(), {QStringLiteral("-c"), QString::fromLatin1(kPythonExchanges), url,
                            QString::number(runs)});
    if (!script.waitForFinished(120000) || script.exitCode() != 0)
        qFatal("the python3-serial script failed: %s", script.readAllStandardError().constData());
    std::vector<double> times;
    for (const QJsonValue& value : QJsonDocument::fromJson(script.readAllStandardOutput()).array())
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

std::vector<double> processRuns(const QString& program, const QStringList& arguments, int runs)
{
    std::vector<double> times;
    for (int run = 0; run < runs; ++run) {
        QProcess process;
        QElapsedTimer clock;
        clock.start();
        process.start(program, arguments);
        if (!process.waitForFinished(60000) || process.exitCode() != 0)
            qFatal("%s failed: %s", qPrintable(program),
                   process.readAllStandardError().constData());
        times.push_back(clock.nsecsElapsed() / 1e6);
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
        const std::vector<double> script =
            pythonExchanges(url + QStringLiteral("?ign_set_control"), kRuns);
        const char* suffix = charDelay ? "chardelay on" : "chardelay off";
        row(qPrintable(
                QStringLiteral("Loader exchange, engine, connect to close (%1)").arg(suffix)),
            ms(median(engine.totals)), "<= python3-serial");
        row(qPrintable(QStringLiteral("  of which frame out to reply (%1)").arg(suffix)),
            ms(median(engine.latencies)), "(reference)");
        row(qPrintable(
                QStringLiteral("Loader exchange, python3-serial rfc2217:// (%1)").arg(suffix)),
            ms(median(script)), "(reference)");
        row(qPrintable(QStringLiteral("  ratio engine / python3-serial (%1)").arg(suffix)),
            QStringLiteral("%1 x").arg(median(engine.totals) / median(script), 0, 'f', 2),
            "<= 1 x");
    }

    const QString url = standard.rfc2217Url();
    const std::vector<double> send =
        processRuns(QStringLiteral(RS232C_EXECUTABLE),
                    {QStringLiteral("send"), QStringLiteral("--device"), url,
                     QStringLiteral("--console"), QStringLiteral("loader"), QStringLiteral("ABC")},
                    kRuns);
    const std::vector<double> scriptProcess =
        processRuns(python(),
                    {QStringLiteral("-c"), QString::fromLatin1(kPythonExchanges),
                     url + QStringLiteral("?ign_set_control"), QStringLiteral("1")},
                    kRuns);
    row("rs232c send over RFC 2217, whole process", ms(median(send)), "(reference)");
    row("python3-serial script over RFC 2217, whole process", ms(median(scriptProcess)),
        "(reference)");
    row("  ratio rs232c send / python3-serial script",
        QStringLiteral("%1 x").arg(median(send) / median(scriptProcess), 0, 'f', 2), "<= 0.5 x");

    row("Connect: PortOpen to the frame handed over, RFC 2217",
        ms(median(connectTimes(url, kRuns))), "(reference)");
    row("Connect: PortOpen to the frame handed over, raw TCP",
        ms(median(connectTimes(standard.rawUrl(), kRuns))), "(reference)");
    const Engine afterChange = engineExchanges(url, kRuns, true);
    row("Loader exchange right after a rate change (19200 -> 38400)",
        ms(median(afterChange.totals)), "milliseconds");
    return 0;
}
