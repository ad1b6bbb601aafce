// The receive buffer keeps every received character and never disturbs the user reading it.
#include "logic/receivelog.h"
#include "windows/receivebuffer.h"

#include "testseed.h"

#include <QPlainTextEdit>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

using namespace Qt::StringLiterals;

namespace {

QString allByteValues() {
    QString text;
    for (int b = 0; b < 256; ++b)
        text += QChar(char16_t(b));
    return text;
}

QString numberedLines(int from, int count) {
    QString text;
    for (int i = from; i < from + count; ++i)
        text += u"$GPTXT,line %1*00\r\n"_s.arg(i);
    return text;
}

} // namespace

class tst_ReceiveBuffer : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void keepsEveryCharacterWhateverTheChunks_data();
    void keepsEveryCharacterWhateverTheChunks();
    void lineEndsSplitAcrossChunksShowOnce();
    void selectionStaysPut_data();
    void selectionStaysPut();
    void clickIntoBufferDoesNotSplice();
    void followsTheEndOnlyAtTheEnd();
    void clearEmptiesModelAndView();
    void firstSentenceUntilCleared();
    void viewCatchesUpOnItsOwn();
    void viewKeepsTheLastLines();

private:
    // One chunk, shown at once instead of after the view's delay.
    void receive(const QString &chunk) {
        m_log->append(chunk);
        m_buffer->updateView();
    }

    std::unique_ptr<QPlainTextEdit> m_view;
    std::unique_ptr<ReceiveLog> m_log;
    std::unique_ptr<ReceiveBuffer> m_buffer;
};

void tst_ReceiveBuffer::init() {
    m_view = std::make_unique<QPlainTextEdit>();
    m_view->setReadOnly(true);
    m_view->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_view->resize(400, 200);
    m_log = std::make_unique<ReceiveLog>();
    m_buffer = std::make_unique<ReceiveBuffer>(m_view.get(), *m_log);
}

void tst_ReceiveBuffer::cleanup() {
    m_buffer.reset();
    m_log.reset();
    m_view.reset();
}

void tst_ReceiveBuffer::keepsEveryCharacterWhateverTheChunks_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("largestChunk");
    const QString bytes = allByteValues();
    QTest::newRow("all byte values, one at a time") << bytes << 1;
    QTest::newRow("all byte values, random chunks") << bytes + bytes + bytes << 7;
    QTest::newRow("sentences with CR LF, random chunks") << numberedLines(0, 50) << 40;
    QTest::newRow("bare CR and LF mixed") << u"a\rb\nc\r\r\nd\n\re\r"_s << 3;
}

void tst_ReceiveBuffer::keepsEveryCharacterWhateverTheChunks() {
    QFETCH(QString, text);
    QFETCH(int, largestChunk);
    QRandomGenerator random(testSeed());
    for (qsizetype at = 0; at < text.size();) {
        const qsizetype size = random.bounded(1, largestChunk + 1);
        m_log->append(text.mid(at, size));
        at += size;
    }
    QCOMPARE(m_log->text().toString(), text);
    // Shown all at once, the view has the same text line for line (CR LF, lone CR and lone LF
    // each end a line).
    m_buffer->updateView();
    QString lines = text;
    lines.replace(u"\r\n"_s, u"\n"_s).replace(u'\r', u'\n');
    QCOMPARE(m_view->toPlainText().count(u'\n'), lines.count(u'\n') - (text.endsWith(u'\r')));
}

void tst_ReceiveBuffer::lineEndsSplitAcrossChunksShowOnce() {
    receive(u"$GPGGA,1*00\r"_s);
    receive(u"\n$GPRMC,2*00\r"_s);
    receive(u"\n"_s);
    QCOMPARE(m_log->text().toString(), u"$GPGGA,1*00\r\n$GPRMC,2*00\r\n"_s);
    QCOMPARE(m_view->toPlainText(), u"$GPGGA,1*00\n$GPRMC,2*00\n"_s);
}

void tst_ReceiveBuffer::selectionStaysPut_data() {
    QTest::addColumn<bool>("toTheEnd");
    QTest::newRow("a sentence in the middle") << false;
    QTest::newRow("up to the very end") << true;
}

void tst_ReceiveBuffer::selectionStaysPut() {
    QFETCH(bool, toTheEnd);
    receive(numberedLines(0, 5));
    QTextCursor selection(m_view->document());
    const int start = m_view->toPlainText().indexOf(u"$GPTXT,line 2"_s);
    selection.setPosition(start);
    if (toTheEnd)
        selection.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    else
        selection.setPosition(start + 18, QTextCursor::KeepAnchor);
    m_view->setTextCursor(selection);
    const QString selected = m_view->textCursor().selectedText();

    receive(numberedLines(5, 3));

    QCOMPARE(m_view->textCursor().selectedText(), selected);
    QCOMPARE(m_view->textCursor().anchor(), selection.anchor());
    QCOMPARE(m_log->text().toString(), numberedLines(0, 8));
}

void tst_ReceiveBuffer::clickIntoBufferDoesNotSplice() {
    receive(u"$GPGGA,123519,4807.0"_s);
    QTextCursor click(m_view->document());
    click.setPosition(8);
    m_view->setTextCursor(click);
    receive(u"38,N*00\r\n"_s);
    QCOMPARE(m_log->text().toString(), u"$GPGGA,123519,4807.038,N*00\r\n"_s);
    QCOMPARE(m_view->toPlainText(), u"$GPGGA,123519,4807.038,N*00\n"_s);
}

void tst_ReceiveBuffer::followsTheEndOnlyAtTheEnd() {
    m_view->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_view.get()));
    QScrollBar *bar = m_view->verticalScrollBar();
    receive(numberedLines(0, 100));
    QVERIFY(bar->maximum() > 0);
    QCOMPARE(bar->value(), bar->maximum());

    receive(numberedLines(100, 50));
    QCOMPARE(bar->value(), bar->maximum());
    QVERIFY(m_view->toPlainText().endsWith(u"line 149*00\n"_s));

    // Scrolled back to read: the view stays on those lines while more arrives, also with a
    // selection that reaches the end.
    bar->setValue(10);
    receive(numberedLines(150, 50));
    QCOMPARE(bar->value(), 10);
    QVERIFY(bar->maximum() > 10);
    QTextCursor toEnd(m_view->document());
    toEnd.setPosition(100);
    toEnd.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    m_view->setTextCursor(toEnd);
    bar->setValue(10);
    receive(numberedLines(200, 5));
    QCOMPARE(bar->value(), 10);

    // Back at the end: following resumes.
    bar->setValue(bar->maximum());
    receive(numberedLines(205, 50));
    QCOMPARE(bar->value(), bar->maximum());
}

void tst_ReceiveBuffer::clearEmptiesModelAndView() {
    receive(u"$GPGGA\r"_s);
    m_log->clear();
    QVERIFY(m_log->text().isEmpty());
    QVERIFY(m_view->toPlainText().isEmpty());
    // A carriage return before the clearing does not swallow the next line feed.
    receive(u"\nx"_s);
    QCOMPARE(m_view->toPlainText(), u"\nx"_s);
}

void tst_ReceiveBuffer::firstSentenceUntilCleared() {
    QCOMPARE(m_log->firstSentence(u"$GPGGA"), std::nullopt);
    m_log->append(u"$GPGGA,first*00\r"_s);
    QCOMPARE(m_log->firstSentence(u"$GPGGA"), std::nullopt);
    m_log->append(u"\n$GPGGA,second*00\r\n"_s);
    QCOMPARE(m_log->firstSentence(u"$GPGGA")->toString(), u"$GPGGA,first*00"_s);
    m_log->clear();
    m_log->append(u"$GPGGA,third*00\r\n"_s);
    QCOMPARE(m_log->firstSentence(u"$GPGGA")->toString(), u"$GPGGA,third*00"_s);
    QCOMPARE(m_log->firstSentence(u"$GPRMC"), std::nullopt);
}

void tst_ReceiveBuffer::viewCatchesUpOnItsOwn() {
    m_log->append(u"$GPGGA,1*00\r"_s);
    m_log->append(u"\n$GPRMC,2*00\r\n"_s);
    // The text is there at once for the decoders; the view follows shortly, in one go.
    QCOMPARE(m_log->text().toString(), u"$GPGGA,1*00\r\n$GPRMC,2*00\r\n"_s);
    QTRY_COMPARE(m_view->toPlainText(), u"$GPGGA,1*00\n$GPRMC,2*00\n"_s);
}

void tst_ReceiveBuffer::viewKeepsTheLastLines() {
    m_view->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_view.get()));
    const int lines = ReceiveBuffer::kViewLines;
    receive(numberedLines(0, lines - 100));
    // The user scrolls back to read a line and selects it.
    QScrollBar *bar = m_view->verticalScrollBar();
    bar->setValue(1000);
    const QTextBlock read = m_view->document()->findBlockByLineNumber(1000);
    QTextCursor selection(read);
    selection.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    m_view->setTextCursor(selection);
    QCOMPARE(selection.selectedText(), u"$GPTXT,line 1000*00"_s);

    // More than the view keeps arrives: its oldest lines go, the text keeps everything, and
    // the line being read stays where it was on the screen, still selected.
    receive(numberedLines(lines - 100, 300));
    QCOMPARE(m_log->text().toString(), numberedLines(0, lines + 200));
    QCOMPARE(m_view->document()->blockCount(), lines);
    QVERIFY(m_view->toPlainText().endsWith(u"line %1*00\n"_s.arg(lines + 199)));
    QCOMPARE(m_view->textCursor().selectedText(), u"$GPTXT,line 1000*00"_s);
    const QTextBlock top = m_view->document()->findBlockByLineNumber(bar->value());
    QCOMPARE(top.text(), u"$GPTXT,line 1000*00"_s);
}

QTEST_MAIN(tst_ReceiveBuffer)
#include "tst_receivebuffer.moc"
