#include "logic/receivelog.h"

#include "logic/sentence.h"
#include "logic/trace.h"

#include <algorithm>

ReceiveLog::ReceiveLog(QObject *parent)
    : QObject(parent) {}

ReceiveLog::~ReceiveLog() = default;

void ReceiveLog::append(const QString &chunk) {
    if (chunk.isEmpty())
        return;
    const qsizetype from = m_text.size();
    m_text += chunk;
    m_types.append(chunk);
    emit appended(from);
}

void ReceiveLog::clear() {
    m_text.clear();
    for (SentenceExtractor &extractor : m_extractors)
        extractor.reset();
    m_types.clear();
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
