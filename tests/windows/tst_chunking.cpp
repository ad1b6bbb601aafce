// However a stream is cut into chunks on its way in, the program ends up with the same buffer,
// the same view of it, the same bytes forwarded and the same display as after one unbroken
// write; and the display shows nothing the stream did not contain. Over real pseudo-terminal
// pairs, with ticks driven between the chunks.
#include "ptypair.h"
#include "session/session.h"
#include "testdesktop.h"
#include "testseed.h"
#include "ui_form1.h"
#include "windows/form1.h"
#include "windows/logview.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTest>

#include <array>
#include <functional>

using namespace Qt::StringLiterals;

namespace {

// What the program made of a stream.
struct Outcome {
    QString buffer;
    QString view;
    QByteArray forwarded;
    QStringList fields; // "Label20=12:35:19", in a fixed order
    QString types;
};

// "$", the body, "*", its checksum and the line end.
QByteArray sentence(const QByteArray &body) {
    quint8 sum = 0;
    for (const char c : body)
        sum ^= quint8(c);
    return '$' + body + '*' + QByteArray::number(sum, 16).toUpper().rightJustified(2, '0') + "\r\n";
}

const QByteArray kGga = "GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,";
const QByteArray kGsa = "GPGSA,A,3,04,05,,09,12,,,24,,,,,2.5,1.3,2.1";
const QByteArray kRmc = "GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W";

QByteArray randomBytes(QRandomGenerator &random, int size) {
    QByteArray bytes(size, Qt::Uninitialized);
    for (char &b : bytes)
        b = char(random.bounded(256));
    return bytes;
}

// Serves events until done() holds, woken by each one rather than polling in steps: a megabyte
// through a pseudo-terminal takes some hundred rounds.
bool serveUntil(const std::function<bool()> &done, int timeoutMs = 20000) {
    const QDeadlineTimer deadline(timeoutMs);
    QTimer wake; // so that the deadline is seen even if nothing else happens
    wake.start(100);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

// The first difference of two long texts, short enough for a failure message.
template <typename Text> QString difference(const Text &a, const Text &b) {
    qsizetype at = 0;
    while (at < a.size() && at < b.size() && a[at] == b[at])
        ++at;
    return u"sizes %1 and %2, first difference at %3"_s.arg(a.size()).arg(b.size()).arg(at);
}

// Different cuts of each stream.
constexpr int kRounds = 3;

} // namespace

class tst_Chunking : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void sameWhateverTheChunking_data();
    void sameWhateverTheChunking();

private:
    void compare(const Outcome &cut, const Outcome &whole, const QByteArray &stream,
                 const QString &seed);
    // Checks that each shown value comes from the stream and counts the fields that show one.
    void shownFromTheStream(const QStringList &fields, const QString &text, int &shown);
    Outcome run(const QByteArray &stream, bool checksums, QRandomGenerator *random);
    void tick(Session &session);

    PtyPair m_input;  // first: the receiver, second: the program's input port
    PtyPair m_output; // first: the program's output port, second: the consumer
    std::unique_ptr<FarEnd> m_receiver;
    std::unique_ptr<FarEnd> m_consumer;
    TestDesktop m_desktop;
    quint32 m_seed = 0;
};

void tst_Chunking::initTestCase() {
    QVERIFY2(m_input.start(), qPrintable(m_input.error()));
    QVERIFY2(m_output.start(), qPrintable(m_output.error()));
    m_receiver = std::make_unique<FarEnd>(m_input.first());
    m_consumer = std::make_unique<FarEnd>(m_output.second());
    QVERIFY(m_receiver->isOpen() && m_consumer->isOpen());
    qputenv("PELORA_COM1", m_input.second().toLocal8Bit());
    m_seed = testSeed();
}

void tst_Chunking::cleanupTestCase() {
    m_receiver.reset();
    m_consumer.reset();
    qunsetenv("PELORA_COM1");
}

void tst_Chunking::sameWhateverTheChunking_data() {
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<bool>("checksums");
    QRandomGenerator random(m_seed);

    const QDir logs(QStringLiteral(PELORA_TESTDATA));
    const QStringList names = logs.entryList({u"*.log"_s}, QDir::Files, QDir::Name);
    QVERIFY(!names.isEmpty());
    bool checksums = false;
    for (const QString &name : names) {
        QFile file(logs.filePath(name));
        QVERIFY(file.open(QIODevice::ReadOnly));
        // Every other log with the checksum test on, so that both ways of accepting are seen.
        QTest::newRow(qPrintable(name)) << file.readAll() << checksums;
        checksums = !checksums;
    }

    QByteArray everyByte;
    for (int b = 0; b < 256; ++b)
        everyByte += char(b);
    QTest::newRow("all byte values") << everyByte.repeated(16) << false;

    // Sentences among junk: NUL, bytes 0x80 to 0xFF, stray "$", lone CR and LF, parts of tags.
    QByteArray junk;
    const QList<QByteArray> pieces{"\r", "\n", "\r\r\n", "\n\r",  "$",        "$GP",
                                   "*",  ",",  "$GPGGA", "\0"_ba, "\xff\xfe", "$GPRMC,"};
    for (int n = 0; n < 400; ++n) {
        const int kind = random.bounded(4);
        if (kind == 0)
            junk += randomBytes(random, random.bounded(1, 40));
        else if (kind == 1)
            junk += pieces[random.bounded(pieces.size())];
        else
            junk += sentence(std::array{kGga, kGsa, kRmc}[random.bounded(3)]);
    }
    QTest::newRow("sentences among junk") << junk << true;

    // NUL and high bytes inside accepted sentences: they are text like any other.
    QByteArray odd = sentence("GPGSA,A,3,\0\xe4,\xff,,\x80\x01,12,,,24,,,,,\xb0\xb0,1.3,2.1"_ba) +
                     sentence("GPRMC,12\x00"
                              "519,A,48\xfc"
                              "7.038,N,01131.000,E,\xa7\xa7,\x00\x00,"
                              "23\xb0"
                              "394,003.1,W"_ba) +
                     sentence("GPGGA,1\xe9\xe9"
                              "519,48\x00"
                              "7.038,\xc4,01131.000,\xd6,1,08,0.9,"
                              "\xff\xfe.\x00,M,46.9,M,,"_ba);
    QTest::newRow("NUL and high bytes in fields") << odd.repeated(50) << true;

    // One line of a megabyte: everything after it lies beyond the positions the decoders reach.
    QByteArray longLine = sentence(kGsa) + "$GPGGA,";
    while (longLine.size() < 1024 * 1024)
        longLine += QByteArray::number(random.generate()) + ',';
    longLine += "\r\n" + sentence(kGga) + sentence(kRmc);
    QTest::newRow("1 MB without a line feed") << longLine << false;

    // Far more fields than any decoder reads.
    QByteArray wide;
    for (const QByteArray &body : {kGga, kGsa, kRmc}) {
        QByteArray extra = body;
        for (int k = 0; k < 500; ++k)
            extra += ',' + QByteArray::number(k);
        wide += sentence(extra);
    }
    wide += sentence("GPTXT" + QByteArray(3000, ','));
    QTest::newRow("hundreds of fields") << wide.repeated(4) << true;
}

void tst_Chunking::tick(Session &session) {
    // Never the tick that empties the buffer, nor the one that rebuilds the list.
    session.byHand().decoders.tickCount = 0;
    session.byHand().cycle.PollTick();
}

Outcome tst_Chunking::run(const QByteArray &stream, bool checksums, QRandomGenerator *random) {
    Outcome outcome;
    m_consumer->clear();
    Session session;
    // Chunks reach the session as soon as read: the test waits for each piece, and the usual
    // batch time would make that wait most of the run.
    session.setLinkTimings({.batch = std::chrono::milliseconds(1)});
    Form1 form(session, m_desktop.services());
    Ui::Form1 &ui = form.ui();
    form.show(); // the view lays out what it shows, as on a desktop
    ui.Check1->setChecked(checksums);
    ui.Combo7->setCurrentText(m_output.first());
    ui.Command1->click();
    ui.Command5->click();
    if (!session.input().isOpen() || !session.output().isOpen()) {
        qWarning("ports did not open");
        return outcome;
    }
    session.byHand().timer.stop(); // the ticks come from here

    const auto arrived = [&session](qsizetype total) {
        return session.receiveLog().size() >= total;
    };
    if (!random) {
        m_receiver->write(stream);
    } else {
        for (qsizetype at = 0; at < stream.size();) {
            // Single bytes, sentence-sized and block-sized pieces alike; and pieces that end
            // inside the next tag or between a carriage return and its line feed, where a
            // program that reads sentences is most easily caught out.
            const int largest = std::array{16, 512, 4096}[random->bounded(3)];
            qsizetype size = random->bounded(1, largest + 1);
            const int cut = random->bounded(4);
            const qsizetype mark = stream.indexOf(cut == 0 ? '$' : '\r', at + 1);
            if (cut < 2 && mark >= 0 && mark - at < 4096)
                size = mark - at + (cut == 0 ? random->bounded(1, 6) : 1);
            size = qMin(size, stream.size() - at);
            m_receiver->write(stream.mid(at, size));
            at += size;
            // Half the pieces arrive on their own, the others run together with the next.
            const bool wait = random->bounded(2) == 0;
            serveUntil([&] { return m_receiver->bytesToWrite() == 0 && (!wait || arrived(at)); });
            // A tick after every piece: the decoders then also meet tags and sentences cut
            // off at the buffer's end.
            tick(session);
        }
    }
    if (!serveUntil([&] {
            return arrived(stream.size()) && m_consumer->received().size() >= stream.size();
        }))
        qWarning("the stream did not come through");

    tick(session);
    tick(session);
    session.byHand().decoders.tickCount = 10; // the list is rebuilt in this one
    session.byHand().cycle.PollTick();

    outcome.buffer = session.receiveLog().text().toString();
    for (qsizetype line = 0; line < ui.Text1->lineCount(); ++line)
        outcome.view += ui.Text1->lineText(line) + u'\n';
    outcome.forwarded = m_consumer->received();
    for (const DisplayField *field : session.model().fields())
        outcome.fields << field->fieldName() + u'=' + field->text();
    outcome.types = session.model().sentenceTypes();
    return outcome;
}

void tst_Chunking::sameWhateverTheChunking() {
    QFETCH(QByteArray, stream);
    QFETCH(bool, checksums);
    const QString seed = u" (seed %1, set PELORA_SEED to change it)"_s.arg(m_seed);

    const Outcome whole = run(stream, checksums, nullptr);
    QVERIFY2(whole.buffer == QString::fromLatin1(stream),
             qPrintable(difference(whole.buffer, QString::fromLatin1(stream))));
    QVERIFY2(whole.forwarded == stream, qPrintable(difference(whole.forwarded, stream)));
    int shown = 0;
    shownFromTheStream(whole.fields, QString::fromLatin1(stream), shown);
    if (QTest::currentTestFailed())
        return;

    // Seeded by the row, so that one row can be run alone with the same chunks.
    QRandomGenerator random(m_seed ^ qHash(QByteArray(QTest::currentDataTag())));
    for (int round = 0; round < kRounds && !QTest::currentTestFailed(); ++round)
        compare(run(stream, checksums, &random), whole, stream, seed);
    qInfo("%lld bytes, %d display fields shown", qlonglong(stream.size()), shown);
}

void tst_Chunking::compare(const Outcome &cut, const Outcome &whole, const QByteArray &stream,
                           const QString &seed) {
    const QString text = QString::fromLatin1(stream);
    QVERIFY2(cut.buffer == text, qPrintable(difference(cut.buffer, text) + seed));
    QVERIFY2(cut.view == whole.view, qPrintable(difference(cut.view, whole.view) + seed));
    QVERIFY2(cut.forwarded == stream, qPrintable(difference(cut.forwarded, stream) + seed));
    // The local time follows both UTC fields, so however the chunks fell, every field ends the
    // same.
    QCOMPARE(cut.fields.size(), whole.fields.size());
    for (qsizetype k = 0; k < whole.fields.size(); ++k) {
        const QString &shown = cut.fields[k];
        const QString &expected = whole.fields[k];
        QVERIFY2(shown == expected, qPrintable(shown + u" instead of "_s + expected + seed));
    }
    QVERIFY2(cut.types == whole.types,
             qPrintable(cut.types + u"instead of\n"_s + whole.types + seed));
}

void tst_Chunking::shownFromTheStream(const QStringList &fields, const QString &text, int &shown) {
    // Each shown value is cut from one field of the stream and joined with fixed pieces only;
    // the local time is computed, not shown from the stream.
    static const QRegularExpression latitude(u"^(.{0,2}) \u00B0  (.{0,7}) ' (.*)$"_s,
                                             QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression longitude(u"^(.{0,3}) \u00B0  (.{0,7}) ' (.*)$"_s,
                                              QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression time(u"^(.{0,2}):(.{0,2}):(.{0,2})$"_s,
                                         QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression date(u"^(.{0,2})\\.(.{0,2})\\.(.{0,2})$"_s,
                                         QRegularExpression::DotMatchesEverythingOption);
    for (const QString &entry : fields) {
        const QString name = entry.section(u'=', 0, 0);
        const QString value = entry.section(u'=', 1);
        if (value.isEmpty() || name == u"Label24")
            continue;
        ++shown;
        // Pieces that follow a comma in the stream: whole fields, or the start of one.
        QStringList fromFields;
        const auto split = [&](const QRegularExpression &pattern, QList<int> joined) {
            const QRegularExpressionMatch match = pattern.match(value);
            QVERIFY2(match.hasMatch(), qPrintable(entry));
            QString start;
            for (const int group : joined)
                start += match.captured(group);
            fromFields << start;
            for (int group = joined.size() + 1; group <= pattern.captureCount(); ++group)
                fromFields << match.captured(group);
        };
        if (name == u"Label21")
            split(latitude, {1, 2});
        else if (name == u"Label22")
            split(longitude, {1, 2});
        else if (name == u"Label20")
            split(time, {1, 2, 3});
        else if (name == u"Label19")
            split(date, {1, 2, 3});
        else if (name == u"Label23") {
            QVERIFY2(value.endsWith(u" m"), qPrintable(entry));
            fromFields << value.chopped(2);
        } else
            fromFields << value;
        for (const QString &piece : std::as_const(fromFields))
            QVERIFY2(piece.isEmpty() || text.contains(u',' + piece), qPrintable(entry));
    }
}

QTEST_MAIN(tst_Chunking)
#include "tst_chunking.moc"
