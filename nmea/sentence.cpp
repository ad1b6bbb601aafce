#include "nmea/sentence.h"

std::optional<QStringView> ExtractSentence(QStringView buffer, QStringView tag) {
    const qsizetype start = buffer.indexOf(tag);
    if (start < 0)
        return std::nullopt;
    const qsizetype lineFeed = buffer.indexOf(u'\n', start + tag.size());
    if (lineFeed < 0)
        return std::nullopt;
    qsizetype end = lineFeed;
    // Only a carriage return belongs to the line end; a bare line feed keeps the checksum whole.
    if (buffer.at(end - 1) == u'\r')
        --end;
    return buffer.sliced(start, end - start);
}

QString ComputeChecksum(QStringView sentence) {
    const qsizetype star = sentence.indexOf(u'*');
    const QStringView body = sentence.sliced(1, (star < 0 ? sentence.size() : star) - 1);
    unsigned char sum = 0;
    for (const QChar c : body)
        sum ^= static_cast<unsigned char>(c.unicode());
    return QStringLiteral("%1").arg(sum, 2, 16, QLatin1Char('0')).toUpper();
}

QStringView transmittedChecksum(QStringView sentence) {
    const qsizetype star = sentence.indexOf(u'*');
    if (star < 0)
        return {};
    return sentence.sliced(star + 1).left(2);
}

QStringList splitFields(QStringView sentence) {
    QStringList fields;
    for (const QStringView field : sentence.split(u','))
        fields.append(field.toString());
    return fields;
}

std::optional<QStringList> readSentence(QStringView buffer, QStringView tag, int minimumFields,
                                        bool checksumTest) {
    const std::optional<QStringView> sentence = ExtractSentence(buffer, tag);
    if (!sentence || !sentence->contains(u'*'))
        return std::nullopt;
    // Exact text comparison: a lower-case "6a" or a cut-off single digit does not match.
    if (checksumTest && ComputeChecksum(*sentence) != transmittedChecksum(*sentence))
        return std::nullopt;
    QStringList fields = splitFields(*sentence);
    if (fields.size() < minimumFields)
        return std::nullopt;
    return fields;
}
