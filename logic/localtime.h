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
std::optional<QString> localTimeText(const QString &date, const QString &time,
                                     const QString &offset, bool summerTime);

class DisplayModel;
class QObject;

// Writes the local date and time into Label24 from the UTC fields, with the time-zone entry and
// summer-time tick as they are at this moment.
void UpdateLocalTime(DisplayModel &model, const QString &zone, bool summerTime);

// Makes UpdateLocalTime the change handler of the UTC time and date fields. The settings are read
// inside each change, so a change to them shows with the next date or time. Ends with context.
void connectLocalTime(DisplayModel &model, std::function<QString()> zone,
                      std::function<bool()> summerTime, QObject *context);
