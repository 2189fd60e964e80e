// The window services the windows rely on: a closed window is gone and comes back fresh, the
// real message box and end of the program, twips, and the font that stands in for Gulim.

#include "windows/WidgetPlacement.h"
#include "windows/WindowServices.h"

#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QFontDatabase>
#include <QFontInfo>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QtTest>

namespace {

class CountingWindow : public QWidget {
public:
    explicit CountingWindow(int* closes) : m_closes(closes) {}

protected:
    void closeEvent(QCloseEvent* event) override
    {
        ++*m_closes;
        QWidget::closeEvent(event);
    }

private:
    int* m_closes;
};

} // namespace

class TestWindowServices : public QObject {
    Q_OBJECT

private slots:
    void showMakesOneWindowAndCloseDiscardsIt();
    void showWithoutAFactoryMakesNothing();
    void discardAllClosesAndDeletes();
    void messageBoxIsPlainAndWaits();
    void twips();
    void gulimIsNanumGothic();
    // Last: once the program is told to end, no event loop of this process runs again.
    void endProgramHidesEverythingAndLeavesTheLoop();
};

void TestWindowServices::showMakesOneWindowAndCloseDiscardsIt()
{
    WindowServices services;
    int made = 0;
    int closes = 0;
    services.registerWindow(WindowId::Loader, [&] {
        ++made;
        return new CountingWindow(&closes);
    });
    QVERIFY(!services.window(WindowId::Loader));

    QPointer<QWidget> first = services.show(WindowId::Loader);
    QVERIFY(first);
    QVERIFY(first->isVisible());
    QVERIFY(!first->isModal());
    QCOMPARE(services.window(WindowId::Loader), first.data());
    QCOMPARE(services.show(WindowId::Loader), first.data());
    QCOMPARE(made, 1);

    services.close(first);
    QCOMPARE(closes, 1);
    QVERIFY(!first->isVisible());
    QVERIFY(!services.window(WindowId::Loader));
    QTRY_VERIFY(first.isNull());

    QPointer<QWidget> second = services.show(WindowId::Loader);
    QCOMPARE(made, 2);
    QVERIFY(second);
    QVERIFY(second->isVisible());
    services.close(second);
    QTRY_VERIFY(second.isNull());
}

void TestWindowServices::showWithoutAFactoryMakesNothing()
{
    WindowServices services;
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("No window is registered"));
    QVERIFY(!services.show(WindowId::UserDefine));
    QVERIFY(!services.window(WindowId::UserDefine));
}

void TestWindowServices::discardAllClosesAndDeletes()
{
    WindowServices services;
    int closes = 0;
    services.registerWindow(WindowId::Dedicated, [&] { return new CountingWindow(&closes); });
    services.registerWindow(WindowId::Settings, [&] { return new CountingWindow(&closes); });
    QPointer<QWidget> dedicated = services.show(WindowId::Dedicated);
    QPointer<QWidget> settings = services.show(WindowId::Settings);
    services.close(settings); // already on its way out: closed once, not twice

    services.discardAll();
    QVERIFY(dedicated.isNull()); // at once, without an event loop
    QCOMPARE(closes, 2);
    QVERIFY(!services.window(WindowId::Dedicated));
    QTRY_VERIFY(settings.isNull());
}

void TestWindowServices::messageBoxIsPlainAndWaits()
{
    QWidget parent;
    parent.show();
    bool seen = false;
    QTimer::singleShot(0, this, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        QVERIFY(box);
        seen = true;
        QCOMPARE(box->parentWidget(), &parent);
        QCOMPARE(box->windowTitle(), "Made By Tovik Team");
        QCOMPARE(box->text(), "Tovik RS-232C Protocol VER1.1");
        QCOMPARE(box->informativeText(), QString());
        QCOMPARE(box->icon(), QMessageBox::NoIcon);
        QCOMPARE(box->buttons().size(), 1);
        QCOMPARE(box->standardButton(box->buttons().first()), QMessageBox::Ok);
        box->buttons().first()->click();
    });
    WindowServices().messageBox(&parent, "Tovik RS-232C Protocol VER1.1", "Made By Tovik Team");
    QVERIFY(seen);
    QVERIFY(!QApplication::activeModalWidget());

    // A failure's reason stands under the fixed text.
    QString detailShown;
    QTimer::singleShot(0, this, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        QVERIFY(box);
        QCOMPARE(box->text(), "Port Disorder");
        detailShown = box->informativeText();
        box->buttons().first()->click();
    });
    WindowServices().messageBox(&parent, "Port Disorder", "Error", "/dev/ttyS1: busy");
    QCOMPARE(detailShown, QStringLiteral("/dev/ttyS1: busy"));
}

void TestWindowServices::twips()
{
    const qreal dpi = QGuiApplication::primaryScreen()->logicalDotsPerInchX();
    QCOMPARE(twipsToPixels(1440), qRound(dpi));
    QCOMPARE(twipsToPixels(2880), qRound(2 * dpi));
    QCOMPARE(twipsToPixels(0), 0);
    if (qFuzzyCompare(dpi, 96.0)) {
        QCOMPARE(twipsToPixels(15), 1);
        QCOMPARE(twipsSize(5130, 2910), QSize(342, 194));
    }
    QCOMPARE(twipsRect(120, 2280, 1575, 495), QRect(twipsToPixels(120), twipsToPixels(2280),
                                                    twipsToPixels(1575), twipsToPixels(495)));

    QWidget parent;
    QLabel child(&parent);
    placeWidget(&child, 1800, 120, 3135, 1935);
    QCOMPARE(child.geometry(), twipsRect(1800, 120, 3135, 1935));
}

void TestWindowServices::gulimIsNanumGothic()
{
    if (!QFontDatabase::families().contains("NanumGothic"))
        QSKIP("fonts-nanum is not installed");
    WindowServices::substituteFonts();
    QCOMPARE(QFontInfo(QFont("굴림", 9)).family(), "NanumGothic");
}

void TestWindowServices::endProgramHidesEverythingAndLeavesTheLoop()
{
    QWidget first;
    QWidget second;
    first.show();
    second.show();
    QEventLoop outer;
    QEventLoop inner;
    bool ranAfterEnd = false;
    QTimer::singleShot(0, this, [&] {
        QTimer::singleShot(0, this, [&] {
            WindowServices().endProgram();
            QTimer::singleShot(0, this, [&] { ranAfterEnd = true; });
        });
        inner.exec();
    });
    QCOMPARE(outer.exec(), 0);
    QVERIFY(!first.isVisible());
    QVERIFY(!second.isVisible());
    QVERIFY(!ranAfterEnd);
}

QTEST_MAIN(TestWindowServices)
#include "tst_window_services.moc"
