#include "logic/sentence.h"

namespace {

// From the tag's "$" up to the line end; only a carriage return belongs to the line end, so a
// bare line feed keeps the checksum whole.
QStringView sentenceBetween(QStringView buffer, qsizetype start, qsizetype lineFeed) {
    qsizetype end = lineFeed;
    if (buffer.at(end - 1) == u'\r')
        --end;
    return buffer.sliced(start, end - start);
}

// The first occurrence of the tag at or after from. Jumping from one "$" to the next is several
// times faster than a general substring search: the character search is vectorised, and a
// receiver's text has a "$" only every few dozen characters.
qsizetype findTag(QStringView buffer, QStringView tag, qsizetype from) {
    const QChar first = tag.front();
    const QStringView rest = tag.sliced(1);
    for (qsizetype at = buffer.indexOf(first, from); at >= 0; at = buffer.indexOf(first, at + 1)) {
        if (buffer.sliced(at + 1).startsWith(rest))
            return at;
    }
    return -1;
}

} // namespace

std::optional<QStringView> ExtractSentence(QStringView buffer, QStringView tag) {
    const qsizetype start = buffer.indexOf(tag);
    if (start < 0)
        return std::nullopt;
    const qsizetype lineFeed = buffer.indexOf(u'\n', start + tag.size());
    if (lineFeed < 0)
        return std::nullopt;
    return sentenceBetween(buffer, start, lineFeed);
}

std::optional<QStringView> SentenceExtractor::extract(QStringView buffer) {
    if (buffer.size() < m_searchedTo)
        reset(); // not the buffer searched before: start afresh
    qsizetype lineFeedFrom = m_searchedTo;
    if (m_tagAt < 0) {
        // A tag may have begun in the last characters searched before.
        m_tagAt = findTag(buffer, m_tag, qMax<qsizetype>(0, m_searchedTo - m_tag.size() + 1));
        lineFeedFrom = m_tagAt + m_tag.size();
    }
    if (m_tagAt >= 0 && m_lineFeedAt < 0)
        m_lineFeedAt = buffer.indexOf(u'\n', lineFeedFrom);
    m_searchedTo = buffer.size();
    if (m_lineFeedAt < 0)
        return std::nullopt;
    return sentenceBetween(buffer, m_tagAt, m_lineFeedAt);
}

void SentenceExtractor::reset() {
    m_tagAt = -1;
    m_lineFeedAt = -1;
    m_searchedTo = 0;
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

std::optional<QStringList> sentenceFields(QStringView buffer, QStringView tag, int minimumFields,
                                          bool checksumTest) {
    return acceptSentence(ExtractSentence(buffer, tag), minimumFields, checksumTest);
}

std::optional<QStringList> acceptSentence(std::optional<QStringView> sentence, int minimumFields,
                                          bool checksumTest) {
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
