// The common console window, on the Loader console and, where they differ, on the other two:
// controls, layout, the format switch, Clear, the history grid, Enter, Pre_Screen and END.
// Sending to a device is covered by the transaction tests over pseudo-terminals.

#include "ConsoleHarness.h"
#include "RecordingServices.h"
#include "protocols/ProgramState.h"
#include "serial/PortMap.h"
#include "windows/ConsoleWindow.h"
#include "windows/DedicatedWindow.h"
#include "windows/LoaderWindow.h"
#include "windows/TextBox.h"
#include "windows/UserDefWindow.h"
#include "windows/WidgetPlacement.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

#include <memory>

namespace {

// A console of the form named, not shown.
struct Console : ConsoleControls {
    explicit Console(const QString& form = QStringLiteral("Form2"))
        : ConsoleControls(makeConsole(form))
    {
    }
};

} // namespace

class TestConsoleWindow : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        program() = ProgramState{};
        PortMap::setDevice(1, {});
        PortMap::setDevice(2, {});
    }

    void controls_data()
    {
        QTest::addColumn<QString>("form");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("preScreen");
        QTest::addColumn<QString>("otherPreScreen");
        QTest::addColumn<QString>("settings");
        QTest::newRow("Loader") << "Form2"
                                << "Loader Protocol"
                                << "Command1"
                                << "전화면"
                                << "38400,n,8,1";
        QTest::newRow("Dedicated") << "Form3"
                                   << "Dedicate"
                                   << "전화면"
                                   << "Command1"
                                   << "38400,n,8,1";
        QTest::newRow("UserDefine") << "Form4"
                                    << "User Define"
                                    << "전화면"
                                    << "Command1"
                                    << "19200,n,8,1";
    }
    void controls()
    {
        QFETCH(QString, form);
        QFETCH(QString, caption);
        QFETCH(QString, preScreen);
        QFETCH(QString, otherPreScreen);
        QFETCH(QString, settings);
        Console c(form);
        QWidget* w = c.window;
        QCOMPARE(w->objectName(), form);
        QCOMPARE(w->windowTitle(), caption);

        QVERIFY(c.send && c.recv && c.status && c.hexa && c.ascii);
        QVERIFY(!c.send->isReadOnly());
        QCOMPARE(c.send->toolTip(), QStringLiteral("최대120Byte"));
        QCOMPARE(c.send->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        QCOMPARE(textColour(c.send), QColor(0, 0, 255));
        QVERIFY(c.recv->isReadOnly());
        QVERIFY(c.recv->textInteractionFlags() & Qt::TextSelectableByMouse);
        QCOMPARE(c.recv->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        QCOMPARE(textColour(c.recv), QColor(255, 0, 0));
        QVERIFY(c.status->isReadOnly());
        QCOMPARE(c.status->text(), QStringLiteral("Status"));
        QCOMPARE(c.status->alignment(), Qt::AlignCenter);
        QCOMPARE(textColour(c.status), QColor(0, 0, 255));
        QCOMPARE(c.status->font().pointSizeF(), 12.75);
        QVERIFY(c.status->font().bold());
        QCOMPARE(c.send->font().pointSizeF(), 12.0);
        QVERIFY(c.send->font().bold());

        auto* frame3 = child<QGroupBox>(w, QStringLiteral("Frame3"));
        QVERIFY(frame3);
        QCOMPARE(frame3->title(), QStringLiteral("Format"));
        QCOMPARE(c.hexa->parentWidget(), frame3);
        QCOMPARE(c.ascii->parentWidget(), frame3);
        QCOMPARE(c.hexa->text(), QStringLiteral("Hex"));
        QCOMPARE(c.ascii->text(), QStringLiteral("ASCii"));
        QVERIFY(c.hexa->isChecked());
        QVERIFY(!c.ascii->isChecked());
        QCOMPARE(c.window->view(), codec::View::Characters);

        const QList<std::pair<const char*, const char*>> buttons = {
            {"전송", "Send"}, {"클리어", "Clear"}, {"끝내기", "END"}};
        for (const auto& [name, text] : buttons) {
            QVERIFY2(c.button(name), name);
            QCOMPARE(c.button(name)->text(), QString::fromUtf8(text));
        }
        QVERIFY(child<QPushButton>(w, preScreen));
        QCOMPARE(child<QPushButton>(w, preScreen)->text(), QStringLiteral("Pre_Screen"));
        QVERIFY(!child<QWidget>(w, otherPreScreen));
        const QList<std::pair<const char*, const char*>> labels = {
            {"Label3", "Send Data"}, {"Label4", "Recieve Data"}, {"Label5", "History"}};
        for (const auto& [name, text] : labels) {
            QVERIFY2(child<QLabel>(w, QString::fromUtf8(name)), name);
            QCOMPARE(child<QLabel>(w, QString::fromUtf8(name))->text(), QString::fromUtf8(text));
        }

        // Created in index order, one line high, read-only, empty.
        const QList<QLineEdit*> inOrder = w->findChildren<QLineEdit*>(QStringLiteral("송수신이력"));
        QCOMPARE(inOrder.size(), 40);
        for (int i = 0; i < 40; ++i) {
            QCOMPARE(inOrder[i]->property("index").toInt(), i);
            QVERIFY(inOrder[i]->isReadOnly());
            QVERIFY(inOrder[i]->text().isEmpty());
        }
        QCOMPARE(c.history[0]->font().pointSizeF(), 8.25);

        auto* serial = w->findChild<SerialControl*>(QStringLiteral("MSComm1"));
        QVERIFY(serial);
        QCOMPARE(serial->settings(), settings);
        QVERIFY(!serial->portOpen());
    }

    void geometry_data()
    {
        QTest::addColumn<QString>("form");
        QTest::addColumn<QString>("control");
        QTest::addColumn<QRect>("twips");
        const auto row = [](const char* form, const char* control, QRect twips) {
            QTest::addRow("%s %s", form, control) << form << QString::fromUtf8(control) << twips;
        };
        for (const char* form : {"Form2", "Form3"}) {
            row(form, "Label3", {120, 0, 870, 180});
            row(form, "송신", {120, 240, 5775, 855});
            row(form, "Label4", {120, 1320, 1110, 180});
            row(form, "수신", {120, 1560, 5775, 855});
            row(form, "Label5", {120, 2640, 585, 180});
            row(form, "전송", {6120, 240, 1215, 495});
            row(form, "Frame3", {6120, 840, 1215, 1215});
            row(form, "응답", {6120, 2160, 1215, 375});
        }
        row("Form2", "클리어", {6120, 2640, 1215, 495});
        row("Form2", "Command1", {6120, 3240, 1215, 495});
        row("Form2", "끝내기", {6120, 3840, 1215, 495});
        row("Form3", "Frame4", {6120, 2760, 1215, 1575});
        row("Form3", "BCC_NO", {120, 360, 855, 375});
        row("Form3", "BCC_YES", {120, 960, 975, 375});
        row("Form3", "클리어", {6120, 4560, 1215, 495});
        row("Form3", "전화면", {6120, 5160, 1215, 495});
        row("Form3", "끝내기", {6120, 5760, 1215, 495});
        row("Form4", "Label2", {240, 120, 600, 180});
        row("Form4", "Header", {60, 360, 1095, 300});
        row("Form4", "Label3", {1320, 120, 870, 180});
        row("Form4", "송신", {1320, 360, 3615, 855});
        row("Form4", "Label7", {5160, 120, 480, 180});
        row("Form4", "BCC1", {5040, 360, 975, 300});
        row("Form4", "Label6", {6120, 120, 315, 180});
        row("Form4", "Tail", {6000, 360, 1095, 300});
        row("Form4", "Label8", {7080, 120, 480, 180});
        row("Form4", "BCC2", {7080, 360, 975, 300});
        row("Form4", "전송", {5160, 840, 1215, 495});
        row("Form4", "클리어", {6600, 840, 1215, 495});
        row("Form4", "Label4", {120, 1320, 1110, 180});
        row("Form4", "수신", {120, 1560, 4815, 855});
        row("Form4", "응답", {5160, 1560, 1215, 375});
        row("Form4", "끝내기", {6600, 1560, 1215, 495});
        row("Form4", "전화면", {6600, 2280, 1215, 495});
        row("Form4", "Label5", {120, 2520, 585, 180});
        row("Form4", "Frame3", {6600, 3000, 1215, 1335});
        for (const char* form : {"Form2", "Form3", "Form4"}) {
            row(form, "Hexa", {240, 240, 855, 375});
            row(form, "ASCii", {240, 720, 855, 375});
        }
    }
    void geometry()
    {
        QFETCH(QString, form);
        QFETCH(QString, control);
        QFETCH(QRect, twips);
        Console c(form);
        auto* widget = child<QWidget>(c.window, control);
        QVERIFY(widget);
        QCOMPARE(widget->geometry(),
                 twipsRect(twips.x(), twips.y(), twips.width(), twips.height()));
    }

    void historyAndClientGeometry_data()
    {
        QTest::addColumn<QString>("form");
        QTest::addColumn<QSize>("client");
        QTest::addColumn<int>("top");
        QTest::addColumn<int>("dataWidth");
        QTest::newRow("Loader") << "Form2" << QSize(7410, 7860) << 2880 << 5175;
        QTest::newRow("Dedicated") << "Form3" << QSize(7380, 7830) << 2880 << 5175;
        QTest::newRow("UserDefine") << "Form4" << QSize(8100, 7755) << 2760 << 5655;
    }
    void historyAndClientGeometry()
    {
        QFETCH(QString, form);
        QFETCH(QSize, client);
        QFETCH(int, top);
        QFETCH(int, dataWidth);
        Console c(form);
        const QSize size = twipsSize(client.width(), client.height());
        QCOMPARE(c.window->minimumSize(), size);
        QCOMPARE(c.window->maximumSize(), size);
        for (int r = 0; r < 20; ++r) {
            QCOMPARE(c.history[2 * r]->geometry(), twipsRect(720, top + 240 * r, dataWidth, 255));
            QCOMPARE(c.history[2 * r + 1]->geometry(), twipsRect(120, top + 240 * r, 615, 255));
        }
    }

    void focusGoesToSendBoxOnActivation()
    {
        RecordingServices services;
        Console c;
        c.window->show();
        c.window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(c.window));
        QTRY_COMPARE(QApplication::focusWidget(), c.send);

        c.button("클리어")->setFocus();
        QCOMPARE(QApplication::focusWidget(), c.button("클리어"));
        QWidget other;
        other.show();
        other.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&other));
        c.window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(c.window));
        QTRY_COMPARE(QApplication::focusWidget(), c.send);
    }

    void formatSwitchConvertsSendBox_data()
    {
        QTest::addColumn<QString>("characters");
        QTest::addColumn<QString>("hex");
        QTest::newRow("letters") << "AB"
                                 << "4142";
        QTest::newRow("empty") << ""
                               << "";
        QTest::newRow("Korean") << "한"
                                << "C7D1";
        QTest::newRow("line break") << "A\nB"
                                    << "410D0A42";
    }
    void formatSwitchConvertsSendBox()
    {
        QFETCH(QString, characters);
        QFETCH(QString, hex);
        RecordingServices services;
        Console c;
        c.send->setPlainText(characters);
        c.ascii->click();
        QCOMPARE(c.send->toPlainText(), hex);
        QCOMPARE(c.window->view(), codec::View::HexDigits);
        c.hexa->click();
        QCOMPARE(c.send->toPlainText(), characters);
        QCOMPARE(c.window->view(), codec::View::Characters);
        QVERIFY(services.boxes().isEmpty());
    }

    void formatSwitchRerendersDataBoxesOnly()
    {
        RecordingServices services;
        Console c;
        const QByteArray frame("\x02"
                               "AB\x03");
        const QByteArray reply("\x80\x06\r\n", 4); // a lone lead byte, a control, CR LF
        c.window->historyUpdate(frame, reply);
        const QString frameText = c.history[0]->text();
        const QString replyText = c.history[2]->text();
        QCOMPARE(frameText, QStringLiteral("\u2402AB\u2403"));
        QCOMPARE(replyText, QStringLiteral("\u2880\u2406\u240D\u240A"));

        c.ascii->click();
        QCOMPARE(c.history[0]->text(), QStringLiteral("02414203"));
        QCOMPARE(c.history[2]->text(), QStringLiteral("80060D0A"));
        QCOMPARE(c.history[1]->text(), QStringLiteral("Send1:"));
        QCOMPARE(c.history[3]->text(), QStringLiteral("Recv1:"));
        QCOMPARE(c.status->text(), QStringLiteral("Status"));
        QVERIFY(c.recv->toPlainText().isEmpty());
        for (int i = 4; i < 40; ++i)
            QVERIFY(c.history[i]->text().isEmpty());

        c.hexa->click();
        QCOMPARE(c.history[0]->text(), frameText);
        QCOMPARE(c.history[2]->text(), replyText);
        QCOMPARE(c.window->historyBytes(0), frame);
        QCOMPARE(c.window->historyBytes(1), reply);

        // Asking for the view already shown changes nothing, even on text it could not convert.
        c.send->setPlainText(QStringLiteral("é"));
        c.window->Hexa_Click();
        QVERIFY(services.boxes().isEmpty());
        QCOMPARE(c.send->toPlainText(), QStringLiteral("é"));

        // A direct call moves the option along with the texts, converting them once only.
        c.send->setPlainText(QStringLiteral("AB"));
        c.window->ASCii_Click();
        QVERIFY(c.ascii->isChecked());
        QVERIFY(!c.hexa->isChecked());
        QCOMPARE(c.send->toPlainText(), QStringLiteral("4142"));
        QCOMPARE(c.history[0]->text(), QStringLiteral("02414203"));
    }

    void unconvertibleSendTextChangesNothing_data()
    {
        QTest::addColumn<bool>("fromHex");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("named");
        QTest::addColumn<QString>("position");
        QTest::newRow("no hex digit") << true << "41G2"
                                      << "G"
                                      << "3";
        QTest::newRow("no code page 949 code") << false << "Aé"
                                               << "é"
                                               << "2";
    }
    void unconvertibleSendTextChangesNothing()
    {
        QFETCH(bool, fromHex);
        QFETCH(QString, text);
        QFETCH(QString, named);
        QFETCH(QString, position);
        RecordingServices services;
        Console c;
        c.window->historyUpdate("\x02"
                                "AB\x03",
                                "\x06");
        if (fromHex)
            c.ascii->click();
        const QString frameText = c.history[0]->text();
        c.send->setPlainText(text);

        (fromHex ? c.hexa : c.ascii)->click();

        QCOMPARE(services.boxes().size(), 1);
        QCOMPARE(services.boxes()[0].title, QStringLiteral("Format"));
        QVERIFY2(services.boxes()[0].text.contains(named), qPrintable(services.boxes()[0].text));
        QVERIFY(services.boxes()[0].text.contains(QStringLiteral("position ") + position));
        QCOMPARE(c.ascii->isChecked(), fromHex);
        QCOMPARE(c.hexa->isChecked(), !fromHex);
        QCOMPARE(c.window->view(), fromHex ? codec::View::HexDigits : codec::View::Characters);
        QCOMPARE(c.send->toPlainText(), text);
        QCOMPARE(c.history[0]->text(), frameText);

        // The options still work once the text can be converted.
        c.send->setPlainText(fromHex ? QStringLiteral("4142") : QStringLiteral("AB"));
        (fromHex ? c.hexa : c.ascii)->click();
        QCOMPARE(c.send->toPlainText(), fromHex ? QStringLiteral("AB") : QStringLiteral("4142"));
        QCOMPARE(services.boxes().size(), 1);
    }

    void clearEmptiesTheTextsOnly()
    {
        RecordingServices services;
        Console c;
        c.window->historyUpdate("F1", "R1");
        c.window->historyUpdate("F2", "R2");
        c.ascii->click();
        c.send->setPlainText(QStringLiteral("4142"));

        c.button("클리어")->click();

        for (QLineEdit* box : c.history)
            QVERIFY(box->text().isEmpty());
        for (int r = 0; r < 20; ++r)
            QVERIFY(c.window->historyBytes(r).isEmpty());
        QVERIFY(c.send->toPlainText().isEmpty());
        QVERIFY(c.recv->toPlainText().isEmpty());
        QVERIFY(c.status->text().isEmpty());
        QVERIFY(c.ascii->isChecked());
        QCOMPARE(textColour(c.history[0]), QColor(0, 0, 255));
        QCOMPARE(textColour(c.history[2]), QColor(255, 0, 0));
        QCOMPARE(c.window->focusWidget(), c.send);

        // The page starts over, as number 1.
        c.window->historyUpdate("F3", "R3");
        QCOMPARE(c.history[1]->text(), QStringLiteral("Send1:"));
        QCOMPARE(c.history[0]->text(), QStringLiteral("4633"));
        QVERIFY(c.history[5]->text().isEmpty());
    }

    void historyFirstTransaction()
    {
        Console c;
        c.window->historyUpdate("\x02"
                                "AB83\x03",
                                "\x06\x04");
        QCOMPARE(c.history[1]->text(), QStringLiteral("Send1:"));
        QCOMPARE(c.window->historyBytes(0), QByteArray("\x02"
                                                       "AB83\x03"));
        QCOMPARE(textColour(c.history[0]), QColor(0, 0, 255));
        QCOMPARE(c.history[3]->text(), QStringLiteral("Recv1:"));
        QCOMPARE(c.window->historyBytes(1), QByteArray("\x06\x04"));
        QCOMPARE(textColour(c.history[2]), QColor(255, 0, 0));
        for (int i = 4; i < 40; ++i)
            QVERIFY(c.history[i]->text().isEmpty());
    }

    void historyPageOfTen()
    {
        RecordingServices services;
        Console c;
        c.ascii->click();
        for (int k = 1; k <= 10; ++k)
            c.window->historyUpdate("F" + QByteArray::number(k), "R" + QByteArray::number(k));
        for (int k = 1; k <= 10; ++k) {
            QCOMPARE(c.history[4 * k - 3]->text(), QStringLiteral("Send%1:").arg(k));
            QCOMPARE(c.history[4 * k - 1]->text(), QStringLiteral("Recv%1:").arg(k));
            QCOMPARE(c.window->historyBytes(2 * k - 2), "F" + QByteArray::number(k));
            QCOMPARE(c.window->historyBytes(2 * k - 1), "R" + QByteArray::number(k));
        }
        QCOMPARE(c.history[38]->text(), QStringLiteral("523130")); // R10 in hex digits

        // The eleventh starts over at rows 0 and 1 and appends to them; the twelfth follows.
        c.window->historyUpdate("F11", "R11");
        QCOMPARE(c.history[1]->text(), QStringLiteral("Send1:Send1:"));
        QCOMPARE(c.history[3]->text(), QStringLiteral("Recv1:Recv1:"));
        QCOMPARE(c.window->historyBytes(0), QByteArray("F1F11"));
        QCOMPARE(c.window->historyBytes(1), QByteArray("R1R11"));
        QCOMPARE(c.history[0]->text(), QStringLiteral("4631463131"));
        QCOMPARE(c.history[5]->text(), QStringLiteral("Send2:"));
        c.window->historyUpdate("F12", "R12");
        QCOMPARE(c.history[5]->text(), QStringLiteral("Send2:Send2:"));
        QCOMPARE(c.window->historyBytes(2), QByteArray("F2F12"));
    }

    void historyRestartsWhileBoxZeroIsEmpty()
    {
        Console c;
        c.window->historyUpdate("", "\x06"); // a frame of nothing leaves box 0 empty
        c.window->historyUpdate("F", "R");
        QCOMPARE(c.history[1]->text(), QStringLiteral("Send1:Send1:"));
        QCOMPARE(c.history[3]->text(), QStringLiteral("Recv1:Recv1:"));
        QCOMPARE(c.window->historyBytes(1), QByteArray("\x06R"));
        QVERIFY(c.history[5]->text().isEmpty());
    }

    // Only the carriage return of a plain Enter sends; either way the key then does in 송신 what
    // it does in any text box.
    void onlyAPlainEnterSends_data()
    {
        QTest::addColumn<Qt::Key>("key");
        QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
        QTest::addColumn<bool>("sends");
        QTest::newRow("Return") << Qt::Key_Return << Qt::KeyboardModifiers() << true;
        QTest::newRow("Enter") << Qt::Key_Enter << Qt::KeyboardModifiers() << true;
        QTest::newRow("keypad Enter")
            << Qt::Key_Enter << Qt::KeyboardModifiers(Qt::KeypadModifier) << true;
        QTest::newRow("Ctrl+Return")
            << Qt::Key_Return << Qt::KeyboardModifiers(Qt::ControlModifier) << false;
        QTest::newRow("Shift+Return")
            << Qt::Key_Return << Qt::KeyboardModifiers(Qt::ShiftModifier) << false;
        QTest::newRow("Alt+Return")
            << Qt::Key_Return << Qt::KeyboardModifiers(Qt::AltModifier) << false;
        QTest::newRow("Ctrl+keypad Enter")
            << Qt::Key_Enter << (Qt::ControlModifier | Qt::KeypadModifier) << false;
    }
    void onlyAPlainEnterSends()
    {
        QFETCH(Qt::Key, key);
        QFETCH(Qt::KeyboardModifiers, modifiers);
        QFETCH(bool, sends);
        RecordingServices services;
        Console c(QStringLiteral("Form4"));
        // A header text the frame builder refuses: Send stops at the frame with a box, nothing
        // is opened.
        child<QComboBox>(c.window, QStringLiteral("Header"))->setEditText("XYZ");
        c.window->show();
        c.send->setFocus();
        QTest::keyClicks(c.send, QStringLiteral("AB"));
        QVERIFY(services.boxes().isEmpty());

        QTest::keyClick(c.send, key, modifiers);
        QCOMPARE(services.boxes().size(), sends ? 1 : 0);
        if (sends)
            QCOMPARE(services.boxes()[0].title, QStringLiteral("User Define"));
        TextBox plain;
        plain.setPlainText(QStringLiteral("AB"));
        plain.moveCursor(QTextCursor::End);
        QTest::keyClick(&plain, key, modifiers);
        QCOMPARE(c.send->toPlainText(), plain.toPlainText());
        QVERIFY(c.window->SendFrame().isEmpty());
        QVERIFY(!c.window->MSComm1().portOpen());
    }

    // In the hex view the digits are tidied first, so the line break lands after them.
    void enterInTheHexViewBreaksTheLineAfterTheDigits()
    {
        RecordingServices services;
        Console c(QStringLiteral("Form4"));
        child<QComboBox>(c.window, QStringLiteral("Header"))->setEditText("XYZ");
        c.window->show();
        c.ascii->click();
        c.send->setFocus();
        c.send->setPlainText(QStringLiteral("41 4"));
        c.send->moveCursor(QTextCursor::End);
        QTest::keyClick(c.send, Qt::Key_Return);
        QCOMPARE(services.boxes().size(), 1);
        QCOMPARE(c.send->toPlainText(), QStringLiteral("4104\n"));
    }

    // Clipboard data that offers no format at all (an empty clipboard after login) crashed Qt's
    // paste; now it pastes nothing, and real text still pastes.
    void pastingAnEmptyClipboardDoesNothing_data()
    {
        QTest::addColumn<QString>("form");
        QTest::addColumn<QString>("box"); // 송신, or a User Define list's line edit
        QTest::newRow("Loader 송신") << "Form2"
                                     << "송신";
        QTest::newRow("Dedicated 송신") << "Form3"
                                        << "송신";
        QTest::newRow("User Define 송신") << "Form4"
                                          << "송신";
        QTest::newRow("User Define Header") << "Form4"
                                            << "Header";
    }
    void pastingAnEmptyClipboardDoesNothing()
    {
        QFETCH(QString, form);
        QFETCH(QString, box);
        Console c(form);
        c.window->show();
        QWidget* target = box == "송신" ? static_cast<QWidget*>(c.send)
                                        : child<QComboBox>(c.window, box)->lineEdit();
        const auto text = [&] {
            return box == "송신" ? c.send->toPlainText()
                                 : child<QComboBox>(c.window, box)->currentText();
        };
        target->setFocus();
        const QString before = text();
        QGuiApplication::clipboard()->setMimeData(new QMimeData);
        QTest::keyClick(target, Qt::Key_V, Qt::ControlModifier);
        QTest::keyClick(target, Qt::Key_Insert, Qt::ShiftModifier);
        QTest::mouseClick(box == "송신" ? c.send->viewport() : target, Qt::MiddleButton);
        QCOMPARE(text(), before);

        QGuiApplication::clipboard()->setText(QStringLiteral("CD"));
        QTest::keyClick(target, Qt::Key_End);
        QTest::keyClick(target, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(text(), before + "CD");
    }

    void historyBoxesHoldMoreThanQtsDefaultCap()
    {
        Console c;
        const QByteArray frame = QByteArray(40000, 'F') + "end";
        c.window->historyUpdate(frame, "R");
        QCOMPARE(c.history[0]->text().size(), frame.size());
        QVERIFY(c.history[0]->text().endsWith("end"));
        c.ascii->click();
        QCOMPARE(c.history[0]->text().size(), 2 * frame.size());
        QVERIFY(c.history[0]->text().endsWith("656E64"));
    }

    void enterPressesTheFocusedButton()
    {
        RecordingServices services;
        Console c;
        c.window->show();
        c.send->setPlainText(QStringLiteral("AB"));
        c.clear->setFocus();
        QTest::keyClick(c.clear, Qt::Key_Return);
        QVERIFY(c.send->toPlainText().isEmpty());
        c.button("끝내기")->setFocus();
        QTest::keyClick(c.button("끝내기"), Qt::Key_Enter);
        QCOMPARE(services.endProgramCalls(), 1);
    }

    // Choosing the check is the Dedicated Send's first step: it holds even when the hex check
    // refuses the text, so a User Define Send after it makes its extra reads or not accordingly.
    void dedicatedSendSetsBccFlagEvenWhenRefused()
    {
        RecordingServices services;
        Console c(QStringLiteral("Form3"));
        c.ascii->click();
        c.send->setPlainText(QStringLiteral("4G"));
        child<QRadioButton>(c.window, QStringLiteral("BCC_YES"))->click();
        c.sendButton->click();
        QCOMPARE(services.boxes().size(), 1);
        QVERIFY(program().BccFlag);
        child<QRadioButton>(c.window, QStringLiteral("BCC_NO"))->click();
        c.sendButton->click();
        QCOMPARE(services.boxes().size(), 2);
        QVERIFY(!program().BccFlag);
    }

    void sendRefusesTextItCannotRead()
    {
        RecordingServices services;
        Console c;
        c.ascii->click();
        c.send->setPlainText(QStringLiteral("4G"));
        c.button("전송")->click();
        QCOMPARE(services.boxes().size(), 1);
        QCOMPARE(services.boxes()[0].title, QStringLiteral("Format"));
        QCOMPARE(c.send->toPlainText(), QStringLiteral("4G"));
        QVERIFY(c.window->SendFrame().isEmpty());
        QVERIFY(c.history[1]->text().isEmpty());
        QCOMPARE(c.status->text(), QStringLiteral("Status"));
    }

    void portFailureEndsTheSend_data()
    {
        QTest::addColumn<QString>("form");
        QTest::addColumn<QString>("portNo");
        QTest::addColumn<QStringList>("texts");
        const QString disorder = QStringLiteral("Port Disorder");
        QTest::newRow("Dedicated, port no number") << "Form3"
                                                   << "x" << QStringList{disorder};
        QTest::newRow("Dedicated, 128000 then no device")
            << "Form3"
            << "1" << QStringList{QStringLiteral("Bout_Rate Disorder"), disorder};
        QTest::newRow("User Define, 128000 then no device")
            << "Form4"
            << "1" << QStringList{QStringLiteral("Bout_rate Disorder"), disorder};
    }
    void portFailureEndsTheSend()
    {
        QFETCH(QString, form);
        QFETCH(QString, portNo);
        QFETCH(QStringList, texts);
        RecordingServices services;
        PortMap::setDevice(1, QStringLiteral("/nonexistent/rs232c-test-port"));
        program().PortNo = portNo;
        program().BaudRate = 128000;
        Console c(form);
        c.send->setPlainText(QStringLiteral("AB"));

        c.button("전송")->click();

        QStringList shown;
        for (const auto& box : services.boxes()) {
            QCOMPARE(box.title, QStringLiteral("Error"));
            shown << box.text;
        }
        QCOMPARE(shown, texts);
        QVERIFY(c.window->SendFrame().startsWith("\x05"
                                                 "AB\x04"));
        QVERIFY(!c.window->transactionRunning());
        QVERIFY(c.button("전송")->isEnabled());
        QVERIFY(c.button("클리어")->isEnabled());
        QVERIFY(c.ascii->isEnabled());
        QCOMPARE(c.status->text(), QStringLiteral("Status"));
        QVERIFY(c.history[1]->text().isEmpty());
        QVERIFY(!c.window->MSComm1().portOpen());
        QCOMPARE(c.window->focusWidget(), c.send);
    }

    void preScreenOpensSettingsAndDiscardsTheConsole()
    {
        RecordingServices services;
        services.registerWindow(WindowId::Settings, [] {
            auto* settings = new QWidget;
            settings->setObjectName(QStringLiteral("Form1"));
            return settings;
        });
        services.registerWindow(WindowId::Loader, [] { return new LoaderWindow(program()); });
        QPointer<QWidget> first = services.show(WindowId::Loader);
        QVERIFY(first);
        const ConsoleControls before(static_cast<ConsoleWindow*>(first.data()));
        before.send->setPlainText(QStringLiteral("AB"));
        before.ascii->click();
        before.window->historyUpdate("F", "R");

        before.button("Command1")->click();

        QVERIFY(services.window(WindowId::Settings));
        QVERIFY(services.window(WindowId::Settings)->isVisible());
        QVERIFY(!services.window(WindowId::Loader));
        QTRY_VERIFY(!first);

        const ConsoleControls shown(static_cast<ConsoleWindow*>(services.show(WindowId::Loader)));
        QVERIFY(shown.send->toPlainText().isEmpty());
        QVERIFY(shown.hexa->isChecked());
        QCOMPARE(shown.status->text(), QStringLiteral("Status"));
        for (QLineEdit* box : shown.history)
            QVERIFY(box->text().isEmpty());
        QCOMPARE(services.endProgramCalls(), 0);
    }

    void endEndsTheProgram()
    {
        RecordingServices services;
        Console c;
        c.button("끝내기")->click();
        QCOMPARE(services.endProgramCalls(), 1);
    }

    void dedicatedCheckChoice()
    {
        Console c(QStringLiteral("Form3"));
        auto* frame4 = child<QGroupBox>(c.window, QStringLiteral("Frame4"));
        auto* none = child<QRadioButton>(c.window, QStringLiteral("BCC_NO"));
        auto* use = child<QRadioButton>(c.window, QStringLiteral("BCC_YES"));
        QVERIFY(frame4 && none && use);
        QCOMPARE(frame4->title(), QStringLiteral("BCC Check"));
        QCOMPARE(none->parentWidget(), frame4);
        QCOMPARE(use->parentWidget(), frame4);
        QCOMPARE(none->text(), QStringLiteral("BCC None"));
        QCOMPARE(use->text(), QStringLiteral("BCC Use"));
        QVERIFY(none->isChecked());
        QVERIFY(!use->isChecked());
        use->click();
        QVERIFY(!none->isChecked());
        QVERIFY(c.hexa->isChecked()); // a group of its own
    }

    void userDefineSelections_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<QString>("initial");
        const QStringList sums{"SUM_1", "SUM_2", "NONE"};
        QTest::newRow("Header") << "Header" << QStringList{"ENQ(05)", "STX(02)", "ACK(06)",
                                                           "NAK(21)", "NUL(00)", "NONE"}
                                << "ENQ(05)";
        QTest::newRow("BCC1") << "BCC1" << sums << "NONE";
        QTest::newRow("Tail") << "Tail" << QStringList{"ETX(03)", "EOT(04)", "NUL(00)", "NONE"}
                              << "EOT(04)";
        QTest::newRow("BCC2") << "BCC2" << sums << "SUM_1";
    }
    void userDefineSelections()
    {
        QFETCH(QString, name);
        QFETCH(QStringList, entries);
        QFETCH(QString, initial);
        Console c(QStringLiteral("Form4"));
        auto* combo = child<QComboBox>(c.window, name);
        QVERIFY(combo);
        QVERIFY(combo->isEditable());
        QStringList listed;
        for (int i = 0; i < combo->count(); ++i)
            listed << combo->itemText(i);
        QCOMPARE(listed, entries);
        QCOMPARE(combo->currentText(), initial);

        // A typed text stays as typed: no completion, and Enter adds nothing to the list.
        c.window->show();
        combo->lineEdit()->clear();
        QTest::keyClicks(combo->lineEdit(), QStringLiteral("S"));
        QCOMPARE(combo->currentText(), QStringLiteral("S"));
        QTest::keyClick(combo->lineEdit(), Qt::Key_Return);
        QCOMPARE(combo->count(), entries.size());
    }
};

QTEST_MAIN(TestConsoleWindow)
#include "tst_console_window.moc"
