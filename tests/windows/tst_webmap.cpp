// The map window with the real web view, offscreen. The remote map service is the one part that
// cannot run here: the engine is sent through a proxy on the loopback that records what the
// view asks for and answers nothing, as if the service were out of reach. Answers of other
// kinds, slow ones too, come from a server on the loopback, which the engine reaches directly.
// The test links no web engine, as the program does not: it reaches the view by its properties.
#include "attachedreceiver.h"
#include "session/session.h"
#include "tracecapture.h"
#include "ui_form3.h"
#include "windows/form1.h"
#include "windows/form3.h"
#include "windows/offlinemap.h"
#include "windows/webpageloader.h"
#include "windows/webviewlibrary.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QSignalSpy>
#include <QStackedLayout>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// The proxy every request to the network goes through: records the address asked for and closes
// the connection unanswered.
class RecordingProxy : public QTcpServer {
public:
    QStringList requests;
    RecordingProxy() {
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    if (!socket->canReadLine())
                        return;
                    // "GET http://host/path HTTP/1.1": a proxy is asked with the whole address.
                    const QList<QByteArray> words = socket->readLine().split(' ');
                    if (words.size() == 3)
                        requests << QUrl::fromPercentEncoding(words[1]);
                    socket->disconnectFromHost();
                });
            }
        });
    }
};

// A loopback server that answers every request with one fixed reply, or not at all. A paced
// server sends the reply in pieces, one per pace, and may fall silent after some of them.
class ReplyServer : public QTcpServer {
public:
    explicit ReplyServer(QByteArray reply, int pieces = 1, std::chrono::milliseconds pace = {},
                         int silentAfter = -1)
        : m_reply(std::move(reply)) {
        connect(this, &QTcpServer::newConnection, this, [=, this] {
            while (QTcpSocket *socket = nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, socket, [=, this] {
                    if (m_reply.isEmpty() || !socket->readAll().contains("\r\n\r\n"))
                        return;
                    const qsizetype size = (m_reply.size() + pieces - 1) / pieces;
                    auto *timer = new QTimer(socket);
                    connect(timer, &QTimer::timeout, socket, [=, this, sent = 0]() mutable {
                        socket->write(m_reply.mid(sent * size, size));
                        if (++sent == pieces || sent == silentAfter)
                            timer->stop();
                    });
                    timer->start(pace);
                });
            }
        });
    }

private:
    QByteArray m_reply;
};

QByteArray httpReply(const QByteArray &status, const QByteArray &body) {
    return "HTTP/1.1 " + status + "\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: " +
           QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

// The web engine's processes this test has started: they are its children.
int webEngineProcesses() {
    int count = 0;
    const QDir tasks(u"/proc/self/task"_s);
    for (const QString &task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile children(tasks.filePath(task + u"/children"_s));
        if (!children.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray &child : children.readAll().split(' ')) {
            QFile name(u"/proc/%1/comm"_s.arg(QString::fromLatin1(child.trimmed())));
            if (!child.trimmed().isEmpty() && name.open(QIODevice::ReadOnly) &&
                name.readAll().startsWith("QtWebEngine"))
                ++count;
        }
    }
    return count;
}

// Whether the web engine's library is in this process.
bool webEngineLoaded() {
    QFile maps(u"/proc/self/maps"_s);
    return maps.open(QIODevice::ReadOnly) && maps.readAll().contains("libQt6WebEngineCore");
}

QWidget *webView(QWidget *area) {
    for (QWidget *widget : area->findChildren<QWidget *>()) {
        if (widget->inherits("QWebEngineView"))
            return widget;
    }
    return nullptr;
}

// The title of the page the view shows.
QString shownTitle(QWidget *view) {
    return view->property("title").toString();
}

const int kEngineWait = 20000;
const QByteArray kServerText = "<title>Vom Server</title><p>Vom Server</p>";

} // namespace

class tst_WebMap : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void positionLoadsIntoTheRealView();
    void answers_data();
    void answers();
    void webMapComesBack();

private:
    RecordingProxy m_proxy;
};

// The engine reads its switches when it starts, which is at the first show of a map.
void tst_WebMap::initTestCase() {
    QVERIFY(m_proxy.listen(QHostAddress::LocalHost));
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS",
            "--proxy-server=127.0.0.1:" + QByteArray::number(m_proxy.serverPort()));
}

void tst_WebMap::positionLoadsIntoTheRealView() {
    Desktop desktop; // the real page loader; nothing else is used here
    desktop.openUrl = [](const QString &) {
        QTest::qFail("no URL handler in this test", __FILE__, __LINE__);
        return false;
    };
    desktop.startProgram = [](const QString &) { return false; };
    AttachedReceiver receiver;
    Session session;
    Form1 form(session, desktop);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));

    int beats = 0;
    QTimer heartbeat;
    connect(&heartbeat, &QTimer::timeout, [&] { ++beats; });
    heartbeat.start(10);

    QVERIFY2(receiver.attach(session), qPrintable(receiver.error()));
    TraceCapture trace;
    QVERIFY(
        receiver.send(u"$GPGGA,123519,4800.000,N,01100.000,E,1,08,0.9,545.4,M,46.9,M,,*4C\r\n"_s));
    session.byHand().decoders.DecodeGGA();

    // Created hidden by the position change, as ever, with the address traced; but until it is
    // shown, no web view, no web engine in the process, no web engine process and no page load.
    auto *map = form.findChild<Form3 *>();
    QVERIFY(map);
    QVERIFY(!map->isVisible());
    QVERIFY(trace.lines(u"map").last().contains(u"q=48\u00B000.000'N,011\u00B000.000'E"_s));
    // The position moves on, as the next decode shows it.
    session.model().latitude.write(u"48 \u00B0  07.038 ' N"_s);
    session.model().longitude.write(u"011 \u00B0  31.000 ' E"_s);
    QTest::qWait(500);
    QVERIFY(!webView(map));
    QVERIFY(!webEngineLoaded());
    QCOMPARE(webEngineProcesses(), 0);

    // Shown: the engine starts, and the latest position is loaded, not the first.
    map->show();
    QWidget *view = webView(map);
    QVERIFY(view);
    QVERIFY(webEngineLoaded());
    QCOMPARE(view->parentWidget(), map->ui().WebBrowser1);
    QTRY_VERIFY_WITH_TIMEOUT(webEngineProcesses() > 0, kEngineWait);

    // The URL class percent-encodes the degree sign; the engine then also encodes the apostrophe.
    const QString address = u"http://maps.google.com/maps?q=48\u00B007.038'N,011\u00B031.000'E"
                            "&output=embed&z=12"_s;
    QCOMPARE(QUrl(address, QUrl::TolerantMode).toEncoded(),
             "http://maps.google.com/maps?q=48%C2%B007.038'N,011%C2%B031.000'E&output=embed&z=12");
    QTRY_VERIFY_WITH_TIMEOUT(!m_proxy.requests.isEmpty(), kEngineWait);
    QCOMPARE(m_proxy.requests, QStringList{address});
    // Still serving timers while the engine works.
    const int beatsBefore = beats;
    QTRY_VERIFY(beats >= beatsBefore + 5);

    // The service is out of reach: the map drawn from the shipped outlines takes the web map's
    // place and says so in German, with the position texts as the main window's fields hold them.
    auto *offline = map->ui().WebBrowser1->findChild<OfflineMap *>();
    QVERIFY(offline);
    QTRY_VERIFY_WITH_TIMEOUT(offline->isVisibleTo(map->ui().WebBrowser1), kEngineWait);
    QVERIFY(!view->isVisibleTo(map->ui().WebBrowser1));
    const QString notice = offline->findChild<QLabel *>()->text();
    for (const QString &part : {u"Kartendienst nicht erreichbar"_s, u"48 \u00B0  07.038 ' N"_s,
                                u"011 \u00B0  31.000 ' E"_s})
        QVERIFY2(notice.contains(part), qPrintable(notice));
    QCOMPARE(offline->frame().centre().latitude, 48 + 7.038 / 60);
    QCOMPARE(offline->frame().zoom(), 12);

    // The next load tries the map again; meanwhile the drawn map follows it.
    m_proxy.requests.clear();
    map->ui().Combo1->setCurrentText(u"14"_s);
    QCOMPARE(offline->frame().zoom(), 14);
    QTRY_VERIFY_WITH_TIMEOUT(!m_proxy.requests.isEmpty(), kEngineWait);
    QVERIFY(m_proxy.requests.last().endsWith(u"&z=14"_s));
    QVERIFY(offline->isVisibleTo(map->ui().WebBrowser1));
}

// What the map area ends up showing for each kind of answer of the map service.
void tst_WebMap::answers_data() {
    QTest::addColumn<QByteArray>("reply"); // empty: the connection is taken but never answered
    QTest::addColumn<bool>("listening");
    QTest::addColumn<int>("pieces"); // sent 250 ms apart
    QTest::addColumn<int>("silentAfter");
    QTest::addColumn<int>("timeLimitMs");
    QTest::addColumn<bool>("offline");

    // Long limits keep the timer out of the rows that must end by an answer.
    const QByteArray page = httpReply("200 OK", kServerText);
    QTest::newRow("map page") << page << true << 1 << -1 << 600000 << false;
    QTest::newRow("error status") << httpReply("503 Service Unavailable", kServerText) << true << 1
                                  << -1 << 600000 << true;
    QTest::newRow("not found") << httpReply("404 Not Found", kServerText) << true << 1 << -1
                               << 600000 << true;
    QTest::newRow("refused") << QByteArray() << false << 1 << -1 << 600000 << true;
    QTest::newRow("no answer in time") << QByteArray() << true << 1 << -1 << 300 << true;
    // 3 s in all, twice the limit, but never 1.5 s without progress.
    const QByteArray slowPage =
        httpReply("200 OK", kServerText + "<!--" + QByteArray(6000, 'x') + "-->");
    QTest::newRow("slow, making progress") << slowPage << true << 12 << -1 << 1500 << false;
    QTest::newRow("stalls halfway") << slowPage << true << 12 << 6 << 1500 << true;
}

void tst_WebMap::answers() {
    QFETCH(QByteArray, reply);
    QFETCH(bool, listening);
    QFETCH(int, pieces);
    QFETCH(int, silentAfter);
    QFETCH(int, timeLimitMs);
    QFETCH(bool, offline);

    ReplyServer server(reply, pieces, std::chrono::milliseconds(250), silentAfter);
    QVERIFY(server.listen(QHostAddress::LocalHost));
    const quint16 port = server.serverPort();
    if (!listening)
        server.close(); // the port is free again and refuses connections

    QWidget area;
    area.resize(400, 300);
    const MakeWebView makeView = loadWebViewLibrary();
    QVERIFY(makeView);
    WebPageLoader loader(&area, makeView, std::chrono::milliseconds(timeLimitMs));
    area.show();
    QWidget *view = webView(&area);
    auto *offlineMap = area.findChild<OfflineMap *>();
    auto *stack = area.findChild<QStackedLayout *>();
    QVERIFY(view && offlineMap && stack);
    QSignalSpy switched(stack, &QStackedLayout::currentChanged);
    QSignalSpy finished(view, SIGNAL(loadFinished(bool)));
    QElapsedTimer clock;
    clock.start();
    // Two loads at once, as a decode that moves both fields makes them: the first is replaced.
    for (const QString &longitude : {u"1"_s, u"2"_s}) {
        loader.load(
            {.address =
                 u"http://127.0.0.1:%1/maps?q=1N,%2E&output=embed&z=12"_s.arg(port).arg(longitude),
             .latitudeField = u"1 N"_s,
             .longitudeField = longitude + u" E"_s,
             .zoom = 12});
    }

    if (offline) {
        QTRY_VERIFY_WITH_TIMEOUT(offlineMap->isVisible(), kEngineWait);
        QVERIFY(!view->isVisible());
        QVERIFY(
            offlineMap->findChild<QLabel *>()->text().contains(u"Kartendienst nicht erreichbar"_s));
        return;
    }
    QTRY_VERIFY_WITH_TIMEOUT(finished.contains(QVariantList{true}) || switched.count() > 0,
                             kEngineWait);
    QVERIFY(clock.elapsed() >= pieces * 250 - 250);
    QTRY_COMPARE(shownTitle(view), u"Vom Server"_s);
    QVERIFY(view->isVisible());
    QCOMPARE(switched.count(), 0); // the drawn map never took its place
}

// Once the service answers again, the web map takes back its place.
void tst_WebMap::webMapComesBack() {
    ReplyServer server(httpReply("200 OK", kServerText));
    QTcpServer gone; // listens only to find a port that then refuses
    QVERIFY(server.listen(QHostAddress::LocalHost) && gone.listen(QHostAddress::LocalHost));
    const quint16 gonePort = gone.serverPort();
    gone.close();

    QWidget area;
    area.resize(400, 300);
    WebPageLoader loader(&area, loadWebViewLibrary());
    area.show();
    QWidget *view = webView(&area);
    auto *offlineMap = area.findChild<OfflineMap *>();
    for (const quint16 port : {gonePort, server.serverPort()}) {
        loader.load({.address = u"http://127.0.0.1:%1/maps?q=1N,1E&output=embed&z=12"_s.arg(port),
                     .latitudeField = u"1 N"_s,
                     .longitudeField = u"1 E"_s,
                     .zoom = 12});
        QTRY_VERIFY_WITH_TIMEOUT(offlineMap->isVisible() == (port == gonePort), kEngineWait);
    }
    QVERIFY(view->isVisible());
    QTRY_COMPARE(shownTitle(view), u"Vom Server"_s);
}

QTEST_MAIN(tst_WebMap)
#include "tst_webmap.moc"
