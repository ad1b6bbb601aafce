#include "commandline.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

using namespace Qt::StringLiterals;

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
    "  gpsd://[HOST][:PORT][/DEVICE]\n"
    "                   input: read the sentences gpsd relays from the receiver it holds\n"
    "                   (gpsd:// alone: gpsd on this machine, port 2947, any device)\n"
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

// The items as a sentence lists them: "200, 500, 800 or 1000".
QString listed(const QStringList &items, const QString &conjunction) {
    return items.first(items.size() - 1).join(u", "_s) + conjunction + items.back();
}

QStringList intervalTexts() {
    QStringList texts;
    for (const qint32 ms : kPollIntervals)
        texts.append(QString::number(ms));
    return texts;
}

QStringList zoneTexts() {
    QStringList texts;
    for (const QStringView zone : kZones)
        texts.append(zone.toString());
    return texts;
}

QString defaultInterval() {
    return QString::number(kPollIntervals[kDefaultIntervalOption]);
}

// An option besides --help and --version. Those only for the run without a window are refused
// without --headless, and like --headless they ask for that run before a display is needed.
struct Option {
    QString name;
    QString help;
    QString valueName; // empty for a switch
    bool headlessOnly;
};

// In the order --help lists them.
std::vector<Option> optionTable() {
    const PortSettings port;
    return {
        {u"headless"_s, u"Run without any window (see above)."_s, {}, false},
        {u"input"_s, u"With --headless: the receiver's port, as above."_s, u"TEXT"_s, true},
        {u"baud"_s, u"Its bits per second (default %1)."_s.arg(port.baudRate), u"N"_s, true},
        {u"data-bits"_s, u"Its data bits, 5 to 8 (default %1)."_s.arg(port.dataBits), u"N"_s, true},
        {u"stop-bits"_s, u"Its stop bits, 1 or 2 (default %1)."_s.arg(port.stopBits), u"N"_s, true},
        {u"output"_s, u"The port every received byte is passed on to."_s, u"TEXT"_s, true},
        {u"output-baud"_s, u"Its bits per second (default %1)."_s.arg(port.baudRate), u"N"_s, true},
        {u"output-data-bits"_s, u"Its data bits (default %1)."_s.arg(port.dataBits), u"N"_s, true},
        {u"output-stop-bits"_s, u"Its stop bits (default %1)."_s.arg(port.stopBits), u"N"_s, true},
        {u"interval"_s,
         u"Poll interval: %1 (default %2)."_s.arg(listed(intervalTexts(), u" or "_s),
                                                  defaultInterval()),
         u"MS"_s, true},
        {u"checksum"_s, u"Test each sentence's checksum."_s, {}, true},
        {u"zone"_s,
         u"Hours from UTC for the local time, %1 to %2 (default %3)."_s.arg(
             kZones.front(), kZones.back(), kDefaultZone),
         u"HOURS"_s, true},
        {u"summer-time"_s, u"One hour more for the local time."_s, {}, true},
    };
}

const std::vector<Option> &options() {
    static const std::vector<Option> table = optionTable();
    return table;
}

bool isOption(QStringView name) {
    return std::ranges::any_of(options(),
                               [name](const Option &option) { return option.name == name; });
}

void refuseHeadlessOnly(const QCommandLineParser &parser) {
    for (const Option &option : options()) {
        if (option.headlessOnly && parser.isSet(option.name))
            fail(u"--%1 is for --headless; the window has its lists"_s.arg(option.name));
    }
}

QString valueOr(const QCommandLineParser &parser, const QString &name, const QString &fallback) {
    return parser.isSet(name) ? parser.value(name) : fallback;
}

// The port --<portOption> names, its line from the options prefix + "baud" … or the defaults.
PortSettings portOf(const QCommandLineParser &parser, const QString &portOption,
                    const QString &prefix) {
    const PortSettings defaults;
    return {.port = parser.value(portOption),
            .baudRate = valueOr(parser, prefix + u"baud"_s, defaults.baudRate),
            .dataBits = valueOr(parser, prefix + u"data-bits"_s, defaults.dataBits),
            .stopBits = valueOr(parser, prefix + u"stop-bits"_s, defaults.stopBits)};
}

int intervalOption(const QString &text) {
    const QStringList intervals = intervalTexts();
    const qsizetype option = intervals.indexOf(text);
    if (option < 0)
        fail(u"--interval is one of %1, not %2"_s.arg(listed(intervals, u" and "_s), text));
    return int(option);
}

QString zone(const QString &text) {
    const QStringList zones = zoneTexts();
    if (!zones.contains(text))
        fail(u"--zone is one of %1, not %2"_s.arg(listed(zones, u" and "_s), text));
    return text;
}

} // namespace

bool asksForHeadless(int argc, char *argv[]) {
    // The options of the headless run count too: given without it, they are refused without
    // first needing a display.
    for (int i = 1; i < argc; ++i) {
        QByteArrayView arg(argv[i]);
        while (arg.startsWith('-'))
            arg = arg.sliced(1);
        arg = arg.first(arg.indexOf('=') < 0 ? arg.size() : arg.indexOf('='));
        if (isOption(QString::fromUtf8(arg)))
            return true;
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
    for (const Option &option : options())
        parser.addOption(QCommandLineOption(option.name, option.help, option.valueName));
    parser.process(app);

    CommandLine line;
    line.headless = parser.isSet(u"headless"_s);
    if (!line.headless) {
        refuseHeadlessOnly(parser);
        return line;
    }
    if (!parser.isSet(u"input"_s))
        fail(u"--headless needs --input TEXT"_s);
    line.input = portOf(parser, u"input"_s, QString());
    if (parser.isSet(u"output"_s))
        line.output = portOf(parser, u"output"_s, u"output-"_s);
    line.intervalOption = intervalOption(valueOr(parser, u"interval"_s, defaultInterval()));
    line.zone = zone(valueOr(parser, u"zone"_s, kDefaultZone.toString()));
    line.checksumTest = parser.isSet(u"checksum"_s);
    line.summerTime = parser.isSet(u"summer-time"_s);
    return line;
}
