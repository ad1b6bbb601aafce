#include "logic/localtime.h"

#include "logic/displaymodel.h"

// Runs inside every change of the UTC time field; the date field already holds this tick's date.
void UpdateLocalTime(DisplayModel &model, const QString &zone, bool summerTime) {
    const std::optional<QString> local =
        localTimeText(model.Label19.text(), model.Label20.text(), zone, summerTime);
    if (local)
        model.Label24.write(*local);
}

void connectLocalTime(DisplayModel &model, std::function<QString()> zone,
                      std::function<bool()> summerTime, QObject *context) {
    QObject::connect(&model.Label20, &DisplayField::changed, context,
                     [&model, zone = std::move(zone), summerTime = std::move(summerTime)] {
                         UpdateLocalTime(model, zone(), summerTime());
                     });
}
