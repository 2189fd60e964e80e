// The device behind com1 and com2: the choice kept between runs by its stable name, the command
// line's choice for one run, the Ports window that makes the choice, and the settings window's
// line that shows it. Ports are pseudo-terminals and the stable names links in a folder of the
// test's own, where real adapters cannot be had.

#include "AsOrdinaryUser.h"
#include "PtyPair.h"
#include "RecordingServices.h"
#include "app/CommandLine.h"
#include "serial/PortChoices.h"
#include "serial/PortMap.h"
#include "serial/SerialControl.h"
#include "windows/PortsWindow.h"
#include "windows/SettingsWindow.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

namespace {

QString keptValue(int port)
{
    return QSettings(QSettings::IniFormat, QSettings::UserScope, "rs232c-tester", "rs232c-tester")
        .value(QStringLiteral("ports/com%1").arg(port))
        .toString();
}

// The Access cell of the row that lists device.
QString accessOf(const PortsWindow& window, const QString& device)
{
    const auto* list = window.findChild<QTableWidget*>("PortList");
    for (int row = 0; row < list->rowCount(); ++row) {
        if (list->item(row, 0)->text() == device)
            return list->item(row, list->columnCount() - 1)->text();
    }
    return {};
}

} // namespace

class TestPortsWindow : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_config.isValid());
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config.path()));
    }
    void init()
    {
        m_byId = std::make_unique<QTemporaryDir>();
        m_stable = m_byId->filePath("usb-Maker_Adapter_A1-if00-port0");
        for (int port = 1; port <= 2; ++port) {
            PortChoices::keep(port, {});
            PortMap::setDevice(port, {});
        }
    }

    // Kept by its stable name, the choice follows the adapter to whatever device it is now,
    // and a gone adapter shows as missing rather than being replaced.
    void keptChoiceFollowsTheStableName()
    {
        PtyPair first, second;
        QVERIFY(QFile::link(first.devicePath(), m_stable));
        QCOMPARE(PortChoices::keep(1, first.devicePath(), m_byId->path()), m_stable);
        QCOMPARE(keptValue(1), m_stable);
        PortMap::setKeptDevice(1, {});
        PortChoices::load();
        QCOMPARE(PortMap::device(1), m_stable);
        QCOMPARE(PortMap::source(1), PortMap::Source::Kept);

        // Replugged into another socket: the same stable name, another device.
        QVERIFY(QFile::remove(m_stable));
        QVERIFY(QFile::link(second.devicePath(), m_stable));
        SerialControl port;
        port.setCommPort(1);
        port.setPortOpen(true);
        port.setOutput("X");
        QTRY_VERIFY(port.outputDrained());
        QCOMPARE(second.read(1, 2000), QByteArray("X"));
        port.setPortOpen(false);

        QVERIFY(QFile::remove(m_stable));
        QCOMPARE(PortMap::device(1), m_stable);
        QVERIFY(PortsWindow::describePort(1).contains("missing"));
        const PortsWindow window(
            nullptr, [] { return QList<PortInfo>{}; }, m_byId->path());
        QCOMPARE(accessOf(window, m_stable), "missing");
    }

    void commandLineOverridesWithoutKeeping()
    {
        PtyPair kept;
        PortChoices::keep(1, kept.devicePath());
        const CommandLine options = parseCommandLine({"rs232c-tester", "--com1", "/dev/ttyUSB7"});
        const auto devices = mapPorts(options);
        QCOMPARE(PortMap::device(1), "/dev/ttyUSB7");
        QCOMPARE(PortMap::source(1), PortMap::Source::ThisRun);
        QCOMPARE(keptValue(1), kept.devicePath());
        QVERIFY(PortsWindow::describePort(1).contains("for this run"));
    }

    // Ctrl+P on the settings window opens the Ports window; a typed name (a pseudo-terminal is
    // never listed), bare as people say it under /dev, becomes com1 by its path, is kept, and
    // shows in the settings window's line as a device that is there.
    void portsWindowAssignsATypedName()
    {
        PtyPair device;
        QVERIFY(device.devicePath().startsWith("/dev/pts/"));
        const QString bareName = device.devicePath().mid(5);
        RecordingServices services;
        services.registerWindow(WindowId::Settings, [] { return new SettingsWindow(program()); });
        QWidget* form = services.show(WindowId::Settings);
        QVERIFY(QTest::qWaitForWindowActive(form));
        QTest::keyClick(form, Qt::Key_P, Qt::ControlModifier);
        auto* ports = form->findChild<PortsWindow*>();
        QVERIFY(ports);
        QVERIFY(ports->isVisible());
        auto* path = ports->findChild<QLineEdit*>("DevicePath");
        path->setText(bareName);
        QTest::mouseClick(ports->findChild<QPushButton*>("UseCom1"), Qt::LeftButton);
        QCOMPARE(PortMap::device(1), device.devicePath());
        QCOMPARE(keptValue(1), device.devicePath());
        const QString choice = ports->findChild<QLabel*>("Com1Choice")->text();
        QCOMPARE(choice, device.devicePath() + " (kept)");
        QCOMPARE(accessOf(*ports, device.devicePath()), "ok");
        QTest::mouseClick(ports->findChild<QPushButton*>("Close"), Qt::LeftButton);
        QTRY_VERIFY(!form->findChild<PortsWindow*>());
        const QString line = form->findChild<QLabel*>("PortDevices")->text();
        QVERIFY2(line.startsWith("com1 " + bareName + "  "), qPrintable(line));

        QTest::mouseClick(form->findChild<QPushButton*>("PortsButton"), Qt::LeftButton);
        ports = form->findChild<PortsWindow*>();
        QVERIFY(ports && ports->isVisible());
        QTest::mouseClick(ports->findChild<QPushButton*>("DefaultCom1"), Qt::LeftButton);
        QCOMPARE(PortMap::device(1), PortMap::defaultDevice(1));
        QVERIFY(keptValue(1).isEmpty());
    }

    // A network port typed into the path box is kept as it is typed, between runs like any
    // device, and shown as a network port with its host: listed, in the choice, and in the
    // settings window's line by its host and port.
    void portsWindowKeepsATypedNetworkPort_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("hostAndPort");
        QTest::newRow("rfc2217") << "rfc2217://rack7.lab:4001"
                                 << "network port on rack7.lab (RFC 2217)"
                                 << "rack7.lab:4001";
        QTest::newRow("raw tcp, IPv6") << "tcp://[fd00::7]:4002"
                                       << "network port on fd00::7 (raw TCP)"
                                       << "[fd00::7]:4002";
    }
    void portsWindowKeepsATypedNetworkPort()
    {
        QFETCH(QString, url);
        QFETCH(QString, shown);
        QFETCH(QString, hostAndPort);
        RecordingServices services;
        PortsWindow window(
            nullptr, [] { return QList<PortInfo>(); }, m_byId->path());
        window.findChild<QLineEdit*>("DevicePath")->setText(url);
        QTest::mouseClick(window.findChild<QPushButton*>("UseCom2"), Qt::LeftButton);
        QCOMPARE(PortMap::device(2), url);
        QCOMPARE(keptValue(2), url);
        QCOMPARE(window.findChild<QLabel*>("Com2Choice")->text(),
                 QStringLiteral("%1 (%2; kept)").arg(url, shown));
        QCOMPARE(accessOf(window, url), "network");
        // The next run reads it back as it was typed.
        PortMap::setKeptDevice(2, {});
        PortChoices::load();
        QCOMPARE(PortMap::device(2), url);
        SettingsWindow settings(program());
        const auto* line = settings.findChild<QLabel*>("PortDevices");
        // The line is elided in its middle; its end is com2's host and port.
        QVERIFY2(line->text().endsWith(hostAndPort.right(8)), qPrintable(line->text()));
        QVERIFY2(!line->text().contains("missing"), qPrintable(line->text()));
        QVERIFY(line->toolTip().contains(QStringLiteral("com2: %1 (%2; kept)").arg(url, shown)));
    }

    // The line and its button take only the free band of the setting frame and stay out of the
    // tab chain, so every other control keeps its place, size and order.
    void newControlsUseOnlyTheFreeBand()
    {
        SettingsWindow form(program());
        auto* frame = form.findChild<QGroupBox*>("Frame2");
        for (const char* name : {"PortsButton", "PortDevices"}) {
            auto* added = form.findChild<QWidget*>(name);
            QVERIFY(added);
            QCOMPARE(added->parentWidget(), frame);
            QVERIFY(frame->rect().contains(added->geometry()));
            QCOMPARE(added->focusPolicy(), Qt::NoFocus);
            for (QWidget* other : frame->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
                if (other != added && other->objectName() != "PortsButton" &&
                    other->objectName() != "PortDevices")
                    QVERIFY2(!other->geometry().intersects(added->geometry()),
                             qPrintable(other->objectName()));
            }
        }
    }

    void deniedDeviceSaysHowToGetAccess()
    {
        PtyPair device;
        QCOMPARE(::chmod(QFile::encodeName(device.devicePath()).constData(), 0), 0);
        PortMap::setDevice(2, device.devicePath());
        const AsOrdinaryUser user;
        if (!user.active())
            QSKIP("cannot leave root, which may open every device");
        PortsWindow window(
            nullptr, [] { return QList<PortInfo>{}; }, m_byId->path());
        QCOMPARE(accessOf(window, device.devicePath()), "no permission");
        window.findChild<QLineEdit*>("DevicePath")->setText(device.devicePath());
        QVERIFY(window.findChild<QLabel*>("AccessHint")->text().contains("administrator"));
    }

    void stableNamesOfTheCatalog()
    {
        PtyPair device;
        QVERIFY(QFile::link(device.devicePath(), m_stable));
        QCOMPARE(PortCatalog::stableName(device.devicePath(), m_byId->path()), m_stable);
        QCOMPARE(PortCatalog::stableName(m_stable, m_byId->path()), m_stable);
        QVERIFY(PortCatalog::stableName("/dev/no-such-device", m_byId->path()).isEmpty());
        PortInfo usb;
        usb.vendorId = 0x0403;
        usb.productId = 0x6001;
        QCOMPARE(usb.usbIds(), "0403:6001");
    }

private:
    QTemporaryDir m_config;
    std::unique_ptr<QTemporaryDir> m_byId;
    QString m_stable;
};

QTEST_MAIN(TestPortsWindow)
#include "tst_ports_window.moc"
