// The receive view shows the log line by line, never disturbs the user reading it, and copies
// exactly the received characters.
#include "logic/receivelog.h"
#include "windows/logview.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QMenu>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

QString numberedLines(int from, int count) {
    QString text;
    for (int i = from; i < from + count; ++i)
        text += u"$GPTXT,line %1*00\r\n"_s.arg(i);
    return text;
}

} // namespace

class tst_LogView : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void showsLines_data();
    void showsLines();
    void wholeLogIsViewable();
    void copiesTheReceivedCharacters_data();
    void copiesTheReceivedCharacters();
    void selectionStaysPut();
    void followsTheEndOnlyAtTheEnd();
    void longestLineSetsTheWidth();
    void neverChangesTheLog();
    void clearEmptiesTheView();
    void drawsEachCharacterInItsCell();

private:
    // One chunk, shown at once instead of within the view's refresh time.
    void receive(const QString &chunk) {
        m_log->append(chunk);
        m_view->refresh();
    }
    QStringList lines() const {
        QStringList shown;
        for (qsizetype line = 0; line < m_view->lineCount(); ++line)
            shown << m_view->lineText(line);
        return shown;
    }
    // A point inside the left half of a character's cell: a click there goes before it.
    QPoint before(qsizetype line, qsizetype column) const {
        const QRectF cell = m_view->cellRect(line, column);
        return QPoint(int(cell.left() + cell.width() / 4), int(cell.center().y()));
    }
    void drag(QPoint from, QPoint to, Qt::KeyboardModifiers modifiers = {}) {
        QTest::mousePress(m_view->viewport(), Qt::LeftButton, modifiers, from);
        QTest::mouseMove(m_view->viewport(), to);
        QTest::mouseRelease(m_view->viewport(), Qt::LeftButton, modifiers, to);
    }

    std::unique_ptr<ReceiveLog> m_log;
    std::unique_ptr<LogView> m_view;
};

void tst_LogView::init() {
    m_log = std::make_unique<ReceiveLog>();
    m_view = std::make_unique<LogView>();
    m_view->setLog(m_log.get());
    m_view->resize(400, 200);
    m_view->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_view.get()));
    QGuiApplication::clipboard()->clear();
}

void tst_LogView::cleanup() {
    m_view.reset();
    m_log.reset();
}

void tst_LogView::showsLines_data() {
    QTest::addColumn<QStringList>("chunks");
    QTest::addColumn<QStringList>("shown");
    QTest::newRow("CR LF, lone CR, lone LF")
        << QStringList{u"a\r\nb\rc\nd"_s} << QStringList{u"a"_s, u"b"_s, u"c"_s, u"d"_s};
    QTest::newRow("CR LF split across chunks")
        << QStringList{u"$GPGGA,1*00\r"_s, u"\n$GPRMC,2*00\r"_s, u"\n"_s}
        << QStringList{u"$GPGGA,1*00"_s, u"$GPRMC,2*00"_s, QString()};
    QTest::newRow("CR at the end waits for its LF") << QStringList{u"x\r"_s} << QStringList{u"x"_s};
    QTest::newRow("CR, then no LF") << QStringList{u"x\r"_s, u"y"_s} << QStringList{u"x"_s, u"y"_s};
    QTest::newRow("CR CR LF") << QStringList{u"a\r"_s, u"\r"_s, u"\nb"_s}
                              << QStringList{u"a"_s, QString(), u"b"_s};
    QTest::newRow("LF CR") << QStringList{u"a\n"_s, u"\rb"_s}
                           << QStringList{u"a"_s, QString(), u"b"_s};
    QTest::newRow("control characters as symbols")
        << QStringList{u"\0\x1b"_s, u"\x7f\t\u00b0\u00ff"_s}
        << QStringList{u"\u2400\u241b\u2421 \u00b0\u00ff"_s};
}

void tst_LogView::showsLines() {
    QFETCH(QStringList, chunks);
    QFETCH(QStringList, shown);
    for (const QString &chunk : chunks)
        m_log->append(chunk);
    QCOMPARE(lines(), shown);
    // One character at a time gives the same lines.
    m_log->clear();
    for (const QChar c : chunks.join(QString()))
        m_log->append(QString(c));
    QCOMPARE(lines(), shown);
}

void tst_LogView::wholeLogIsViewable() {
    m_log->append(numberedLines(0, 6000));
    QCOMPARE(m_view->lineCount(), 6001);
    QCOMPARE(m_view->lineText(0), u"$GPTXT,line 0*00"_s);
    QCOMPARE(m_view->lineText(5999), u"$GPTXT,line 5999*00"_s);
    // The scroll bars catch up on their own, and the view follows the end.
    QScrollBar *bar = m_view->verticalScrollBar();
    QTRY_COMPARE(bar->maximum(), 6001 - bar->pageStep());
    QCOMPARE(bar->value(), bar->maximum());
}

void tst_LogView::copiesTheReceivedCharacters_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("copied");
    const QString text = u"\0$GPGGA,1\x1b*00\r\n$GPRMC,2*00\r\n\r"_s;
    QTest::newRow("drag, Ctrl+C") << u"drag"_s << text.sliced(1, 14);
    QTest::newRow("shift+click, context menu") << u"shift"_s << text.sliced(1, 14);
    QTest::newRow("drag backwards over a line end") << u"back"_s << text.sliced(4, 15);
    QTest::newRow("Ctrl+A, Ctrl+C") << u"all"_s << text;
}

void tst_LogView::copiesTheReceivedCharacters() {
    QFETCH(QString, how);
    QFETCH(QString, copied);
    m_log->append(u"\0$GPGGA,1\x1b*00\r\n$GPRMC,2*00\r\n\r"_s);
    QWidget *viewport = m_view->viewport();
    if (how == u"drag") {
        drag(before(0, 1), before(1, 0));
    } else if (how == u"shift") {
        QTest::mouseClick(viewport, Qt::LeftButton, {}, before(0, 1));
        QTest::mouseClick(viewport, Qt::LeftButton, Qt::ShiftModifier, before(1, 0));
        QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, before(1, 0),
                                    viewport->mapToGlobal(before(1, 0)));
        QApplication::sendEvent(viewport, &menuEvent);
        auto *menu = m_view->findChild<QMenu *>();
        QVERIFY(menu);
        for (QAction *action : menu->actions()) {
            if (action->text() == u"Kopieren")
                action->trigger();
        }
        menu->close();
    } else if (how == u"back") {
        drag(before(1, 4), before(0, 4));
    } else {
        QTest::keyClick(m_view.get(), Qt::Key_A, Qt::ControlModifier);
    }
    if (how != u"shift")
        QTest::keyClick(m_view.get(), Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QGuiApplication::clipboard()->text(), copied);
}

void tst_LogView::selectionStaysPut() {
    receive(numberedLines(0, 40));
    QScrollBar *bar = m_view->verticalScrollBar();
    bar->setValue(1);
    drag(before(2, 0), before(3, 0));
    QCOMPARE(m_view->selectedText(), u"$GPTXT,line 2*00\r\n"_s);

    receive(numberedLines(5, 30));

    QCOMPARE(m_view->selectedText(), u"$GPTXT,line 2*00\r\n"_s);
    QCOMPARE(bar->value(), 1);
    QTest::keyClick(m_view.get(), Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QGuiApplication::clipboard()->text(), u"$GPTXT,line 2*00\r\n"_s);
}

void tst_LogView::followsTheEndOnlyAtTheEnd() {
    QScrollBar *bar = m_view->verticalScrollBar();
    receive(numberedLines(0, 100));
    QVERIFY(bar->maximum() > 0);
    QCOMPARE(bar->value(), bar->maximum());
    receive(numberedLines(100, 50));
    QCOMPARE(bar->value(), bar->maximum());

    // Scrolled back to read: the view stays on those lines while more arrives, also with
    // everything selected.
    bar->setValue(10);
    receive(numberedLines(150, 50));
    QCOMPARE(bar->value(), 10);
    QTest::keyClick(m_view.get(), Qt::Key_A, Qt::ControlModifier);
    receive(numberedLines(200, 5));
    QCOMPARE(bar->value(), 10);

    // Back at the end: following resumes.
    QTest::keyClick(m_view.get(), Qt::Key_End, Qt::ControlModifier);
    receive(numberedLines(205, 50));
    QCOMPARE(bar->value(), bar->maximum());
}

void tst_LogView::longestLineSetsTheWidth() {
    QScrollBar *bar = m_view->horizontalScrollBar();
    QCOMPARE(bar->maximum(), 0);
    // A long line built from several chunks, then shorter ones.
    const QString wide = u"$GPTXT"_s + QString(3000, u',');
    m_log->append(wide.left(1000));
    m_log->append(wide.mid(1000) + u"\r"_s);
    receive(u"\n$GPGGA\r\n"_s);
    bar->setValue(bar->maximum());
    const QRectF lastCell = m_view->cellRect(0, wide.size() - 1);
    QVERIFY(lastCell.left() >= 0);
    QVERIFY(lastCell.right() <= m_view->viewport()->width());
}

void tst_LogView::neverChangesTheLog() {
    const QString text = u"$GPGGA,123519,4807.0"_s;
    m_log->append(text);
    QTest::mouseClick(m_view->viewport(), Qt::LeftButton, {}, before(0, 8));
    QTest::keyClicks(m_view.get(), u"xy"_s);
    QTest::keyClick(m_view.get(), Qt::Key_Backspace);
    QTest::keyClick(m_view.get(), Qt::Key_Delete);
    QGuiApplication::clipboard()->setText(u"pasted"_s);
    QTest::keyClick(m_view.get(), Qt::Key_V, Qt::ControlModifier);
    // What arrives after a click into the text lands at the end all the same.
    m_log->append(u"38,N*00\r\n"_s);
    QCOMPARE(m_log->text().toString(), u"$GPGGA,123519,4807.038,N*00\r\n"_s);
}

void tst_LogView::clearEmptiesTheView() {
    m_log->append(numberedLines(0, 50) + u"$GPGGA\r"_s);
    QTest::keyClick(m_view.get(), Qt::Key_A, Qt::ControlModifier);
    m_log->clear();
    QCOMPARE(lines(), QStringList{QString()});
    QVERIFY(m_view->selectedText().isEmpty());
    QCOMPARE(m_view->verticalScrollBar()->maximum(), 0);
    // A carriage return before the clearing does not swallow the next line feed.
    m_log->append(u"\nx"_s);
    QCOMPARE(lines(), (QStringList{QString(), u"x"_s}));
}

void tst_LogView::drawsEachCharacterInItsCell() {
    // Following the end, a line or two at a time, moves what is on screen and draws only the new
    // lines, in glyph runs. The screen must hold each character as the font draws it alone in
    // its cell, Latin-1 letters and the symbols of control characters included.
    QWidget *viewport = m_view->viewport();
    for (int i = 0; i < 40; ++i) {
        receive(u"$GPTXT,%1,\u00b0\u00e9\u00ff\x01\x7f\t*00\r\n"_s.arg(i));
        QCoreApplication::processEvents();
    }
    const QPoint origin = viewport->mapTo(m_view.get(), QPoint(0, 0));
    const QImage shown = m_view->screen()
                             ->grabWindow(m_view->winId(), origin.x(), origin.y(),
                                          viewport->width(), viewport->height())
                             .toImage()
                             .convertToFormat(QImage::Format_RGB32);

    QImage expected(viewport->size(), QImage::Format_RGB32);
    expected.fill(m_view->palette().color(QPalette::Base));
    QPainter painter(&expected);
    painter.setFont(m_view->font());
    painter.setPen(m_view->palette().color(QPalette::Text));
    const qreal ascent = std::ceil(QFontMetricsF(m_view->font()).ascent());
    for (qsizetype line = 0; line < m_view->lineCount(); ++line) {
        const QString text = m_view->lineText(line);
        for (qsizetype column = 0; column < text.size(); ++column) {
            const QRectF cell = m_view->cellRect(line, column);
            if (cell.bottom() >= 0 && cell.top() < viewport->height())
                painter.drawText(QPointF(cell.left(), cell.top() + ascent), QString(text[column]));
        }
    }
    painter.end();
    QVERIFY(m_view->verticalScrollBar()->value() > 0);
    QCOMPARE(shown, expected);
}

QTEST_MAIN(tst_LogView)
#include "tst_logview.moc"
