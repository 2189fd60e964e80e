#include "windows/SettingsWindow.h"

#include "protocols/ProgramState.h"
#include "serial/NetworkPort.h"
#include "serial/PortMap.h"
#include "windows/LineChoice.h"
#include "windows/PortsWindow.h"
#include "windows/WidgetPlacement.h"
#include "windows/WindowServices.h"

#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QFileInfo>
#include <QFont>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QShortcut>
#include <QStyle>

#include <utility>

namespace {

template <typename Control>
Control* makeControl(QWidget* container, const char* name, const QString& caption)
{
    auto* control = new Control(caption, container);
    control->setObjectName(QString::fromUtf8(name));
    return control;
}

// A label's placement gives only its corner; it takes the size its caption needs.
QLabel* makeLabel(QWidget* container, const char* name, const QString& caption, int left, int top)
{
    QLabel* label = makeControl<QLabel>(container, name, caption);
    label->adjustSize();
    label->move(twipsRect(left, top, 0, 0).topLeft());
    return label;
}

// A combo box's placement gives no height; it takes the height its font needs. Typed text stays
// exactly as typed: no completion from the list and no growing of the list.
QComboBox* makeCombo(QWidget* container, const char* name, const QStringList& entries, int left,
                     int top, int width)
{
    auto* combo = new QComboBox(container);
    combo->setObjectName(QString::fromUtf8(name));
    combo->setEditable(true);
    combo->setCompleter(nullptr);
    combo->setInsertPolicy(QComboBox::NoInsert);
    combo->addItems(entries);
    combo->setCurrentIndex(0);
    const QRect place = twipsRect(left, top, width, 0);
    combo->setGeometry(place.x(), place.y(), place.width(), combo->sizeHint().height());
    return combo;
}

} // namespace

SettingsWindow::SettingsWindow(ProgramState& state, QWidget* parent)
    : QWidget(parent), m_state(state)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("RS-232C"));
    setFont(QFont(QStringLiteral("굴림"), 9));
    setFixedSize(twipsSize(5130, 2910));
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(),
                                        screen->availableGeometry()));
    buildControls();
    buildPortLine();

    connect(로더, &QRadioButton::toggled, this, [this](bool selected) {
        if (selected)
            로더_Click();
    });
    connect(전용, &QRadioButton::toggled, this, [this](bool selected) {
        if (selected)
            전용_Click();
    });
    connect(사용자, &QRadioButton::toggled, this, [this](bool selected) {
        if (selected)
            사용자_Click();
    });
    WindowServices::pressOnEnter(this);

    connect(설정완료, &QPushButton::clicked, this, &SettingsWindow::설정완료_Click);
    connect(HELP, &QPushButton::clicked, this, &SettingsWindow::HELP_Click);
    connect(종료, &QPushButton::clicked, this, &SettingsWindow::종료_Click);

    // The state of the first activation, already before it: a window manager may show the
    // window without activating it, or activate it late.
    Form_Activate();
}

void SettingsWindow::buildControls()
{
    Frame1 = makeControl<QGroupBox>(this, "Frame1", QStringLiteral("protocol"));
    placeWidget(Frame1, 120, 120, 1575, 1935);
    로더 = makeControl<QRadioButton>(Frame1, "로더", QStringLiteral("Loader"));
    placeWidget(로더, 120, 360, 1095, 495);
    전용 = makeControl<QRadioButton>(Frame1, "전용", QStringLiteral("Dedicate"));
    placeWidget(전용, 120, 840, 1215, 495);
    사용자 = makeControl<QRadioButton>(Frame1, "사용자", QStringLiteral("User Define"));
    placeWidget(사용자, 120, 1320, 1335, 495);
    로더->setChecked(true);

    Frame2 = makeControl<QGroupBox>(this, "Frame2", QStringLiteral("setting"));
    placeWidget(Frame2, 1800, 120, 3135, 1935);
    Label1 = makeLabel(Frame2, "Label1", QStringLiteral("Port"), 240, 360);
    통신포트 = makeCombo(Frame2, "통신포트", {QStringLiteral("com1"), QStringLiteral("com2")}, 240,
                         600, 855);
    Label3 = makeLabel(Frame2, "Label3", QStringLiteral("Data Bit"), 1200, 360);
    data_bit = makeCombo(Frame2, "data_bit", {QStringLiteral("8Bit"), QStringLiteral("7Bit")}, 1200,
                         600, 855);
    Label4 = makeLabel(Frame2, "Label4", QStringLiteral("Stop Bit"), 2160, 360);
    stop_bit =
        makeCombo(Frame2, "stop_bit", {QStringLiteral("1"), QStringLiteral("2")}, 2160, 600, 855);
    Label2 = makeLabel(Frame2, "Label2", QStringLiteral("Bout Rate"), 240, 1200);
    // Every entry holds its rate, blank-padded, in its first six characters.
    통신속도 = makeCombo(Frame2, "통신속도",
                         {QStringLiteral("38400 bps"), QStringLiteral("19200 bps"),
                          QStringLiteral("9600  bps"), QStringLiteral("56000 bps"),
                          QStringLiteral("57600 bps"), QStringLiteral("76800 bps"),
                          QStringLiteral("115200 bps"), QStringLiteral("128000 bps")},
                         240, 1440, 1455);
    Label6 = makeLabel(Frame2, "Label6", QStringLiteral("Parity"), 1920, 1200);
    Parity = makeCombo(Frame2, "Parity",
                       {QStringLiteral("none"), QStringLiteral("even"), QStringLiteral("odd")},
                       1920, 1440, 1095);

    설정완료 = makeControl<QPushButton>(this, "설정완료", QStringLiteral("OK"));
    placeWidget(설정완료, 120, 2280, 1575, 495);
    HELP = makeControl<QPushButton>(this, "HELP", QStringLiteral("Help"));
    placeWidget(HELP, 1800, 2280, 1575, 495);
    종료 = makeControl<QPushButton>(this, "종료", QStringLiteral("END"));
    placeWidget(종료, 3480, 2280, 1455, 495);

    QWidget* const order[] = {로더, 전용, 사용자,   통신포트, 통신속도, 설정완료,
                              종료, HELP, data_bit, stop_bit, Parity};
    for (std::size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);
}

void SettingsWindow::buildPortLine()
{
    // The free band of the setting frame, under the first row of boxes and over the second
    // row's titles, across the width of the boxes.
    const int top = 통신포트->geometry().bottom() + 2;
    const QRect across = twipsRect(240, 0, 1920 + 1095 - 240, 0);
    const int height = Label2->geometry().top() - 1 - top;
    QFont small = font();
    small.setPointSizeF(7.5);

    m_portsButton = new QPushButton(QStringLiteral("Ports\u2026"), Frame2);
    m_portsButton->setObjectName(QStringLiteral("PortsButton"));
    m_portsButton->setFont(small);
    m_portsButton->setFlat(true);
    // Out of the tab chain, which keeps its order; Ctrl+P reaches it from the keyboard.
    m_portsButton->setFocusPolicy(Qt::NoFocus);
    m_portsButton->setToolTip(QStringLiteral("Choose the devices of com1 and com2 (Ctrl+P)"));
    const int buttonWidth = QFontMetrics(small).horizontalAdvance(m_portsButton->text()) + 10;
    m_portsButton->setGeometry(across.right() - buttonWidth + 1, top, buttonWidth, height);
    connect(m_portsButton, &QPushButton::clicked, this, &SettingsWindow::openPorts);
    auto* shortcut = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_P), this);
    connect(shortcut, &QShortcut::activated, this, &SettingsWindow::openPorts);
    // The Plans window has no button here, where there is no room: Ctrl+L opens it.
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_L), this), &QShortcut::activated, this,
            [] { WindowServices::instance().show(WindowId::Plans); });

    m_portDevices = new QLabel(Frame2);
    m_portDevices->setObjectName(QStringLiteral("PortDevices"));
    m_portDevices->setFont(small);
    m_portDevices->setGeometry(across.left(), top, across.width() - buttonWidth - 4, height);
    showPortDevices();
}

void SettingsWindow::showPortDevices()
{
    QStringList shortNames;
    for (int port = 1; port <= 2; ++port) {
        // The device as people say it, under /dev (ttyUSB0, pts/3), a link by where it leads;
        // one that is not there by its own name; a network port by its host and port.
        const QString device = PortMap::device(port);
        if (const auto address = NetworkPort::parse(device)) {
            shortNames << QStringLiteral("com%1 %2").arg(port).arg(address->hostAndPort());
            continue;
        }
        const QString real = QFileInfo(device).canonicalFilePath();
        QString name = real.isEmpty() ? QFileInfo(device).fileName() : real;
        if (name.startsWith(QLatin1String("/dev/")))
            name = name.mid(5);
        if (real.isEmpty())
            name += QStringLiteral(" (missing)");
        shortNames << QStringLiteral("com%1 %2").arg(port).arg(name);
    }
    const QString line = shortNames.join(QStringLiteral("  \u00b7  "));
    m_portDevices->setText(QFontMetrics(m_portDevices->font())
                               .elidedText(line, Qt::ElideMiddle, m_portDevices->width()));
    const QString full = QStringLiteral("com1: %1\ncom2: %2")
                             .arg(PortsWindow::describePort(1), PortsWindow::describePort(2));
    m_portDevices->setToolTip(full);
    통신포트->setToolTip(full);
}

void SettingsWindow::openPorts()
{
    auto* ports = new PortsWindow(this);
    ports->setAttribute(Qt::WA_DeleteOnClose);
    connect(ports, &QDialog::finished, this, &SettingsWindow::showPortDevices);
    ports->open();
}

void SettingsWindow::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() != QEvent::ActivationChange)
        return;
    if (!isActiveWindow()) {
        // The window's own box (Help's) takes the activation for a while; getting it back from
        // there is no coming from another window.
        const QWidget* now = QApplication::activeWindow();
        m_lostToOwnBox = now && now->parentWidget() == this;
        return;
    }
    if (std::exchange(m_lostToOwnBox, false))
        return;
    Form_Activate();
}

void SettingsWindow::Form_Activate()
{
    WindowServices::instance().focus(설정완료);
    if (로더->isChecked())
        setLineBoxesEnabled(false, false);
}

void SettingsWindow::setLineBoxesEnabled(bool speed, bool others)
{
    통신속도->setEnabled(speed);
    data_bit->setEnabled(others);
    stop_bit->setEnabled(others);
    Parity->setEnabled(others);
}

void SettingsWindow::로더_Click()
{
    setLineBoxesEnabled(false, false);
}

void SettingsWindow::전용_Click()
{
    setLineBoxesEnabled(true, false);
}

void SettingsWindow::사용자_Click()
{
    setLineBoxesEnabled(true, true);
}

void SettingsWindow::설정완료_Click()
{
    WindowServices& services = WindowServices::instance();
    const QString speed = 통신속도->currentText();
    const std::optional<qint32> baudRate = baudRateFromText(speed);
    if (!baudRate) {
        services.messageBox(this,
                            QStringLiteral("The speed \"%1\" has no leading number.").arg(speed),
                            QStringLiteral("RS-232C"));
        return;
    }
    m_state.BaudRate = *baudRate;
    m_state.PortNo = portNoFromText(통신포트->currentText());

    // Exactly one option is selected; the console is up before this window goes, so the program
    // never runs out of windows on the way.
    const WindowId console = 로더->isChecked()     ? WindowId::Loader
                             : 사용자->isChecked() ? WindowId::UserDefine
                                                   : WindowId::Dedicated;
    if (!services.show(console))
        return;
    services.close(this);
}

void SettingsWindow::HELP_Click()
{
    WindowServices& services = WindowServices::instance();
    services.messageBox(this, QStringLiteral("Tovik RS-232C Protocol VER1.1"),
                        QStringLiteral("Made By Tovik Team"));
    services.focus(HELP);
}

void SettingsWindow::종료_Click()
{
    WindowServices::instance().endProgram();
}
