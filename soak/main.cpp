// The soak: a long session through the engine and through a console window against simulated
// devices, with the figures a leak would move (descriptors, threads, resident memory), the lock
// files left, every reply checked against its exchange's serial number, and the cost of a
// window's growing history. Prints the figures with their targets; the exit status is 1 when
// any check fails.
//
//     soak_rs232c [ENGINE_EXCHANGES [WINDOW_EXCHANGES]]     (10,000 and 2,000 by default)

#include "EngineSoak.h"
#include "SoakTable.h"
#include "WindowSoak.h"

#include "protocols/ProgramState.h"
#include "windows/WindowServices.h"

#include <QApplication>
#include <QDate>
#include <QLocale>
#include <QStorageInfo>
#include <QSysInfo>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr qint64 kMemoryToleranceKiB = 2048;

// A message box would stop the run; each one is counted instead, and none is expected.
class CountingServices : public WindowServices {
public:
    void messageBox(QWidget*, const QString&, const QString&, const QString&) override { ++boxes; }
    void endProgram() override {}
    int boxes = 0;
};

QString number(qint64 value)
{
    return QLocale(QLocale::English).toString(value);
}

QString kib(qint64 value)
{
    return number(value) + QStringLiteral(" KiB");
}

QString ms(double value)
{
    return QString::number(value, 'f', 3) + QStringLiteral(" ms");
}

void memoryRow(SoakTable& table, const QString& what, const ProcessFigures& first,
               const ProcessFigures& last)
{
    const qint64 growth = last.residentKiB - first.residentKiB;
    table.check({what, kib(first.residentKiB),
                 kib(last.residentKiB) + QStringLiteral(" (%1%2)")
                                             .arg(growth >= 0 ? QStringLiteral("+") : QString())
                                             .arg(kib(growth)),
                 QStringLiteral("within 2 MiB")},
                qAbs(growth) <= kMemoryToleranceKiB);
}

// Descriptors, threads and memory after the first figures and at the end.
void leakRows(SoakTable& table, const ProcessFigures& first, const ProcessFigures& last,
              const QString& memory)
{
    table.check({QStringLiteral("open descriptors"), number(first.descriptors),
                 number(last.descriptors), QStringLiteral("equal")},
                first.descriptors == last.descriptors);
    table.check({QStringLiteral("threads"), number(first.threads), number(last.threads),
                 QStringLiteral("equal")},
                first.threads == last.threads);
    memoryRow(table, memory, first, last);
}

// Every exchange right both ways, no serial number out of place, no lock file left.
void exchangeRows(SoakTable& table, const ReplyLedger& ledger, const QStringList& devicePaths)
{
    const int right = ledger.exchanges() - ledger.wrong();
    table.check({QStringLiteral("frame received and reply read exactly as sent"),
                 {},
                 QStringLiteral("%1 of %2").arg(number(right), number(ledger.exchanges())),
                 QStringLiteral("all")},
                ledger.wrong() == 0);
    table.check({QStringLiteral("replies holding another exchange's serial number"),
                 {},
                 number(ledger.foreign()),
                 QStringLiteral("none")},
                ledger.foreign() == 0);
    const QStringList locks = lockFilesLeft(devicePaths);
    table.check({QStringLiteral("lock files left in /run/lock"),
                 {},
                 locks.isEmpty() ? QStringLiteral("none") : locks.join(QStringLiteral(", ")),
                 QStringLiteral("none")},
                locks.isEmpty());
}

void examples(const ReplyLedger& ledger)
{
    for (const QString& example : ledger.examples())
        std::printf("  %s\n", qPrintable(example));
}

bool engineSoak(int exchanges)
{
    EngineSoak soak(exchanges);
    soak.run();
    std::printf("Engine: %s exchanges in %.0f s: %s; %d vanish-and-reopen cycles.\n"
                "Most are Loader exchanges, which end at the reply's EOT. A Dedicated or User "
                "Define exchange\nlasts its whole window (0.5 s, 1 s) whatever comes, and a "
                "Loader one that gets no reply\nlasts 0.5 s: they are fewer, enough for every "
                "reply class on every console.\n\n",
                qPrintable(number(exchanges)), soak.seconds(), qPrintable(soak.ledger().mix()),
                soak.vanishCycles());
    SoakTable table({QStringLiteral("engine"),
                     QStringLiteral("after %1").arg(number(EngineSoak::kFirstFigures)),
                     QStringLiteral("after %1").arg(number(exchanges)), QStringLiteral("target")});
    leakRows(table, soak.first(), soak.last(), QStringLiteral("resident memory (VmRSS)"));
    exchangeRows(table, soak.ledger(), soak.devicePaths());
    table.check({QStringLiteral("vanish-and-reopen cycles: one failure, next exchange right"),
                 {},
                 QStringLiteral("%1 of %2").arg(soak.cleanVanishCycles()).arg(soak.vanishCycles()),
                 QStringLiteral("all")},
                soak.vanishCycles() > 0 && soak.cleanVanishCycles() == soak.vanishCycles());
    table.print();
    examples(soak.ledger());
    std::printf("\n");
    return table.passed();
}

bool windowSoak(int exchanges, const CountingServices& services)
{
    WindowSoak soak(exchanges);
    soak.run();
    std::printf("Window: %s exchanges through the Loader console window in %.0f s (%s history "
                "pages),\n%s.\n\n",
                qPrintable(number(soak.ledger().exchanges())), soak.seconds(),
                qPrintable(number(soak.pages())),
                qPrintable(soak.ledger().mix().section(QLatin1Char(';'), 0, 0)));
    SoakTable table({QStringLiteral("window"),
                     QStringLiteral("after %1").arg(number(WindowSoak::kFirstFigures)),
                     QStringLiteral("after %1").arg(number(exchanges)), QStringLiteral("target")});
    leakRows(table, soak.first(), soak.last(),
             QStringLiteral("resident memory (VmRSS), every history page kept"));
    memoryRow(table, QStringLiteral("resident memory after Clear and one page"),
              soak.firstCleared(), soak.lastCleared());
    exchangeRows(table, soak.ledger(), {soak.devicePath()});
    table.check(
        {QStringLiteral("message boxes"), {}, number(services.boxes), QStringLiteral("none")},
        services.boxes == 0);
    table.print();
    examples(soak.ledger());
    std::printf("\n");

    SoakTable growth({QStringLiteral("cost of growth (median of 9)"),
                      QStringLiteral("after the %1th").arg(WindowSoak::kEarlyCosts),
                      QStringLiteral("after the %1th").arg(number(exchanges)),
                      QStringLiteral("ratio"), QStringLiteral("target")});
    const auto cost = [&](const QString& what, double early, double late) {
        const double ratio = late / early;
        growth.check({what, ms(early), ms(late), QString::number(ratio, 'f', 2) + " x",
                      QStringLiteral("<= 2 x")},
                     ratio <= 2.0);
    };
    cost(QStringLiteral("format switch to hex digits"), soak.early().toHexMs, soak.late().toHexMs);
    cost(QStringLiteral("format switch back to characters"), soak.early().backMs,
         soak.late().backMs);
    cost(QStringLiteral("one more exchange (Send click to drawn reply)"), soak.early().exchangeMs,
         soak.late().exchangeMs);
    growth.print();
    std::printf("\n");
    return table.passed() && growth.passed();
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int engineExchanges =
        argc > 1 ? std::max(EngineSoak::kFirstFigures, atoi(argv[1])) : 10000;
    const int windowExchanges =
        argc > 2 ? std::max(WindowSoak::kFirstFigures, atoi(argv[2])) : 2000;
    CountingServices services;
    WindowServices::install(&services);
    WindowServices::substituteFonts(); // the windows' Korean face, as the program has it
    program().PortNo = QStringLiteral("1");
    program().BaudRate = 38400;

    std::printf("Soak of %s: %s, %d cores, kernel %s, Qt %s; lock files in /run/lock on %s.\n\n",
                qPrintable(QDate::currentDate().toString(Qt::ISODate)),
                qPrintable(QSysInfo::prettyProductName()), QThread::idealThreadCount(),
                qPrintable(QSysInfo::kernelVersion()), qVersion(),
                QStorageInfo(QStringLiteral("/run/lock")).fileSystemType().constData());
    const bool engine = engineSoak(engineExchanges);
    const bool window = windowSoak(windowExchanges, services);
    std::printf("Soak: %s\n", engine && window ? "PASS" : "FAIL");
    return engine && window ? 0 : 1;
}
