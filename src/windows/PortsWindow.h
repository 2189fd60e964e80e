#pragma once
// The Ports window, opened from the settings window: the serial ports of the machine as Qt Serial
// Port finds them (device, stable by-id name, description, manufacturer, USB ids, serial number,
// whether this user may open it), refreshed while the window is open as adapters come and go,
// and which device com1 and com2 stand for. The user assigns a listed port, or types any path
// (a pseudo-terminal, a simulator's link), to com1 or com2; the choice is kept between runs.

#include "serial/PortCatalog.h"

#include <QDialog>

#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;
class QTimer;

class PortsWindow : public QDialog {
public:
    using Lister = std::function<QList<PortInfo>()>;

    // lister: where the ports come from (the system's, unless a test says otherwise); byIdFolder:
    // where the stable names are.
    explicit PortsWindow(QWidget* parent = nullptr, Lister lister = {},
                         const QString& byIdFolder = QString::fromLatin1(PortCatalog::kByIdFolder));

    // Lists the ports again and shows what com1 and com2 stand for now.
    void refresh();

    // What a port stands for, for a person: "/dev/ttyS0 (system default)",
    // "/dev/serial/by-id/usb-… (kept; missing)".
    static QString describePort(int port);

private:
    void assign(int port, const QString& device);
    void showAccessHint();

    Lister m_lister;
    QString m_byIdFolder;
    QList<PortInfo> m_shown;
    QTableWidget* m_list;
    QLineEdit* m_path;
    QLabel* m_choices[2];
    QLabel* m_hint;
    QTimer* m_timer;
};
