#pragma once

// A receiver on a pseudo-terminal pair, attached to a session's input port: what it sends reaches
// the receive log as from a real line. The poll timer is stopped on attaching, so that the test
// decides when the decoders run.
#include "ptypair.h"
#include "session/session.h"

#include <QTest>

#include <memory>

class AttachedReceiver {
public:
    // False, with the reason in error(), when the pair or the port cannot be had.
    bool attach(Session &session) {
        m_session = &session;
        if (!m_pair.start()) {
            m_error = m_pair.error();
            return false;
        }
        m_end = std::make_unique<FarEnd>(m_pair.first());
        const PortFailure failure = session.activateInput({.port = m_pair.second()});
        if (failure.cause != PortFailure::Cause::None || !m_end->isOpen()) {
            m_error = QStringLiteral("input not opened: ") + portFailureDetail(failure);
            return false;
        }
        session.byHand().timer.stop();
        return true;
    }

    // Sends the text as Latin-1 bytes.
    void write(const QString &text) { m_end->write(text.toLatin1()); }
    // Sends it and waits: true once the receive log holds it.
    bool send(const QString &text) {
        const qsizetype before = m_session->receiveLog().size();
        write(text);
        return QTest::qWaitFor(
            [&] { return m_session->receiveLog().size() >= before + text.size(); }, 10000);
    }

    // The last tick of a poll cycle, which empties the log: the next text sent is the first the
    // decoders find.
    void endCycle() {
        m_session->byHand().decoders.tickCount = PollCycle::kCycle - 1;
        m_session->byHand().cycle.PollTick();
    }

    QString error() const { return m_error; }

private:
    Session *m_session = nullptr;
    PtyPair m_pair;
    std::unique_ptr<FarEnd> m_end;
    QString m_error;
};
