#pragma once

#include <QThread>

// The thread on which the ports read and write, so that a received chunk is passed on without
// waiting for the session's thread. Whoever creates ports creates one of these before them and
// destroys it after them: its destructor ends the thread.
class IoThread {
public:
    IoThread();
    ~IoThread();
    IoThread(const IoThread &) = delete;
    IoThread &operator=(const IoThread &) = delete;

    QThread *thread() { return &m_thread; }

private:
    QThread m_thread;
};
