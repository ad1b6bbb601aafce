// The session without any window, over real pseudo-terminal pairs: the poll cycle's counter across
// activations, and forwarding that does not wait for the session's thread.
#include "ptypair.h"
#include "sentences.h"
#include "session/session.h"

#include <QTcpSocket>
#include <QTest>
#include <QUdpSocket>

using namespace Qt::StringLiterals;
using sentences::kGga;

using sentences::kSentences;

class tst_Session : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void counterSurvivesDeactivation();
    void forwardsWhileItsThreadIsBusy();
    void udpInputReadsOnAfterABurst();

private:
    // Activates the input port on the pair and stops the timer, so the test ticks by hand.
    void activateAndTickByHand() {
        QCOMPARE(m_session->activateInput({.port = m_input->second()}).cause,
                 PortFailure::Cause::None);
        QVERIFY(m_session->input().isOpen());
        m_session->byHand().timer.stop();
    }
    void ticks(int count) {
        for (int i = 0; i < count; ++i)
            m_session->byHand().cycle.PollTick();
    }
    QString buffer() const { return m_session->receiveLog().text().toString(); }
    qint16 count() const { return m_session->module1().tickCount; }

    std::unique_ptr<PtyPair> m_input;  // first: the receiver, second: the session's input port
    std::unique_ptr<PtyPair> m_output; // first: the session's output port, second: the consumer
    std::unique_ptr<Session> m_session;
};

void tst_Session::init() {
    m_input = std::make_unique<PtyPair>();
    m_output = std::make_unique<PtyPair>();
    QVERIFY2(m_input->start(), qPrintable(m_input->error()));
    QVERIFY2(m_output->start(), qPrintable(m_output->error()));
    m_session = std::make_unique<Session>();
}

void tst_Session::cleanup() {
    m_session.reset();
    m_input.reset();
    m_output.reset();
}

void tst_Session::counterSurvivesDeactivation() {
    FarEnd receiver(m_input->first());
    QVERIFY(receiver.isOpen());
    activateAndTickByHand();
    ticks(7);
    m_session->deactivateInput();
    QCOMPARE(count(), 7);
    activateAndTickByHand();
    receiver.write(kGga.toLatin1());
    QTRY_COMPARE(buffer(), kGga);
    ticks(12);
    QCOMPARE(buffer(), kGga);
    m_session->byHand().cycle.PollTick();
    QVERIFY(buffer().isEmpty());
    QCOMPARE(count(), 0);
}

void tst_Session::forwardsWhileItsThreadIsBusy() {
    activateAndTickByHand();
    QCOMPARE(m_session->activateOutput({.port = m_output->first()}).cause,
             PortFailure::Cause::None);
    QVERIFY(m_session->output().isOpen());
    RawEnd receiver(m_input->first());
    RawEnd consumer(m_output->second());
    QVERIFY(receiver.isOpen() && consumer.isOpen());

    // The session's thread is held in here, as in a long handler, until the consumer has the
    // sentences: forwarding must not wait for it.
    QVERIFY(receiver.write(kSentences));
    QCOMPARE(consumer.read(kSentences.size(), QDeadlineTimer(10000)), kSentences);
    QVERIFY(buffer().isEmpty());
    // The log gets them as soon as its thread is free again.
    QTRY_COMPARE(buffer(), QString::fromLatin1(kSentences));
}

// A receiver or multiplexer that sends a second's sentences as datagrams in one go, more than the
// I/O thread reads in one turn, then goes on at its pace: reading must never stop.
void tst_Session::udpInputReadsOnAfterABurst() {
    QCOMPARE(m_session->activateOutput({.port = u"tcp://127.0.0.1:0"_s}).cause,
             PortFailure::Cause::None);
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, m_session->output().localPort());
    QVERIFY(client.waitForConnected(5000));
    QCOMPARE(m_session->activateInput({.port = u"udp://127.0.0.1:0"_s}).cause,
             PortFailure::Cause::None);
    m_session->byHand().timer.stop();
    const quint16 port = m_session->input().localPort();
    QVERIFY(port != 0);
    QTRY_VERIFY(client.state() == QAbstractSocket::ConnectedState && m_session->output().isOpen());

    QUdpSocket sender;
    QByteArray sent;
    const auto send = [&](int n) {
        const QByteArray line = "$GPTXT,01,01,02,datagram " + QByteArray::number(n) + "*00\r\n";
        QCOMPARE(sender.writeDatagram(line, QHostAddress::LocalHost, port), line.size());
        sent += line;
    };
    for (int n = 0; n < 100; ++n)
        send(n);
    QTRY_COMPARE(buffer().size(), sent.size());
    QTest::qWait(1000);
    send(100);
    QTRY_COMPARE(buffer(), QString::fromLatin1(sent));
    QByteArray got;
    QTRY_COMPARE((got += client.readAll()), sent);
}

QTEST_GUILESS_MAIN(tst_Session)
#include "tst_session.moc"
