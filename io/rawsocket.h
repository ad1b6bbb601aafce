#pragma once

#include <QByteArrayView>
#include <QString>
#include <QtGlobal>

#include <chrono>

// The few socket calls Qt's socket classes do not offer, behind one small interface so that the
// platforms differ in one file only. Every call is non-blocking.
namespace RawSocket {

// Makes an accepted socket non-blocking, without send delay and with a small kernel send buffer,
// so that a client that stops reading shows as a backlog of ours rather than hiding in the kernel.
void prepareClient(qintptr socket, int sendBufferBytes);

// The peer as "address:port"; empty when the connection is gone already.
QString peerName(qintptr socket);

// Bytes the kernel took, 0 when it takes none now, -1 when the connection is gone.
qint64 sendSome(qintptr socket, QByteArrayView bytes);

enum class Received {
    Data,    // something came and was thrown away
    Nothing, // nothing waits
    End,     // the peer has finished sending; it may still read
    Gone,    // the connection is broken
};
// Reads what waits, at most a small buffer's worth, and throws it away.
Received discard(qintptr socket);

// Whether the connection is broken, without reading anything.
bool isBroken(qintptr socket);

void close(qintptr socket);

// Probes an idle connection after `idle`, every `interval`, and gives up after `count` unanswered
// probes, where the system lets a program choose; else only switches probing on.
void keepAlive(qintptr socket, std::chrono::seconds idle, std::chrono::seconds interval, int count);

// Asks for a receive buffer of this size, beyond the system's limit for ordinary programs where
// the process may; returns the size the system granted.
int enlargeReceiveBuffer(qintptr socket, int bytes);

} // namespace RawSocket
