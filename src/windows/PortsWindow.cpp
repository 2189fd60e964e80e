#include "windows/PortsWindow.h"

#include "serial/NetworkPort.h"
#include "serial/PortChoices.h"
#include "serial/PortMap.h"
#include "serial/SerialSystem.h"

#include <QFileInfo>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace {

// Adapters come and go; a second is soon enough for a person and costs a sysfs read.
constexpr int kRefreshMs = 1000;

enum Column { Device, StableName, Description, Manufacturer, UsbIds, Serial, Access, Columns };

// "network port on HOST (RFC 2217)" for a network name, empty for a local device.
QString networkNote(const QString& device)
{
    const std::optional<NetworkPort::Address> address = NetworkPort::parse(device);
    if (!address)
        return {};
    return QStringLiteral("network port on %1 (%2)")
        .arg(address->host, address->kind == NetworkPort::Kind::Rfc2217
                                ? QStringLiteral("RFC 2217")
                                : QStringLiteral("raw TCP"));
}

QString access(const QString& device)
{
    // The server decides who may use a network port, when it is asked.
    if (NetworkPort::looksLikeNetwork(device))
        return QStringLiteral("network");
    if (!QFileInfo::exists(device))
        return QStringLiteral("missing");
    return SerialSystem::accessDenied(device) ? QStringLiteral("no permission")
                                              : QStringLiteral("ok");
}

bool sameList(const QList<PortInfo>& a, const QList<PortInfo>& b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](const PortInfo& x, const PortInfo& y) {
                          return x.device == y.device && x.byId == y.byId &&
                                 x.description == y.description && x.serialNumber == y.serialNumber;
                      });
}

} // namespace

PortsWindow::PortsWindow(QWidget* parent, Lister lister, const QString& byIdFolder)
    : QDialog(parent), m_lister(std::move(lister)), m_byIdFolder(byIdFolder)
{
    if (!m_lister)
        m_lister = [folder = m_byIdFolder] { return PortCatalog::availablePorts(folder); };
    setObjectName(QStringLiteral("Ports"));
    setWindowTitle(QStringLiteral("Ports"));
    resize(760, 360);

    m_list = new QTableWidget(0, Columns, this);
    m_list->setObjectName(QStringLiteral("PortList"));
    m_list->setHorizontalHeaderLabels({QStringLiteral("Device"), QStringLiteral("Stable name"),
                                       QStringLiteral("Description"),
                                       QStringLiteral("Manufacturer"), QStringLiteral("USB ID"),
                                       QStringLiteral("Serial"), QStringLiteral("Access")});
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->verticalHeader()->hide();
    // Tab leaves the list for the path and the buttons rather than walking its cells.
    m_list->setTabKeyNavigation(false);
    m_list->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_list->horizontalHeader()->setSectionResizeMode(Access, QHeaderView::Stretch);

    m_path = new QLineEdit(this);
    m_path->setObjectName(QStringLiteral("DevicePath"));
    m_path->setPlaceholderText(QStringLiteral(
        "A device path: pick a port above, or type one (/dev/ttyUSB0, /tmp/ttyDEVICE)"));

    auto* choices = new QGridLayout;
    for (int port = 1; port <= 2; ++port) {
        const int row = port - 1;
        choices->addWidget(new QLabel(QStringLiteral("com%1:").arg(port), this), row, 0);
        m_choices[row] = new QLabel(this);
        m_choices[row]->setObjectName(QStringLiteral("Com%1Choice").arg(port));
        m_choices[row]->setTextInteractionFlags(Qt::TextSelectableByMouse);
        choices->addWidget(m_choices[row], row, 1);
        auto* use = new QPushButton(QStringLiteral("Use for com%1").arg(port), this);
        use->setObjectName(QStringLiteral("UseCom%1").arg(port));
        connect(use, &QPushButton::clicked, this,
                [this, port] { assign(port, m_path->text().trimmed()); });
        choices->addWidget(use, row, 2);
        auto* reset = new QPushButton(QStringLiteral("System default"), this);
        reset->setObjectName(QStringLiteral("DefaultCom%1").arg(port));
        connect(reset, &QPushButton::clicked, this, [this, port] { assign(port, {}); });
        choices->addWidget(reset, row, 3);
    }
    choices->setColumnStretch(1, 1);

    m_hint = new QLabel(this);
    m_hint->setObjectName(QStringLiteral("AccessHint"));
    m_hint->setWordWrap(true);

    auto* close = new QPushButton(QStringLiteral("Close"), this);
    close->setObjectName(QStringLiteral("Close"));
    connect(close, &QPushButton::clicked, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_list, 1);
    layout->addWidget(m_path);
    layout->addLayout(choices);
    layout->addWidget(m_hint);
    layout->addWidget(close, 0, Qt::AlignRight);

    connect(m_list, &QTableWidget::itemSelectionChanged, this, [this] {
        const QList<QTableWidgetItem*> selected = m_list->selectedItems();
        if (!selected.isEmpty())
            m_path->setText(m_list->item(selected.first()->row(), Device)->text());
    });
    connect(m_path, &QLineEdit::textChanged, this, &PortsWindow::showAccessHint);

    m_timer = new QTimer(this);
    connect(m_timer, &QTimer::timeout, this, &PortsWindow::refresh);
    m_timer->start(kRefreshMs);
    refresh();
}

QString PortsWindow::describePort(int port)
{
    const QString device = PortMap::device(port);
    QString source;
    switch (PortMap::source(port)) {
    case PortMap::Source::ThisRun:
        source = QStringLiteral("for this run");
        break;
    case PortMap::Source::Kept:
        source = QStringLiteral("kept");
        break;
    case PortMap::Source::System:
        source = QStringLiteral("system default");
        break;
    }
    const QString real = QFileInfo(device).canonicalFilePath();
    QString text = device;
    if (!real.isEmpty() && real != device)
        text += QStringLiteral(" \u2192 ") + real;
    const QString network = networkNote(device);
    if (!network.isEmpty())
        return QStringLiteral("%1 (%2; %3)").arg(device, network, source);
    const QString state = access(device);
    if (state != QLatin1String("ok"))
        source += QStringLiteral("; ") + state;
    return text + QStringLiteral(" (") + source + QLatin1Char(')');
}

void PortsWindow::refresh()
{
    QList<PortInfo> ports = m_lister();
    // The ports' own devices are listed even when the system does not list them (a missing
    // kept adapter, a pseudo-terminal given on the command line).
    for (int port = 1; port <= 2; ++port) {
        const QString device = PortMap::device(port);
        const QString real = QFileInfo(device).canonicalFilePath();
        const bool listed = std::any_of(ports.begin(), ports.end(), [&](const PortInfo& info) {
            return info.device == device || info.byId == device || info.device == real;
        });
        if (!listed) {
            PortInfo extra;
            extra.device = device;
            const QString network = networkNote(device);
            extra.description = network.isEmpty()
                                    ? QStringLiteral("com%1's device").arg(port)
                                    : QStringLiteral("com%1's %2").arg(port).arg(network);
            ports << extra;
        }
    }
    for (int port = 1; port <= 2; ++port)
        m_choices[port - 1]->setText(describePort(port));
    if (sameList(ports, m_shown)) {
        for (int row = 0; row < m_list->rowCount(); ++row)
            m_list->item(row, Access)->setText(access(m_shown[row].device));
        return;
    }
    m_shown = ports;
    const QString selected = m_path->text();
    m_list->setRowCount(0);
    for (const PortInfo& port : ports) {
        const int row = m_list->rowCount();
        m_list->insertRow(row);
        const QStringList cells = {port.device,        port.byId,     port.description,
                                   port.manufacturer,  port.usbIds(), port.serialNumber,
                                   access(port.device)};
        for (int column = 0; column < Columns; ++column)
            m_list->setItem(row, column, new QTableWidgetItem(cells[column]));
    }
    m_path->setText(selected);
}

void PortsWindow::assign(int port, const QString& device)
{
    PortChoices::keep(port, device, m_byIdFolder);
    refresh();
}

void PortsWindow::showAccessHint()
{
    const QString device = PortMap::devicePath(m_path->text().trimmed());
    if (!device.isEmpty() && QFileInfo::exists(device) && SerialSystem::accessDenied(device))
        m_hint->setText(QStringLiteral("You may not open %1. %2")
                            .arg(device, SerialSystem::accessHint(device)));
    else
        m_hint->clear();
}
