#include "io/iothread.h"

IoThread::IoThread() {
    m_thread.setObjectName(QStringLiteral("pelora-io"));
    m_thread.start();
}

IoThread::~IoThread() {
    // The ports have taken their parts off the thread already; only the empty loop is left.
    m_thread.quit();
    m_thread.wait();
}
