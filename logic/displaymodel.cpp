#include "logic/displaymodel.h"

#include "logic/trace.h"

std::vector<DisplayField *> DisplayModel::fields() {
    std::vector<DisplayField *> all{&utcDate,       &utcTime, &latitude, &longitude, &altitude,
                                    &localDateTime, &course,  &speed,    &pdop};
    for (DisplayField &slot : satellites)
        all.push_back(&slot);
    return all;
}

void DisplayModel::setSentenceTypes(const QString &list) {
    if (list == m_sentenceTypes)
        return;
    m_sentenceTypes = list;
    trace({QStringLiteral("types"), list});
    emit sentenceTypesChanged();
}
