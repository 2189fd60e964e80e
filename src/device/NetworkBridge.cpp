#include "device/NetworkBridge.h"

#include "serial/GensioLoop.h"
#include "serial/SerialError.h"

#include <gensio/gensio.h>
#include <gensio/gensio_os_funcs.h>
#include <gensio/sergensio.h>

#include <QByteArray>
#include <QStringList>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <future>
#include <mutex>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// What the bridge takes from one side before the other has taken it all.
constexpr size_t kChunk = 16 * 1024;
constexpr char kSignature[] = "rs232c simulate";
// The simulated device keeps its lines up: CTS, DSR and carrier.
constexpr unsigned int kModemLines =
    SERGENSIO_MODEMSTATE_CTS | SERGENSIO_MODEMSTATE_DSR | SERGENSIO_MODEMSTATE_CD;
constexpr char kBusy[] = "rs232c simulate: this device serves one client at a time, and another "
                         "one is connected\r\n";

QString errorText(int error)
{
    return QString::fromLocal8Bit(gensio_err_to_str(error));
}

SerialError failure(SerialError::Kind kind, const QString& where, const QString& what)
{
    return SerialError(kind, QStringLiteral("%1: %2").arg(where, what));
}

// gensio's host and port: an IPv6 literal is named as one.
QString gensioAddress(const QString& host, quint16 port)
{
    const QString family = host.contains(QLatin1Char(':')) ? QStringLiteral("ipv6,") : QString();
    return QStringLiteral("%1%2,%3").arg(family, host).arg(port);
}

QString stack(NetworkPort::Kind kind)
{
    return kind == NetworkPort::Kind::Rfc2217 ? QStringLiteral("telnet(rfc2217),tcp,")
                                              : QStringLiteral("tcp,");
}

// "127.0.0.1:4000" or "[::1]:4000" from gensio's "ipv4,127.0.0.1,4000".
QString remoteAddress(gensio* io)
{
    char text[256] = "0";
    gensiods length = sizeof text;
    if (gensio_control(io, GENSIO_CONTROL_DEPTH_FIRST, true, GENSIO_CONTROL_RADDR, text, &length) !=
        0)
        return QStringLiteral("a client");
    const QStringList parts = QString::fromLatin1(text).split(QLatin1Char(','));
    if (parts.size() < 2)
        return QString::fromLatin1(text);
    return NetworkPort::Address{NetworkPort::Kind::RawTcp, parts.at(parts.size() - 2),
                                parts.last().toUShort()}
        .hostAndPort();
}

// Runs work on gensio's thread and waits until it has run: everything the bridge keeps is then
// touched by that thread alone.
void onLoop(const std::function<void()>& work)
{
    struct Job {
        const std::function<void()>& work;
        std::promise<void> done;
    } job{work, {}};
    gensio_os_funcs* os = GensioLoop::os();
    gensio_runner* runner = gensio_os_funcs_alloc_runner(
        os,
        [](gensio_runner*, void* data) {
            auto* job = static_cast<Job*>(data);
            job->work();
            job->done.set_value();
        },
        &job);
    if (!runner)
        throw SerialError(SerialError::Kind::Io, QStringLiteral("gensio: out of memory"));
    std::future<void> done = job.done.get_future();
    gensio_os_funcs_run(os, runner);
    done.wait();
    gensio_os_funcs_free_runner(os, runner);
}

} // namespace

struct NetworkBridge::State {
    gensio_os_funcs* os = GensioLoop::os();
    Notice notice;
    NetworkPort::Address address;
    bool server = false;
    int deviceEnd = -1;
    int bridgeEnd = -1;
    gensio_iod* iod = nullptr;
    gensio_accepter* accepter = nullptr;
    gensio* io = nullptr;
    QString client; // the connected client's address
    bool deviceGone = false;

    // The device's bytes taken from the socket pair and not yet taken by gensio; with the socket
    // pair's own queue, what delivered() looks at.
    mutable std::mutex sending;
    QByteArray toNetwork;
    // The client's bytes the socket pair has not taken yet: one of gensio's reads at most.
    QByteArray toDevice;

    // Connecting: gensio's answer, unless the bridge gave up first.
    std::promise<int> opened;
    bool abandoned = false;

    // What the client set over RFC 2217, answered back as a port that takes every setting.
    unsigned int baud = 9600;
    unsigned int dataSize = 8;
    unsigned int parity = SERGENSIO_PARITY_NONE;
    unsigned int stopBits = 1;
    unsigned int flowControl = SERGENSIO_FLOWCONTROL_NONE;
    unsigned int inFlowControl = SERGENSIO_FLOWCONTROL_NONE;
    unsigned int breakState = SERGENSIO_BREAK_OFF;
    unsigned int dtr = SERGENSIO_DTR_ON;
    unsigned int rts = SERGENSIO_RTS_ON;

    // gensio objects being closed or shut down; the destructor waits for none to be left.
    std::mutex closing;
    std::condition_variable closed;
    int inClosing = 0;
    bool socketCleared = false;

    ~State()
    {
        if (deviceEnd >= 0)
            ::close(deviceEnd);
        if (bridgeEnd >= 0)
            ::close(bridgeEnd);
    }

    void tell(const QString& text) const
    {
        if (notice)
            notice(text);
    }

    void closeLater(gensio* connection)
    {
        {
            const std::lock_guard lock(closing);
            ++inClosing;
        }
        const auto done = [](gensio* connection, void* data) {
            gensio_free(connection);
            auto* state = static_cast<State*>(data);
            const std::lock_guard lock(state->closing);
            --state->inClosing;
            state->closed.notify_all();
        };
        if (gensio_close(connection, done, this) != 0)
            done(connection, this);
    }

    void dropClient()
    {
        if (!io)
            return;
        gensio* connection = io;
        io = nullptr;
        closeLater(connection);
        {
            const std::lock_guard lock(sending);
            toNetwork.clear();
        }
        // With nobody connected the device's bytes go nowhere, as on a line with nothing on it.
        if (!deviceGone)
            os->set_read_handler(iod, true);
    }

    void lost(int error)
    {
        if (server) {
            tell(QStringLiteral("client %1 left").arg(client));
        } else {
            tell(error == GE_REMCLOSE
                     ? QStringLiteral("%1: the server closed the connection").arg(address.url())
                     : QStringLiteral("%1: %2").arg(address.url(), errorText(error)));
            // The device reads the end of file, as from a line that hung up.
            ::shutdown(bridgeEnd, SHUT_WR);
        }
        dropClient();
    }

    // Hands gensio what the device wrote; reads more from the device only once it took it all.
    void sendOn()
    {
        if (!io)
            return;
        int error = 0;
        bool waiting = false;
        {
            const std::lock_guard lock(sending);
            while (!toNetwork.isEmpty()) {
                gensiods count = 0;
                error = gensio_write(io, &count, toNetwork.constData(), gensiods(toNetwork.size()),
                                     nullptr);
                if (error || count == 0)
                    break;
                toNetwork.remove(0, qsizetype(count));
            }
            waiting = !toNetwork.isEmpty();
        }
        if (error)
            return lost(error);
        gensio_set_write_callback_enable(io, waiting);
        if (!deviceGone)
            os->set_read_handler(iod, !waiting);
        else if (!waiting)
            dropClient();
    }

    // The device wrote: its bytes go to the client, or nowhere when none is connected. Once the
    // device has closed its end, the client's connection closes after its last bytes.
    void fromDevice()
    {
        char buffer[kChunk];
        {
            const std::lock_guard lock(sending);
            const ssize_t count = ::recv(bridgeEnd, buffer, sizeof buffer, MSG_DONTWAIT);
            if (count < 0 && (errno == EAGAIN || errno == EINTR))
                return;
            if (count <= 0) {
                deviceGone = true;
                os->set_read_handler(iod, false);
            } else if (io) {
                toNetwork.append(buffer, count);
            }
        }
        sendOn();
    }

    // The client wrote: its bytes go to the device as far as the socket pair takes them; the
    // rest waits here, and gensio reads no more until the device has taken it.
    void fromClient(const unsigned char* bytes, gensiods count)
    {
        toDevice.append(reinterpret_cast<const char*>(bytes), qsizetype(count));
        sendToDevice();
    }

    void sendToDevice()
    {
        while (!toDevice.isEmpty()) {
            const ssize_t written = ::send(bridgeEnd, toDevice.constData(), size_t(toDevice.size()),
                                           MSG_DONTWAIT | MSG_NOSIGNAL);
            if (written < 0 && (errno == EAGAIN || errno == EINTR))
                break;
            if (written < 0)
                toDevice.clear(); // the device is gone: what the client sends goes nowhere
            else
                toDevice.remove(0, written);
        }
        const bool waiting = !toDevice.isEmpty();
        os->set_write_handler(iod, waiting);
        if (io)
            gensio_set_read_callback_enable(io, !waiting);
    }

    // Answers an RFC 2217 request: a value of 0 asks for the setting, any other sets it. As a
    // client the bridge asks nothing and the server's notices change nothing for the device.
    void answer(int event, const unsigned char* buffer, gensiods length)
    {
        sergensio* port = server ? gensio_to_sergensio(io) : nullptr;
        if (!port)
            return;
        unsigned int value = 0;
        if (buffer && length >= sizeof value)
            std::memcpy(&value, buffer, sizeof value);
        const auto keep = [value](unsigned int& setting) {
            if (value != 0)
                setting = value;
            return setting;
        };
        switch (event) {
        case GENSIO_EVENT_SER_BAUD:
            sergensio_baud(port, keep(baud), nullptr, nullptr);
            break;
        case GENSIO_EVENT_SER_DATASIZE:
            sergensio_datasize(port, keep(dataSize), nullptr, nullptr);
            break;
        case GENSIO_EVENT_SER_PARITY:
            sergensio_parity(port, keep(parity), nullptr, nullptr);
            break;
        case GENSIO_EVENT_SER_STOPBITS:
            sergensio_stopbits(port, keep(stopBits), nullptr, nullptr);
            break;
        case GENSIO_EVENT_SER_FLOWCONTROL:
            sergensio_flowcontrol(port, keep(flowControl), nullptr, nullptr);
            break;
        case GENSIO_EVENT_SER_IFLOWCONTROL:
            sergensio_iflowcontrol(port, keep(inFlowControl), nullptr, nullptr);
            break;
        case GENSIO_EVENT_SER_SBREAK:
            sergensio_sbreak(port, keep(breakState), nullptr, nullptr);
            break;
        case GENSIO_EVENT_SER_DTR:
            sergensio_dtr(port, keep(dtr), nullptr, nullptr);
            break;
        case GENSIO_EVENT_SER_RTS:
            sergensio_rts(port, keep(rts), nullptr, nullptr);
            break;
        case GENSIO_EVENT_SER_SIGNATURE:
            sergensio_signature(port, kSignature, sizeof kSignature - 1, nullptr, nullptr);
            break;
        case GENSIO_EVENT_SER_MODEMSTATE:
            sergensio_modemstate(port, kModemLines);
            break;
        case GENSIO_EVENT_SER_LINESTATE:
            sergensio_linestate(port, 0);
            break;
        case GENSIO_EVENT_SER_FLUSH:
            // What the port received and has not handed to the client yet goes.
            if (value == SERGENSIO_FLUSH_RCV_BUFFER || value == SERGENSIO_FLUSH_RCV_XMIT_BUFFERS) {
                const std::lock_guard lock(sending);
                toNetwork.clear();
            }
            sergensio_flush(port, value);
            break;
        default:
            break;
        }
    }

    static int event(gensio* connection, void* data, int event, int error, unsigned char* buffer,
                     gensiods* length, const char* const*)
    {
        auto* state = static_cast<State*>(data);
        // A connection on its way out: what it still reads goes nowhere.
        if (connection != state->io)
            return event == GENSIO_EVENT_READ ? 0 : GE_NOTSUP;
        switch (event) {
        case GENSIO_EVENT_READ:
            if (error)
                state->lost(error);
            else
                state->fromClient(buffer, *length);
            return 0;
        case GENSIO_EVENT_WRITE_READY:
            state->sendOn();
            return 0;
        default:
            if (event >= SERGENSIO_EVENT_BASE && event <= SERGENSIO_EVENT_MAX) {
                state->answer(event, buffer, length ? *length : 0);
                return 0;
            }
            return GE_NOTSUP;
        }
    }

    // A refused client's bytes are read and dropped while its connection closes.
    static int refusedEvent(gensio*, void*, int event, int, unsigned char*, gensiods*,
                            const char* const*)
    {
        return event == GENSIO_EVENT_READ ? 0 : GE_NOTSUP;
    }

    static int accepted(gensio_accepter*, void* data, int event, void* eventData)
    {
        if (event != GENSIO_ACC_EVENT_NEW_CONNECTION)
            return GE_NOTSUP;
        auto* state = static_cast<State*>(data);
        auto* connection = static_cast<gensio*>(eventData);
        const QString from = remoteAddress(connection);
        if (state->io || state->deviceGone) {
            gensio_set_callback(connection, refusedEvent, state);
            gensiods count = 0;
            gensio_write(connection, &count, kBusy, sizeof kBusy - 1, nullptr);
            state->closeLater(connection);
            state->tell(
                QStringLiteral("refused client %1: %2 is connected, and one client at a time is "
                               "served")
                    .arg(from, state->client));
            return 0;
        }
        state->io = connection;
        state->client = from;
        gensio_set_callback(connection, State::event, state);
        gensio_set_read_callback_enable(connection, true);
        state->tell(QStringLiteral("client %1 connected").arg(from));
        return 0;
    }

    // Makes the socket pair and watches the bridge's end on gensio's thread; the error, if any.
    QString watchSocketPair()
    {
        int ends[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, ends) != 0)
            return QStringLiteral("socketpair: %1").arg(QString::fromLocal8Bit(strerror(errno)));
        deviceEnd = ends[0];
        bridgeEnd = ends[1];
        if (const int error = os->add_iod(os, GENSIO_IOD_SOCKET, bridgeEnd, &iod))
            return errorText(error);
        const auto readable = [](gensio_iod*, void* data) {
            static_cast<State*>(data)->fromDevice();
        };
        const auto writable = [](gensio_iod*, void* data) {
            static_cast<State*>(data)->sendToDevice();
        };
        const auto cleared = [](gensio_iod*, void* data) {
            auto* state = static_cast<State*>(data);
            const std::lock_guard lock(state->closing);
            state->socketCleared = true;
            state->closed.notify_all();
        };
        if (const int error =
                os->set_fd_handlers(iod, this, readable, writable, nullptr, cleared)) {
            os->release_iod(iod);
            iod = nullptr;
            return errorText(error);
        }
        os->set_read_handler(iod, true);
        return {};
    }

    // On gensio's thread: stops listening, closes the connection and the socket pair's watch.
    void shutDown()
    {
        if (accepter) {
            {
                const std::lock_guard lock(closing);
                ++inClosing;
            }
            const auto done = [](gensio_accepter* accepter, void* data) {
                gensio_acc_free(accepter);
                auto* state = static_cast<State*>(data);
                const std::lock_guard lock(state->closing);
                --state->inClosing;
                state->closed.notify_all();
            };
            if (gensio_acc_shutdown(accepter, done, this) != 0)
                done(accepter, this);
            accepter = nullptr;
        }
        if (io) {
            gensio* connection = io;
            io = nullptr;
            closeLater(connection);
        }
        if (iod) {
            os->set_read_handler(iod, false);
            os->set_write_handler(iod, false);
            os->clear_fd_handlers(iod);
        } else {
            socketCleared = true;
        }
    }

    // Off gensio's thread: waits until gensio is done with everything shutDown() closed.
    void waitForShutDown()
    {
        std::unique_lock lock(closing);
        closed.wait(lock, [this] { return inClosing == 0 && socketCleared; });
        lock.unlock();
        if (iod)
            os->release_iod(iod);
        iod = nullptr;
    }
};

NetworkBridge::NetworkBridge(std::unique_ptr<State> state) : d(std::move(state)) {}

NetworkBridge::~NetworkBridge()
{
    onLoop([this] { d->shutDown(); });
    d->waitForShutDown();
}

std::unique_ptr<NetworkBridge> NetworkBridge::listen(const NetworkPort::Address& address,
                                                     Notice notice)
{
    auto state = std::make_unique<State>();
    state->notice = std::move(notice);
    state->server = true;
    state->address = address;
    const QString where = QStringLiteral("listening on %1").arg(address.hostAndPort());
    const QByteArray gensioString =
        (stack(address.kind) + gensioAddress(address.host, address.port)).toLatin1();
    QString error;
    onLoop([&] {
        error = state->watchSocketPair();
        if (!error.isEmpty())
            return;
        int failed = str_to_gensio_accepter(gensioString.constData(), state->os, State::accepted,
                                            state.get(), &state->accepter);
        if (!failed)
            failed = gensio_acc_startup(state->accepter);
        if (failed) {
            error = errorText(failed);
            if (state->accepter)
                gensio_acc_free(state->accepter);
            state->accepter = nullptr;
            return;
        }
        char bound[32] = "0";
        gensiods length = sizeof bound;
        if (gensio_acc_control(state->accepter, GENSIO_CONTROL_DEPTH_FIRST, true,
                               GENSIO_ACC_CONTROL_LPORT, bound, &length) == 0)
            state->address.port = quint16(QByteArray(bound).toUInt());
    });
    std::unique_ptr<NetworkBridge> bridge(new NetworkBridge(std::move(state)));
    if (!error.isEmpty())
        throw failure(SerialError::Kind::Busy, where, error);
    return bridge;
}

std::unique_ptr<NetworkBridge> NetworkBridge::connect(const NetworkPort::Address& address,
                                                      Notice notice)
{
    auto state = std::make_unique<State>();
    state->notice = std::move(notice);
    state->address = address;
    const QByteArray gensioString =
        (stack(address.kind) + gensioAddress(address.host, address.port)).toLatin1();
    std::future<int> opened = state->opened.get_future();
    QString error;
    onLoop([&] {
        error = state->watchSocketPair();
        if (!error.isEmpty())
            return;
        if (const int failed = str_to_gensio(gensioString.constData(), state->os, State::event,
                                             state.get(), &state->io)) {
            error = errorText(failed);
            state->io = nullptr;
            return;
        }
        const auto done = [](gensio* connection, int failed, void* data) {
            auto* state = static_cast<State*>(data);
            if (state->abandoned)
                return;
            if (failed) {
                state->io = nullptr;
                gensio_free(connection);
            } else {
                gensio_set_read_callback_enable(connection, true);
            }
            state->opened.set_value(failed);
        };
        if (const int failed = gensio_open(state->io, done, state.get())) {
            error = errorText(failed);
            gensio_free(state->io);
            state->io = nullptr;
        }
    });
    std::unique_ptr<NetworkBridge> bridge(new NetworkBridge(std::move(state)));
    if (!error.isEmpty())
        throw failure(SerialError::Kind::Io, address.url(), error);
    if (opened.wait_for(std::chrono::milliseconds(kConnectMs)) != std::future_status::ready) {
        onLoop([&bridge] { bridge->d->abandoned = true; });
        throw failure(SerialError::Kind::Io, address.url(),
                      QStringLiteral("no connection within %1 s").arg(kConnectMs / 1000));
    }
    if (const int failed = opened.get())
        throw failure(SerialError::Kind::Io, address.url(), errorText(failed));
    return bridge;
}

int NetworkBridge::takeDeviceEnd()
{
    const int end = d->deviceEnd;
    d->deviceEnd = -1;
    return end;
}

NetworkPort::Address NetworkBridge::address() const
{
    return d->address;
}

bool NetworkBridge::delivered() const
{
    const std::lock_guard lock(d->sending);
    int queued = 0;
    return d->toNetwork.isEmpty() &&
           (::ioctl(d->bridgeEnd, FIONREAD, &queued) == -1 || queued == 0);
}
