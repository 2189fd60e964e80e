#include "serial/SerialControl.h"

#include "serial/NetworkLine.h"
#include "serial/NetworkPort.h"
#include "serial/PortCatalog.h"
#include "serial/PortMap.h"
#include "serial/SerialSystem.h"

#include <QMetaObject>
#include <QScopeGuard>
#include <QSerialPort>
#include <QSocketNotifier>
#include <QStringList>

#include <cerrno>
#include <cstring>

#include <algorithm>

namespace {

// What Qt may take off the line ahead of Input. Qt's own default is no limit, so a device that
// floods the line would fill memory while a window reads one byte a poll; past this the bytes wait
// in the driver. A reply window reads at most 1002 bytes.
constexpr qint64 kReadBufferSize = 4096;

struct ParsedSettings {
    qint32 baud = 9600;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;
};

char parityLetter(QSerialPort::Parity parity)
{
    switch (parity) {
    case QSerialPort::EvenParity:
        return 'E';
    case QSerialPort::OddParity:
        return 'O';
    case QSerialPort::MarkParity:
        return 'M';
    case QSerialPort::SpaceParity:
        return 'S';
    default:
        return 'N';
    }
}

SerialError badField(const QString& what, const QString& field, const QString& settings,
                     const QString& allowed)
{
    return SerialError(
        SerialError::Kind::BadSettings,
        QStringLiteral("%1 \"%2\" in settings \"%3\": %4").arg(what, field, settings, allowed));
}

// "baud,parity,data,stop", as "38400,n,8,1" or "19200, n, 8, 1".
ParsedSettings parseSettings(const QString& settings)
{
    const QStringList fields = settings.split(QLatin1Char(','));
    if (fields.size() != 4)
        throw SerialError(SerialError::Kind::BadSettings,
                          QStringLiteral("settings \"%1\": four fields expected (baud, parity, "
                                         "data bits, stop bits)")
                              .arg(settings));
    const QString baud = fields[0].trimmed();
    const QString parity = fields[1].trimmed().toLower();
    const QString dataBits = fields[2].trimmed();
    const QString stopBits = fields[3].trimmed();

    ParsedSettings parsed;
    bool isNumber = !baud.isEmpty() &&
                    std::all_of(baud.begin(), baud.end(), [](QChar c) { return c.isDigit(); });
    parsed.baud = isNumber ? baud.toInt(&isNumber) : 0;
    if (!isNumber || parsed.baud <= 0)
        throw badField(QStringLiteral("baud rate"), baud, settings,
                       QStringLiteral("a positive whole number expected"));

    if (parity == QLatin1String("n"))
        parsed.parity = QSerialPort::NoParity;
    else if (parity == QLatin1String("e"))
        parsed.parity = QSerialPort::EvenParity;
    else if (parity == QLatin1String("o"))
        parsed.parity = QSerialPort::OddParity;
    else if (parity == QLatin1String("m"))
        parsed.parity = QSerialPort::MarkParity;
    else if (parity == QLatin1String("s"))
        parsed.parity = QSerialPort::SpaceParity;
    else
        throw badField(QStringLiteral("parity"), fields[1].trimmed(), settings,
                       QStringLiteral("n, e, o, m or s expected"));

    if (dataBits == QLatin1String("5"))
        parsed.dataBits = QSerialPort::Data5;
    else if (dataBits == QLatin1String("6"))
        parsed.dataBits = QSerialPort::Data6;
    else if (dataBits == QLatin1String("7"))
        parsed.dataBits = QSerialPort::Data7;
    else if (dataBits == QLatin1String("8"))
        parsed.dataBits = QSerialPort::Data8;
    else
        throw badField(QStringLiteral("data bits"), dataBits, settings,
                       QStringLiteral("5, 6, 7 or 8 expected"));

    if (stopBits == QLatin1String("1"))
        parsed.stopBits = QSerialPort::OneStop;
    else if (stopBits == QLatin1String("1.5"))
        parsed.stopBits = QSerialPort::OneAndHalfStop;
    else if (stopBits == QLatin1String("2"))
        parsed.stopBits = QSerialPort::TwoStop;
    else
        throw badField(QStringLiteral("stop bits"), stopBits, settings,
                       QStringLiteral("1, 1.5 or 2 expected"));
    return parsed;
}

NetworkLine::LineSettings networkSettings(const ParsedSettings& parsed)
{
    NetworkLine::LineSettings settings;
    settings.baud = parsed.baud;
    settings.dataBits = int(parsed.dataBits);
    settings.parity = parityLetter(parsed.parity);
    settings.oneAndHalf = parsed.stopBits == QSerialPort::OneAndHalfStop;
    settings.twoStopBits = parsed.stopBits == QSerialPort::TwoStop;
    return settings;
}

// What the device kept other than asked, as "8 data bits, parity N"; empty when it took all.
QString keptSettings(const ParsedSettings& asked,
                     const std::optional<SerialSystem::LineFormat>& line)
{
    if (!line)
        return {};
    QStringList kept;
    // Drivers report the rate their divider really makes; UARTs tolerate a few percent.
    if (qAbs(qint64(line->baud) - asked.baud) * 100 > qint64(asked.baud) * 3)
        kept << QStringLiteral("%1 baud").arg(line->baud);
    if (line->dataBits != int(asked.dataBits))
        kept << QStringLiteral("%1 data bits").arg(line->dataBits);
    if (line->parity != parityLetter(asked.parity))
        kept << QStringLiteral("parity %1").arg(QLatin1Char(line->parity));
    if (line->twoStopBits != (asked.stopBits != QSerialPort::OneStop))
        kept << QStringLiteral("%1 stop bits").arg(line->twoStopBits ? 2 : 1);
    return kept.join(QStringLiteral(", "));
}

} // namespace

SerialControl::SerialControl(const QString& initialSettings, QObject* parent)
    : SerialLine(parent), m_port(new QSerialPort(this)), m_network(new NetworkLine(this)),
      m_settings(initialSettings)
{
    connect(m_network, &NetworkLine::inputArrived, this, [this] {
        if (!m_waiting)
            emit inputArrived();
    });
    connect(m_network, &NetworkLine::vanished, this, &SerialLine::vanished);
    parseSettings(initialSettings);
    m_port->setReadBufferSize(kReadBufferSize);
    connect(m_port, &QSerialPort::readyRead, this, [this] {
        if (!m_waiting)
            emit inputArrived();
    });
    // Qt 6.4 repeats ReadError without end once the far end is gone, so the first one closes
    // the port. NoError (every open) and TimeoutError (every timed-out wait) are no failures.
    connect(m_port, &QSerialPort::errorOccurred, this, [this](QSerialPort::SerialPortError error) {
        if (error == QSerialPort::ReadError || error == QSerialPort::ResourceError)
            deviceFailed(QStringLiteral("%1: the device went away (%2)")
                             .arg(m_devicePath, m_port->errorString()));
    });
}

SerialControl::~SerialControl()
{
    m_port->disconnect(this);
    if (m_port->isOpen())
        m_port->close();
}

void SerialControl::setCommPort(int port)
{
    if (portOpen())
        throw SerialError(
            SerialError::Kind::Io,
            QStringLiteral("%1: the port cannot change while it is open").arg(m_devicePath));
    if (PortMap::device(port).isEmpty())
        throw SerialError(SerialError::Kind::BadPort,
                          QStringLiteral("port %1 has no device").arg(port));
    m_commPort = port;
}

void SerialControl::setSettings(const QString& settings)
{
    parseSettings(settings);
    const QString previous = m_settings;
    m_settings = settings;
    if (m_network->isOpen()) {
        m_network->applySettings(m_settings, networkSettings(parseSettings(m_settings)));
        return;
    }
    if (!m_port->isOpen())
        return;
    try {
        applySettings();
    } catch (const SerialError&) {
        // The device may have taken some fields before it refused one: put the line back as
        // Settings still says. Should that fail too, the refusal at hand is the news.
        m_settings = previous;
        try {
            applySettings();
        } catch (const SerialError&) {
        }
        throw;
    }
}

void SerialControl::setInputLen(int length)
{
    m_inputLen = std::max(0, length);
}

void SerialControl::setPortOpen(bool open)
{
    if (open)
        openPort();
    else
        closePort();
}

bool SerialControl::portOpen() const
{
    return m_port->isOpen() || m_network->isOpen();
}

QStringList SerialControl::lineState() const
{
    return m_overNetwork ? m_network->lineState() : QStringList();
}

QStringList SerialControl::takeNotices()
{
    return m_network->takeNotices();
}

void SerialControl::setOutput(const QByteArray& bytes)
{
    if (m_network->isOpen())
        return m_network->write(bytes);
    requireUsable();
    m_output += bytes;
    pushOutput();
    requireUsable();
}

QByteArray SerialControl::input()
{
    if (m_network->isOpen())
        return m_network->take(m_inputLen);
    if (m_vanishedReason.isEmpty()) {
        requireUsable();
        waitForInput(0);
    }
    if (m_pending.isEmpty()) {
        if (!m_vanishedReason.isEmpty())
            throw SerialError(SerialError::Kind::Vanished, m_vanishedReason);
        return {};
    }
    const qsizetype count =
        m_inputLen > 0 ? std::min<qsizetype>(m_inputLen, m_pending.size()) : m_pending.size();
    const QByteArray chunk = m_pending.left(count);
    m_pending.remove(0, count);
    return chunk;
}

bool SerialControl::inputWaiting() const
{
    if (m_network->isOpen())
        return m_network->waiting();
    return !m_pending.isEmpty() || m_port->bytesAvailable() > 0;
}

bool SerialControl::waitForInput(int ms)
{
    if (m_network->isOpen())
        return m_network->waitForInput(ms);
    if (m_pending.isEmpty()) {
        waitForDevice(std::max(0, ms));
        takeWaitingInput();
    }
    return !m_pending.isEmpty();
}

qint64 SerialControl::outputLeft()
{
    if (m_network->isOpen())
        return m_network->outputLeft();
    requireUsable();
    pushOutput();
    requireUsable();
    const int queued = SerialSystem::outputQueued(m_port->handle());
    if (queued < 0)
        throw SerialError(SerialError::Kind::Io,
                          QStringLiteral("%1: the output queue cannot be read").arg(m_devicePath));
    return m_output.size() + queued;
}

// The bytes go to the driver here, never through Qt's write buffer: Qt takes a full driver queue
// (EAGAIN) for a device that went away. What the driver cannot take yet waits in m_output and
// goes when it has room, whether or not anybody asks how much is left.
void SerialControl::pushOutput()
{
    while (!m_output.isEmpty() && m_port->isOpen()) {
        const qint64 written =
            SerialSystem::writeSome(m_port->handle(), m_output.constData(), m_output.size());
        if (written < 0) {
            deviceFailed(QStringLiteral("%1: the device went away (%2)")
                             .arg(m_devicePath, QString::fromLocal8Bit(std::strerror(errno))));
            break;
        }
        if (written == 0)
            break;
        m_output.remove(0, written);
    }
    if (m_writable)
        m_writable->setEnabled(!m_output.isEmpty());
}

void SerialControl::applySettings()
{
    const ParsedSettings parsed = parseSettings(m_settings);
    QSerialPort::StopBits stopBits = parsed.stopBits;
    if (stopBits == QSerialPort::OneAndHalfStop) {
        // A UART sends 1.5 stop bits only after 5-bit words, where termios asks for them with
        // the two-stop-bit flag; Qt itself would quietly send one.
        if (parsed.dataBits != QSerialPort::Data5)
            throw SerialError(SerialError::Kind::Refused,
                              QStringLiteral("%1: settings \"%2\": 1.5 stop bits need 5 data bits")
                                  .arg(m_devicePath, m_settings));
        stopBits = QSerialPort::TwoStop;
    }
    const bool applied = m_port->setBaudRate(parsed.baud) && m_port->setDataBits(parsed.dataBits) &&
                         m_port->setParity(parsed.parity) && m_port->setStopBits(stopBits) &&
                         m_port->setFlowControl(QSerialPort::NoFlowControl);
    if (!applied)
        throw SerialError(SerialError::Kind::Refused,
                          QStringLiteral("%1: settings \"%2\" refused (%3)")
                              .arg(m_devicePath, m_settings, m_port->errorString()));
    // A driver may accept a setting it cannot do and quietly keep the old one.
    const QString kept = keptSettings(parsed, SerialSystem::lineFormat(m_port->handle()));
    if (!kept.isEmpty())
        throw SerialError(SerialError::Kind::Refused,
                          QStringLiteral("%1: settings \"%2\" refused (the device keeps %3)")
                              .arg(m_devicePath, m_settings, kept));
}

void SerialControl::deviceFailed(const QString& reason)
{
    if (!m_vanishedReason.isEmpty() || !m_port->isOpen())
        return;
    takeWaitingInput();
    m_vanishedReason = reason;
    dropOutput();
    m_port->close();
    // Queued, so that a handler never runs inside Input or a wait of this control.
    QMetaObject::invokeMethod(this, &SerialControl::vanished, Qt::QueuedConnection);
}

void SerialControl::takeWaitingInput()
{
    if (m_port->isOpen() && m_port->bytesAvailable() > 0)
        m_pending += m_port->readAll();
}

// Qt's waitForReadyRead looks only at the device, so it runs only when Qt's buffer is empty.
void SerialControl::waitForDevice(int ms)
{
    if (!m_port->isOpen() || m_port->bytesAvailable() > 0)
        return;
    // A look with no wait asks the device directly: Qt would report each empty look as a
    // timeout error, once per poll of every receive loop.
    if (ms == 0 && !SerialSystem::hasNews(m_port->handle()))
        return;
    m_waiting = true;
    const auto done = qScopeGuard([this] { m_waiting = false; });
    m_port->waitForReadyRead(ms);
}

void SerialControl::requireUsable() const
{
    if (!m_vanishedReason.isEmpty())
        throw SerialError(SerialError::Kind::Vanished, m_vanishedReason);
    if (!m_port->isOpen())
        throw SerialError(SerialError::Kind::NotOpen, QStringLiteral("the port is not open"));
}

void SerialControl::openPort()
{
    if (portOpen())
        throw SerialError(SerialError::Kind::Io,
                          QStringLiteral("%1: already open").arg(m_devicePath));
    // setCommPort lets only mapped ports in, so there is always a device to open.
    const QString path = PortMap::device(m_commPort);
    // Forgets what a device that went away left behind.
    closePort();
    m_devicePath = path;
    m_overNetwork = NetworkPort::looksLikeNetwork(path);
    if (m_overNetwork) {
        QString why;
        const std::optional<NetworkPort::Address> address = NetworkPort::parse(path, &why);
        if (!address)
            throw SerialError(SerialError::Kind::NotFound, why);
        m_network->open(*address, m_settings, networkSettings(parseSettings(m_settings)));
        return;
    }
    // A link (a stable by-id name, a simulator's link) opens as the device it leads to.
    m_port->setPortName(PortCatalog::deviceBehind(path));
    if (!m_port->open(QIODevice::ReadWrite))
        throw SerialError::openFailure(*m_port, path);
    try {
        applySettings();
    } catch (const SerialError&) {
        m_port->close();
        throw;
    }
    // The driver keeps what arrived while the port was closed; a fresh port holds no input.
    if (!m_port->clear(QSerialPort::Input)) {
        const QString detail = m_port->errorString();
        m_port->close();
        throw SerialError(SerialError::Kind::Io, QStringLiteral("%1: %2").arg(path, detail));
    }
    m_writable = new QSocketNotifier(m_port->handle(), QSocketNotifier::Write, this);
    m_writable->setEnabled(false);
    connect(m_writable, &QSocketNotifier::activated, this, &SerialControl::pushOutput);
}

void SerialControl::dropOutput()
{
    m_output.clear();
    if (!m_writable)
        return;
    // This may run inside the notifier's own signal, when a write finds the device gone.
    m_writable->setEnabled(false);
    m_writable->deleteLater();
    m_writable = nullptr;
}

void SerialControl::closePort()
{
    m_pending.clear();
    m_vanishedReason.clear();
    m_network->close();
    dropOutput();
    if (!m_port->isOpen())
        return;
    // Output is left only when an exchange failed or ended before its frame was out. The rest
    // of that frame must not reach the device ahead of the next one, and a serial driver would
    // hold the close until it had sent it.
    m_port->clear(QSerialPort::Output);
    m_port->close();
}
