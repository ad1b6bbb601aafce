#include "commandline.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

bool hasArgument(int argc, char *argv[], std::initializer_list<const char *> names) {
    // Exact words only: "--help" or "-v", as QCommandLineParser takes them.
    for (int i = 1; i < argc; ++i) {
        for (const char *name : names) {
            if (std::strcmp(argv[i], name) == 0)
                return true;
        }
    }
    return false;
}

[[noreturn]] void fail(const QString &message) {
    std::fprintf(stderr, "pelora: %s\n", qPrintable(message));
    std::exit(1);
}

const QString kDescription = QStringLiteral(
    "Monitor for a satellite receiver that sends NMEA 0183 over a serial line or the network.\n"
    "\n"
    "Without --headless it opens the main window. The port lists there take the same TEXT as\n"
    "--input and --output:\n"
    "  n                port n: the device named by the environment variable PELORA_COM<n>\n"
    "                   if set (a device or a network address), else /dev/ttyS<n-1>\n"
    "  /path            that device: /dev/ttyUSB0, a pseudo-terminal /dev/pts/4\n"
    "  name             the device /dev/name: ttyUSB0, ttyACM0\n"
    "  tcp://HOST:PORT  input: connect to a receiver shared over TCP\n"
    "  udp://:PORT      input: receive datagrams sent to PORT\n"
    "  tcp://:PORT      output: serve every received byte to TCP clients on PORT\n"
    "  udp://HOST:PORT  output: send every received byte to HOST as datagrams\n"
    "\n"
    "--headless runs the same monitoring without any window, web engine or display: it\n"
    "activates the output port first (if given), then the input, and writes every trace event\n"
    "as one JSON array per line on standard output. SIGINT or SIGTERM deactivates both ports.\n"
    "In the window the trace goes to standard error when QT_LOGGING_RULES holds\n"
    "\"pelora.trace.debug=true\". As root the map needs QTWEBENGINE_DISABLE_SANDBOX=1.\n"
    "\n"
    "Exit status: 0 when ended normally, 1 for a bad command line, 2 when --headless cannot\n"
    "open a port (the message and what to change go to standard error).");

QCommandLineOption valueOption(const char *name, const QString &help, const char *valueName) {
    return QCommandLineOption(QString::fromLatin1(name), help, QString::fromLatin1(valueName));
}

} // namespace

bool asksForHeadless(int argc, char *argv[]) {
    // The options of the headless run count too: given without it, they are refused without
    // first needing a display.
    static const std::initializer_list<const char *> kOptions{
        "headless", "input",       "baud",       "data-bits",        "stop-bits",
        "output",   "output-baud", "interval",   "output-data-bits", "output-stop-bits",
        "checksum", "zone",        "summer-time"};
    for (int i = 1; i < argc; ++i) {
        QByteArrayView arg(argv[i]);
        while (arg.startsWith('-'))
            arg = arg.sliced(1);
        arg = arg.first(arg.indexOf('=') < 0 ? arg.size() : arg.indexOf('='));
        for (const char *option : kOptions) {
            if (arg == QByteArrayView(option))
                return true;
        }
    }
    return false;
}

bool onlyPrints(int argc, char *argv[]) {
    return hasArgument(argc, argv, {"-h", "--help", "--help-all", "-v", "--version"});
}

CommandLine parseCommandLine(const QCoreApplication &app) {
    QCommandLineParser parser;
    parser.setApplicationDescription(kDescription);
    parser.addHelpOption();
    parser.addVersionOption();
    const QStringList intervals{QStringLiteral("200"), QStringLiteral("500"), QStringLiteral("800"),
                                QStringLiteral("1000"), QStringLiteral("5000")};
    const QStringList zones{QStringLiteral("-5"), QStringLiteral("-4"), QStringLiteral("-3"),
                            QStringLiteral("-2"), QStringLiteral("-1"), QStringLiteral("0"),
                            QStringLiteral("+1"), QStringLiteral("+2"), QStringLiteral("+3"),
                            QStringLiteral("+4")};
    parser.addOptions({
        {QStringLiteral("headless"), QStringLiteral("Run without any window (see above).")},
        valueOption("input", QStringLiteral("With --headless: the receiver's port, as above."),
                    "TEXT"),
        valueOption("baud", QStringLiteral("Its bits per second (default 4800)."), "N"),
        valueOption("data-bits", QStringLiteral("Its data bits, 5 to 8 (default 8)."), "N"),
        valueOption("stop-bits", QStringLiteral("Its stop bits, 1 or 2 (default 1)."), "N"),
        valueOption("output", QStringLiteral("The port every received byte is passed on to."),
                    "TEXT"),
        valueOption("output-baud", QStringLiteral("Its bits per second (default 4800)."), "N"),
        valueOption("output-data-bits", QStringLiteral("Its data bits (default 8)."), "N"),
        valueOption("output-stop-bits", QStringLiteral("Its stop bits (default 1)."), "N"),
        valueOption("interval",
                    QStringLiteral("Poll interval: 200, 500, 800, 1000 or 5000 (default 500)."),
                    "MS"),
        {QStringLiteral("checksum"), QStringLiteral("Test each sentence's checksum.")},
        valueOption("zone",
                    QStringLiteral("Hours from UTC for the local time, -5 to +4 (default "
                                   "+1)."),
                    "HOURS"),
        {QStringLiteral("summer-time"), QStringLiteral("One hour more for the local time.")},
    });
    parser.process(app);

    CommandLine line;
    line.headless = parser.isSet(QStringLiteral("headless"));
    const QStringList portOptions{QStringLiteral("input"),
                                  QStringLiteral("baud"),
                                  QStringLiteral("data-bits"),
                                  QStringLiteral("stop-bits"),
                                  QStringLiteral("output"),
                                  QStringLiteral("output-baud"),
                                  QStringLiteral("output-data-bits"),
                                  QStringLiteral("output-stop-bits"),
                                  QStringLiteral("interval"),
                                  QStringLiteral("checksum"),
                                  QStringLiteral("zone"),
                                  QStringLiteral("summer-time")};
    if (!line.headless) {
        for (const QString &option : portOptions) {
            if (parser.isSet(option))
                fail(
                    QStringLiteral("--%1 is for --headless; the window has its lists").arg(option));
        }
        return line;
    }
    if (!parser.isSet(QStringLiteral("input")))
        fail(QStringLiteral("--headless needs --input TEXT"));
    const auto value = [&parser](const char *name, const QString &fallback) {
        const QString option = QString::fromLatin1(name);
        return parser.isSet(option) ? parser.value(option) : fallback;
    };
    const PortSettings defaults;
    line.input = {.port = parser.value(QStringLiteral("input")),
                  .baudRate = value("baud", defaults.baudRate),
                  .dataBits = value("data-bits", defaults.dataBits),
                  .stopBits = value("stop-bits", defaults.stopBits)};
    if (parser.isSet(QStringLiteral("output")))
        line.output = {.port = parser.value(QStringLiteral("output")),
                       .baudRate = value("output-baud", defaults.baudRate),
                       .dataBits = value("output-data-bits", defaults.dataBits),
                       .stopBits = value("output-stop-bits", defaults.stopBits)};
    const QString interval = value("interval", QStringLiteral("500"));
    line.intervalOption = int(intervals.indexOf(interval));
    if (line.intervalOption < 0)
        fail(QStringLiteral("--interval is one of 200, 500, 800, 1000 and 5000, not %1")
                 .arg(interval));
    line.zone = value("zone", QStringLiteral("+1"));
    if (!zones.contains(line.zone))
        fail(QStringLiteral("--zone is one of -5, -4, -3, -2, -1, 0, +1, +2, +3 and +4, not %1")
                 .arg(line.zone));
    line.checksumTest = parser.isSet(QStringLiteral("checksum"));
    line.summerTime = parser.isSet(QStringLiteral("summer-time"));
    return line;
}
