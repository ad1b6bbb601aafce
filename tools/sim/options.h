#pragma once

#include "faults.h"
#include "nmeagenerator.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

struct Options {
    QString device;
    QString link;
    int tcpPort = -1; // -1: no network clients
    QString tcpBind;
    // A pseudo-terminal or device: always, unless --tcp alone replaces it.
    bool serialLine() const { return tcpPort < 0 || !device.isEmpty() || !link.isEmpty(); }
    int baud = 4800;
    std::optional<double> durationSeconds;
    qint64 count = 0;   // 0: endless
    bool burst = false; // the epochs one after the other, without waiting for their times
    QByteArray replay;
    bool loop = false;
    bool replaying = false;
    bool startGiven = false;
    GeneratorSettings generator;
    FaultSettings faults;
};

// Reads the command line; prints help or version, or a one-line error and exits with status 2.
Options parseOptions(const QStringList &arguments);

// Prints "pelora-sim: message" on stderr and exits with the given status.
[[noreturn]] void fail(const QString &message, int status = 2);
