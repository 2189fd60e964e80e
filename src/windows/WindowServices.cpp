#include "windows/WindowServices.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFont>
#include <QFontMetrics>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

#include <algorithm>

namespace {

WindowServices* g_installed = nullptr;

} // namespace

WindowServices::~WindowServices() = default;

WindowServices& WindowServices::instance()
{
    static WindowServices defaults;
    return g_installed ? *g_installed : defaults;
}

void WindowServices::install(WindowServices* services)
{
    g_installed = services;
}

void WindowServices::registerWindow(WindowId id, Factory factory)
{
    m_factories[id] = std::move(factory);
}

QWidget* WindowServices::show(WindowId id)
{
    QWidget* shown = window(id);
    if (shown) {
        shown->raise();
    } else {
        const auto factory = m_factories.find(id);
        if (factory == m_factories.end()) {
            qWarning("No window is registered for id %d", static_cast<int>(id));
            return nullptr;
        }
        shown = factory->second();
        shown->setAttribute(Qt::WA_DeleteOnClose);
        m_windows[id] = shown;
    }
    shown->show();
    shown->activateWindow();
    return shown;
}

QWidget* WindowServices::window(WindowId id) const
{
    const auto found = m_windows.find(id);
    return found == m_windows.end() ? nullptr : found->second.data();
}

void WindowServices::close(QWidget* window)
{
    // Forget it first: from now on show() makes a new one with its initial values, even before
    // the old one is deleted by the event loop.
    std::erase_if(m_windows, [window](const auto& entry) { return entry.second == window; });
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->close();
}

void WindowServices::messageBox(QWidget* parent, const QString& text, const QString& title,
                                const QString& detail)
{
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok, parent);
    box.setInformativeText(detail);
    // The box is as wide as its short text; a reason (a device path, how to get access) reads
    // better on lines of its own width, up to a comfortable measure.
    if (auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel"))) {
        constexpr int kMeasureInCharacters = 60;
        const QFontMetrics metrics(label->font());
        label->setMinimumWidth(std::min(metrics.horizontalAdvance(detail),
                                        metrics.averageCharWidth() * kMeasureInCharacters));
    }
    box.exec();
}

void WindowServices::endProgram()
{
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget* window : windows)
        window->hide();
    // exit() leaves every running event loop, nested ones included, so nothing queued runs.
    QCoreApplication::exit(0);
}

void WindowServices::focus(QWidget* control)
{
    control->setFocus(Qt::OtherFocusReason);
}

void WindowServices::pressOnEnter(QWidget* window)
{
    // Outside a dialog Qt's buttons ignore Enter unless they are auto-default.
    for (QPushButton* button : window->findChildren<QPushButton*>())
        button->setAutoDefault(true);
}

void WindowServices::discardAll()
{
    std::map<WindowId, QPointer<QWidget>> windows;
    windows.swap(m_windows);
    for (auto& [id, window] : windows) {
        if (window) {
            window->close(); // runs the window's own closing, a console's port release included
            delete window.data();
        }
    }
}

void WindowServices::substituteFonts()
{
    QFont::insertSubstitution(QStringLiteral("굴림"), QStringLiteral("NanumGothic"));
}
