#include "HexBytes.h"
#include "codec/Codec.h"

#include <QRandomGenerator>
#include <QtTest>

using namespace codec;

Q_DECLARE_METATYPE(codec::LineBreaks)

namespace {

QString symbol(char32_t c)
{
    return QString::fromUcs4(&c, 1);
}

} // namespace

class TestCodec : public QObject {
    Q_OBJECT

private slots:
    void ascConvert_data();
    void ascConvert();
    void hexConvert_data();
    void hexConvert();
    void hexConvertRejects_data();
    void hexConvertRejects();
    void hexPairValue();
    void bccMake_data();
    void bccMake();
    void characterView_data();
    void characterView();
    void textToBytes_data();
    void textToBytes();
    void unencodableCharacter_data();
    void unencodableCharacter();
    void randomBytesSurviveEveryView();
    void everyByteAfterAHighByteSurvives();
    void hangulRoundTrip();
    void renderAndParseFollowTheView();
};

void TestCodec::ascConvert_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("digits");
    QTest::newRow("two letters") << QByteArray("AB") << "4142";
    QTest::newRow("one letter") << QByteArray("A") << "41";
    QTest::newRow("tab") << QByteArray("\t") << "09";
    QTest::newRow("CR LF") << QByteArray("\r\n") << "0D0A";
    QTest::newRow("blanks at both ends kept") << QByteArray("  A  ") << "2020412020";
    QTest::newRow("blanks only kept") << QByteArray("  ") << "2020";
    QTest::newRow("empty") << QByteArray() << "";
    QTest::newRow("NUL and high bytes") << hex("00FF80") << "00FF80";
    QTest::newRow("double-byte character") << hex("C7D1") << "C7D1";
}

void TestCodec::ascConvert()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, digits);
    QCOMPARE(AscConvert(bytes), digits);
}

void TestCodec::hexConvert_data()
{
    QTest::addColumn<QString>("digits");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("pairs") << "4142" << QByteArray("AB");
    QTest::newRow("odd length: last digit d reads as 0d") << "414" << hex("4104");
    QTest::newRow("single digit") << "4" << hex("04");
    QTest::newRow("lower case") << "4a" << hex("4A");
    QTest::newRow("mixed case") << "fF" << hex("FF");
    QTest::newRow("blank between pairs") << "41 42" << QByteArray("AB");
    QTest::newRow("blanks around") << "  4142  " << QByteArray("AB");
    QTest::newRow("tabs and line breaks") << "41\t42\r\n43\n" << QByteArray("ABC");
    QTest::newRow("paragraph separator") << QStringLiteral("41\u202942") << QByteArray("AB");
    QTest::newRow("lone last digit after a blank") << "41 4" << hex("4104");
    QTest::newRow("lone last digit, blanks after it") << "414 \n" << hex("4104");
    QTest::newRow("empty") << "" << QByteArray();
    QTest::newRow("blanks only") << "  \t " << QByteArray();
    QTest::newRow("NUL") << "00" << hex("00");
}

void TestCodec::hexConvert()
{
    QFETCH(QString, digits);
    QFETCH(QByteArray, bytes);
    QCOMPARE(HexConvert(digits), bytes);
}

void TestCodec::hexConvertRejects_data()
{
    QTest::addColumn<QString>("digits");
    QTest::addColumn<QString>("character");
    QTest::addColumn<qsizetype>("position");
    QTest::newRow("blank splits a pair") << "4 1"
                                         << " " << qsizetype(2);
    QTest::newRow("line break splits a later pair") << "41 4\n2"
                                                    << "\n"
                                                    << qsizetype(5);
    QTest::newRow("letter past F") << "41G2"
                                   << "G" << qsizetype(3);
    QTest::newRow("prefix") << "0x41"
                            << "x" << qsizetype(2);
    QTest::newRow("comma separator") << "41,42"
                                     << "," << qsizetype(3);
    QTest::newRow("Hangul") << "41한"
                            << "한" << qsizetype(3);
    QTest::newRow("emoji") << QStringLiteral("4142\U0001F600") << QStringLiteral("\U0001F600")
                           << qsizetype(5);
}

void TestCodec::hexConvertRejects()
{
    QFETCH(QString, digits);
    QFETCH(QString, character);
    QFETCH(qsizetype, position);
    try {
        HexConvert(digits);
        QFAIL("no CodecError");
    } catch (const CodecError& error) {
        QCOMPARE(error.character(), character);
        QCOMPARE(error.position(), position);
        QVERIFY2(error.message().contains(QString::number(position)), qPrintable(error.message()));
    }
}

void TestCodec::hexPairValue()
{
    QCOMPARE(HexPairValue(u'4', u'1'), 0x41);
    QCOMPARE(HexPairValue(u'0', u'0'), 0);
    QCOMPARE(HexPairValue(u'f', u'F'), 0xFF);
    QCOMPARE(HexPairValue(u'a', u'9'), 0xA9);
    QCOMPARE(HexPairValue(u'G', u'0'), -1);
    QCOMPARE(HexPairValue(u'1', u' '), -1);
}

void TestCodec::bccMake_data()
{
    QTest::addColumn<QByteArray>("source");
    QTest::addColumn<qint16>("add1");
    QTest::addColumn<qint16>("add2");
    QTest::addColumn<QStringList>("codes");
    const auto row = [](const char* name, const QByteArray& source, qint16 add1, qint16 add2,
                        const QStringList& codes) {
        QTest::newRow(name) << source << add1 << add2 << codes;
    };
    row("abc", "abc", 0, 0, {"26", "2F", "26", "26"});
    row("abc with addends", "abc", 2, 5, {"26", "2F", "28", "2B"});
    row("A", "A", 0, 0, {"41", "4A", "41", "41"});
    row("code 5", hex("05"), 0, 0, {"05", "E", "5", "5"});
    row("empty", QByteArray(), 0, 0, {"00", "9", "0", "0"});
    row("empty with addends", QByteArray(), 12, 200, {"00", "9", "C", "C8"});
    row("negative addend", hex("05"), -6, 0, {"05", "E", "FF", "5"});
    row("addend to exactly 0", hex("05"), -5, -300, {"05", "E", "0", "D9"});
    row("value 16 has two digits", hex("07"), 9, 0, {"07", "10", "10", "7"});
    row("sum 256: low byte 00, S+9 two digits", hex("FF01"), 0, 0, {"00", "09", "00", "00"});
    row("double-byte character adds its two bytes", hex("C7D1"), 0, 0, {"98", "A1", "98", "98"});
    row("blanks at both ends counted", " A ", 0, 0, {"81", "8A", "81", "81"});
    row("longer than 255 bytes", QByteArray(300, '\x01'), 0, 0, {"2C", "35", "2C", "2C"});
    row("large sum", QByteArray(100000, '\xFF'), 1, 0, {"60", "69", "61", "60"});
}

void TestCodec::bccMake()
{
    QFETCH(QByteArray, source);
    QFETCH(qint16, add1);
    QFETCH(qint16, add2);
    QFETCH(QStringList, codes);
    const BccCodes made = BccMake(source, add1, add2);
    const QStringList got{QString::fromLatin1(made[0]), QString::fromLatin1(made[1]),
                          QString::fromLatin1(made[2]), QString::fromLatin1(made[3])};
    QCOMPARE(got, codes);
}

void TestCodec::characterView_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<LineBreaks>("mode");
    QTest::addColumn<QString>("text");
    const QString cr = symbol(0x240D);
    const QString lf = symbol(0x240A);
    const auto both = [](const char* name, const QByteArray& bytes, const QString& text) {
        QTest::addRow("%s, line breaks", name) << bytes << LineBreaks::AsLineBreak << text;
        QTest::addRow("%s, symbols", name) << bytes << LineBreaks::AsSymbols << text;
    };
    both("printable ASCII", "Hello, ~world\\", "Hello, ~world\\");
    both("Hangul", hex("C7D1B1DB"), "한글");
    both("extended Hangul", hex("8C63"), "똠");
    both("NUL, unit separator, DEL", hex("001F7F"),
         symbol(0x2400) + symbol(0x241F) + symbol(0x2421));
    both("ENQ message EOT", hex("0541420404"),
         symbol(0x2405) + "AB" + symbol(0x2404) + symbol(0x2404));
    both("lone 80 and FF", hex("80FF"), symbol(0x2880) + symbol(0x28FF));
    both("lead byte with bad trail", hex("C741"), symbol(0x28C7) + "A");
    both("lead byte at the end", hex("41C7"), "A" + symbol(0x28C7));
    both("lone CR", hex("410D42"), "A" + cr + "B");
    both("lone LF", hex("0A"), lf);
    both("LF CR", hex("0A0D"), lf + cr);
    QTest::newRow("CR LF as line break") << hex("410D0A42") << LineBreaks::AsLineBreak << "A\nB";
    QTest::newRow("CR LF as symbols")
        << hex("410D0A42") << LineBreaks::AsSymbols << "A" + cr + lf + "B";
    QTest::newRow("CR CR LF as line break")
        << hex("0D0D0A") << LineBreaks::AsLineBreak << cr + "\n";
}

void TestCodec::characterView()
{
    QFETCH(QByteArray, bytes);
    QFETCH(LineBreaks, mode);
    QFETCH(QString, text);
    QCOMPARE(bytesToText(bytes, mode), text);
    QCOMPARE(codec::textToBytes(text), bytes);
}

void TestCodec::textToBytes_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("line feed") << "A\nB" << hex("410D0A42");
    QTest::newRow("CR LF") << "A\r\nB" << hex("410D0A42");
    QTest::newRow("paragraph separator") << QStringLiteral("A\u2029B") << hex("410D0A42");
    QTest::newRow("lone CR character") << "A\rB" << hex("410D42");
    QTest::newRow("tab character") << "\t" << hex("09");
    QTest::newRow("Braille escape of an ASCII byte") << symbol(0x2841) << hex("41");
    QTest::newRow("empty") << "" << QByteArray();
}

void TestCodec::textToBytes()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QCOMPARE(codec::textToBytes(text), bytes);
}

void TestCodec::unencodableCharacter_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("character");
    QTest::addColumn<qsizetype>("position");
    QTest::addColumn<QString>("named"); // how the message names it
    QTest::newRow("e acute") << "é"
                             << "é" << qsizetype(1) << "\"é\" (U+00E9)";
    QTest::newRow("e acute after Hangul") << "한é"
                                          << "é" << qsizetype(2) << "\"é\" (U+00E9)";
    QTest::newRow("emoji") << QStringLiteral("AB\U0001F600C") << QStringLiteral("\U0001F600")
                           << qsizetype(3) << "U+1F600";
    QTest::newRow("first of two") << "xé€"
                                  << "é" << qsizetype(2) << "\"é\"";
    // A JSON plan can hold half of a surrogate pair; it is named as written, not as U+FFFD.
    QTest::newRow("lone surrogate")
        << QStringLiteral("A") + QChar(0xD800) + QStringLiteral("B") << QString(QChar(0xD800))
        << qsizetype(2) << "U+D800 at position 2";
}

void TestCodec::unencodableCharacter()
{
    QFETCH(QString, text);
    QFETCH(QString, character);
    QFETCH(qsizetype, position);
    QFETCH(QString, named);
    try {
        codec::textToBytes(text);
        QFAIL("no CodecError");
    } catch (const CodecError& error) {
        QCOMPARE(error.character(), character);
        QCOMPARE(error.position(), position);
        QVERIFY2(error.message().contains(named), qPrintable(error.message()));
    }
}

void TestCodec::randomBytesSurviveEveryView()
{
    // Lines, controls and the double-byte range are drawn often, so pairs and cut-off lead bytes
    // occur in most strings.
    static constexpr char kLikely[] = {'\r', '\n', '\0', ' ', 'A', '\x7F', '\x80', '\xC7', '\xD1'};
    QRandomGenerator random(949);
    for (int round = 0; round < 3000; ++round) {
        QByteArray bytes(random.bounded(0, 40), '\0');
        for (char& byte : bytes)
            byte = random.bounded(3) == 0 ? kLikely[random.bounded(int(sizeof kLikely))]
                                          : static_cast<char>(random.bounded(256));
        for (const LineBreaks mode : {LineBreaks::AsLineBreak, LineBreaks::AsSymbols})
            QCOMPARE(codec::textToBytes(bytesToText(bytes, mode)), bytes);
        QCOMPARE(HexConvert(AscConvert(bytes)), bytes);
    }
}

void TestCodec::everyByteAfterAHighByteSurvives()
{
    // Every lead candidate with every possible next byte: valid pairs decode to one character,
    // the rest escape; either way the bytes come back and nothing decodes to a reserved symbol.
    for (int lead = 0x80; lead <= 0xFF; ++lead) {
        for (int next = 0; next <= 0xFF; ++next) {
            const char pair[] = {static_cast<char>(lead), static_cast<char>(next)};
            const QByteArray bytes(pair, 2);
            const QString text = bytesToText(bytes, LineBreaks::AsSymbols);
            if (codec::textToBytes(text) != bytes)
                QFAIL(qPrintable(QStringLiteral("%1 -> %2").arg(AscConvert(bytes), text)));
        }
    }
}

void TestCodec::hangulRoundTrip()
{
    const QString text = "안녕하세요, 똠방각하!\n다음 줄";
    const QByteArray bytes = codec::textToBytes(text);
    QCOMPARE(bytes.left(4), hex("BEC8B3E7"));
    QCOMPARE(bytesToText(bytes, LineBreaks::AsLineBreak), text);
    QCOMPARE(HexConvert(AscConvert(bytes)), bytes);
}

void TestCodec::renderAndParseFollowTheView()
{
    const QByteArray bytes = hex("05C7D10D0A");
    QCOMPARE(render(bytes, View::HexDigits, LineBreaks::AsLineBreak), QString("05C7D10D0A"));
    QCOMPARE(render(bytes, View::Characters, LineBreaks::AsLineBreak), symbol(0x2405) + "한\n");
    QCOMPARE(parse(u"05c7d1 0d0a", View::HexDigits), bytes);
    QCOMPARE(parse(QString(symbol(0x2405) + "한\n"), View::Characters), bytes);
    QVERIFY_THROWS_EXCEPTION(CodecError, parse(u"한", View::HexDigits));
}

QTEST_GUILESS_MAIN(TestCodec)
#include "tst_codec.moc"
