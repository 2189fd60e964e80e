// Network port names: each spelling a lab or pyserial uses, and the refusals of names that look
// like URLs but cannot be used.

#include "serial/NetworkPort.h"

#include <QTest>

class TestNetworkPort : public QObject {
    Q_OBJECT

private slots:
    void names_data();
    void names();
};

void TestNetworkPort::names_data()
{
    // url: the name as the program shows it; empty when refused (or no network name at all).
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("host");
    QTest::addColumn<bool>("network");

    QTest::newRow("rfc2217") << "rfc2217://127.0.0.1:7000"
                             << "rfc2217://127.0.0.1:7000"
                             << "127.0.0.1" << true;
    QTest::newRow("raw tcp") << "tcp://lab-rack-3:4001"
                             << "tcp://lab-rack-3:4001"
                             << "lab-rack-3" << true;
    QTest::newRow("pyserial's socket") << "socket://box:4001"
                                       << "tcp://box:4001"
                                       << "box" << true;
    QTest::newRow("scheme in capitals") << "RFC2217://box:1"
                                        << "rfc2217://box:1"
                                        << "box" << true;
    QTest::newRow("ipv6") << "rfc2217://[::1]:7000"
                          << "rfc2217://[::1]:7000"
                          << "::1" << true;
    QTest::newRow("pyserial's options") << "rfc2217://box:7000?ign_set_control&timeout=3"
                                        << "rfc2217://box:7000"
                                        << "box" << true;
    QTest::newRow("local device") << "/dev/ttyUSB0"
                                  << ""
                                  << "" << false;
    QTest::newRow("bare name") << "ttyS0"
                               << ""
                               << "" << false;
    QTest::newRow("other scheme") << "ssh://box:22"
                                  << ""
                                  << "" << true;
    QTest::newRow("no port") << "rfc2217://box"
                             << ""
                             << "" << true;
    QTest::newRow("port zero") << "tcp://box:0"
                               << ""
                               << "" << true;
    QTest::newRow("port too big") << "tcp://box:65536"
                                  << ""
                                  << "" << true;
    QTest::newRow("no host") << "tcp://:4001"
                             << ""
                             << "" << true;
    QTest::newRow("ipv6 unbracketed") << "tcp://::1:4001"
                                      << ""
                                      << "" << true;
    QTest::newRow("ipv6 unclosed") << "tcp://[::1:4001"
                                   << ""
                                   << "" << true;
}

void TestNetworkPort::names()
{
    QFETCH(QString, name);
    QFETCH(QString, url);
    QFETCH(QString, host);
    QFETCH(bool, network);

    QCOMPARE(NetworkPort::looksLikeNetwork(name), network);
    QString error;
    const std::optional<NetworkPort::Address> address = NetworkPort::parse(name, &error);
    QCOMPARE(address.has_value(), !url.isEmpty());
    if (address) {
        QCOMPARE(address->url(), url);
        QCOMPARE(address->host, host);
        QVERIFY(error.isEmpty());
    } else {
        // A network name that cannot be used says why, naming what was given.
        QCOMPARE(error.isEmpty(), !network);
        if (network)
            QVERIFY2(error.startsWith(name + QStringLiteral(": ")), qPrintable(error));
    }
}

QTEST_GUILESS_MAIN(TestNetworkPort)
#include "tst_network_port.moc"
