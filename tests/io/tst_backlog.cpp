// The bounded backlog of one consumer: what it counts, when it makes the source wait and what
// it drops. Time is passed in, so that every case runs at once.
#include "io/backlog.h"

#include <QTest>

using namespace std::chrono_literals;
using Clock = Backlog::Clock;

namespace {

const BacklogTimings kTimings{.stall = 2000ms, .waitAtMost = 5000ms};

// Numbered chunks, so that what is left tells which were dropped.
QByteArray chunk(int number, qsizetype size) {
    QByteArray bytes = QByteArray::number(number) + ':';
    bytes.resize(size, char('a' + number % 26));
    return bytes;
}

// The chunks' numbers, in the order they wait.
QList<int> numbers(Backlog &backlog) {
    QList<int> found;
    QByteArray all;
    while (!backlog.isEmpty()) {
        all += backlog.front().toByteArray();
        backlog.took(backlog.front().size());
    }
    for (qsizetype at = 0; at < all.size();) {
        const qsizetype colon = all.indexOf(':', at);
        found << all.mid(at, colon - at).toInt();
        qsizetype next = colon + 1;
        while (next < all.size() && (all[next] < '0' || all[next] > '9'))
            ++next;
        at = next;
    }
    return found;
}

} // namespace

class tst_Backlog : public QObject {
    Q_OBJECT
private slots:
    void countsWhatTheChunksHold();
    void keepWithin_data();
    void keepWithin();
    void partlyTakenBlockStays();
};

void tst_Backlog::countsWhatTheChunksHold() {
    // A read of one line comes in a buffer that keeps tens of kilobytes; queued as it is, a
    // megabyte of lines would take a hundred times that.
    Backlog backlog(kTimings);
    qint64 bytes = 0;
    for (int n = 0; bytes < 3 * Backlog::kLimit; ++n) {
        QByteArray line;
        line.reserve(32 * 1024);
        line += "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n";
        bytes += line.size();
        backlog.append(line);
        QVERIFY(!backlog.keepWithin(false));
        QVERIFY2(backlog.held() <= Backlog::kLimit, qPrintable(QString::number(backlog.held())));
    }
    QVERIFY(backlog.size() > Backlog::kLimit - Backlog::kBlockSize);
    QCOMPARE(backlog.takeDropped(), bytes - backlog.size());
}

void tst_Backlog::keepWithin_data() {
    QTest::addColumn<bool>("sourceCanWait");
    QTest::addColumn<int>("tookAfterMs");   // the consumer last took bytes then; -1 never
    QTest::addColumn<int>("askedAfterMs");  // keepWithin is asked again then
    QTest::addColumn<bool>("waits");        // the answer then
    QTest::addColumn<bool>("dropsOldest");  // whether the first chunks are gone
    QTest::addColumn<qint64>("heldAtMost"); // and what is left

    const qint64 all = 4 * Backlog::kLimit;
    QTest::newRow("reading consumer holds the source")
        << true << 100 << 200 << true << false << all;
    QTest::newRow("stopped consumer loses the oldest")
        << true << -1 << 2500 << false << true << Backlog::kLimit;
    QTest::newRow("source that cannot wait: the oldest go at once")
        << false << 100 << 200 << false << true << Backlog::kLimit;
    QTest::newRow("reading, but hopelessly behind")
        << true << 5500 << 6000 << false << true << Backlog::kResumeBelow;
}

void tst_Backlog::keepWithin() {
    QFETCH(bool, sourceCanWait);
    QFETCH(int, tookAfterMs);
    QFETCH(int, askedAfterMs);
    QFETCH(bool, waits);
    QFETCH(bool, dropsOldest);
    QFETCH(qint64, heldAtMost);

    Backlog backlog(kTimings);
    const Clock::time_point start{};
    int n = 0;
    while (backlog.size() < 3 * Backlog::kLimit)
        backlog.append(chunk(n++, 4000), start);
    // The first answer beyond the limit: a source that can wait does, for now.
    QCOMPARE(backlog.keepWithin(sourceCanWait, start), sourceCanWait);
    // The consumer takes the oldest block whole, or nothing at all.
    const int perBlock = int(Backlog::kBlockSize / 4000);
    int firstLeft = 0;
    if (tookAfterMs >= 0) {
        const auto took = start + std::chrono::milliseconds(tookAfterMs);
        backlog.took(backlog.front().size(), took);
        backlog.append(chunk(n++, 10), took);
        firstLeft = perBlock;
    }
    const auto asked = start + std::chrono::milliseconds(askedAfterMs);
    QCOMPARE(backlog.keepWithin(sourceCanWait, asked), waits);
    QCOMPARE(backlog.holdsSource(), waits);
    QVERIFY2(backlog.held() <= heldAtMost, qPrintable(QString::number(backlog.held())));
    QCOMPARE(backlog.takeDropped() > 0, dropsOldest);
    // Whole chunks go, oldest first; the newest stay, in order.
    const QList<int> left = numbers(backlog);
    QVERIFY(!left.isEmpty());
    QCOMPARE(left.last(), n - 1);
    QCOMPARE(left.first() > firstLeft, dropsOldest);
    for (qsizetype i = 1; i < left.size(); ++i)
        QCOMPARE(left[i], left[i - 1] + 1);
}

void tst_Backlog::partlyTakenBlockStays() {
    // The consumer has half of the oldest chunk: dropping the rest would give it half a chunk.
    Backlog backlog(kTimings);
    const Clock::time_point start{};
    backlog.append(chunk(0, Backlog::kLimit + 1), start);
    backlog.took(100, start);
    backlog.append(chunk(1, 1000), start);
    QVERIFY(!backlog.keepWithin(false, start + 3s));
    QCOMPARE(backlog.takeDropped(), 1000);
    QCOMPARE(backlog.size(), Backlog::kLimit + 1 - 100);

    // Released only once it has come down to half the limit.
    Backlog held(kTimings);
    int n = 0;
    while (held.held() <= Backlog::kLimit)
        held.append(chunk(n++, 4000), start);
    QVERIFY(held.keepWithin(true, start));
    while (held.held() > Backlog::kResumeBelow + Backlog::kBlockSize) {
        held.took(held.front().size(), start + 1ms);
        QVERIFY(held.keepWithin(true, start + 1ms));
    }
    while (held.held() > Backlog::kResumeBelow)
        held.took(held.front().size(), start + 1ms);
    QVERIFY(!held.keepWithin(true, start + 1ms));
    QCOMPARE(held.takeDropped(), 0);
}

QTEST_GUILESS_MAIN(tst_Backlog)
#include "tst_backlog.moc"
