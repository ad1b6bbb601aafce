#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <poll.h>
#include <vector>

// Serves the stream to TCP clients: a client gets the bytes sent from the moment it connected
// on. Each client has its own backlog of at most kBacklogLimit bytes; a client that reads slower
// than the stream comes loses its oldest bytes instead of holding up the others. Everything is
// non-blocking; service() does the work after a wait on pollFds().
class StreamServer {
public:
    StreamServer() = default;
    StreamServer(const StreamServer &) = delete;
    StreamServer &operator=(const StreamServer &) = delete;
    ~StreamServer();

    // Listens on an IPv4 or IPv6 address ("0.0.0.0": all interfaces); port 0 takes a free one.
    bool listen(const QString &address, int port, QString *error);
    // Where a client connects, as tcp://HOST:PORT; HOST is localhost for all interfaces.
    QString address() const { return m_address; }

    // Adds the bytes to every client's backlog and hands what it can to the sockets.
    void send(QByteArrayView bytes);
    // The most one send() can give the client with the emptiest backlog without dropping; 0
    // without clients.
    qsizetype room() const;
    // Bytes waiting for any client.
    qsizetype backlog() const;

    // The descriptors to wait on: new clients, clients that hung up or can take bytes.
    void addPollFds(std::vector<pollfd> &fds) const;
    // After a wait on those descriptors: accepts new clients, drops those that hung up and
    // writes what the sockets take.
    void service(const std::vector<pollfd> &polled);
    // Closes every client after what it has been sent.
    void closeClients();

    static constexpr qsizetype kBacklogLimit = 64 * 1024;

private:
    struct Client {
        int fd = -1;
        QByteArray backlog;
        bool readClosed = false; // the client sends nothing more, but may still read
    };
    void accept();
    // False when the client is gone.
    bool flush(Client &client);

    int m_listenFd = -1;
    QString m_address;
    std::vector<Client> m_clients;
};
