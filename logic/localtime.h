#pragma once

#include <QString>

#include <functional>
#include <optional>

// The text of the local date-and-time field, from the UTC date field ("06.12.26", or empty),
// the UTC time field ("23:00:00"), the time-zone entry ("+1", "-5", "0") and the summer-time
// tick. With a date: "07.12.2026 00:30:05", or the date alone at exactly midnight; without one:
// "00:30:05", wrapping past midnight. Day and month are always read first and written in the
// German form, whatever the machine's locale; the two-digit year means 20yy.
//
// No value means the field keeps its text: both fields empty (the display reset), or a text that
// cannot be read as a date or time ("::" without a fix, ".." without a date), or a zone entry that
// is not a whole number of hours from -24 to +24.
//
// dateSentAt is the UTC time field ("hhmmss", decimals allowed) of the RMC sentence that brought
// the date; the time comes from a GGA sentence, and the first of each in a poll cycle need not be
// of the same second. Where the two lie within an hour of each other across midnight, the date
// is taken as the day of the time shown, so that a new date never meets the last time of the
// day before, nor an old date the first time of the next. Otherwise, or without it, the date is
// taken as it stands.
std::optional<QString> localTimeText(const QString &date, const QString &time,
                                     const QString &offset, bool summerTime,
                                     const QString &dateSentAt = QString());

// Whether a date brought at dateSentAt may be paired with the time field at all: not when the
// two lie an hour or more apart, within the day as across midnight. The time shown is then not
// of the moment the date was sent (a device back from a pause, GGA sentences rejected), and the
// day it falls on is unknown. Without a readable time or dateSentAt, it may.
bool dateFitsTime(const QString &time, const QString &dateSentAt);

class DisplayModel;
class Module1;
class QObject;

// Writes the local date and time into Label24 from the UTC fields and the time the date was sent
// at, with the time-zone entry and summer-time tick as they are at this moment.
void UpdateLocalTime(DisplayModel &model, const QString &zone, bool summerTime,
                     const QString &dateSentAt);

// Makes UpdateLocalTime the change handler of the UTC time and date fields. The settings are read
// inside each change, so a change to them shows with the next date or time; the time the date was
// sent at is module1's. A date that does not fit the time shown (dateFitsTime) leaves the field
// to the next time. Ends with context.
void connectLocalTime(DisplayModel &model, const Module1 &module1, std::function<QString()> zone,
                      std::function<bool()> summerTime, QObject *context);
