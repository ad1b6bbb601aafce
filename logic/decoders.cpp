#include "logic/decoders.h"

namespace {

// Characters first..last (counted from 1) of a field, as many of them as it has.
QString chars(const QString &field, int first, int last) {
    return field.mid(first - 1, last - first + 1);
}

QString position(const QString &value, int degreeDigits, const QString &hemisphere) {
    return chars(value, 1, degreeDigits) + kDegreePiece +
           chars(value, degreeDigits + 1, degreeDigits + 7) + QStringLiteral(" '") + u' ' +
           hemisphere;
}

} // namespace

GgaTexts textsFromGga(const QStringList &fields) {
    const QString &time = fields.at(1);
    return {
        fields.at(9) + QStringLiteral(" m"),
        position(fields.at(2), 2, fields.at(3)),
        position(fields.at(4), 3, fields.at(5)),
        chars(time, 1, 2) + u':' + chars(time, 3, 4) + u':' + chars(time, 5, 6),
    };
}

GsaTexts textsFromGsa(const QStringList &fields) {
    GsaTexts texts;
    for (int k = 0; k < 12; ++k)
        texts.prn[k] = fields.at(k + 3);
    texts.pdop = fields.at(15);
    return texts;
}

RmcTexts textsFromRmc(const QStringList &fields) {
    const QString &date = fields.at(9);
    return {
        fields.at(8),
        fields.at(7),
        chars(date, 1, 2) + u'.' + chars(date, 3, 4) + u'.' + chars(date, 5, 6),
    };
}
