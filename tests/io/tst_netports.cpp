// The network ports over real loopback sockets: a TCP output shared by many clients, each with a
// backlog of its own, and UDP in both directions.
#include "io/commx.h"
#include "io/iothread.h"
#include "testseed.h"
#include "tracecapture.h"

#include <QNetworkDatagram>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
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

private:
    IoThread m_io;
    std::optional<TraceCapture> m_trace;
};

void tst_NetPorts::initTestCase() {
    m_trace.emplace();
}

void tst_NetPorts::cleanupTestCase() {
    m_trace.reset();
}

void tst_NetPorts::init() {
    m_trace->clear();
}

void tst_NetPorts::tcpClientsEachGetTheWholeStream() {
    CommX port(u"CommX2"_s, m_io);
    port.setOutput(true);
    QSignalSpy clients(&port, &CommX::ClientsChanged);
    port.PortName(portName(u"tcp://127.0.0.1:0"_s));
    QVERIFY(port.Open());
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
        port.Send(QString::fromLatin1(chunk));
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
    QVERIFY2(largestBacklog <= CommX::kBacklogLimit, qPrintable(QString::number(largestBacklog)));
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
    CommX port(u"CommX2"_s, m_io);
    port.setOutput(true);
    QSignalSpy clients(&port, &CommX::ClientsChanged);
    port.PortName(portName(u"tcp://127.0.0.1:0"_s));
    QVERIFY(port.Open());
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
    port.Send(u"still here"_s);
    QTRY_COMPARE(readers.back()->got(), "still here"_ba);
}

void tst_NetPorts::tcpInputTriesAgainUntilThePeerIsBack() {
    CommX port(u"CommX1"_s, m_io);
    QByteArray got;
    connect(&port, &CommX::DataReceived, this,
            [&got](const QString &chunk) { got += chunk.toLatin1(); });
    QSignalSpy lost(&port, &CommX::Lost);
    QSignalSpy returned(&port, &CommX::Returned);
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost, 0));
    const quint16 at = server.serverPort();
    port.PortName(portName(u"tcp://127.0.0.1:%1"_s.arg(at)));
    QVERIFY(port.Open());
    QVERIFY(server.waitForNewConnection(10000));
    std::unique_ptr<QTcpSocket> peer(server.nextPendingConnection());
    peer->write("first\r\n");
    QTRY_COMPARE(got, "first\r\n"_ba);

    // The peer and its server go away; while nobody listens every attempt is refused, and the
    // loss is still reported once.
    peer.reset();
    server.close();
    QVERIFY(lost.wait(10000));
    QVERIFY(!port.IsOpen());
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
    port.Close();
    peer.reset();
    QCoreApplication::processEvents();
    QVERIFY(!server.hasPendingConnections());
}

void tst_NetPorts::udpOutputSendsLinesInDatagrams() {
    QUdpSocket listener;
    QVERIFY(listener.bind(QHostAddress::LocalHost, 0));
    CommX port(u"CommX2"_s, m_io);
    port.setOutput(true);
    port.PortName(portName(u"udp://127.0.0.1:%1"_s.arg(listener.localPort())));
    QVERIFY(port.Open());
    QByteArray chunk;
    for (int i = 0; i < 100; ++i)
        chunk += "$GPTXT,01,01,02,line " + QByteArray::number(i) + "*00\r\n";
    port.Send(QString::fromLatin1(chunk));
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
    CommX port(u"CommX1"_s, m_io);
    QStringList got;
    connect(&port, &CommX::DataReceived, this, [&got](const QString &chunk) { got << chunk; });
    port.PortName(portName(u"udp://127.0.0.1:0"_s));
    QVERIFY(port.Open());
    QVERIFY(port.localPort() != 0);
    QUdpSocket sender;
    const QByteArray first = "$GPTXT,01,01,02,udp \xff\x01*00\r\n";
    const QByteArray second = "$GPTXT,01,01,02,second*00\r\n";
    sender.writeDatagram(first, QHostAddress::LocalHost, port.localPort());
    sender.writeDatagram(QByteArray(), QHostAddress::LocalHost, port.localPort());
    sender.writeDatagram(second, QHostAddress::LocalHost, port.localPort());
    // Datagrams that arrive together may reach the window as one chunk; the bytes are the same.
    QTRY_COMPARE(got.join(QString()), QString::fromLatin1(first + second));
    port.Close();
}

QTEST_GUILESS_MAIN(tst_NetPorts)
#include "tst_netports.moc"
