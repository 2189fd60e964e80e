#include "HexBytes.h"
#include "protocols/UserDefFrame.h"

#include <QtTest>

#include <optional>

namespace {

const QStringList kHeaders{"ENQ(05)", "STX(02)", "ACK(06)", "NAK(21)", "NUL(00)", "NONE"};
const QStringList kChecks{"SUM_1", "SUM_2", "NONE"};
const QStringList kTails{"ETX(03)", "EOT(04)", "NUL(00)", "NONE"};

ProgramState untouchedState()
{
    ProgramState state;
    state.BccSource = "before";
    state.BccAdd1 = 77;
    state.BccAdd2 = -3;
    state.BccCode = {"a", "b", "c", "d"};
    return state;
}

void compareStates(const ProgramState& actual, const ProgramState& expected)
{
    QCOMPARE(actual.BccSource, expected.BccSource);
    QCOMPARE(actual.BccAdd1, expected.BccAdd1);
    QCOMPARE(actual.BccAdd2, expected.BccAdd2);
    for (int i = 0; i < 4; ++i)
        QCOMPARE(actual.BccCode[i], expected.BccCode[i]);
}

// The frame worked out from what each check covers, without the builder's addend bookkeeping.
QByteArray expectedFrame(const QString& header, const QString& bcc1, const QString& tail,
                         const QString& bcc2, const QByteArray& message)
{
    const auto code = [](const QString& entry) -> std::optional<int> {
        if (entry == "NONE")
            return std::nullopt;
        return entry.mid(4, 2).toInt();
    };
    // Low byte in upper-case hex; values 0 to 15 stay one digit unless two are always written.
    const auto checkText = [](int value, bool alwaysTwoDigits) {
        if (!alwaysTwoDigits && value < 16)
            return QByteArray::number(value, 16).toUpper();
        return QByteArray::number(value % 256, 16).toUpper().rightJustified(2, '0');
    };
    int sum = 0;
    for (const char byte : message)
        sum += static_cast<quint8>(byte);
    const int controls = code(header).value_or(0) + code(tail).value_or(0);

    QByteArray first;
    if (bcc1 == "SUM_1")
        first = checkText(sum, true);
    else if (bcc1 == "SUM_2")
        first = checkText(sum + controls, false);
    const int firstCodes =
        first.isEmpty() ? 0
                        : static_cast<quint8>(first.front()) + static_cast<quint8>(first.back());

    QByteArray second;
    if (bcc2 == "SUM_1")
        second = checkText(sum + firstCodes, false);
    else if (bcc2 == "SUM_2")
        second = checkText(sum + controls + firstCodes, false);

    QByteArray frame;
    if (code(header))
        frame.append(static_cast<char>(*code(header)));
    frame += message + first;
    if (code(tail))
        frame.append(static_cast<char>(*code(tail)));
    return frame + second;
}

} // namespace

class TestUserDefFrame : public QObject {
    Q_OBJECT

private slots:
    void frames_data();
    void frames();
    void everyListCombination();
    void stateAfterBuilding_data();
    void stateAfterBuilding();
    void typedSelectionRejected_data();
    void typedSelectionRejected();
};

void TestUserDefFrame::frames_data()
{
    QTest::addColumn<QString>("header");
    QTest::addColumn<QString>("bcc1");
    QTest::addColumn<QString>("tail");
    QTest::addColumn<QString>("bcc2");
    QTest::addColumn<QByteArray>("message");
    QTest::addColumn<QByteArray>("frame");
    const auto row = [](const char* name, const char* header, const char* bcc1, const char* tail,
                        const char* bcc2, const QByteArray& message, const QByteArray& frame) {
        QTest::newRow(name) << QString(header) << QString(bcc1) << QString(tail) << QString(bcc2)
                            << message << frame;
    };
    row("initial selections", "ENQ(05)", "NONE", "EOT(04)", "SUM_1", "ABC", hex("05414243044336"));
    row("STX SUM_1 ETX SUM_2", "STX(02)", "SUM_1", "ETX(03)", "SUM_2", "ABC",
        hex("024142434336033434"));
    row("STX SUM_2 ETX NONE", "STX(02)", "SUM_2", "ETX(03)", "NONE", "ABC", hex("02414243434203"));
    row("message alone", "NONE", "NONE", "NONE", "NONE", "ABC", hex("414243"));
    row("second field covers the first", "ENQ(05)", "SUM_1", "EOT(04)", "SUM_1", "ABC",
        hex("054142434336043346"));
    row("empty message, initial selections", "ENQ(05)", "NONE", "EOT(04)", "SUM_1", "",
        hex("050430"));
    row("NUL header sends 0 and counts 0", "NUL(00)", "SUM_2", "NONE", "NONE", "ABC",
        hex("004142434336"));
    row("any four characters mean absent", "xyz!", "    ", "한글한글", "ABCD", "ABC",
        hex("414243"));
    row("any digit but 1 is SUM_2", "ENQ(05)", "SUM_7", "EOT(04)", "NONE", "ABC",
        hex("05414243434604"));
    row("typed header code", "ABC(65)", "NONE", "NONE", "NONE", "x", hex("4178"));
    row("single code digit at the end", "ABCD7", "NONE", "NONE", "NONE", "x", hex("0778"));
    row("double-byte message", "NONE", "SUM_1", "NONE", "NONE", hex("C7D1"), hex("C7D13938"));
    row("message over 255 bytes", "NONE", "NONE", "NONE", "SUM_1", QByteArray(300, '\x01'),
        QByteArray(300, '\x01') + "2C");
}

void TestUserDefFrame::frames()
{
    QFETCH(QString, header);
    QFETCH(QString, bcc1);
    QFETCH(QString, tail);
    QFETCH(QString, bcc2);
    QFETCH(QByteArray, message);
    QFETCH(QByteArray, frame);
    ProgramState state;
    QCOMPARE(buildUserDefFrame({header, bcc1, tail, bcc2}, message, state), frame);
}

void TestUserDefFrame::everyListCombination()
{
    const QList<QByteArray> messages{QByteArray(),
                                     "ABC",
                                     QByteArray::fromHex("01"),
                                     QByteArray::fromHex("C7D1B1DB2078"),
                                     QByteArray::fromHex("00FF800D0A"),
                                     QByteArray(300, 'Z')};
    for (const QByteArray& message : messages) {
        for (const QString& header : kHeaders) {
            for (const QString& bcc1 : kChecks) {
                for (const QString& tail : kTails) {
                    for (const QString& bcc2 : kChecks) {
                        ProgramState state;
                        const QByteArray built =
                            buildUserDefFrame({header, bcc1, tail, bcc2}, message, state);
                        const QByteArray expected =
                            expectedFrame(header, bcc1, tail, bcc2, message);
                        if (built != expected)
                            QFAIL(qPrintable(
                                QStringLiteral("%1 %2 %3 %4 on %5: %6, expected %7")
                                    .arg(header, bcc1, tail, bcc2, QString(message.toHex()),
                                         QString(built.toHex()), QString(expected.toHex()))));
                    }
                }
            }
        }
    }
}

void TestUserDefFrame::stateAfterBuilding_data()
{
    QTest::addColumn<QStringList>("selections");
    QTest::addColumn<QByteArray>("source");
    QTest::addColumn<qint16>("add1");
    QTest::addColumn<qint16>("add2");
    QTest::addColumn<QByteArray>("code2");
    // ABC sums to 198; the second run covers C and 6 of the first field "C6".
    QTest::newRow("only BCC2: addends reset")
        << QStringList{"ENQ(05)", "NONE", "EOT(04)", "SUM_1"} << QByteArray("ABC") << qint16(9)
        << qint16(0) << QByteArray("CF");
    QTest::newRow("both fields: second run's addends")
        << QStringList{"ENQ(05)", "SUM_1", "EOT(04)", "SUM_1"} << QByteArray("ABC") << qint16(130)
        << qint16(121) << QByteArray("48");
    QTest::newRow("only BCC1: BccAdd2 keeps its value")
        << QStringList{"STX(02)", "SUM_2", "ETX(03)", "NONE"} << QByteArray("ABC") << qint16(5)
        << qint16(-3) << QByteArray("CB");
}

void TestUserDefFrame::stateAfterBuilding()
{
    QFETCH(QStringList, selections);
    QFETCH(QByteArray, source);
    QFETCH(qint16, add1);
    QFETCH(qint16, add2);
    QFETCH(QByteArray, code2);
    ProgramState state = untouchedState();
    buildUserDefFrame({selections[0], selections[1], selections[2], selections[3]}, "ABC", state);
    QCOMPARE(state.BccSource, source);
    QCOMPARE(state.BccAdd1, add1);
    QCOMPARE(state.BccAdd2, add2);
    QCOMPARE(state.BccCode[0], QByteArray("C6"));
    QCOMPARE(state.BccCode[2], code2);
}

void TestUserDefFrame::typedSelectionRejected_data()
{
    QTest::addColumn<QStringList>("selections");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("text");
    const auto row = [](const char* name, const QStringList& selections, const char* field,
                        const char* text) {
        QTest::newRow(name) << selections << QString(field) << QString(text);
    };
    row("header code of one digit", {"ENQ(5)", "SUM_1", "EOT(04)", "SUM_1"}, "Header", "ENQ(5)");
    row("empty header", {"", "SUM_1", "EOT(04)", "SUM_1"}, "Header", "");
    row("short header", {"NO", "NONE", "NONE", "NONE"}, "Header", "NO");
    row("tail code with a letter", {"NONE", "SUM_1", "ETX(x3)", "SUM_1"}, "Tail", "ETX(x3)");
    row("BCC1 without digit", {"ENQ(05)", "SUM", "EOT(04)", "SUM_1"}, "BCC1", "SUM");
    row("empty BCC1", {"ENQ(05)", "", "EOT(04)", "NONE"}, "BCC1", "");
    row("BCC2 ending in a letter after a valid BCC1", {"ENQ(05)", "SUM_1", "EOT(04)", "SUM_X"},
        "BCC2", "SUM_X");
    row("BCC2 of five characters", {"NONE", "NONE", "NONE", "NONE!"}, "BCC2", "NONE!");
}

void TestUserDefFrame::typedSelectionRejected()
{
    QFETCH(QStringList, selections);
    QFETCH(QString, field);
    QFETCH(QString, text);
    ProgramState state = untouchedState();
    try {
        buildUserDefFrame({selections[0], selections[1], selections[2], selections[3]}, "ABC",
                          state);
        QFAIL("no SelectionError");
    } catch (const SelectionError& error) {
        QCOMPARE(error.field(), field);
        QCOMPARE(error.text(), text);
        QVERIFY2(error.message().contains(field) &&
                     error.message().contains(QStringLiteral("\"%1\"").arg(text)),
                 qPrintable(error.message()));
    }
    compareStates(state, untouchedState());
}

QTEST_GUILESS_MAIN(TestUserDefFrame)
#include "tst_userdef_frame.moc"
