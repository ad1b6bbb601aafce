// Arbitrary texts in the date, time and time-zone fields through the local-time reading.
// The input is the date, the time and the zone entry separated by line feeds, each byte one
// character (Latin-1); the summer-time tick is the lowest bit of the input's length.
// Every property is checked against a plain restatement of the rule, not against the code.
#include "logic/localtime.h"
#include "require.h"

#include <QDate>
#include <QString>
#include <QStringList>
#include <QTime>

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>

using namespace Qt::StringLiterals;

namespace {

bool digitsAt(const QString &text, std::initializer_list<int> positions) {
    for (const int pos : positions)
        if (text[pos] < u'0' || text[pos] > u'9')
            return false;
    return true;
}

int number(const QString &text, int pos) {
    return (text[pos].unicode() - u'0') * 10 + (text[pos + 1].unicode() - u'0');
}

// "hh:mm:ss" with a real time of day, in seconds since midnight.
std::optional<int> secondsOfDay(const QString &text) {
    if (text.size() != 8 || text[2] != u':' || text[5] != u':' ||
        !digitsAt(text, {0, 1, 3, 4, 6, 7}))
        return std::nullopt;
    const int h = number(text, 0), m = number(text, 3), s = number(text, 6);
    if (h > 23 || m > 59 || s > 59)
        return std::nullopt;
    return h * 3600 + m * 60 + s;
}

// "dd.mm.yy" with a real calendar day of 20yy; or "dd.mm.yyyy" when wide is set.
std::optional<QDate> calendarDay(const QString &text, bool wide) {
    const qsizetype size = wide ? 10 : 8;
    if (text.size() != size || text[2] != u'.' || text[5] != u'.' ||
        !digitsAt(text, {0, 1, 3, 4, 6, 7}) || (wide && !digitsAt(text, {8, 9})))
        return std::nullopt;
    const int year = wide ? number(text, 6) * 100 + number(text, 8) : 2000 + number(text, 6);
    const QDate day(year, number(text, 3), number(text, 0));
    return day.isValid() ? std::optional(day) : std::nullopt;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QString input =
        QString::fromLatin1(reinterpret_cast<const char *>(data), qsizetype(size));
    const QStringList parts = input.split(u'\n');
    const QString date = parts.value(0);
    const QString time = parts.value(1);
    const QString offset = parts.value(2);
    const bool summer = size % 2 == 1;

    const std::optional<QString> local = localTimeText(date, time, offset, summer);

    // Nothing to read: the display reset empties both fields and the local time stays.
    if (date.isEmpty() && time.isEmpty())
        require(!local);

    // A time, a date and one of the zone list's entries that can be read always give a text.
    static const QStringList zones = {u"-5"_s, u"-4"_s, u"-3"_s, u"-2"_s, u"-1"_s,
                                      u"0"_s,  u"+1"_s, u"+2"_s, u"+3"_s, u"+4"_s};
    const std::optional<int> utcSeconds = secondsOfDay(time);
    const std::optional<QDate> utcDay = calendarDay(date, false);
    if (utcSeconds && (date.isEmpty() || utcDay) && zones.contains(offset))
        require(local.has_value());

    if (!local)
        return 0;

    // Anything shown came from a readable time and zone, and is that time shifted by the zone.
    require(utcSeconds.has_value());
    bool zoneRead = false;
    const qint64 shift = (qint64(offset.toInt(&zoneRead)) + (summer ? 1 : 0)) * 3600;
    require(zoneRead);

    if (date.isEmpty()) {
        const std::optional<int> shown = secondsOfDay(*local);
        require(shown.has_value());
        constexpr qint64 day = 24 * 3600;
        require(((*shown - shift - *utcSeconds) % day + day) % day == 0);
        return 0;
    }

    // "dd.mm.yyyy hh:mm:ss", or the date alone at exactly midnight.
    require(utcDay.has_value());
    const std::optional<QDate> shownDay = calendarDay(local->left(10), true);
    require(shownDay.has_value());
    int shownSeconds = 0;
    if (local->size() != 10) {
        require(local->size() == 19 && local->at(10) == u' ');
        const std::optional<int> seconds = secondsOfDay(local->sliced(11));
        require(seconds.has_value() && *seconds != 0);
        shownSeconds = *seconds;
    }
    const qint64 shown = shownDay->toJulianDay() * 86400 + shownSeconds;
    const qint64 utc = utcDay->toJulianDay() * 86400 + *utcSeconds;
    require(shown - utc == shift);
    return 0;
}
