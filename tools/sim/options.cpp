#include "options.h"

#include "route.h"

#include <QCommandLineParser>
#include <QDateTime>
#include <QFile>
#include <QTimeZone>

#include <algorithm>
#include <arpa/inet.h>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>

void fail(const QString &message, int status) {
    std::fprintf(stderr, "pelora-sim: %s\n", qPrintable(message));
    std::exit(status);
}

namespace {

int positiveInt(const QCommandLineParser &parser, const QString &name, int fallback,
                int minimum = 1) {
    if (!parser.isSet(name))
        return fallback;
    bool ok = false;
    const int value = parser.value(name).toInt(&ok);
    if (!ok || value < minimum)
        fail(QStringLiteral("--%1 needs a whole number of at least %2, not '%3'")
                 .arg(name)
                 .arg(minimum)
                 .arg(parser.value(name)));
    return value;
}

double nonNegativeNumber(const QCommandLineParser &parser, const QString &name, double fallback) {
    if (!parser.isSet(name))
        return fallback;
    bool ok = false;
    const double value = parser.value(name).toDouble(&ok);
    if (!ok || !std::isfinite(value) || value < 0.0)
        fail(QStringLiteral("--%1 needs a number of at least 0, not '%2'")
                 .arg(name, parser.value(name)));
    return value;
}

// "gps,glonass": names in any order and case, "all" for every system.
QList<SatelliteSystem> systemList(const QString &text) {
    static const std::pair<QLatin1StringView, SatelliteSystem> kNames[] = {
        {QLatin1StringView("gps"), SatelliteSystem::Gps},
        {QLatin1StringView("sbas"), SatelliteSystem::Sbas},
        {QLatin1StringView("glonass"), SatelliteSystem::Glonass},
        {QLatin1StringView("galileo"), SatelliteSystem::Galileo},
        {QLatin1StringView("beidou"), SatelliteSystem::BeiDou},
    };
    QList<SatelliteSystem> systems;
    for (const QString &name : text.split(u',')) {
        const QString key = name.trimmed().toLower();
        bool known = false;
        for (const auto &[systemName, system] : kNames) {
            if (key != systemName && key != QLatin1StringView("all"))
                continue;
            known = true;
            if (!systems.contains(system))
                systems.append(system);
        }
        if (!known)
            fail(QStringLiteral("unknown system '%1' in --systems; known: gps, sbas, glonass, "
                                "galileo, beidou, all")
                     .arg(name));
    }
    if (systems.contains(SatelliteSystem::Sbas) && !systems.contains(SatelliteSystem::Gps))
        fail(QStringLiteral("--systems: sbas only goes with gps, whose satellites it corrects"));
    std::sort(systems.begin(), systems.end());
    return systems;
}

QString routeList() {
    QString list;
    for (const Route &route : builtInRoutes())
        list += QStringLiteral("\n  %1: %2").arg(route.name, route.description);
    return list;
}

} // namespace

Options parseOptions(const QStringList &arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Plays an NMEA 0183 satellite receiver on a serial line: GPS, or more systems with\n"
        "--systems. Without --device it opens a pseudo-terminal (raw: no echo, no CR/LF\n"
        "translation), keeps it open between readers and prints the path a program should\n"
        "open as the first line on stdout. Each epoch sends GGA, GSA and GSV (four satellites\n"
        "each) for each system, RMC, VTG and GLL with checksums and CR LF line ends, starting\n"
        "at the epoch; bytes leave at the baud rate in small slices. Bytes nobody reads for\n"
        "about two seconds are thrown away, as on a real line (not with --baud 0, which waits\n"
        "for the reader). With --tcp it serves TCP clients instead of the pseudo-terminal (or\n"
        "beside it, with --link or --device) and prints tcp://HOST:PORT on stdout, after the\n"
        "path if any. Each client gets the stream from when it connects; one that reads too\n"
        "slowly loses its oldest bytes instead of holding up the others, and --baud 0 goes at\n"
        "the pace of the fastest client.\n"
        "Stops cleanly on SIGINT/SIGTERM.\n"
        "Exit status: 0 when stopped or done, 1 on a line error, 2 on a bad option."));
    parser.addHelpOption();
    parser.addVersionOption();
    const auto value = [](const char *name, const QString &help, const char *valueName,
                          const QString &fallback = {}) {
        return QCommandLineOption(QString::fromLatin1(name), help, QString::fromLatin1(valueName),
                                  fallback);
    };
    parser.addOptions({
        value("device",
              QStringLiteral("Write to this existing device, pty or FIFO instead of a "
                             "pseudo-terminal of our own."),
              "path"),
        value("link",
              QStringLiteral("Make a symbolic link to the pseudo-terminal here; it is "
                             "removed on exit."),
              "path"),
        value("tcp",
              QStringLiteral("Serve the stream to TCP clients on this port (0: any free "
                             "port, printed as tcp://HOST:PORT)."),
              "port"),
        value("tcp-bind",
              QStringLiteral("Listen on this IPv4 or IPv6 address with --tcp (default "
                             "0.0.0.0, all IPv4 interfaces)."),
              "address", QStringLiteral("0.0.0.0")),
        value("baud",
              QStringLiteral("Line speed in bits per second, 10 bits per byte (default 4800; "
                             "38400 with several --systems or --signals). 0: as fast as the "
                             "reader takes the bytes."),
              "rate"),
        value("hz", QStringLiteral("Epochs per second: 1, 5 or 10 (default 1)."), "n",
              QStringLiteral("1")),
        value("route", QStringLiteral("Loop to drive round (default goettingen):") + routeList(),
              "name", QStringLiteral("goettingen")),
        value("speed", QStringLiteral("Speed over ground in knots (default 20)."), "knots",
              QStringLiteral("20")),
        value("start",
              QStringLiteral("UTC of the first epoch, e.g. 2026-12-31T23:59:50Z; time "
                             "then runs on with the epochs. Default: the system clock, "
                             "epochs on whole seconds."),
              "time"),
        value("systems",
              QStringLiteral("Satellite systems in view, separated by commas: gps, sbas (one "
                             "geostationary satellite, with gps), glonass, galileo, beidou, or all "
                             "(default gps). With more than one, each has its GSV under its own "
                             "talker and its own GSA with the NMEA 4.10 system ID."),
              "list", QStringLiteral("gps")),
        QCommandLineOption(QStringLiteral("signals"),
                           QStringLiteral("NMEA 4.10 signal IDs at the end of GSV, and a second "
                                          "GSV group per system for the weaker second signal "
                                          "that every other satellite sends (GPS L5, GLONASS "
                                          "G2, Galileo E5a, BeiDou B2a); GSA gets system IDs.")),
        value("talker",
              QStringLiteral("Talker of GGA, GSA, RMC, VTG and GLL (default GP; with --systems "
                             "the system's own, GN for several). GSV takes each system's own "
                             "talker with several systems or when this is GN."),
              "XX"),
        QCommandLineOption(QStringLiteral("no-fix"),
                           QStringLiteral("Send what a receiver sends before its first fix: empty "
                                          "fields, GGA quality 0, RMC status V, GSA mode 1.")),
        value("sky-speedup",
              QStringLiteral("How much faster than real satellites move, so that "
                             "they rise and set within minutes (default 10)."),
              "factor", QStringLiteral("10")),
        value("bad-checksum-every", QStringLiteral("Give every Nth sentence a wrong checksum."),
              "n"),
        QCommandLineOption(QStringLiteral("bare-lf"),
                           QStringLiteral("End lines with LF alone instead of CR LF.")),
        value("garbage-every",
              QStringLiteral("After every Nth sentence send 1 to 16 random "
                             "bytes (0x00 to 0xFF, NUL included)."),
              "n"),
        value("cut-every",
              QStringLiteral("Cut every Nth sentence short before its checksum; "
                             "the line end follows or not, at random."),
              "n"),
        value("seed",
              QStringLiteral("Seed for signal noise and faults, for repeatable streams "
                             "(default: random)."),
              "n"),
        value("replay",
              QStringLiteral("Play this recorded log byte for byte instead of "
                             "generating sentences."),
              "file"),
        QCommandLineOption(QStringLiteral("loop"), QStringLiteral("Repeat the --replay file "
                                                                  "forever.")),
        value("duration", QStringLiteral("Stop after this many seconds of wall-clock time."),
              "seconds"),
        value("count", QStringLiteral("Stop after N epochs, once the reader has taken them."), "n"),
        QCommandLineOption(QStringLiteral("burst"),
                           QStringLiteral("With --count: send the epochs one after the other "
                                          "at once, without waiting for their times.")),
    });
    if (!parser.parse(arguments))
        fail(parser.errorText());
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp(0);
    if (parser.isSet(QStringLiteral("version")))
        parser.showVersion();
    if (!parser.positionalArguments().isEmpty())
        fail(QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first()));

    Options options;
    options.device = parser.value(QStringLiteral("device"));
    options.link = parser.value(QStringLiteral("link"));
    if (!options.device.isEmpty() && !options.link.isEmpty())
        fail(QStringLiteral("--link only goes with a pseudo-terminal of our own, not --device"));
    if (parser.isSet(QStringLiteral("tcp"))) {
        options.tcpPort = positiveInt(parser, QStringLiteral("tcp"), -1, 0);
        if (options.tcpPort > 65535)
            fail(QStringLiteral("--tcp needs a port from 0 to 65535, not %1").arg(options.tcpPort));
    } else if (parser.isSet(QStringLiteral("tcp-bind"))) {
        fail(QStringLiteral("--tcp-bind only goes with --tcp"));
    }
    options.tcpBind = parser.value(QStringLiteral("tcp-bind"));
    in6_addr parsed{};
    const QByteArray bind = options.tcpBind.toLatin1();
    if (inet_pton(AF_INET, bind.constData(), &parsed) != 1 &&
        inet_pton(AF_INET6, bind.constData(), &parsed) != 1)
        fail(QStringLiteral("--tcp-bind needs an IPv4 or IPv6 address, not '%1'")
                 .arg(options.tcpBind));
    if (parser.isSet(QStringLiteral("duration"))) {
        options.durationSeconds = nonNegativeNumber(parser, QStringLiteral("duration"), 0.0);
        if (*options.durationSeconds <= 0.0)
            fail(QStringLiteral("--duration needs a number of seconds above 0"));
    }
    options.count = positiveInt(parser, QStringLiteral("count"), 0);
    options.burst = parser.isSet(QStringLiteral("burst"));
    if (options.burst && options.count == 0)
        fail(QStringLiteral("--burst needs --count, or it would never end"));

    GeneratorSettings &generator = options.generator;
    generator.hz = positiveInt(parser, QStringLiteral("hz"), 1);
    if (generator.hz != 1 && generator.hz != 5 && generator.hz != 10)
        fail(QStringLiteral("--hz must be 1, 5 or 10, not %1").arg(generator.hz));
    const QString routeName = parser.value(QStringLiteral("route"));
    generator.route = findRoute(routeName);
    if (!generator.route)
        fail(QStringLiteral("unknown route '%1'; known: %2").arg(routeName, [] {
            QStringList names;
            for (const Route &route : builtInRoutes())
                names << route.name;
            return names.join(QStringLiteral(", "));
        }()));
    generator.speedKnots = nonNegativeNumber(parser, QStringLiteral("speed"), 20.0);
    generator.skySpeedup = nonNegativeNumber(parser, QStringLiteral("sky-speedup"), 10.0);
    generator.systems = systemList(parser.value(QStringLiteral("systems")));
    generator.signalIds = parser.isSet(QStringLiteral("signals"));
    // An epoch of several systems or signals is three to four times what 4800 baud carries.
    const bool richSky = positionTalker(generator.systems) == "GN" || generator.signalIds;
    options.baud = positiveInt(parser, QStringLiteral("baud"), richSky ? 38400 : 4800, 0);
    const QString talker = parser.isSet(QStringLiteral("talker"))
                               ? parser.value(QStringLiteral("talker"))
                               : QString::fromLatin1(positionTalker(generator.systems));
    if (talker.size() != 2 || !talker.at(0).isUpper() || !talker.at(1).isUpper() ||
        talker.at(0).unicode() > 'Z' || talker.at(1).unicode() > 'Z')
        fail(QStringLiteral("--talker needs two capital letters such as GP or GN, not '%1'")
                 .arg(talker));
    generator.talker = talker.toLatin1();
    generator.fix = !parser.isSet(QStringLiteral("no-fix"));
    options.startGiven = parser.isSet(QStringLiteral("start"));
    if (options.startGiven) {
        QDateTime start =
            QDateTime::fromString(parser.value(QStringLiteral("start")), Qt::ISODateWithMs);
        if (!start.isValid())
            fail(QStringLiteral("bad --start '%1'; expected a UTC time like 2026-12-31T23:59:50Z")
                     .arg(parser.value(QStringLiteral("start"))));
        if (start.timeSpec() == Qt::LocalTime) // no zone given: it means UTC here
            start = QDateTime(start.date(), start.time(), QTimeZone::utc());
        generator.startMsecs = start.toMSecsSinceEpoch();
    }

    unsigned seed = std::random_device{}();
    if (parser.isSet(QStringLiteral("seed"))) {
        bool ok = false;
        seed = parser.value(QStringLiteral("seed")).toUInt(&ok);
        if (!ok)
            fail(QStringLiteral("--seed needs a whole number, not '%1'")
                     .arg(parser.value(QStringLiteral("seed"))));
    }
    generator.seed = seed;
    FaultSettings &faults = options.faults;
    faults.seed = seed + 1;
    faults.badChecksumEvery = positiveInt(parser, QStringLiteral("bad-checksum-every"), 0);
    faults.garbageEvery = positiveInt(parser, QStringLiteral("garbage-every"), 0);
    faults.cutEvery = positiveInt(parser, QStringLiteral("cut-every"), 0);
    faults.bareLineFeed = parser.isSet(QStringLiteral("bare-lf"));

    options.loop = parser.isSet(QStringLiteral("loop"));
    options.replaying = parser.isSet(QStringLiteral("replay"));
    if (options.replaying) {
        for (const char *generatorOnly :
             {"route", "speed", "start", "hz", "systems", "signals", "talker", "no-fix",
              "sky-speedup", "bad-checksum-every", "bare-lf", "garbage-every", "cut-every", "count",
              "burst"}) {
            if (parser.isSet(QString::fromLatin1(generatorOnly)))
                fail(QStringLiteral("--%1 does not go with --replay, which sends the file "
                                    "unchanged")
                         .arg(QString::fromLatin1(generatorOnly)));
        }
        QFile file(parser.value(QStringLiteral("replay")));
        if (!file.open(QIODevice::ReadOnly))
            fail(QStringLiteral("cannot read replay file %1: %2")
                     .arg(file.fileName(), file.errorString()));
        options.replay = file.readAll();
        if (options.replay.isEmpty())
            fail(QStringLiteral("replay file %1 is empty").arg(file.fileName()));
    } else if (options.loop) {
        fail(QStringLiteral("--loop only goes with --replay"));
    }
    return options;
}
