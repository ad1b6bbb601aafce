#include "nmea/sentencetypes.h"

QString sentenceTypeList(QStringView buffer) {
    QString list;
    QStringView candidate;
    bool candidateTested = false;
    for (qsizetype i = 0; i < buffer.size(); ++i) {
        if (buffer.at(i) == u'$') {
            candidate = buffer.sliced(i).left(6);
            candidateTested = false;
        }
        // Once tested, an unchanged candidate is always found again: the list only grows.
        if (candidateTested)
            continue;
        candidateTested = true;
        // An empty list contains nothing, not even the empty text.
        const bool listed = !list.isEmpty() && list.contains(candidate);
        if (!listed) {
            list += candidate;
            list += u'\n';
        }
    }
    return list;
}
