// The network ports over real loopback sockets: a TCP output shared by many clients, each with a
// backlog of its own, and UDP in both directions.
#include "io/hostlookup.h"
#include "io/iothread.h"
#include "io/portcontrol.h"
#include "logic/displaymodel.h"
#include "logic/module1.h"
#include "logic/pollcycle.h"
#include "logic/receivelog.h"
#include "loopback.h"
#include "testseed.h"
#include "tracecapture.h"

#include <QNetworkDatagram>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QThread>
#include <QUdpSocket>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <optional>

using namespace Qt::StringLiterals;

namespace {

QString portName(const QString &address) {
    return u"\\\\.\\COM"_s + address;
}

// A client that takes what comes, as a chart plotter would.
class Reader {
public:
    explicit Reader(quint16 port) {
        QObject::connect(&m_socket, &QIODevice::readyRead, [this] { m_got += m_socket.readAll(); });
        m_socket.connectToHost(QHostAddress::LocalHost, port);
    }
    const QByteArray &got() const { return m_got; }
    QTcpSocket &socket() { return m_socket; }

private:
    QTcpSocket m_socket;
    QByteArray m_got;
};

// A client that connects and then reads nothing, through a receive buffer as small as the
// system allows, so that its backlog fills.
class Stalled {
public:
    explicit Stalled(quint16 port) {
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
        const int small = 4096;
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        m_connected = ::connect(m_fd, reinterpret_cast<sockaddr *>(&to), sizeof to) == 0;
    }
    ~Stalled() { ::close(m_fd); }
    bool connected() const { return m_connected; }
    // Ends its sending, as a client with nothing to say does; it still reads.
    bool finishSending() { return ::shutdown(m_fd, SHUT_WR) == 0; }
    // Whatever has arrived, without waiting.
    QByteArray drain() {
        char buffer[65536];
        QByteArray got;
        for (;;) {
            const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, MSG_DONTWAIT);
            if (n <= 0)
                return got;
            got.append(buffer, n);
        }
    }

private:
    int m_fd = -1;
    bool m_connected = false;
};

int lastCount(const QSignalSpy &spy) {
    return spy.isEmpty() ? -1 : spy.last().at(0).toInt();
}

using namespace std::chrono_literals;

// Timings short enough for a test; the program's are seconds.
const LinkTimings kQuick{.connectTimeout = 300ms,
                         .silence = 300ms,
                         .firstPause = 50ms,
                         .longestPause = 400ms,
                         .idleClient = 300ms,
                         .backlog = {.stall = 200ms, .waitAtMost = 1000ms},
                         .batch = 1ms};

} // namespace

class tst_NetPorts : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void tcpClientsEachGetTheWholeStream();
    void clientBeyondTheLimitIsRefused();
    void tcpInputTriesAgainUntilThePeerIsBack();
    void udpOutputSendsLinesInDatagrams();
    void udpInputReceivesEveryDatagram();
    void silentReceiverIsDroppedAndReconnected();
    void peerThatAcceptsAndClosesIsBackedOff();
    void hangingConnectCountsNoTicks();
    void bytesBeforeALossComeFirst();
    void halfClosingClientIsServed();
    void placeFreedForANewcomer();
    void udpInputRidesOutAStall();
    void udpOutputHoldsUntilTheNameIsKnown();

private:
    IoThread m_io;
    std::optional<TraceCapture> m_trace;
};

void tst_NetPorts::initTestCase() {
    m_trace.emplace();
    // Names are answered here: no query leaves the machine.
    HostLookup::setAnswers([](const QString &name) {
        QHostInfo info;
        if (name == u"localhost")
            info.setAddresses({QHostAddress(QHostAddress::LocalHost)});
        else
            info.setError(QHostInfo::HostNotFound);
        return std::optional(info);
    });
}

void tst_NetPorts::cleanupTestCase() {
    HostLookup::setAnswers({});
    m_trace.reset();
}

void tst_NetPorts::init() {
    m_trace->clear();
}

void tst_NetPorts::tcpClientsEachGetTheWholeStream() {
    PortControl port(u"CommX2"_s, m_io);
    port.setOutput(true);
    QSignalSpy clients(&port, &PortControl::clientsChanged);
    port.setPortName(portName(u"tcp://127.0.0.1:0"_s));
    QVERIFY(port.open());
    const quint16 at = port.localPort();
    QVERIFY(at != 0);

    Reader first(at);
    Reader second(at);
    Reader leaving(at);
    Stalled stalled(at);
    QVERIFY(stalled.connected());
    QTRY_COMPARE(lastCount(clients), 4);

    // 5 MB holding every byte value, in chunks of varying size. The readers keep up; the
    // stalled client reads nothing until the end.
    QRandomGenerator random(testSeed());
    QByteArray stream;
    QList<QByteArray> chunks;
    qint64 largestBacklog = 0;
    while (stream.size() < 5 * 1024 * 1024) {
        QByteArray chunk(random.bounded(1, 16384), Qt::Uninitialized);
        for (char &c : chunk)
            c = char(random.bounded(256));
        chunks << chunk;
        stream += chunk;
        port.send(QString::fromLatin1(chunk));
        largestBacklog = qMax(largestBacklog, port.bytesToWrite());
        if (stream.size() > 2 * 1024 * 1024 && leaving.socket().isOpen())
            leaving.socket().abort(); // gone mid-stream
        const qsizetype behind = stream.size() - 256 * 1024;
        QTRY_VERIFY_WITH_TIMEOUT(first.got().size() >= behind && second.got().size() >= behind,
                                 20000);
    }
    QTRY_COMPARE_WITH_TIMEOUT(first.got().size(), stream.size(), 20000);
    QTRY_COMPARE_WITH_TIMEOUT(second.got().size(), stream.size(), 20000);
    QVERIFY(first.got() == stream);
    QVERIFY(second.got() == stream);
    QTRY_COMPARE(lastCount(clients), 3);
    QVERIFY(port.bytesToWrite() > 0); // the stalled client's

    // The stalled client's backlog stayed bounded; the oldest whole chunks were dropped and
    // counted, once in the signal and once in the trace.
    QVERIFY2(largestBacklog <= Backlog::kLimit, qPrintable(QString::number(largestBacklog)));
    QTRY_VERIFY(port.droppedBytes() > 0);
    qint64 traced = 0;
    for (const QString &line : m_trace->lines(u"dropped"))
        traced += line.section(u',', 2).chopped(1).toLongLong();
    QCOMPARE(traced, port.droppedBytes());
    // Once it reads, it gets the rest: whole chunks in order, the newest last.
    QByteArray late;
    QTRY_VERIFY_WITH_TIMEOUT(
        (late += stalled.drain()).size() == stream.size() - port.droppedBytes(), 20000);
    QVERIFY(late.endsWith(chunks.last()));
    qsizetype matched = 0;
    for (const QByteArray &chunk : std::as_const(chunks)) {
        if (QByteArrayView(late).sliced(matched).startsWith(chunk))
            matched += chunk.size();
    }
    QCOMPARE(matched, late.size());
    QTRY_COMPARE(port.bytesToWrite(), 0);
}

void tst_NetPorts::clientBeyondTheLimitIsRefused() {
    PortControl port(u"CommX2"_s, m_io);
    port.setOutput(true);
    QSignalSpy clients(&port, &PortControl::clientsChanged);
    port.setPortName(portName(u"tcp://127.0.0.1:0"_s));
    QVERIFY(port.open());
    std::vector<std::unique_ptr<Reader>> readers;
    for (int i = 0; i < 32; ++i)
        readers.push_back(std::make_unique<Reader>(port.localPort()));
    QTRY_COMPARE(lastCount(clients), 32);
    Reader refused(port.localPort());
    QSignalSpy closed(&refused.socket(), &QAbstractSocket::disconnected);
    QTRY_VERIFY(!closed.isEmpty());
    const QStringList traced = m_trace->lines(u"refused");
    QCOMPARE(traced.size(), 1);
    const QString expected = u"[\"refused\",\"CommX2\",\"127.0.0.1:"_s;
    QVERIFY2(traced.first().startsWith(expected), qPrintable(traced.first()));
    QCOMPARE(lastCount(clients), 32);
    // The others are still served.
    port.send(u"still here"_s);
    QTRY_COMPARE(readers.back()->got(), "still here"_ba);
}

void tst_NetPorts::tcpInputTriesAgainUntilThePeerIsBack() {
    PortControl port(u"CommX1"_s, m_io);
    QByteArray got;
    connect(&port, &PortControl::dataReceived, this,
            [&got](const QString &chunk) { got += chunk.toLatin1(); });
    QSignalSpy lost(&port, &PortControl::lost);
    QSignalSpy returned(&port, &PortControl::returned);
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost, 0));
    const quint16 at = server.serverPort();
    port.setPortName(portName(u"tcp://127.0.0.1:%1"_s.arg(at)));
    QVERIFY(port.open());
    QVERIFY(server.waitForNewConnection(10000));
    std::unique_ptr<QTcpSocket> peer(server.nextPendingConnection());
    peer->write("first\r\n");
    QTRY_COMPARE(got, "first\r\n"_ba);

    // The peer and its server go away; while nobody listens every attempt is refused, and the
    // loss is still reported once.
    peer.reset();
    server.close();
    QVERIFY(lost.wait(10000));
    QVERIFY(!port.isOpen());
    QVERIFY(server.listen(QHostAddress::LocalHost, at));
    QVERIFY(returned.wait(20000));
    QCOMPARE(lost.count(), 1);
    QVERIFY(server.hasPendingConnections() || server.waitForNewConnection(10000));
    peer.reset(server.nextPendingConnection());
    peer->write("again\r\n");
    QTRY_COMPARE(got, "first\r\nagain\r\n"_ba);
    QCOMPARE(m_trace->lines(u"port").mid(m_trace->lines(u"port").size() - 2),
             (QStringList{u"[\"port\",\"CommX1\",\"open\",\"tcp://127.0.0.1:%1\"]"_s.arg(at),
                          u"[\"port\",\"CommX1\",\"returned\",\"tcp://127.0.0.1:%1\"]"_s.arg(at)}));

    // Closed, it stops trying.
    port.close();
    peer.reset();
    QCoreApplication::processEvents();
    QVERIFY(!server.hasPendingConnections());
}

void tst_NetPorts::udpOutputSendsLinesInDatagrams() {
    QUdpSocket listener;
    QVERIFY(listener.bind(QHostAddress::LocalHost, 0));
    PortControl port(u"CommX2"_s, m_io);
    port.setOutput(true);
    port.setPortName(portName(u"udp://127.0.0.1:%1"_s.arg(listener.localPort())));
    QVERIFY(port.open());
    QByteArray chunk;
    for (int i = 0; i < 100; ++i)
        chunk += "$GPTXT,01,01,02,line " + QByteArray::number(i) + "*00\r\n";
    port.send(QString::fromLatin1(chunk));
    QByteArray got;
    while (got.size() < chunk.size()) {
        QTRY_VERIFY(listener.hasPendingDatagrams());
        const QByteArray datagram = listener.receiveDatagram().data();
        QVERIFY(datagram.size() <= 1472);
        // Cut at line ends: each datagram holds whole lines.
        QVERIFY(datagram.endsWith("\r\n"));
        got += datagram;
    }
    QCOMPARE(got, chunk);
}

void tst_NetPorts::udpInputReceivesEveryDatagram() {
    PortControl port(u"CommX1"_s, m_io);
    QStringList got;
    connect(&port, &PortControl::dataReceived, this,
            [&got](const QString &chunk) { got << chunk; });
    port.setPortName(portName(u"udp://127.0.0.1:0"_s));
    QVERIFY(port.open());
    QVERIFY(port.localPort() != 0);
    QUdpSocket sender;
    const QByteArray first = "$GPTXT,01,01,02,udp \xff\x01*00\r\n";
    const QByteArray second = "$GPTXT,01,01,02,second*00\r\n";
    sender.writeDatagram(first, QHostAddress::LocalHost, port.localPort());
    sender.writeDatagram(QByteArray(), QHostAddress::LocalHost, port.localPort());
    sender.writeDatagram(second, QHostAddress::LocalHost, port.localPort());
    // Datagrams that arrive together may reach the window as one chunk; the bytes are the same.
    QTRY_COMPARE(got.join(QString()), QString::fromLatin1(first + second));
    port.close();
}

void tst_NetPorts::silentReceiverIsDroppedAndReconnected() {
    // A receiver that loses power leaves the connection open and simply sends nothing more.
    PortControl port(u"CommX1"_s, m_io);
    port.setTimings(kQuick);
    QSignalSpy lost(&port, &PortControl::lost);
    QSignalSpy returned(&port, &PortControl::returned);
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost, 0));
    port.setPortName(portName(u"tcp://127.0.0.1:%1"_s.arg(server.serverPort())));
    QVERIFY(port.open());
    QVERIFY(server.waitForNewConnection(10000));
    std::unique_ptr<QTcpSocket> silent(server.nextPendingConnection());
    silent->write("$GPTXT,01,01,02,last words*00\r\n");
    QVERIFY(lost.wait(10000));
    QVERIFY(!port.isOpen());
    QVERIFY(m_trace->lines(u"port").contains(
        u"[\"port\",\"CommX1\",\"lost\",\"tcp://127.0.0.1:%1\"]"_s.arg(server.serverPort())));
    // It connects again by itself, and is open once connected.
    QVERIFY(server.hasPendingConnections() || server.waitForNewConnection(10000));
    std::unique_ptr<QTcpSocket> again(server.nextPendingConnection());
    QTRY_COMPARE(returned.count(), 1);
    QVERIFY(port.isOpen());
    port.close();
}

void tst_NetPorts::peerThatAcceptsAndClosesIsBackedOff() {
    PortControl port(u"CommX1"_s, m_io);
    port.setTimings(kQuick);
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost, 0));
    int connections = 0;
    bool sendFirst = false;
    connect(&server, &QTcpServer::newConnection, this, [&] {
        while (QTcpSocket *socket = server.nextPendingConnection()) {
            ++connections;
            if (sendFirst)
                socket->write("$GPTXT,01,01,02,data*00\r\n");
            socket->disconnectFromHost();
            connect(socket, &QAbstractSocket::disconnected, socket, &QObject::deleteLater);
        }
    });
    QSignalSpy tries(&port, &PortControl::tryFailed);
    port.setPortName(portName(u"tcp://127.0.0.1:%1"_s.arg(server.serverPort())));
    QVERIFY(port.open());
    // Pauses of 50, 100, 200 and then 400 ms: seven or eight tries in two seconds, where a
    // pause that started over at every connect would give forty.
    QTest::qWait(2000);
    QVERIFY2(connections >= 4 && connections <= 10, qPrintable(QString::number(connections)));

    // Data that flows starts the pauses over.
    sendFirst = true;
    QSignalSpy chunks(&port, &PortControl::dataReceived);
    QVERIFY(chunks.wait(5000));
    const int before = connections;
    QTest::qWait(1000);
    QVERIFY2(connections - before >= 8, qPrintable(QString::number(connections - before)));
    port.close();

    // Nobody listens any more: refused, said as plainly.
    const quint16 gone = server.serverPort();
    server.close();
    tries.clear();
    port.setPortName(portName(u"tcp://127.0.0.1:%1"_s.arg(gone)));
    QVERIFY(port.open());
    QTRY_VERIFY(!tries.isEmpty());
    QCOMPARE(tries.first().at(0).toString(), u"Verbindung abgelehnt"_s);
    port.close();
}

void tst_NetPorts::hangingConnectCountsNoTicks() {
    Unanswering peer;
    PortControl port(u"CommX1"_s, m_io);
    port.setTimings(kQuick);
    QSignalSpy tries(&port, &PortControl::tryFailed);
    DisplayModel model;
    ReceiveLog log;
    Module1 module1(model, log, [] { return false; });
    PollCycle cycle(module1, model, log, [&port] { return port.isOpen(); });
    log.append(u"kept until the port is open\r\n"_s);

    port.setPortName(portName(u"tcp://127.0.0.1:%1"_s.arg(peer.port())));
    QVERIFY(port.open()); // active, but not open
    for (int tick = 0; tick < 25; ++tick) {
        QVERIFY(!port.isOpen());
        cycle.PollTick();
        QTest::qWait(20);
    }
    QCOMPARE(module1.tickCount, 0);
    QVERIFY(log.size() > 0);
    // The connect is given up after its time and tried again.
    QTRY_VERIFY(!tries.isEmpty());
    QCOMPARE(tries.first().at(0).toString(), u"keine Antwort nach 0.3 s"_s);
    QVERIFY(m_trace->lines(u"port").contains(
        u"[\"port\",\"CommX1\",\"waiting\",\"tcp://127.0.0.1:%1\",\"keine Antwort nach 0.3 s\"]"_s
            .arg(peer.port())));
    port.close();
}

void tst_NetPorts::bytesBeforeALossComeFirst() {
    PortControl port(u"CommX1"_s, m_io);
    port.setTimings(kQuick);
    QStringList events;
    connect(&port, &PortControl::dataReceived, this,
            [&events](const QString &chunk) { events << chunk; });
    connect(&port, &PortControl::lost, this, [&events] { events << u"lost"_s; });
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost, 0));
    port.setPortName(portName(u"tcp://127.0.0.1:%1"_s.arg(server.serverPort())));
    QVERIFY(port.open());
    QVERIFY(server.waitForNewConnection(10000));
    std::unique_ptr<QTcpSocket> peer(server.nextPendingConnection());
    // Written and closed at once: the bytes and the loss reach the I/O thread together.
    peer->write("last\r\n");
    peer->disconnectFromHost();
    QTRY_VERIFY(events.contains(u"lost"_s));
    QCOMPARE(events, (QStringList{u"last\r\n"_s, u"lost"_s}));
    port.close();
}

void tst_NetPorts::halfClosingClientIsServed() {
    PortControl port(u"CommX2"_s, m_io);
    port.setOutput(true);
    QSignalSpy clients(&port, &PortControl::clientsChanged);
    port.setPortName(portName(u"tcp://127.0.0.1:0"_s));
    QVERIFY(port.open());
    // As `socat -t 3 - TCP:...` with nothing to say, or `nc -N`: it ends its sending at once and
    // then reads.
    Stalled client(port.localPort());
    QVERIFY(client.connected());
    QTRY_COMPARE(lastCount(clients), 1);
    QVERIFY(client.finishSending());
    QTest::qWait(100);
    const QByteArray sentence = "$GPTXT,01,01,02,served*00\r\n";
    port.send(QString::fromLatin1(sentence));
    QByteArray got;
    QTRY_COMPARE((got += client.drain()), sentence);
    QCOMPARE(lastCount(clients), 1);
}

void tst_NetPorts::placeFreedForANewcomer() {
    PortControl port(u"CommX2"_s, m_io);
    port.setOutput(true);
    port.setTimings(kQuick);
    QSignalSpy clients(&port, &PortControl::clientsChanged);
    port.setPortName(portName(u"tcp://127.0.0.1:0"_s));
    QVERIFY(port.open());

    // A storm of clients that connect and close at once, while nothing is sent: each looks like
    // one that has only finished sending, and each newcomer takes such a place.
    const int storm = 100;
    for (int i = 0; i < storm; ++i) {
        QTcpSocket client;
        client.connectToHost(QHostAddress::LocalHost, port.localPort());
        QVERIFY(client.waitForConnected(5000));
        client.disconnectFromHost();
    }
    // Each count is told: the first 32 take free places, each later one takes another's.
    QTRY_COMPARE(clients.size(), 1 + 32 + 2 * (storm - 32));
    QCOMPARE(lastCount(clients), 32);
    QVERIFY(m_trace->lines(u"refused").isEmpty());
    const auto taken = [&clients](qsizetype signalsBefore) {
        return clients.size() == signalsBefore + 2 && lastCount(clients) == 32;
    };
    qsizetype before = clients.size();
    Reader reader(port.localPort());
    QTRY_VERIFY(taken(before));
    port.send(u"to everyone\r\n"_s);
    QTRY_COMPARE(reader.got(), "to everyone\r\n"_ba);
    // The first bytes that reach a closed client show it gone.
    QTRY_COMPARE(lastCount(clients), 1);

    // Clients that never read hold every other place; with bytes waiting for them and none
    // taken for longer than the idle limit, a newcomer gets one of their places.
    std::vector<std::unique_ptr<Stalled>> stalled;
    while (lastCount(clients) < 32) {
        stalled.push_back(std::make_unique<Stalled>(port.localPort()));
        QTRY_COMPARE(lastCount(clients), int(stalled.size()) + 1);
    }
    const QByteArray filler(64 * 1024, 'x');
    for (int i = 0; i < 8; ++i)
        port.send(QString::fromLatin1(filler));
    QTRY_VERIFY(reader.got().size() == 8 * filler.size() + 13);
    QTest::qWait(500);
    before = clients.size();
    Reader newcomer(port.localPort());
    QTRY_VERIFY(taken(before));
    port.send(u"welcome\r\n"_s);
    QTRY_COMPARE(newcomer.got(), "welcome\r\n"_ba);
    QVERIFY(m_trace->lines(u"refused").isEmpty());
    QCOMPARE(lastCount(clients), 32);
}

void tst_NetPorts::udpInputRidesOutAStall() {
    PortControl port(u"CommX1"_s, m_io);
    int got = 0;
    connect(&port, &PortControl::dataReceived, this,
            [&got](const QString &chunk) { got += int(chunk.count(u'\n')); });
    port.setPortName(portName(u"udp://127.0.0.1:0"_s));
    QVERIFY(port.open());
    QUdpSocket sender;
    // The I/O thread is held up for a while, as on a busy machine, while a burst arrives.
    QObject blocker;
    blocker.moveToThread(m_io.thread());
    QMetaObject::invokeMethod(
        &blocker, [] { QThread::msleep(300); }, Qt::QueuedConnection);
    const int datagrams = 3000; // 300 ms at 10,000 a second
    for (int i = 0; i < datagrams; ++i)
        sender.writeDatagram("$GPTXT,01,01,02,burst " + QByteArray::number(i) + "*00\r\n",
                             QHostAddress::LocalHost, port.localPort());
    QTRY_COMPARE_WITH_TIMEOUT(got, datagrams, 10000);
    QMetaObject::invokeMethod(
        &blocker, [&blocker] { blocker.moveToThread(qApp->thread()); },
        Qt::BlockingQueuedConnection);
    port.close();
}

void tst_NetPorts::udpOutputHoldsUntilTheNameIsKnown() {
    QUdpSocket listener;
    QVERIFY(listener.bind(QHostAddress::LocalHost, 0));
    PortControl port(u"CommX2"_s, m_io);
    port.setOutput(true);
    port.setTimings(kQuick);
    QSignalSpy opened(&port, &PortControl::opened);
    QSignalSpy tries(&port, &PortControl::tryFailed);
    QSignalSpy dropped(&port, &PortControl::dropped);
    // A name is looked up first; what comes meanwhile waits and goes out once it is known.
    port.setPortName(portName(u"udp://localhost:%1"_s.arg(listener.localPort())));
    QVERIFY(port.open());
    port.send(u"held\r\n"_s);
    QVERIFY(opened.wait(10000) || !opened.isEmpty());
    QVERIFY(port.isOpen());
    QTRY_VERIFY(listener.hasPendingDatagrams());
    QCOMPARE(listener.receiveDatagram().data(), "held\r\n"_ba);

    // A name that does not resolve is said to be one, and the port is not open.
    port.setPortName(portName(u"udp://gps-box:10110"_s));
    QVERIFY(port.open());
    QVERIFY(!port.isOpen());
    QVERIFY(tries.wait(10000));
    QVERIFY2(tries.first().at(0).toString().contains(u"nicht aufl\u00f6sbar"_s),
             qPrintable(tries.first().at(0).toString()));
    port.send(u"waits\r\n"_s);
    QTRY_COMPARE(port.bytesToWrite(), 7);
    QVERIFY(dropped.isEmpty());
    port.close();
}

QTEST_GUILESS_MAIN(tst_NetPorts)
#include "tst_netports.moc"
