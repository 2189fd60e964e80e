// The reply window's schedule in virtual time: the engine on a line the test drives and a clock
// the test moves, so that bytes come exactly when a case needs them and nothing really waits.

#include "FakeLine.h"
#include "HexBytes.h"
#include "ManualClock.h"
#include "engine/Transaction.h"

#include <QtTest>

#include <chrono>

using namespace std::chrono_literals;

namespace {

TransactionPlan planWith(ReceiveRule rule)
{
    return {1, QStringLiteral("1"), QStringLiteral("38400,n,8,1"), "ABC", rule};
}

} // namespace

class PollScheduleTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void drivesTheLineInTheConsolesOrder();
    void theWindowIsItsPollsTimesTheInterval_data();
    void theWindowIsItsPollsTimesTheInterval();
    void aBurstIsReadOneByteAPollAndDoesNotShortenTheWindow();
    void aByteIsReadOnlyUntilTheWindowCloses_data();
    void aByteIsReadOnlyUntilTheWindowCloses();
    void theDrainLimitCountsOnlyTimeWithoutProgress_data();
    void theDrainLimitCountsOnlyTimeWithoutProgress();

private:
    // Steps once with the frame already gone: the reply window opens now.
    void openTheWindow(const ReceiveRule& rule);

    ManualClock m_clock;
    std::unique_ptr<FakeLine> m_line;
    std::unique_ptr<Transaction> m_transaction;
};

void PollScheduleTest::init()
{
    m_line = std::make_unique<FakeLine>();
    m_transaction = std::make_unique<Transaction>(*m_line);
    m_transaction->setClock(m_clock);
}

void PollScheduleTest::cleanup()
{
    m_transaction.reset();
    m_line.reset();
}

void PollScheduleTest::openTheWindow(const ReceiveRule& rule)
{
    QVERIFY(m_transaction->begin(planWith(rule)));
    QVERIFY(m_transaction->step());
    QCOMPARE(m_transaction->state(), Transaction::State::Receiving);
}

void PollScheduleTest::drivesTheLineInTheConsolesOrder()
{
    QStringList seenByTheHook;
    m_transaction->setAfterSettings([&] { seenByTheHook = m_line->calls(); });
    TransactionPlan plan{2, QStringLiteral("2"), QStringLiteral("19200, n, 8, 1"),
                         hex("0541424304"), ReceiveRule{3, false, 2}};
    QVERIFY(m_transaction->begin(plan));
    QVERIFY(m_transaction->step());
    m_line->arrive(hex("06"));
    QVERIFY(m_transaction->step());
    m_clock.advance(3ms);
    QVERIFY(!m_transaction->step());

    QCOMPARE(seenByTheHook, QStringList({QStringLiteral("CommPort 2"),
                                         QStringLiteral("Settings 19200, n, 8, 1")}));
    const QStringList expected = {
        QStringLiteral("CommPort 2"),
        QStringLiteral("Settings 19200, n, 8, 1"),
        QStringLiteral("InputLen 1"),
        QStringLiteral("PortOpen true"),
        QStringLiteral("Output 0541424304"),
        // Two polls of the loop, then the two extra reads.
        QStringLiteral("Input"),
        QStringLiteral("Input"),
        QStringLiteral("Input"),
        QStringLiteral("Input"),
        QStringLiteral("PortOpen false"),
    };
    QCOMPARE(m_line->calls(), expected);
    QCOMPARE(m_transaction->reply(), hex("06"));
    QCOMPARE(m_transaction->latency(), std::optional<std::chrono::microseconds>(0us));
}

void PollScheduleTest::theWindowIsItsPollsTimesTheInterval_data()
{
    QTest::addColumn<int>("polls");
    QTest::addColumn<int>("intervalUs");
    QTest::newRow("500 x 1 ms") << 500 << 1000;
    QTest::newRow("501 x 1 ms") << 501 << 1000;
    QTest::newRow("1000 x 1 ms") << 1000 << 1000;
    QTest::newRow("3 x 250 ms") << 3 << 250000;
    QTest::newRow("1 x 40 us") << 1 << 40;
}

void PollScheduleTest::theWindowIsItsPollsTimesTheInterval()
{
    QFETCH(int, polls);
    QFETCH(int, intervalUs);
    const std::chrono::microseconds interval(intervalUs);
    const std::chrono::microseconds window = interval * polls;
    m_transaction->setPollInterval(interval);
    openTheWindow({polls, false, 0});
    QCOMPARE(m_transaction->untilNextStep(), window);

    m_clock.advance(window - 1us);
    QVERIFY(m_transaction->step());
    QCOMPARE(m_transaction->polls(), polls - 1);
    QCOMPARE(m_transaction->untilNextStep(), 1us);

    m_clock.advance(1us);
    QVERIFY(!m_transaction->step());
    QCOMPARE(m_transaction->state(), Transaction::State::Finished);
    QCOMPARE(m_transaction->polls(), polls);
    QCOMPARE(m_transaction->windowLength(), window);
    QVERIFY(!m_line->portOpen());
}

void PollScheduleTest::aBurstIsReadOneByteAPollAndDoesNotShortenTheWindow()
{
    openTheWindow({500, false, 0});
    const QByteArray burst = hex("06") + QByteArray(299, 'b');
    m_line->arrive(burst);
    for (int read = 1; read <= burst.size(); ++read) {
        QCOMPARE(m_transaction->untilNextStep(), 0us);
        QVERIFY(m_transaction->step());
        QCOMPARE(m_transaction->reply(), burst.left(read));
        QCOMPARE(m_transaction->polls(), read);
    }
    // All of it read ahead of its time, and the window still lasts its 500 ms.
    QCOMPARE(m_transaction->untilNextStep(), std::chrono::microseconds(500ms));
    m_clock.advance(499ms);
    QVERIFY(m_transaction->step());
    m_clock.advance(1ms);
    QVERIFY(!m_transaction->step());
    QCOMPARE(m_transaction->reply(), burst);
    QCOMPARE(m_transaction->polls(), 500);
    QCOMPARE(m_transaction->windowLength(), std::chrono::microseconds(500ms));
}

// Poll k is due at k ms, and the step at each millisecond is on time. A byte that comes after
// the poll at some millisecond is read by the next one, up to the last poll at 500 ms; once that
// poll has closed the window, a byte is not read.
void PollScheduleTest::aByteIsReadOnlyUntilTheWindowCloses_data()
{
    QTest::addColumn<int>("arrivesAfterMs");
    QTest::addColumn<QByteArray>("reply");
    QTest::newRow("at the start") << 0 << QByteArray("L");
    QTest::newRow("half way") << 250 << QByteArray("L");
    QTest::newRow("before the last poll") << 499 << QByteArray("L");
    QTest::newRow("after the last poll") << 500 << QByteArray();
}

void PollScheduleTest::aByteIsReadOnlyUntilTheWindowCloses()
{
    QFETCH(int, arrivesAfterMs);
    QFETCH(QByteArray, reply);
    openTheWindow({500, false, 0});
    for (int ms = 0;; ++ms) {
        QVERIFY(ms <= 500);
        const bool goesOn = ms == 0 || m_transaction->step();
        if (ms == arrivesAfterMs)
            m_line->arrive("L");
        if (!goesOn)
            break;
        m_clock.advance(1ms);
    }
    QCOMPARE(m_transaction->state(), Transaction::State::Finished);
    QCOMPARE(m_transaction->reply(), reply);
    QCOMPARE(m_transaction->polls(), 500);
    QCOMPARE(m_transaction->windowLength(), std::chrono::microseconds(500ms));
}

// The frame of a slow line takes long to leave; only a line that takes no byte for 5 s is dead.
void PollScheduleTest::theDrainLimitCountsOnlyTimeWithoutProgress_data()
{
    QTest::addColumn<int>("bytesPerSecond");
    QTest::newRow("slow line") << 1;
    QTest::newRow("stalled line") << 0;
}

void PollScheduleTest::theDrainLimitCountsOnlyTimeWithoutProgress()
{
    QFETCH(int, bytesPerSecond);
    TransactionPlan plan = planWith({500, false, 0});
    plan.frame = QByteArray(20, 'D');
    qint64 left = plan.frame.size();
    m_line->setOutputLeft(left);
    QVERIFY(m_transaction->begin(plan));
    bool goesOn = true;
    for (int second = 1; second <= 12 && goesOn; ++second) {
        m_clock.advance(1s);
        left -= bytesPerSecond;
        m_line->setOutputLeft(left);
        goesOn = m_transaction->step();
        QCOMPARE(goesOn, bytesPerSecond > 0 || second <= 5);
    }
    if (bytesPerSecond > 0) {
        QCOMPARE(m_transaction->state(), Transaction::State::Draining);
    } else {
        QCOMPARE(m_transaction->state(), Transaction::State::Failed);
        QCOMPARE(m_transaction->error()->reason(),
                 QStringLiteral("The device took no bytes for 5 s."));
        QVERIFY(!m_line->portOpen());
    }
}

QTEST_GUILESS_MAIN(PollScheduleTest)
#include "tst_poll_schedule.moc"
