#pragma once

#include <QHash>
#include <QJsonArray>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringView>

#include <array>
#include <limits>
#include <optional>

// The sky of every constellation and the fix from any talker, decoded from the received text
// beside the main window's decoding, which it never touches: satellites in view (GSV) and in use
// (GSA), counted as satellites and not as signals, and the position of GGA, RMC and GNS from
// whichever talker sends them. Only sentences whose checksum is right count here.

enum class GnssSystem { Gps, Glonass, Galileo, BeiDou, Qzss, NavIc, Sbas };
inline constexpr std::array kGnssSystems{
    GnssSystem::Gps,  GnssSystem::Glonass, GnssSystem::Galileo, GnssSystem::BeiDou,
    GnssSystem::Qzss, GnssSystem::NavIc,   GnssSystem::Sbas};

// As the trace names it: "GPS", "GLONASS", "Galileo", "BeiDou", "QZSS", "NavIC", "SBAS".
QString systemName(GnssSystem system);

struct SkySatellite {
    int id = 0;                   // the satellite ID the receiver sends
    std::optional<int> elevation; // degrees, 0..90; absent where the receiver sent none
    std::optional<int> azimuth;   // degrees true, 0..359
    // C/N0 in dB-Hz for each signal ID it is in view on ("1" where the receiver sends no signal
    // ID); absent: in view on that signal, but not tracked. Empty: used, but in no GSV group.
    QMap<QString, std::optional<int>> snr;
    bool used = false; // named by the latest GSA for its system
    bool operator==(const SkySatellite &) const = default;
};

// The quality of a fix that is none.
inline const QString kSkyNoFix = QStringLiteral("kein Fix");

// The position from the latest GGA, RMC or GNS of any talker, with the dilution of precision
// from the latest GSA.
struct SkyFix {
    QString talker;  // "GN", "GP", …, of the sentence that brought the fix; empty before any
    QString quality; // in words, German: "kein Fix", "GPS", "DGPS", "RTK fest", "RTK gleitend", …
    std::optional<double> latitude;  // degrees, north positive
    std::optional<double> longitude; // degrees, east positive
    std::optional<double> altitude;  // metres above mean sea level (GGA, GNS)
    QString utcTime;                 // "hh:mm:ss" as sent, fraction dropped; empty when none
    std::optional<double> pdop, hdop, vdop;
    bool operator==(const SkyFix &) const = default;
};

class SkyDecoder {
public:
    // Satellites of a talker's and signal's GSV groups leave the view, and a system's used set
    // is forgotten, when nothing has refreshed them for this long.
    static constexpr qint64 kMaxAgeMs = 10000;

    // The received text (one character per byte) in chunks as they come; a sentence may be cut
    // anywhere between chunks. nowMs is a monotonic clock.
    void feed(QStringView chunk, qint64 nowMs);
    // Lets satellites and used sets older than kMaxAgeMs go.
    void expire(qint64 nowMs);
    // When expire() next has something to do; nothing while there is nothing to age.
    std::optional<qint64> nextExpiry() const;
    // Forgets everything, as when the input is deactivated.
    void clear();

    // The systems whose satellites changed since the last call, each once, in kGnssSystems order.
    QList<GnssSystem> takeChangedSystems();
    // Whether fix() changed since the last call.
    bool takeFixChanged();

    // In view or used, sorted by ID.
    QList<SkySatellite> satellites(GnssSystem system) const;
    const SkyFix &fix() const { return m_fix; }
    // When a sentence of this kind ("GGA", "RMC", "GNS", "GSA", "GSV", any talker) with a right
    // checksum last came; nothing before the first.
    std::optional<qint64> lastSeen(const QString &kind) const;

private:
    // A talker's two letters and a signal ID in one number.
    using GroupKey = quint32;
    // A satellite as one GSV group names it.
    struct GroupSatellite {
        GnssSystem system = GnssSystem::Gps;
        int id = 0;
        std::optional<int> elevation, azimuth, snr;
    };
    // Messages 1…i of a talker's and signal's group, while it is still coming.
    struct PendingGroup {
        int count = 0; // messages in the group, from message 1
        int received = 0;
        QList<GroupSatellite> satellites;
    };
    // The latest complete group of a talker and signal; none while that is empty.
    struct ViewGroup {
        GroupKey key = 0;
        QString signal;
        QList<GroupSatellite> satellites;
        qint64 refreshedMs = 0;
    };
    struct UsedSet {
        QList<int> ids; // sorted, unique; empty: nothing to age
        qint64 refreshedMs = 0;
    };

    void takeLine(QStringView sentence, bool overlong, qint64 nowMs);
    void appendUnfinished(QStringView piece);
    void decodeGsv(QStringView talker, const QList<QStringView> &fields, qint64 nowMs);
    void completeGroup(GroupKey key, const QString &signal, const PendingGroup &group,
                       qint64 nowMs);
    void breakGroups(QStringView talker);
    void decodeGsa(QStringView talker, const QList<QStringView> &fields, qint64 nowMs);
    void replaceUsed(GnssSystem system, QList<int> ids, qint64 nowMs);
    void decodeFix(QStringView talker, QStringView type, const QList<QStringView> &fields);
    void touch(GnssSystem system) { m_touched |= 1u << int(system); }
    void touch(const QList<GroupSatellite> &satellites);

    QString m_unfinished;    // the unfinished line from its last "$"; empty while it has none
    bool m_overlong = false; // that sentence outgrew any sentence: only its tag is kept
    QHash<GroupKey, PendingGroup> m_pending;
    QList<ViewGroup> m_groups; // in the order they were completed: the later gives the position
    // No later than anything ages, so that feeding byte by byte does not search every time.
    qint64 m_agesNoSoonerThan = std::numeric_limits<qint64>::max();
    std::array<UsedSet, kGnssSystems.size()> m_used;
    unsigned m_touched = 0; // a bit per system that something may have changed
    std::array<QList<SkySatellite>, kGnssSystems.size()> m_reported;
    std::array<std::optional<qint64>, 5> m_lastSeen; // GGA, RMC, GNS, GSA, GSV
    SkyFix m_fix;
    SkyFix m_reportedFix;
};

// The trace event for a system's satellites:
// ["sky","GPS",[{"id":5,"el":40,"az":120,"snr":{"1":42,"5":null},"used":true},…]]
QJsonArray skyTraceEvent(GnssSystem system, const QList<SkySatellite> &satellites);
// The trace event for the fix: ["fix",{"talker":"GN","quality":"GPS","lat":48.1173,
// "lon":11.5167,"alt":545.4,"utc":"12:35:19","pdop":2.5,"hdop":1.3,"vdop":2.1}], with null for
// what is not known.
QJsonArray fixTraceEvent(const SkyFix &fix);
