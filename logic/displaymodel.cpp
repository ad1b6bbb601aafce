#include "logic/displaymodel.h"

#include "logic/trace.h"

std::vector<DisplayField *> DisplayModel::fields() {
    std::vector<DisplayField *> all{&Label19, &Label20, &Label21, &Label22, &Label23,
                                    &Label24, &Label25, &Label26, &Label13};
    for (DisplayField &slot : Label12)
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
