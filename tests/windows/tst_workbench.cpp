// The consoles' workbench as a user drives it: messages saved in the Messages window, kept in the
// configuration folder across a restart and sent by Ctrl+1…Ctrl+9 with their options; a file
// that cannot be read reported once and never written over; a session saved as a plan that
// rs232c run passes against the same simulated device and fails on the step another device
// answers otherwise.

#include "CommandProcess.h"
#include "ConsoleHarness.h"
#include "plans/InputFile.h"
#include "plans/SavedMessages.h"
#include "protocols/ProgramState.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

// A console of the form named, shown and active.
struct Console : ConsoleControls {
    explicit Console(const QString& form) : ConsoleControls(makeConsole(form)) { showActive(); }

    QWidget* messagesWindow() const { return window->findChild<QWidget*>("MessagesWindow"); }
    QTableWidget* messageList() const
    {
        return child<QTableWidget>(messagesWindow(), QStringLiteral("messageList"));
    }
    // Ctrl and the key in the console, active again as the user's click makes it.
    [[nodiscard]] bool keys(Qt::Key key) const
    {
        window->activateWindow();
        if (!QTest::qWaitForWindowActive(window))
            return false;
        QTest::keyClick(window, key, Qt::ControlModifier);
        return true;
    }
    // Saves the text now in 송신, with the console's options now, under the name.
    [[nodiscard]] bool save(const QString& name) const
    {
        if (!keys(Qt::Key_M) || !messagesWindow() || !messagesWindow()->isVisible())
            return false;
        child<QLineEdit>(messagesWindow(), QStringLiteral("messageName"))->setText(name);
        QTest::mouseClick(child<QPushButton>(messagesWindow(), QStringLiteral("addButton")),
                          Qt::LeftButton);
        return true;
    }
    // The Dedicated console's BCC Use, the User Define console's header.
    void setOptions(bool bcc, const QString& header) const
    {
        if (auto* option = child<QRadioButton>(window, bcc ? "BCC_YES" : "BCC_NO"))
            option->setChecked(true);
        if (auto* list = child<QComboBox>(window, QStringLiteral("Header")))
            list->setCurrentIndex(list->findText(header));
    }
};

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestWorkbench : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        // A configuration folder of each test's own, so that nothing of the user's is touched.
        m_config = std::make_unique<QTemporaryDir>();
        qputenv("XDG_CONFIG_HOME", m_config->path().toLocal8Bit());
        m_fixture = std::make_unique<ConsoleFixture>();
        program().PortNo = QStringLiteral("1");
        program().BaudRate = 19200;
    }
    void cleanup()
    {
        m_fixture.reset();
        m_config.reset();
    }

    void savedMessageIsKeptAndSentByShortcut_data()
    {
        QTest::addColumn<QString>("form");
        QTest::addColumn<bool>("bcc");
        QTest::addColumn<QString>("header");
        QTest::addColumn<QByteArray>("frame");
        QTest::newRow("Loader") << "Form2" << false << "" << hex("02414243433603");
        QTest::newRow("Dedicated, BCC Use") << "Form3" << true << "" << hex("05414243044346");
        // STX, the message, EOT and SUM_1: the sum of the message, two digits.
        QTest::newRow("User Define, STX header")
            << "Form4" << false << "STX(02)" << hex("024142430443 36");
    }
    void savedMessageIsKeptAndSentByShortcut()
    {
        QFETCH(QString, form);
        QFETCH(bool, bcc);
        QFETCH(QString, header);
        QFETCH(QByteArray, frame);
        {
            Console before(form);
            before.type(QStringLiteral("XYZ"));
            QVERIFY(before.save(QStringLiteral("first")));
            QTest::mouseClick(before.clear, Qt::LeftButton);
            before.setOptions(bcc, header);
            before.type(QStringLiteral("ABC"));
            QVERIFY(before.save(QStringLiteral("second")));
            QCOMPARE(before.messageList()->rowCount(), 2);
            // The console as it opens again, so that the options can only come from the file.
            before.setOptions(false, QStringLiteral("ENQ(05)"));
        }

        const auto kept = readPlan(fileBytes(SavedMessages::defaultPath()));
        QVERIFY(std::holds_alternative<Plan>(kept));
        QCOMPARE(std::get<Plan>(kept).steps.size(), 2);
        QCOMPARE(std::get<Plan>(kept).steps[1].name, QStringLiteral("second"));

        Console after(form);
        QVERIFY(after.keys(Qt::Key_2));
        QVERIFY(after.busy());
        QCOMPARE(after.window->SendFrame(), frame);
        QTRY_VERIFY(!after.busy());
        QCOMPARE(m_fixture->port1.frames(), QList<QByteArray>{frame});
        QCOMPARE(after.send->toPlainText(), QStringLiteral("ABC"));
        QCOMPARE(after.window->historyBytes(0), frame);
        QVERIFY(!after.status->text().isEmpty());
        QCOMPARE(after.messageList()->item(1, 0)->text(), QStringLiteral("second"));
        QVERIFY(m_fixture->services.boxes().isEmpty());
    }

    void unreadableFileIsReportedOnceAndLeftUntouched_data()
    {
        QTest::addColumn<QByteArray>("contents");
        QTest::newRow("no JSON") << QByteArray(R"({"steps": [)");
        QTest::newRow("a refused plan")
            << QByteArray(R"({"steps": [{"console": "modem", "message": "A"}]})");
    }
    void unreadableFileIsReportedOnceAndLeftUntouched()
    {
        QFETCH(QByteArray, contents);
        const QString path = SavedMessages::defaultPath();
        QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
        {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(contents);
        }
        for (int run = 0; run < 2; ++run) {
            Console c(QStringLiteral("Form2"));
            c.type(QStringLiteral("ABC"));
            QVERIFY(c.save(QStringLiteral("kept for now")));
            QCOMPARE(c.messageList()->rowCount(), 1);
        }
        QCOMPARE(m_fixture->services.boxes().size(), 1);
        QCOMPARE(m_fixture->services.boxes()[0].text,
                 QStringLiteral("Saved messages cannot be read"));
        QVERIFY(m_fixture->services.boxes()[0].detail.contains(path));
        QCOMPARE(fileBytes(path), contents);
    }

    // A list text Send would refuse never reaches the file, which would then read as no plan.
    void refusedSelectionIsNotSaved()
    {
        Console c(QStringLiteral("Form4"));
        child<QComboBox>(c.window, QStringLiteral("Header"))->setEditText(QStringLiteral("X"));
        c.type(QStringLiteral("ABC"));
        QVERIFY(c.save(QStringLiteral("never kept")));
        QCOMPARE(m_fixture->services.boxes().size(), 1);
        QCOMPARE(c.messageList()->rowCount(), 0);
        QVERIFY(!QFile::exists(SavedMessages::defaultPath()));
    }

    void sessionSavedAsPlanPassesAndFailsOnTheChangedStep()
    {
        const QString plan = m_config->filePath(QStringLiteral("session.json"));
        {
            Console c(QStringLiteral("Form2"));
            for (const char* text : {"XYZ", "ABC", "STAT"}) {
                c.send->clear();
                c.type(QString::fromLatin1(text));
                c.clickSend();
                QTRY_VERIFY(!c.busy());
                // What came before Clear is no part of the session.
                if (QByteArray(text) == "XYZ")
                    QTest::mouseClick(c.clear, Qt::LeftButton);
            }
            QVERIFY(c.keys(Qt::Key_S));
            auto* dialog = c.window->findChild<QDialog*>(QStringLiteral("SaveAsPlanDialog"));
            QVERIFY(dialog && dialog->isVisible());
            child<QCheckBox>(dialog, QStringLiteral("expectReplyBytes"))->setChecked(true);
            child<QCheckBox>(dialog, QStringLiteral("limitLatency"))->setChecked(true);
            // A margin no busy machine exceeds: the limit is there, not the machine's speed.
            child<QSpinBox>(dialog, QStringLiteral("latencyMargin"))->setValue(30000);
            child<QLineEdit>(dialog, QStringLiteral("planPath"))->setText(plan);
            QTest::mouseClick(child<QPushButton>(dialog, QStringLiteral("savePlanButton")),
                              Qt::LeftButton);
            QTRY_VERIFY(!c.window->findChild<QDialog*>(QStringLiteral("SaveAsPlanDialog")));
        }
        QVERIFY(m_fixture->services.boxes().isEmpty());

        const CommandResult same = runCommand({QStringLiteral("run"), plan});
        QCOMPARE(same.status, 0);
        QCOMPARE(same.outLines().size(), 3);
        QVERIFY(same.outLines()[0].startsWith(QStringLiteral("PASS 1 loader ABC")));
        QVERIFY(same.outLines()[1].startsWith(QStringLiteral("PASS 2 loader STAT")));

        // Another device NAKs the status frame; the plan is pointed at it.
        DeviceSetup setup;
        setup.rules = {{QStringLiteral("status"),
                        AnswerRule::Match::Frame,
                        hex("0253544154334303"),
                        DeviceFrames::Consoles::Any,
                        hex("1504"),
                        {}}};
        SimulatedDevice other(setup);
        QJsonObject document = QJsonDocument::fromJson(fileBytes(plan)).object();
        QCOMPARE(document[u"ports"].toObject()[u"1"].toString(), m_fixture->port1.devicePath());
        document[u"ports"] = QJsonObject{{QStringLiteral("1"), other.devicePath()}};
        QFile file(plan);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(QJsonDocument(document).toJson());
        file.close();

        const CommandResult changed = runCommand({QStringLiteral("run"), plan});
        QCOMPARE(changed.status, 1);
        QVERIFY(changed.outLines()[0].startsWith(QStringLiteral("PASS 1")));
        QVERIFY2(changed.outLines()[1].startsWith(QStringLiteral("FAIL 2")),
                 changed.out.constData());
        QVERIFY(changed.outLines()[1].contains(QStringLiteral("got class nak")));
    }

private:
    std::unique_ptr<QTemporaryDir> m_config;
    std::unique_ptr<ConsoleFixture> m_fixture;
};

QTEST_MAIN(TestWorkbench)
#include "tst_workbench.moc"
