#include "logic/localtime.h"

#include "logic/displaymodel.h"
#include "logic/module1.h"

// Runs inside every change of the UTC time field and of the UTC date field. The date is paired
// with the time as the times they were sent at allow: the first RMC of a cycle may be decoded a
// tick before the first GGA, or after it.
void UpdateLocalTime(DisplayModel &model, const QString &zone, bool summerTime,
                     const QString &dateSentAt) {
    const std::optional<QString> local =
        localTimeText(model.utcDate.text(), model.utcTime.text(), zone, summerTime, dateSentAt);
    if (local)
        model.localDateTime.write(*local);
}

void connectLocalTime(DisplayModel &model, const Module1 &module1, std::function<QString()> zone,
                      std::function<bool()> summerTime, QObject *context) {
    const auto update = [&model, &module1, zone = std::move(zone),
                         summerTime = std::move(summerTime)] {
        UpdateLocalTime(model, zone(), summerTime(), module1.dateSentAt());
    };
    QObject::connect(&model.utcTime, &DisplayField::changed, context, update);
    // A new date counts as much as a new time: the local field must never pair the old date with
    // the time beside it, as when the stream stops after a date change. Only the display reset
    // empties the date, just before the time; recomputing then would write the time alone. A date
    // sent long before or after the time shown would put that time on the wrong day: the field
    // keeps its text until the time of the new date arrives.
    QObject::connect(&model.utcDate, &DisplayField::changed, context, [&model, &module1, update] {
        if (!model.utcDate.text().isEmpty() &&
            dateFitsTime(model.utcTime.text(), module1.dateSentAt()))
            update();
    });
}
