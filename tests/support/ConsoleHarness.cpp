#include "ConsoleHarness.h"

#include "protocols/ProgramState.h"
#include "windows/DedicatedWindow.h"
#include "windows/LoaderWindow.h"
#include "windows/UserDefWindow.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

std::unique_ptr<ConsoleWindow> makeConsole(const QString& form, SessionLog* log)
{
    if (form == QLatin1String("Form3"))
        return std::make_unique<DedicatedWindow>(program(), log);
    if (form == QLatin1String("Form4"))
        return std::make_unique<UserDefWindow>(program(), log);
    return std::make_unique<LoaderWindow>(program(), log);
}

std::array<QLineEdit*, 40> historyBoxes(QWidget* window)
{
    std::array<QLineEdit*, 40> boxes{};
    for (QLineEdit* box : window->findChildren<QLineEdit*>(QStringLiteral("송수신이력")))
        boxes[box->property("index").toInt()] = box;
    return boxes;
}

QColor textColour(QWidget* widget)
{
    return widget->palette().color(QPalette::Text);
}

ConsoleControls::ConsoleControls(ConsoleWindow* window) : window(window)
{
    send = child<QPlainTextEdit>(window, QStringLiteral("송신"));
    recv = child<QPlainTextEdit>(window, QStringLiteral("수신"));
    status = child<QLineEdit>(window, QStringLiteral("응답"));
    hexa = child<QRadioButton>(window, QStringLiteral("Hexa"));
    ascii = child<QRadioButton>(window, QStringLiteral("ASCii"));
    sendButton = button("전송");
    clear = button("클리어");
    history = historyBoxes(window);
}

ConsoleControls::ConsoleControls(std::unique_ptr<ConsoleWindow> owned)
    : ConsoleControls(owned.get())
{
    m_owned = std::move(owned);
}

QPushButton* ConsoleControls::button(const char* name) const
{
    return child<QPushButton>(window, QString::fromUtf8(name));
}

void ConsoleControls::type(const QString& text) const
{
    send->setFocus();
    QTest::keyClicks(send, text);
}

void ConsoleControls::clickSend() const
{
    QTest::mouseClick(sendButton, Qt::LeftButton);
}

void ConsoleControls::showActive() const
{
    window->show();
    window->activateWindow();
}

ConsoleFixture::ConsoleFixture() : map(port1.devicePath(), port2.devicePath())
{
    program() = ProgramState{};
}
