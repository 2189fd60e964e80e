// The settings window Form1 as a user meets it: its controls, the enabled rules of the options,
// OK publishing the line choice and swapping in the console, Help and END.

#include "RecordingServices.h"
#include "protocols/ProgramState.h"
#include "windows/LineChoice.h"
#include "windows/SettingsWindow.h"
#include "windows/WidgetPlacement.h"

#include <QComboBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QtTest>

#include <memory>
#include <optional>

namespace {

const QStringList kSpeeds = {"38400 bps", "19200 bps", "9600  bps",  "56000 bps",
                             "57600 bps", "76800 bps", "115200 bps", "128000 bps"};

template <typename Control = QWidget> Control* control(QWidget* form, const QString& name)
{
    return form ? form->findChild<Control*>(name) : nullptr;
}

// What the four line boxes' enabled states and 통신포트's are, in one comparable text.
QString enabledStates(QWidget* form)
{
    QStringList states;
    for (const char* name : {"통신포트", "통신속도", "data_bit", "stop_bit", "Parity"})
        states << (control(form, QString::fromUtf8(name))->isEnabled() ? "on" : "off");
    return states.join(' ');
}

void typeInto(QComboBox* combo, const QString& text)
{
    combo->lineEdit()->selectAll();
    QTest::keyClick(combo->lineEdit(), Qt::Key_Delete);
    QTest::keyClicks(combo->lineEdit(), text);
}

} // namespace

class TestSettingsWindow : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void window();
    void controls_data();
    void controls();
    void tabOrder();
    void initialState();
    void firstStateNeedsNoActivation();
    void optionsEnableTheLineBoxes();
    void activationKeepsTheLastOptionsStates();
    void okPublishesAndSwapsWindows_data();
    void okPublishesAndSwapsWindows();
    void okRefusesASpeedThatIsNoNumber_data();
    void okRefusesASpeedThatIsNoNumber();
    void okWithoutAConsoleKeepsTheWindow();
    void helpShowsTheAboutBoxOnly();
    void keysPressTheFocusedButton_data();
    void keysPressTheFocusedButton();
    void closingTheHelpBoxReturnsFocusToHelp();
    void endEndsTheProgram();
    void freshWindowAfterOkStartsOver();
    void baudRateFromText_data();
    void baudRateFromText();
    void portNoFromText();

private:
    QWidget* openForm();

    std::unique_ptr<RecordingServices> m_services;
    bool m_formShownWhenConsoleMade = false;
};

void TestSettingsWindow::init()
{
    program().BaudRate = 0;
    program().PortNo.clear();
    m_formShownWhenConsoleMade = false;
    m_services = std::make_unique<RecordingServices>();
    m_services->registerWindow(WindowId::Settings, [] { return new SettingsWindow(program()); });
    for (const auto& [id, name] :
         {std::pair{WindowId::Loader, "Form2"}, std::pair{WindowId::Dedicated, "Form3"},
          std::pair{WindowId::UserDefine, "Form4"}}) {
        m_services->registerWindow(id, [this, name] {
            QWidget* form = m_services->window(WindowId::Settings);
            m_formShownWhenConsoleMade = form && form->isVisible();
            auto* console = new QWidget;
            console->setObjectName(QString::fromLatin1(name));
            return console;
        });
    }
}

void TestSettingsWindow::cleanup()
{
    m_services.reset();
}

QWidget* TestSettingsWindow::openForm()
{
    QWidget* form = m_services->show(WindowId::Settings);
    if (!form || !QTest::qWaitForWindowActive(form))
        return nullptr;
    return form;
}

void TestSettingsWindow::window()
{
    QWidget* form = openForm();
    QVERIFY(form);
    QCOMPARE(form->objectName(), "Form1");
    QCOMPARE(form->windowTitle(), "RS-232C");
    QCOMPARE(form->size(), twipsSize(5130, 2910));
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    QVERIFY(qAbs(form->geometry().center().x() - screen.center().x()) <= 1);
    QVERIFY(qAbs(form->geometry().center().y() - screen.center().y()) <= 1);
    // It is the only window on the screen.
    QWidgetList shown;
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->isVisible())
            shown << window;
    }
    QCOMPARE(shown, QWidgetList{form});
}

void TestSettingsWindow::controls_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("container");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QRect>("twips"); // width or height -1: not given, the control's own

    // clang-format off
    QTest::newRow("Frame1") << "Frame1" << "QGroupBox" << "Form1" << "protocol" << QStringList()
                            << QRect(120, 120, 1575, 1935);
    QTest::newRow("로더") << "로더" << "QRadioButton" << "Frame1" << "Loader" << QStringList()
                          << QRect(120, 360, 1095, 495);
    QTest::newRow("전용") << "전용" << "QRadioButton" << "Frame1" << "Dedicate" << QStringList()
                          << QRect(120, 840, 1215, 495);
    QTest::newRow("사용자") << "사용자" << "QRadioButton" << "Frame1" << "User Define"
                            << QStringList() << QRect(120, 1320, 1335, 495);
    QTest::newRow("Frame2") << "Frame2" << "QGroupBox" << "Form1" << "setting" << QStringList()
                            << QRect(1800, 120, 3135, 1935);
    QTest::newRow("Label1") << "Label1" << "QLabel" << "Frame2" << "Port" << QStringList()
                            << QRect(240, 360, -1, -1);
    QTest::newRow("통신포트") << "통신포트" << "QComboBox" << "Frame2" << "com1"
                              << QStringList{"com1", "com2"} << QRect(240, 600, 855, -1);
    QTest::newRow("Label3") << "Label3" << "QLabel" << "Frame2" << "Data Bit" << QStringList()
                            << QRect(1200, 360, -1, -1);
    QTest::newRow("data_bit") << "data_bit" << "QComboBox" << "Frame2" << "8Bit"
                              << QStringList{"8Bit", "7Bit"} << QRect(1200, 600, 855, -1);
    QTest::newRow("Label4") << "Label4" << "QLabel" << "Frame2" << "Stop Bit" << QStringList()
                            << QRect(2160, 360, -1, -1);
    QTest::newRow("stop_bit") << "stop_bit" << "QComboBox" << "Frame2" << "1"
                              << QStringList{"1", "2"} << QRect(2160, 600, 855, -1);
    QTest::newRow("Label2") << "Label2" << "QLabel" << "Frame2" << "Bout Rate" << QStringList()
                            << QRect(240, 1200, -1, -1);
    QTest::newRow("통신속도") << "통신속도" << "QComboBox" << "Frame2" << "38400 bps" << kSpeeds
                              << QRect(240, 1440, 1455, -1);
    QTest::newRow("Label6") << "Label6" << "QLabel" << "Frame2" << "Parity" << QStringList()
                            << QRect(1920, 1200, -1, -1);
    QTest::newRow("Parity") << "Parity" << "QComboBox" << "Frame2" << "none"
                            << QStringList{"none", "even", "odd"} << QRect(1920, 1440, 1095, -1);
    QTest::newRow("설정완료") << "설정완료" << "QPushButton" << "Form1" << "OK" << QStringList()
                              << QRect(120, 2280, 1575, 495);
    QTest::newRow("HELP") << "HELP" << "QPushButton" << "Form1" << "Help" << QStringList()
                          << QRect(1800, 2280, 1575, 495);
    QTest::newRow("종료") << "종료" << "QPushButton" << "Form1" << "END" << QStringList()
                          << QRect(3480, 2280, 1455, 495);
    // clang-format on
}

void TestSettingsWindow::controls()
{
    QFETCH(QString, name);
    QFETCH(QString, kind);
    QFETCH(QString, container);
    QFETCH(QString, caption);
    QFETCH(QStringList, entries);
    QFETCH(QRect, twips);

    QWidget* form = openForm();
    QVERIFY(form);
    QWidget* widget = control(form, name);
    QVERIFY2(widget, qPrintable(name));
    QVERIFY(widget->inherits(kind.toLatin1()));
    QCOMPARE(widget->parentWidget()->objectName(), container);
    QVERIFY(widget->isVisible());

    if (auto* frame = qobject_cast<QGroupBox*>(widget)) {
        QCOMPARE(frame->title(), caption);
    } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        QCOMPARE(button->text(), caption);
    } else if (auto* label = qobject_cast<QLabel*>(widget)) {
        QCOMPARE(label->text(), caption);
        // The whole caption is shown, not clipped.
        QVERIFY(label->width() >= label->sizeHint().width());
    } else {
        auto* combo = qobject_cast<QComboBox*>(widget);
        QVERIFY(combo);
        QVERIFY(combo->isEditable());
        QCOMPARE(combo->currentText(), caption);
        QStringList listed;
        for (int i = 0; i < combo->count(); ++i)
            listed << combo->itemText(i);
        QCOMPARE(listed, entries);
    }

    const QRect expected = twipsRect(twips.left(), twips.top(), twips.width(), twips.height());
    QCOMPARE(widget->pos(), expected.topLeft());
    if (twips.width() >= 0)
        QCOMPARE(widget->width(), expected.width());
    if (twips.height() >= 0)
        QCOMPARE(widget->height(), expected.height());
    // Every control lies inside its container.
    QVERIFY(widget->parentWidget()->rect().contains(widget->geometry()));
}

void TestSettingsWindow::tabOrder()
{
    QWidget* form = openForm();
    QVERIFY(form);
    const QStringList order = {"로더", "전용", "사용자",   "통신포트", "통신속도", "설정완료",
                               "종료", "HELP", "data_bit", "stop_bit", "Parity"};
    QStringList chain;
    QWidget* widget = control(form, order.first());
    do {
        if (order.contains(widget->objectName()) && !chain.contains(widget->objectName()))
            chain << widget->objectName();
        widget = widget->nextInFocusChain();
    } while (widget != control(form, order.first()));
    QCOMPARE(chain, order);

    // And the keyboard follows it: from OK on, past the disabled boxes back to the options.
    QCOMPARE(QApplication::focusWidget(), control(form, "설정완료"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), control(form, "종료"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), control(form, "HELP"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), control(form, "로더"));
}

void TestSettingsWindow::initialState()
{
    QWidget* form = openForm();
    QVERIFY(form);
    QVERIFY(control<QRadioButton>(form, "로더")->isChecked());
    QVERIFY(!control<QRadioButton>(form, "전용")->isChecked());
    QVERIFY(!control<QRadioButton>(form, "사용자")->isChecked());
    QCOMPARE(enabledStates(form), "on off off off off");
    QCOMPARE(QApplication::focusWidget(), control(form, "설정완료"));
    QVERIFY(m_services->boxes().isEmpty());
}

// A window manager may show the window without activating it, or activate it late.
void TestSettingsWindow::firstStateNeedsNoActivation()
{
    SettingsWindow form(program());
    form.setAttribute(Qt::WA_ShowWithoutActivating);
    form.show();
    QVERIFY(!form.isActiveWindow());
    QCOMPARE(enabledStates(&form), "on off off off off");
    QCOMPARE(form.focusWidget(), control(&form, "설정완료"));
}

void TestSettingsWindow::optionsEnableTheLineBoxes()
{
    QWidget* form = openForm();
    QVERIFY(form);
    QTest::mouseClick(control(form, "전용"), Qt::LeftButton);
    QCOMPARE(enabledStates(form), "on on off off off");
    QTest::mouseClick(control(form, "사용자"), Qt::LeftButton);
    QCOMPARE(enabledStates(form), "on on on on on");
    QTest::mouseClick(control(form, "로더"), Qt::LeftButton);
    QCOMPARE(enabledStates(form), "on off off off off");
    // The arrow keys select an option too, and so run its handler.
    control(form, "로더")->setFocus();
    QTest::keyClick(control(form, "로더"), Qt::Key_Down);
    QVERIFY(control<QRadioButton>(form, "전용")->isChecked());
    QCOMPARE(enabledStates(form), "on on off off off");
}

void TestSettingsWindow::activationKeepsTheLastOptionsStates()
{
    QWidget* form = openForm();
    QVERIFY(form);
    QTest::mouseClick(control(form, "사용자"), Qt::LeftButton);
    control(form, "Parity")->setFocus();

    QWidget other;
    other.show();
    other.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&other));
    form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(form));

    QCOMPARE(enabledStates(form), "on on on on on");
    QCOMPARE(QApplication::focusWidget(), control(form, "설정완료"));
}

void TestSettingsWindow::okPublishesAndSwapsWindows_data()
{
    QTest::addColumn<QString>("option");
    QTest::addColumn<QString>("port");   // typed; empty: left as it is
    QTest::addColumn<int>("speedEntry"); // list entry picked; -1: left as it is
    QTest::addColumn<QString>("typedSpeed");
    QTest::addColumn<int>("baudRate");
    QTest::addColumn<QString>("portNo");
    QTest::addColumn<QString>("console");

    // clang-format off
    QTest::newRow("Dedicated, com2, 19200")
        << "전용" << "com2" << 1 << "" << 19200 << "2" << "Form3";
    QTest::newRow("Loader, untouched box") << "로더" << "" << -1 << "" << 38400 << "1" << "Form2";
    QTest::newRow("User Define, 115200")
        << "사용자" << "" << 6 << "" << 115200 << "1" << "Form4";
    QTest::newRow("9600 with two blanks")
        << "전용" << "" << 2 << "" << 9600 << "1" << "Form3";
    QTest::newRow("128000") << "사용자" << "com2" << 7 << "" << 128000 << "2" << "Form4";
    QTest::newRow("typed speed") << "전용" << "" << -1 << " 4800" << 4800 << "1" << "Form3";
    QTest::newRow("port with no digit") << "전용" << "comX" << -1 << "" << 38400 << "X"
                                        << "Form3";
    // clang-format on
}

void TestSettingsWindow::okPublishesAndSwapsWindows()
{
    QFETCH(QString, option);
    QFETCH(QString, port);
    QFETCH(int, speedEntry);
    QFETCH(QString, typedSpeed);
    QFETCH(int, baudRate);
    QFETCH(QString, portNo);
    QFETCH(QString, console);

    QPointer<QWidget> form = openForm();
    QVERIFY(form);
    QTest::mouseClick(control(form, option), Qt::LeftButton);
    if (!port.isEmpty())
        typeInto(control<QComboBox>(form, "통신포트"), port);
    if (speedEntry >= 0)
        control<QComboBox>(form, "통신속도")->setCurrentIndex(speedEntry);
    if (!typedSpeed.isEmpty())
        typeInto(control<QComboBox>(form, "통신속도"), typedSpeed);

    QTest::mouseClick(control(form, "설정완료"), Qt::LeftButton);

    QCOMPARE(program().BaudRate, baudRate);
    QCOMPARE(program().PortNo, portNo);
    QVERIFY(m_services->boxes().isEmpty());
    // Exactly the chosen console is open, and it came up while the settings window was still
    // there.
    QStringList open;
    for (WindowId id : {WindowId::Loader, WindowId::Dedicated, WindowId::UserDefine}) {
        if (QWidget* window = m_services->window(id)) {
            QVERIFY(window->isVisible());
            open << window->objectName();
        }
    }
    QCOMPARE(open, QStringList{console});
    QVERIFY(m_formShownWhenConsoleMade);
    // The settings window is hidden at once and discarded.
    QVERIFY(!m_services->window(WindowId::Settings));
    QVERIFY(!form->isVisible());
    QTRY_VERIFY(form.isNull());
}

void TestSettingsWindow::okRefusesASpeedThatIsNoNumber_data()
{
    QTest::addColumn<QString>("speed");
    QTest::newRow("letters") << "abc";
    QTest::newRow("empty") << "";
    QTest::newRow("word first") << "bps 9600";
    QTest::newRow("sign alone") << "- 9600";
}

void TestSettingsWindow::okRefusesASpeedThatIsNoNumber()
{
    QFETCH(QString, speed);
    program().BaudRate = 19200;
    program().PortNo = "2";

    QWidget* form = openForm();
    QVERIFY(form);
    QTest::mouseClick(control(form, "전용"), Qt::LeftButton);
    typeInto(control<QComboBox>(form, "통신속도"), speed);
    QTest::mouseClick(control(form, "설정완료"), Qt::LeftButton);

    QCOMPARE(m_services->boxes().size(), 1);
    const RecordingServices::Box box = m_services->boxes().first();
    QCOMPARE(box.text, QString("The speed \"%1\" has no leading number.").arg(speed));
    QCOMPARE(box.title, "RS-232C");
    QCOMPARE(box.parent.data(), form);
    // Nothing published, nothing opened, the window stays as it was.
    QCOMPARE(program().BaudRate, 19200);
    QCOMPARE(program().PortNo, "2");
    QCOMPARE(m_services->window(WindowId::Settings), form);
    QVERIFY(form->isVisible());
    QVERIFY(!m_services->window(WindowId::Dedicated));
    QCOMPARE(control<QComboBox>(form, "통신속도")->currentText(), speed);
}

void TestSettingsWindow::okWithoutAConsoleKeepsTheWindow()
{
    RecordingServices bare;
    bare.registerWindow(WindowId::Settings, [] { return new SettingsWindow(program()); });
    QWidget* form = bare.show(WindowId::Settings);
    QVERIFY(QTest::qWaitForWindowActive(form));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("No window is registered"));
    QTest::mouseClick(control(form, "설정완료"), Qt::LeftButton);
    QCOMPARE(bare.window(WindowId::Settings), form);
    QVERIFY(form->isVisible());
}

void TestSettingsWindow::helpShowsTheAboutBoxOnly()
{
    QWidget* form = openForm();
    QVERIFY(form);
    QTest::mouseClick(control(form, "전용"), Qt::LeftButton);
    typeInto(control<QComboBox>(form, "통신포트"), "com2");
    bool formShownWhileBoxUp = false;
    m_services->setWhileBoxShown([&](const RecordingServices::Box&) {
        formShownWhileBoxUp = m_services->window(WindowId::Settings) == form && form->isVisible();
    });

    QTest::mouseClick(control(form, "HELP"), Qt::LeftButton);

    QCOMPARE(m_services->boxes().size(), 1);
    QCOMPARE(m_services->boxes().first().text, "Tovik RS-232C Protocol VER1.1");
    QCOMPARE(m_services->boxes().first().title, "Made By Tovik Team");
    QCOMPARE(m_services->boxes().first().parent.data(), form);
    QVERIFY(formShownWhileBoxUp);
    QVERIFY(control<QRadioButton>(form, "전용")->isChecked());
    QCOMPARE(enabledStates(form), "on on off off off");
    QCOMPARE(control<QComboBox>(form, "통신포트")->currentText(), "com2");
    QCOMPARE(program().BaudRate, 0);
    QVERIFY(program().PortNo.isEmpty());
    QVERIFY(form->isVisible());
    QCOMPARE(m_services->endProgramCalls(), 0);
}

void TestSettingsWindow::keysPressTheFocusedButton_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("outcome"); // the console opened, the box shown, or the end
    for (const auto& [name, key] :
         {std::pair{"Enter", int(Qt::Key_Enter)}, std::pair{"Return", int(Qt::Key_Return)},
          std::pair{"Space", int(Qt::Key_Space)}}) {
        QTest::addRow("OK, %s", name) << "설정완료" << key << "Form2";
        QTest::addRow("Help, %s", name) << "HELP" << key << "box";
        QTest::addRow("END, %s", name) << "종료" << key << "end";
    }
}

// At start focus is on OK, so Enter alone opens the chosen console.
void TestSettingsWindow::keysPressTheFocusedButton()
{
    QFETCH(QString, button);
    QFETCH(int, key);
    QFETCH(QString, outcome);
    QWidget* form = openForm();
    QVERIFY(form);
    control(form, button)->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key(key));
    // Space presses a button on its release; Enter at once.
    QWidget* console = m_services->window(WindowId::Loader);
    QCOMPARE(console ? console->objectName() : QString(), outcome == "Form2" ? outcome : QString());
    QCOMPARE(m_services->boxes().size(), outcome == "box" ? 1 : 0);
    QCOMPARE(m_services->endProgramCalls(), outcome == "end" ? 1 : 0);
}

// The box takes the activation while it is up; getting it back is no activation from another
// window, so focus goes back to Help rather than to OK.
void TestSettingsWindow::closingTheHelpBoxReturnsFocusToHelp()
{
    QWidget* form = openForm();
    QVERIFY(form);
    m_services->setWhileBoxShown([](const RecordingServices::Box& box) {
        QMessageBox real(QMessageBox::NoIcon, box.title, box.text, QMessageBox::Ok, box.parent);
        real.setModal(true);
        real.show();
        QVERIFY(QTest::qWaitForWindowActive(&real));
        real.accept();
    });
    control(form, "HELP")->setFocus();
    QTest::keyClick(control(form, "HELP"), Qt::Key_Return);
    QCOMPARE(m_services->boxes().size(), 1);
    // As a window manager does when the box goes.
    form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(form));
    QCOMPARE(QApplication::focusWidget(), control(form, "HELP"));
    QCOMPARE(enabledStates(form), "on off off off off");
}

void TestSettingsWindow::endEndsTheProgram()
{
    QWidget* form = openForm();
    QVERIFY(form);
    QTest::mouseClick(control(form, "종료"), Qt::LeftButton);
    QCOMPARE(m_services->endProgramCalls(), 1);
    QVERIFY(m_services->boxes().isEmpty());
    QCOMPARE(program().BaudRate, 0);
}

void TestSettingsWindow::freshWindowAfterOkStartsOver()
{
    QPointer<QWidget> first = openForm();
    QVERIFY(first);
    QTest::mouseClick(control(first, "사용자"), Qt::LeftButton);
    typeInto(control<QComboBox>(first, "통신포트"), "com2");
    control<QComboBox>(first, "통신속도")->setCurrentIndex(1);
    control<QComboBox>(first, "data_bit")->setCurrentIndex(1);
    control<QComboBox>(first, "stop_bit")->setCurrentIndex(1);
    control<QComboBox>(first, "Parity")->setCurrentIndex(2);
    QTest::mouseClick(control(first, "설정완료"), Qt::LeftButton);
    QTRY_VERIFY(first.isNull());

    // A console's Pre_Screen shows the settings window again.
    QWidget* form = openForm();
    QVERIFY(form);
    QVERIFY(control<QRadioButton>(form, "로더")->isChecked());
    QCOMPARE(enabledStates(form), "on off off off off");
    QCOMPARE(QApplication::focusWidget(), control(form, "설정완료"));
    QCOMPARE(control<QComboBox>(form, "통신포트")->currentText(), "com1");
    QCOMPARE(control<QComboBox>(form, "통신속도")->currentText(), "38400 bps");
    QCOMPARE(control<QComboBox>(form, "data_bit")->currentText(), "8Bit");
    QCOMPARE(control<QComboBox>(form, "stop_bit")->currentText(), "1");
    QCOMPARE(control<QComboBox>(form, "Parity")->currentText(), "none");
    // The published values stay until the next OK.
    QCOMPARE(program().BaudRate, 19200);
    QCOMPARE(program().PortNo, "2");
}

void TestSettingsWindow::baudRateFromText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<std::optional<qint32>>("baudRate");

    for (const QString& speed : kSpeeds)
        QTest::newRow(qPrintable(speed)) << speed << std::optional<qint32>(speed.left(6).toInt());
    QTest::newRow("blanks around") << " 4800 x" << std::optional<qint32>(4800);
    QTest::newRow("only the first six count") << "1234567" << std::optional<qint32>(123456);
    QTest::newRow("sign") << "-1200" << std::optional<qint32>(-1200);
    QTest::newRow("zero") << "0" << std::optional<qint32>(0);
    QTest::newRow("empty") << "" << std::optional<qint32>();
    QTest::newRow("blanks") << "      bps" << std::optional<qint32>();
    QTest::newRow("sign alone") << "+ 12" << std::optional<qint32>();
    QTest::newRow("letters") << "abc" << std::optional<qint32>();
    QTest::newRow("unit without blank") << "9600bps" << std::optional<qint32>(9600);
    QTest::newRow("letters after six") << "19200b" << std::optional<qint32>(19200);
    QTest::newRow("number stops at a letter") << "12a456" << std::optional<qint32>(12);
    QTest::newRow("number stops at a blank") << "96 00 bps" << std::optional<qint32>(96);
    QTest::newRow("word first") << "fast" << std::optional<qint32>();
    QTest::newRow("not ASCII digits") << "３８４００" << std::optional<qint32>();
}

void TestSettingsWindow::baudRateFromText()
{
    QFETCH(QString, text);
    QFETCH(std::optional<qint32>, baudRate);
    QCOMPARE(::baudRateFromText(text), baudRate);
}

void TestSettingsWindow::portNoFromText()
{
    QCOMPARE(::portNoFromText(u"com1"), "1");
    QCOMPARE(::portNoFromText(u"com2"), "2");
    QCOMPARE(::portNoFromText(u"comX"), "X");
    QCOMPARE(::portNoFromText(u""), "");
    QCOMPARE(::portNoFromText(u"com😀"), "😀");
    QCOMPARE(::portNoFromText(u"com\xDC00"), QString(QChar(0xDC00))); // a lone low surrogate
}

QTEST_MAIN(TestSettingsWindow)
#include "tst_settings_window.moc"
