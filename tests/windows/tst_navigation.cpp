// The program's windows as registered at start: OK on the settings window opens the real
// console, and the console's Pre_Screen brings back a fresh settings window.

#include "RecordingServices.h"
#include "protocols/ProgramState.h"
#include "windows/WindowRegistry.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QtTest>

class TestNavigation : public QObject {
    Q_OBJECT

private slots:
    void okOpensTheConsoleAndPreScreenComesBack_data();
    void okOpensTheConsoleAndPreScreenComesBack();
};

void TestNavigation::okOpensTheConsoleAndPreScreenComesBack_data()
{
    QTest::addColumn<QString>("option");
    QTest::addColumn<int>("console");
    QTest::addColumn<QString>("consoleName");
    QTest::addColumn<QString>("preScreen");

    QTest::newRow("Loader") << "로더" << int(WindowId::Loader) << "Form2"
                            << "Command1";
    QTest::newRow("Dedicated") << "전용" << int(WindowId::Dedicated) << "Form3"
                               << "전화면";
    QTest::newRow("User Define") << "사용자" << int(WindowId::UserDefine) << "Form4"
                                 << "전화면";
}

void TestNavigation::okOpensTheConsoleAndPreScreenComesBack()
{
    QFETCH(QString, option);
    QFETCH(int, console);
    QFETCH(QString, consoleName);
    QFETCH(QString, preScreen);

    RecordingServices services;
    registerWindows(services, program(), nullptr);
    QPointer<QWidget> form = services.show(WindowId::Settings);
    QVERIFY(QTest::qWaitForWindowActive(form));
    QTest::mouseClick(form->findChild<QRadioButton*>(option), Qt::LeftButton);
    auto* port = form->findChild<QComboBox*>("통신포트");
    port->lineEdit()->selectAll();
    QTest::keyClicks(port->lineEdit(), "com2");
    QTest::mouseClick(form->findChild<QAbstractButton*>("설정완료"), Qt::LeftButton);

    QCOMPARE(program().PortNo, "2");
    QPointer<QWidget> opened = services.window(WindowId(console));
    QVERIFY(opened);
    QCOMPARE(opened->objectName(), consoleName);
    QVERIFY(QTest::qWaitForWindowActive(opened));
    QTRY_VERIFY(form.isNull());

    QTest::mouseClick(opened->findChild<QAbstractButton*>(preScreen), Qt::LeftButton);
    QWidget* again = services.window(WindowId::Settings);
    QVERIFY(again);
    QVERIFY(QTest::qWaitForWindowActive(again));
    QCOMPARE(again->findChild<QComboBox*>("통신포트")->currentText(), "com1");
    QVERIFY(again->findChild<QRadioButton*>("로더")->isChecked());
    QVERIFY(!services.window(WindowId(console)));
    QTRY_VERIFY(opened.isNull());
    QVERIFY(services.boxes().isEmpty());
}

QTEST_MAIN(TestNavigation)
#include "tst_navigation.moc"
