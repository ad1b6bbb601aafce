#include "logic/sky.h"

#include "logic/sentence.h"

#include <QJsonObject>
#include <QJsonValue>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

using Fields = QList<QStringView>;

// No sentence comes near this; a longer run up to a line feed is garbage, of which only the tag
// is kept.
constexpr qsizetype kMaxSentence = 1024;
// The tag and the character after it, which tell whether it was a GSV.
constexpr qsizetype kKeptOfOverlong = 7;

enum Kind { Gga, Rmc, Gns, Gsa, Gsv, kKinds };
constexpr std::array<const char16_t *, kKinds> kKindNames{u"GGA", u"RMC", u"GNS", u"GSA", u"GSV"};

std::optional<Kind> kindOf(QStringView type) {
    for (int kind = 0; kind < kKinds; ++kind) {
        if (type == QStringView(kKindNames[kind]))
            return Kind(kind);
    }
    return std::nullopt;
}

bool isUpperLetter(QChar c) {
    return c >= u'A' && c <= u'Z';
}

std::optional<int> hexDigit(QChar c) {
    if (c >= u'0' && c <= u'9')
        return c.unicode() - u'0';
    if (c >= u'A' && c <= u'F')
        return c.unicode() - u'A' + 10;
    if (c >= u'a' && c <= u'f')
        return c.unicode() - u'a' + 10;
    return std::nullopt;
}

// Digits only: no sign, no space, no fraction; at most six of them.
std::optional<int> number(QStringView field) {
    if (field.isEmpty() || field.size() > 6)
        return std::nullopt;
    int value = 0;
    for (const QChar c : field) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
        value = value * 10 + (c.unicode() - u'0');
    }
    return value;
}

std::optional<int> numberIn(QStringView field, int lowest, int highest) {
    const std::optional<int> value = number(field);
    if (!value || *value < lowest || *value > highest)
        return std::nullopt;
    return value;
}

// An optional minus, digits and at most one point, with at least one digit: what receivers send.
// Anything else ("nan", "1e5", " 1") is no number.
std::optional<double> decimal(QStringView field) {
    QStringView digits = field;
    if (digits.startsWith(u'-'))
        digits = digits.sliced(1);
    bool point = false;
    bool digit = false;
    for (const QChar c : digits) {
        if (c == u'.' && !point)
            point = true;
        else if (c >= u'0' && c <= u'9')
            digit = true;
        else
            return std::nullopt;
    }
    bool ok = false;
    const double value = digit ? field.toDouble(&ok) : 0;
    return ok ? std::optional(value) : std::nullopt;
}

// "ddmm.mmmm" or "dddmm.mmmm" and the hemisphere letter, as signed degrees.
std::optional<double> coordinate(QStringView value, QStringView hemisphere, QChar positive,
                                 QChar negative, int maximum) {
    if (hemisphere.size() != 1 ||
        (hemisphere.front() != positive && hemisphere.front() != negative))
        return std::nullopt;
    if (value.startsWith(u'-') || !decimal(value))
        return std::nullopt;
    const qsizetype point = value.indexOf(u'.');
    const qsizetype whole = point < 0 ? value.size() : point;
    if (whole < 3)
        return std::nullopt; // no degree digit before the minutes' two
    const std::optional<int> degrees = number(value.first(whole - 2));
    const std::optional<double> minutes = decimal(value.sliced(whole - 2));
    if (!degrees || !minutes || *minutes >= 60)
        return std::nullopt;
    const double result = *degrees + *minutes / 60;
    if (result > maximum)
        return std::nullopt;
    return hemisphere.front() == positive ? result : -result;
}

bool allDigits(QStringView text) {
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

// "hhmmss" with any fraction, as "hh:mm:ss".
QString utcTime(QStringView field) {
    if (field.size() < 6 || !allDigits(field.first(6)))
        return {};
    const QStringView fraction = field.sliced(6);
    if (!fraction.isEmpty() && (fraction.front() != u'.' || !allDigits(fraction.sliced(1))))
        return {};
    // 60 for a leap second
    if (field.first(2) > u"23" || field.sliced(2, 2) > u"59" || field.sliced(4, 2) > u"60")
        return {};
    return u"%1:%2:%3"_s.arg(field.sliced(0, 2), field.sliced(2, 2), field.sliced(4, 2));
}

// Where a talker does not say the system, the number does. GN also carries the other systems'
// ranges; a GP number outside all ranges is taken as GPS, a GN one is shown nowhere.
std::optional<GnssSystem> systemOf(QStringView talker, int id) {
    const bool gp = talker == u"GP";
    const bool gn = talker == u"GN";
    if (gp || gn) {
        if (id >= 1 && id <= 32)
            return GnssSystem::Gps;
        if ((id >= 33 && id <= 64) || (id >= 120 && id <= 158))
            return GnssSystem::Sbas;
        if (id >= 193 && id <= 202)
            return GnssSystem::Qzss;
        if (gp)
            return GnssSystem::Gps;
        if (id >= 65 && id <= 96)
            return GnssSystem::Glonass;
        if ((id >= 201 && id <= 263) || (id >= 401 && id <= 437))
            return GnssSystem::BeiDou;
        if (id >= 301 && id <= 336)
            return GnssSystem::Galileo;
        return std::nullopt;
    }
    if (talker == u"GL")
        return GnssSystem::Glonass;
    if (talker == u"GA")
        return GnssSystem::Galileo;
    if (talker == u"GB" || talker == u"BD")
        return GnssSystem::BeiDou;
    if (talker == u"GQ" || talker == u"QZ")
        return GnssSystem::Qzss;
    if (talker == u"GI")
        return GnssSystem::NavIc;
    return std::nullopt;
}

// GP and GN name GPS satellite 1; a talker without a system names none.
bool isSatelliteTalker(QStringView talker) {
    return systemOf(talker, 1).has_value();
}

QStringView fieldAt(const Fields &fields, qsizetype index) {
    return index < fields.size() ? QStringView(fields.at(index)) : QStringView();
}

QJsonValue orNull(const std::optional<int> &value) {
    return value ? QJsonValue(*value) : QJsonValue();
}
QJsonValue orNull(const std::optional<double> &value) {
    return value ? QJsonValue(*value) : QJsonValue();
}
QJsonValue orNull(const QString &text) {
    return text.isEmpty() ? QJsonValue() : QJsonValue(text);
}

} // namespace

QString systemName(GnssSystem system) {
    switch (system) {
    case GnssSystem::Gps:
        return u"GPS"_s;
    case GnssSystem::Glonass:
        return u"GLONASS"_s;
    case GnssSystem::Galileo:
        return u"Galileo"_s;
    case GnssSystem::BeiDou:
        return u"BeiDou"_s;
    case GnssSystem::Qzss:
        return u"QZSS"_s;
    case GnssSystem::NavIc:
        return u"NavIC"_s;
    case GnssSystem::Sbas:
        return u"SBAS"_s;
    }
    return {};
}

void SkyDecoder::feed(QStringView chunk, qint64 nowMs) {
    expire(nowMs);
    qsizetype from = 0;
    while (from < chunk.size()) {
        const qsizetype lineFeed = chunk.indexOf(u'\n', from);
        if (lineFeed < 0) {
            appendUnfinished(chunk.sliced(from));
            return;
        }
        const QStringView piece = chunk.sliced(from, lineFeed - from);
        from = lineFeed + 1;
        // A sentence runs from the line's last "$": what came before is junk or a sentence cut
        // short by the receiver.
        if (const qsizetype dollar = piece.lastIndexOf(u'$'); dollar >= 0) {
            const QStringView sentence = piece.sliced(dollar);
            takeLine(sentence, sentence.size() > kMaxSentence, nowMs);
        } else if (!m_unfinished.isEmpty()) {
            if (!m_overlong && m_unfinished.size() + piece.size() > kMaxSentence) {
                m_overlong = true;
                m_unfinished.truncate(kKeptOfOverlong);
            }
            if (!m_overlong)
                m_unfinished.append(piece);
            takeLine(m_unfinished, m_overlong, nowMs);
        }
        m_unfinished.clear();
        m_overlong = false;
    }
}

void SkyDecoder::appendUnfinished(QStringView piece) {
    if (const qsizetype dollar = piece.lastIndexOf(u'$'); dollar >= 0) {
        m_unfinished = piece.sliced(dollar).toString();
        m_overlong = false;
    } else if (m_unfinished.isEmpty() || m_overlong) {
        return;
    } else {
        m_unfinished.append(piece);
    }
    if (m_unfinished.size() > kMaxSentence) {
        m_overlong = true;
        m_unfinished.truncate(kKeptOfOverlong);
    }
}

void SkyDecoder::takeLine(QStringView sentence, bool overlong, qint64 nowMs) {
    if (!overlong && sentence.endsWith(u'\r'))
        sentence.chop(1);
    // Most of the stream is other sentences: the tag decides before any checksum is computed.
    if (sentence.size() < 6 ||
        (sentence.size() > 6 && sentence.at(6) != u',' && sentence.at(6) != u'*'))
        return;
    const std::optional<Kind> kind = kindOf(sentence.sliced(3, 3));
    const QStringView talker = sentence.sliced(1, 2);
    if (!kind || !isUpperLetter(talker.front()) || !isUpperLetter(talker.back()) ||
        talker.front() == u'P')
        return;
    const qsizetype star = overlong ? -1 : sentence.indexOf(u'*');
    if (star < 0 || ComputeChecksum(sentence).compare(transmittedChecksum(sentence),
                                                      Qt::CaseInsensitive) != 0) {
        // The group this message belonged to cannot be whole; which signal it was is unknown.
        if (*kind == Gsv)
            breakGroups(talker);
        return;
    }
    m_lastSeen[*kind] = nowMs;
    // Views, not copies: a GSV has up to twenty-one fields.
    const Fields fields = sentence.first(star).split(u',');
    switch (*kind) {
    case Gsv:
        decodeGsv(talker, fields, nowMs);
        break;
    case Gsa:
        decodeGsa(talker, fields, nowMs);
        break;
    default:
        decodeFix(talker, sentence.sliced(3, 3), fields);
        break;
    }
}

void SkyDecoder::breakGroups(QStringView talker) {
    const GroupKey talkerBits =
        GroupKey(talker.front().unicode()) << 16 | GroupKey(talker.back().unicode()) << 8;
    m_pending.removeIf([talkerBits](const QHash<GroupKey, PendingGroup>::iterator &it) {
        return (it.key() & 0xFFFF00u) == talkerBits;
    });
}

void SkyDecoder::decodeGsv(QStringView talker, const Fields &fields, qint64 nowMs) {
    if (!isSatelliteTalker(talker) || fields.size() < 4)
        return;
    // Since NMEA 4.10 a signal ID follows the satellite blocks; only the field count tells.
    const qsizetype after = fields.size() - 4;
    QString signal = u"1"_s;
    if (after % 4 == 1) {
        const QStringView last = fields.last();
        if (last.size() != 1 || !hexDigit(last.front()))
            return; // a malformed message: its own group misses it and stays incomplete
        signal = last.toString().toUpper();
    } else if (after % 4 != 0) {
        return;
    }
    const qsizetype blocks = after / 4;
    const std::optional<int> index = numberIn(fields.at(2), 1, 9);
    if (blocks > 4 || !index)
        return;

    const GroupKey key = GroupKey(talker.front().unicode()) << 16 |
                         GroupKey(talker.back().unicode()) << 8 |
                         GroupKey(signal.front().unicode());
    PendingGroup group;
    if (*index == 1) {
        // A message 1 cuts short whatever group of this talker and signal was still coming.
        m_pending.remove(key);
        const std::optional<int> count = numberIn(fields.at(1), 1, 9);
        if (!count)
            return;
        group.count = *count;
    } else {
        const auto it = m_pending.constFind(key);
        if (it == m_pending.constEnd())
            return;
        group = *it;
        m_pending.erase(it);
        const QStringView count = fields.at(1);
        if ((!count.isEmpty() && number(count) != group.count) || *index != group.received + 1)
            return; // skipped, repeated or of another group: the group is lost
    }
    if (*index > group.count)
        return;
    group.received = *index;
    for (qsizetype block = 0; block < blocks; ++block) {
        const qsizetype at = 4 + 4 * block;
        const std::optional<int> id = number(fields.at(at));
        if (!id || *id == 0)
            continue;
        const std::optional<GnssSystem> system = systemOf(talker, *id);
        if (!system)
            continue;
        std::optional<int> azimuth = numberIn(fields.at(at + 2), 0, 360);
        if (azimuth == 360)
            azimuth = 0;
        group.satellites.append({*system, *id, numberIn(fields.at(at + 1), 0, 90), azimuth,
                                 numberIn(fields.at(at + 3), 0, 99)});
    }
    if (group.received == group.count)
        completeGroup(key, signal, group, nowMs);
    else
        m_pending.insert(key, group);
}

void SkyDecoder::completeGroup(GroupKey key, const QString &signal, const PendingGroup &group,
                               qint64 nowMs) {
    m_groups.removeIf([this, key](const ViewGroup &old) {
        if (old.key != key)
            return false;
        touch(old.satellites);
        return true;
    });
    touch(group.satellites);
    if (!group.satellites.isEmpty())
        m_groups.append(ViewGroup{key, signal, group.satellites, nowMs});
    m_agesNoSoonerThan = std::min(m_agesNoSoonerThan, nowMs + kMaxAgeMs);
}

void SkyDecoder::touch(const QList<GroupSatellite> &satellites) {
    for (const GroupSatellite &satellite : satellites)
        touch(satellite.system);
}

void SkyDecoder::decodeGsa(QStringView talker, const Fields &fields, qint64 nowMs) {
    if (fields.size() < 18)
        return;
    m_fix.pdop = decimal(fields.at(15));
    m_fix.hdop = decimal(fields.at(16));
    m_fix.vdop = decimal(fields.at(17));

    QList<int> ids;
    for (int at = 3; at < 15; ++at) {
        if (const std::optional<int> id = number(fields.at(at)); id && *id > 0)
            ids.append(*id);
    }
    std::array<QList<int>, kGnssSystems.size()> bySystem;
    std::array<bool, kGnssSystems.size()> replaced{};
    const QStringView systemId = fieldAt(fields, 18);
    const std::optional<int> systemNumber =
        systemId.size() == 1 ? hexDigit(systemId.front()) : std::nullopt;
    if (systemNumber) {
        static constexpr std::array kById{GnssSystem::Glonass, GnssSystem::Galileo,
                                          GnssSystem::BeiDou, GnssSystem::Qzss, GnssSystem::NavIc};
        if (*systemNumber == 1) {
            // GPS, and the SBAS and QZSS numbers sent along with it; QZSS only when one is
            // named: newer receivers send it under ID 5 in between, and clearing it here would
            // make it flicker.
            for (const int id : ids)
                bySystem[int(*systemOf(u"GP", id))].append(id);
            replaced[int(GnssSystem::Gps)] = replaced[int(GnssSystem::Sbas)] = true;
            replaced[int(GnssSystem::Qzss)] = !bySystem[int(GnssSystem::Qzss)].isEmpty();
        } else if (*systemNumber >= 2 && *systemNumber <= 6) {
            const GnssSystem system = kById[*systemNumber - 2];
            bySystem[int(system)] = ids;
            replaced[int(system)] = true;
        }
    } else {
        // Without a system ID an empty list says nothing about any system.
        for (const int id : ids) {
            if (const std::optional<GnssSystem> system = systemOf(talker, id)) {
                bySystem[int(*system)].append(id);
                replaced[int(*system)] = true;
            }
        }
    }
    for (const GnssSystem system : kGnssSystems) {
        if (replaced[int(system)])
            replaceUsed(system, bySystem[int(system)], nowMs);
    }
}

void SkyDecoder::replaceUsed(GnssSystem system, QList<int> ids, qint64 nowMs) {
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    UsedSet &used = m_used[int(system)];
    if (used.ids != ids)
        touch(system);
    used.ids = std::move(ids);
    used.refreshedMs = nowMs;
    m_agesNoSoonerThan = std::min(m_agesNoSoonerThan, nowMs + kMaxAgeMs);
}

void SkyDecoder::decodeFix(QStringView talker, QStringView type, const Fields &fields) {
    static const std::array<QString, 9> kGgaQuality{
        kSkyNoFix,         u"GPS"_s,       u"DGPS"_s,    u"PPS"_s,       u"RTK fest"_s,
        u"RTK gleitend"_s, u"geschätzt"_s, u"manuell"_s, u"Simulation"_s};
    // Mode letters of RMC and GNS, best first as GNS picks among its systems.
    static const QList<std::pair<QChar, QString>> kModes{
        {u'R', u"RTK fest"_s},   {u'F', u"RTK gleitend"_s}, {u'D', u"DGPS"_s},
        {u'A', u"GPS"_s},        {u'E', u"geschätzt"_s},    {u'M', u"manuell"_s},
        {u'S', u"Simulation"_s}, {u'N', kSkyNoFix}};

    QString quality;
    bool hasAltitude = true;
    if (type == u"GGA") {
        const std::optional<int> code = numberIn(fieldAt(fields, 6), 0, 8);
        if (!code)
            return;
        quality = kGgaQuality[*code];
    } else if (type == u"GNS") {
        const QStringView modes = fieldAt(fields, 6);
        for (const auto &[letter, words] : kModes) {
            if (modes.contains(letter)) {
                quality = words;
                break;
            }
        }
        if (quality.isEmpty())
            return;
    } else {
        hasAltitude = false;
        const QStringView status = fieldAt(fields, 2);
        if (status == u"V") {
            quality = kSkyNoFix;
        } else if (status == u"A") {
            // An RMC without a mode letter says only "a fix": it keeps the kind the GGA of the
            // same epoch named, rather than turning "DGPS" into "GPS" and back every second.
            const bool knownFix = !m_fix.quality.isEmpty() && m_fix.quality != kSkyNoFix;
            quality = knownFix ? m_fix.quality : u"GPS"_s;
            const QStringView mode = fieldAt(fields, 12);
            for (const auto &[letter, words] : kModes) {
                if (mode.size() == 1 && mode.front() == letter)
                    quality = words;
            }
        } else {
            return;
        }
    }

    SkyFix fix = m_fix;
    fix.talker = talker.toString();
    fix.quality = quality;
    fix.utcTime = utcTime(fieldAt(fields, 1));
    // Without a fix the last position stays; the quality says it is none.
    if (quality != kSkyNoFix) {
        const int at = type == u"RMC" ? 3 : 2;
        fix.latitude = coordinate(fieldAt(fields, at), fieldAt(fields, at + 1), u'N', u'S', 90);
        fix.longitude =
            coordinate(fieldAt(fields, at + 2), fieldAt(fields, at + 3), u'E', u'W', 180);
        if (hasAltitude)
            fix.altitude = decimal(fieldAt(fields, 9));
    }
    m_fix = fix;
}

void SkyDecoder::expire(qint64 nowMs) {
    if (nowMs < m_agesNoSoonerThan)
        return;
    m_groups.removeIf([this, nowMs](const ViewGroup &group) {
        if (group.refreshedMs + kMaxAgeMs > nowMs)
            return false;
        touch(group.satellites);
        return true;
    });
    for (const GnssSystem system : kGnssSystems) {
        UsedSet &used = m_used[int(system)];
        if (!used.ids.isEmpty() && used.refreshedMs + kMaxAgeMs <= nowMs) {
            used.ids.clear();
            touch(system);
        }
    }
    m_agesNoSoonerThan = nextExpiry().value_or(std::numeric_limits<qint64>::max());
}

std::optional<qint64> SkyDecoder::nextExpiry() const {
    std::optional<qint64> earliest;
    const auto consider = [&earliest](qint64 refreshedMs) {
        if (!earliest || refreshedMs + kMaxAgeMs < *earliest)
            earliest = refreshedMs + kMaxAgeMs;
    };
    for (const ViewGroup &group : m_groups)
        consider(group.refreshedMs);
    for (const UsedSet &used : m_used) {
        if (!used.ids.isEmpty())
            consider(used.refreshedMs);
    }
    return earliest;
}

void SkyDecoder::clear() {
    m_unfinished.clear();
    m_overlong = false;
    m_pending.clear();
    m_groups.clear();
    m_used = {};
    m_agesNoSoonerThan = std::numeric_limits<qint64>::max();
    m_lastSeen = {};
    m_fix = SkyFix{};
    for (const GnssSystem system : kGnssSystems)
        touch(system);
}

QList<GnssSystem> SkyDecoder::takeChangedSystems() {
    QList<GnssSystem> changed;
    for (const GnssSystem system : kGnssSystems) {
        if (!(m_touched & (1u << int(system))))
            continue;
        QList<SkySatellite> now = satellites(system);
        if (now != m_reported[int(system)]) {
            m_reported[int(system)] = std::move(now);
            changed.append(system);
        }
    }
    m_touched = 0;
    return changed;
}

bool SkyDecoder::takeFixChanged() {
    const bool changed = m_fix != m_reportedFix;
    m_reportedFix = m_fix;
    return changed;
}

QList<SkySatellite> SkyDecoder::satellites(GnssSystem system) const {
    QMap<int, SkySatellite> byId;
    for (const ViewGroup &group : m_groups) {
        for (const GroupSatellite &named : group.satellites) {
            if (named.system != system)
                continue;
            SkySatellite &satellite = byId[named.id];
            satellite.id = named.id;
            satellite.elevation = named.elevation;
            satellite.azimuth = named.azimuth;
            satellite.snr.insert(group.signal, named.snr);
        }
    }
    for (const int id : m_used[int(system)].ids) {
        SkySatellite &satellite = byId[id];
        satellite.id = id;
        satellite.used = true;
    }
    return byId.values();
}

std::optional<qint64> SkyDecoder::lastSeen(const QString &kind) const {
    const std::optional<Kind> index = kindOf(kind);
    return index ? m_lastSeen[*index] : std::nullopt;
}

QJsonArray skyTraceEvent(GnssSystem system, const QList<SkySatellite> &satellites) {
    QList<SkySatellite> sorted = satellites;
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const SkySatellite &a, const SkySatellite &b) { return a.id < b.id; });
    QJsonArray list;
    for (const SkySatellite &satellite : sorted) {
        QJsonObject snr;
        for (auto it = satellite.snr.cbegin(); it != satellite.snr.cend(); ++it)
            snr.insert(it.key(), orNull(it.value()));
        list.append(QJsonObject{{u"id"_s, satellite.id},
                                {u"el"_s, orNull(satellite.elevation)},
                                {u"az"_s, orNull(satellite.azimuth)},
                                {u"snr"_s, snr},
                                {u"used"_s, satellite.used}});
    }
    return QJsonArray{u"sky"_s, systemName(system), list};
}

QJsonArray fixTraceEvent(const SkyFix &fix) {
    return QJsonArray{u"fix"_s, QJsonObject{{u"talker"_s, orNull(fix.talker)},
                                            {u"quality"_s, orNull(fix.quality)},
                                            {u"lat"_s, orNull(fix.latitude)},
                                            {u"lon"_s, orNull(fix.longitude)},
                                            {u"alt"_s, orNull(fix.altitude)},
                                            {u"utc"_s, orNull(fix.utcTime)},
                                            {u"pdop"_s, orNull(fix.pdop)},
                                            {u"hdop"_s, orNull(fix.hdop)},
                                            {u"vdop"_s, orNull(fix.vdop)}}};
}
