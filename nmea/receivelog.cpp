#include "nmea/receivelog.h"

#include "app/trace.h"
#include "nmea/sentence.h"

#include <algorithm>

ReceiveLog::ReceiveLog(QObject *parent)
    : QObject(parent) {}

ReceiveLog::~ReceiveLog() = default;

void ReceiveLog::append(const QString &chunk) {
    if (chunk.isEmpty())
        return;
    const qsizetype from = m_text.size();
    m_text += chunk;
    emit appended(from);
}

void ReceiveLog::clear() {
    m_text.clear();
    for (SentenceExtractor &extractor : m_extractors)
        extractor.reset();
    emit cleared();
    trace({QStringLiteral("buffer"), QStringLiteral("cleared")});
}

std::optional<QStringView> ReceiveLog::firstSentence(QStringView tag) {
    auto extractor = std::find_if(m_extractors.begin(), m_extractors.end(),
                                  [tag](const SentenceExtractor &e) { return e.tag() == tag; });
    if (extractor == m_extractors.end())
        extractor = m_extractors.insert(m_extractors.end(), SentenceExtractor(tag));
    return extractor->extract(m_text);
}
