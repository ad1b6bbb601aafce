// Arbitrary received bytes through the sky decoder, fed whole, in a few chunks and one byte at a
// time. Every property is the rule written out plainly, not a second decoder: values in their
// ranges, each satellite named under a talker or system ID that puts its number in its system,
// the same result however the text is cut, and every change reported once.
#include "logic/sky.h"
#include "require.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <optional>

using namespace Qt::StringLiterals;

namespace {

using Named = QPair<int, int>; // system, satellite ID

// Which system a number belongs to under GP or GN, or under the talker that names one system.
std::optional<GnssSystem> systemByTalker(const QString &talker, int id) {
    if (talker == u"GP" || talker == u"GN") {
        if (id >= 1 && id <= 32)
            return GnssSystem::Gps;
        if ((id >= 33 && id <= 64) || (id >= 120 && id <= 158))
            return GnssSystem::Sbas;
        if (id >= 193 && id <= 202)
            return GnssSystem::Qzss;
        if (talker == u"GP")
            return GnssSystem::Gps;
        if (id >= 65 && id <= 96)
            return GnssSystem::Glonass;
        if ((id >= 201 && id <= 263) || (id >= 401 && id <= 437))
            return GnssSystem::BeiDou;
        if (id >= 301 && id <= 336)
            return GnssSystem::Galileo;
        return std::nullopt;
    }
    static const QHash<QString, GnssSystem> byTalker{
        {u"GL"_s, GnssSystem::Glonass}, {u"GA"_s, GnssSystem::Galileo},
        {u"GB"_s, GnssSystem::BeiDou},  {u"BD"_s, GnssSystem::BeiDou},
        {u"GQ"_s, GnssSystem::Qzss},    {u"QZ"_s, GnssSystem::Qzss},
        {u"GI"_s, GnssSystem::NavIc}};
    if (const auto it = byTalker.constFind(talker); it != byTalker.constEnd())
        return *it;
    return std::nullopt;
}

// Every (system, number) some line with a right checksum could put on the sky: each number in a
// GSV or GSA under its talker's rule, and in a GSA with a system ID also under that ID.
QSet<Named> allowed(const QString &text) {
    QSet<Named> result;
    for (QString line : text.split(u'\n')) {
        line = line.mid(line.lastIndexOf(u'$'));
        if (line.endsWith(u'\r'))
            line.chop(1);
        const qsizetype star = line.indexOf(u'*');
        if (!line.startsWith(u'$') || star < 0)
            continue;
        unsigned sum = 0;
        for (qsizetype i = 1; i < star; ++i)
            sum ^= line.at(i).unicode() & 0xFFu;
        bool ok = false;
        if (line.mid(star + 1, 2).size() != 2 || line.mid(star + 1, 2).toUInt(&ok, 16) != sum ||
            !ok)
            continue;
        const QString type = line.mid(3, 3);
        if (type != u"GSV" && type != u"GSA")
            continue;
        const QStringList fields = line.first(star).split(u',');
        const int systemId = type == u"GSA" && fields.size() > 18 && fields.at(18).size() == 1
                                 ? fields.at(18).toInt()
                                 : 0;
        for (const QString &field : fields) {
            const int id = field.toInt(&ok);
            if (!ok)
                continue;
            // ID 1 splits its numbers as GP does; IDs 2 to 6 take any number.
            for (const QString &talker : {line.mid(1, 2), systemId == 1 ? u"GP"_s : QString()}) {
                if (const std::optional<GnssSystem> system = systemByTalker(talker, id))
                    result.insert({int(*system), id});
            }
            if (systemId >= 2 && systemId <= 6)
                result.insert(
                    {int(std::array{GnssSystem::Glonass, GnssSystem::Galileo, GnssSystem::BeiDou,
                                    GnssSystem::Qzss, GnssSystem::NavIc}[systemId - 2]),
                     id});
        }
    }
    return result;
}

void checkSatellites(const SkyDecoder &sky, const QSet<Named> &allowedNames) {
    for (const GnssSystem system : kGnssSystems) {
        const QList<SkySatellite> satellites = sky.satellites(system);
        for (qsizetype i = 0; i < satellites.size(); ++i) {
            const SkySatellite &satellite = satellites.at(i);
            require(satellite.id > 0);
            require(i == 0 || satellites.at(i - 1).id < satellite.id); // sorted, each once
            require(allowedNames.contains({int(system), satellite.id}));
            require(!satellite.elevation ||
                    (*satellite.elevation >= 0 && *satellite.elevation <= 90));
            require(!satellite.azimuth || (*satellite.azimuth >= 0 && *satellite.azimuth <= 359));
            // Seen only in a GSA: no position; in a GSV group: some signal.
            require(satellite.used || !satellite.snr.isEmpty());
            require(!satellite.snr.isEmpty() || (!satellite.elevation && !satellite.azimuth));
            for (auto it = satellite.snr.cbegin(); it != satellite.snr.cend(); ++it) {
                require(it.key().size() == 1 &&
                        QStringView(u"0123456789ABCDEF").contains(it.key().front()));
                require(!it.value() || (*it.value() >= 0 && *it.value() <= 99));
            }
        }
        const QJsonArray event = skyTraceEvent(system, satellites);
        require(event.size() == 3 && event.at(2).toArray().size() == satellites.size());
    }
}

void checkFix(const SkyFix &fix) {
    static const QStringList kQualities{
        QString(),     u"kein Fix"_s,     u"GPS"_s,       u"DGPS"_s,    u"PPS"_s,
        u"RTK fest"_s, u"RTK gleitend"_s, u"geschätzt"_s, u"manuell"_s, u"Simulation"_s};
    require(kQualities.contains(fix.quality));
    require(fix.talker.isEmpty() == fix.quality.isEmpty());
    require(fix.talker.isEmpty() || (fix.talker.size() == 2 && fix.talker.front() != u'P' &&
                                     std::all_of(fix.talker.begin(), fix.talker.end(),
                                                 [](QChar c) { return c >= u'A' && c <= u'Z'; })));
    require(!fix.latitude || std::abs(*fix.latitude) <= 90);
    require(!fix.longitude || std::abs(*fix.longitude) <= 180);
    if (!fix.utcTime.isEmpty()) {
        const QString &t = fix.utcTime;
        require(t.size() == 8 && t.at(2) == u':' && t.at(5) == u':');
        require(t.first(2) <= u"23" && t.sliced(3, 2) <= u"59" && t.sliced(6, 2) <= u"60");
    }
}

// What the previous takes reported, to hold each new take against.
struct Reported {
    std::array<QList<SkySatellite>, kGnssSystems.size()> satellites;
    SkyFix fix;
};

// A take reports exactly the systems whose list differs from the last take, in kGnssSystems
// order, and the fix exactly when it differs.
void checkTakes(SkyDecoder &sky, Reported &reported) {
    const QList<GnssSystem> changed = sky.takeChangedSystems();
    QList<GnssSystem> expected;
    for (const GnssSystem system : kGnssSystems) {
        const QList<SkySatellite> now = sky.satellites(system);
        if (now != reported.satellites[int(system)]) {
            expected.append(system);
            reported.satellites[int(system)] = now;
        }
    }
    require(changed == expected);
    require(sky.takeFixChanged() == (sky.fix() != reported.fix));
    reported.fix = sky.fix();
}

// After each "*" the checksum of the text from the last "$" before it on its line.
void setChecksums(QString &text) {
    for (qsizetype star = text.indexOf(u'*'); star >= 0; star = text.indexOf(u'*', star + 1)) {
        const qsizetype dollar = text.lastIndexOf(u'$', star);
        const qsizetype lineFeed = text.indexOf(u'\n', dollar);
        if (dollar < 0 || (lineFeed >= 0 && lineFeed < star))
            continue;
        unsigned sum = 0;
        for (qsizetype i = dollar + 1; i < star; ++i)
            sum ^= text.at(i).unicode() & 0xFFu;
        const QString hex = QString::number(sum, 16).rightJustified(2, u'0');
        text.replace(star + 1, std::min<qsizetype>(2, text.size() - star - 1), hex);
    }
}

bool sameSky(const SkyDecoder &a, const SkyDecoder &b) {
    for (const GnssSystem system : kGnssSystems) {
        if (a.satellites(system) != b.satellites(system))
            return false;
    }
    return a.fix() == b.fix() && a.nextExpiry() == b.nextExpiry();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    // One character per received byte, as the session hands them on.
    QString text =
        QString::fromLatin1(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    // A mutation almost always spoils the checksum; in half the inputs every sentence gets its
    // right one, so that mutations reach what comes after it.
    if (size > 0 && (data[0] & 1))
        setChecksums(text);
    constexpr qint64 now = 1000;

    SkyDecoder whole;
    whole.feed(text, now);
    checkSatellites(whole, allowed(text));
    checkFix(whole.fix());
    bool shown = false;
    for (const GnssSystem system : kGnssSystems)
        shown = shown || !whole.satellites(system).isEmpty();
    // Everything was refreshed at the same time, so all of it ages together.
    require(whole.nextExpiry() ==
            (shown ? std::optional<qint64>(now + SkyDecoder::kMaxAgeMs) : std::nullopt));

    // A few chunks cut where the first bytes say, the changes taken after each one.
    quint32 random = 0x9E3779B9u;
    for (qsizetype i = 0; i < std::min<qsizetype>(text.size(), 4); ++i)
        random = random * 31 + text.at(i).unicode();
    SkyDecoder chunked;
    Reported reported;
    for (qsizetype from = 0; from < text.size();) {
        random ^= random << 13;
        random ^= random >> 17;
        random ^= random << 5;
        const qsizetype length = std::min<qsizetype>(text.size() - from, 1 + random % 512);
        chunked.feed(QStringView(text).sliced(from, length), now);
        checkTakes(chunked, reported);
        from += length;
    }
    require(sameSky(chunked, whole));
    checkTakes(chunked, reported);
    require(chunked.takeChangedSystems().isEmpty() && !chunked.takeFixChanged());

    SkyDecoder bytes;
    for (const QChar c : text)
        bytes.feed(QStringView(&c, 1), now);
    require(sameSky(bytes, whole));

    // Ten seconds later all of it has gone, and clearing reports what was left.
    chunked.expire(now + SkyDecoder::kMaxAgeMs);
    for (const GnssSystem system : kGnssSystems)
        require(chunked.satellites(system).isEmpty());
    require(!chunked.nextExpiry());
    checkTakes(chunked, reported);
    chunked.clear();
    checkTakes(chunked, reported);
    require(chunked.fix() == SkyFix{});
    return 0;
}
