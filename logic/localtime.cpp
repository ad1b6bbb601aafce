#include "logic/localtime.h"

#include <QDateTime>

#include <cstdlib>

namespace {

// Value of the two ASCII digits at pos, or nothing.
std::optional<int> twoDigits(const QString &text, int pos) {
    const QChar high = text[pos];
    const QChar low = text[pos + 1];
    if (high < u'0' || high > u'9' || low < u'0' || low > u'9')
        return std::nullopt;
    return (high.unicode() - u'0') * 10 + (low.unicode() - u'0');
}

// "hh:mm:ss", exactly as the GGA decoder writes it.
std::optional<QTime> readTime(const QString &text) {
    if (text.size() != 8 || text[2] != u':' || text[5] != u':')
        return std::nullopt;
    const auto hours = twoDigits(text, 0);
    const auto minutes = twoDigits(text, 3);
    const auto seconds = twoDigits(text, 6);
    if (!hours || !minutes || !seconds)
        return std::nullopt;
    const QTime time(*hours, *minutes, *seconds);
    return time.isValid() ? std::optional(time) : std::nullopt;
}

// "dd.mm.yy", exactly as the RMC decoder writes it; receivers report years of this century.
std::optional<QDate> readDate(const QString &text) {
    if (text.size() != 8 || text[2] != u'.' || text[5] != u'.')
        return std::nullopt;
    const auto day = twoDigits(text, 0);
    const auto month = twoDigits(text, 3);
    const auto year = twoDigits(text, 6);
    if (!day || !month || !year)
        return std::nullopt;
    const QDate date(2000 + *year, *month, *day);
    return date.isValid() ? std::optional(date) : std::nullopt;
}

constexpr int kDay = 24 * 3600;
constexpr int kTogether = 3600; // sentences closer than this belong to the same moment

// Seconds from `dateSentAt` ("hhmmss…") to `time`, both taken on one day; nothing when
// dateSentAt cannot be read.
std::optional<int> secondsAfterDate(QTime time, const QString &dateSentAt) {
    const auto sentAt =
        readTime(dateSentAt.mid(0, 2) + u':' + dateSentAt.mid(2, 2) + u':' + dateSentAt.mid(4, 2));
    if (!sentAt)
        return std::nullopt;
    return sentAt->secsTo(time);
}

// The day of `time`, from the date that came with the time `dateSentAt`.
QDate dayOfTime(QDate date, QTime time, const QString &dateSentAt) {
    const std::optional<int> later = secondsAfterDate(time, dateSentAt);
    if (!later)
        return date;
    if (*later > kDay - kTogether)
        return date.addDays(-1); // the last seconds of the day before the date
    if (*later < kTogether - kDay)
        return date.addDays(1); // the first seconds of the day after
    return date;
}

} // namespace

bool dateFitsTime(const QString &time, const QString &dateSentAt) {
    const auto utcTime = readTime(time);
    if (!utcTime)
        return true;
    const std::optional<int> later = secondsAfterDate(*utcTime, dateSentAt);
    if (!later)
        return true;
    const int apart = std::abs(*later);
    return apart < kTogether || apart > kDay - kTogether;
}

std::optional<QString> localTimeText(const QString &date, const QString &time,
                                     const QString &offset, bool summerTime,
                                     const QString &dateSentAt) {
    if (date.isEmpty() && time.isEmpty())
        return std::nullopt;
    const auto utcTime = readTime(time);
    if (!utcTime)
        return std::nullopt;
    bool offsetRead = false;
    const int zoneHours = offset.toInt(&offsetRead);
    // No zone is a day or more away; anything larger would write a year of five digits.
    if (!offsetRead || zoneHours < -24 || zoneHours > 24)
        return std::nullopt;
    const qint64 shift = (qint64(zoneHours) + (summerTime ? 1 : 0)) * 3600;

    if (date.isEmpty()) {
        constexpr qint64 day = 24 * 3600;
        const qint64 seconds = ((utcTime->msecsSinceStartOfDay() / 1000 + shift) % day + day) % day;
        return QTime::fromMSecsSinceStartOfDay(int(seconds * 1000)).toString(u"HH:mm:ss");
    }

    const auto utcDate = readDate(date);
    if (!utcDate)
        return std::nullopt;
    const QDateTime local =
        QDateTime(dayOfTime(*utcDate, *utcTime, dateSentAt), *utcTime, Qt::UTC).addSecs(shift);
    if (!local.isValid())
        return std::nullopt;
    if (local.time() == QTime(0, 0))
        return local.toString(u"dd.MM.yyyy");
    return local.toString(u"dd.MM.yyyy HH:mm:ss");
}
