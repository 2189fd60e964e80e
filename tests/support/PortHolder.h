#pragma once
// Another program holding a serial device, for the busy-port cases: the test executable started
// again, which opens the device and holds it until told to let go. A test that uses it routes
// its main() through PortHolder::isHolderCall and PortHolder::hold first:
//
//     if (PortHolder::isHolderCall(argc, argv))
//         return PortHolder::hold(argc, argv);
//
//     PortHolder holder(PortHolder::How::Locked, path);
//     QVERIFY(holder.holding());
//     ... the device is busy ...
//     QVERIFY(holder.release());

#include <QProcess>
#include <QString>

class PortHolder {
public:
    enum class How {
        Locked,   // as a program on QSerialPort does: its lock file and TIOCEXCL
        Exclusive // TIOCEXCL alone, with no lock file
    };

    PortHolder(How how, const QString& devicePath);
    ~PortHolder();
    PortHolder(const PortHolder&) = delete;
    PortHolder& operator=(const PortHolder&) = delete;

    // Waits until the other program holds the device; false when it could not.
    bool holding();
    // Tells it to let go and waits for its end; true when it let go cleanly.
    bool release();

    // The other program's side: whether this run of the executable is one, and its whole run.
    static bool isHolderCall(int argc, char** argv);
    static int hold(int argc, char** argv);

private:
    QProcess m_process;
};
