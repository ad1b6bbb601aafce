#include "logic/receivelog.h"

#include "logic/sentence.h"
#include "logic/trace.h"

#include <algorithm>

ReceiveLog::ReceiveLog(QObject *parent)
    : QObject(parent) {}

ReceiveLog::~ReceiveLog() = default;

void ReceiveLog::append(const QString &chunk) {
    if (chunk.isEmpty() || m_full)
        return;
    const qsizetype from = m_text.size();
    const QStringView fits = QStringView(chunk).first(std::min(chunk.size(), kLimit - from));
    m_text += fits;
    m_types.append(fits);
    if (!fits.isEmpty())
        emit appended(from);
    if (m_text.size() == kLimit) {
        // Grown in steps, the text may hold far more room than characters; it grows no more.
        m_text.squeeze();
        markFull();
    }
}

void ReceiveLog::markFull() {
    if (std::exchange(m_full, true))
        return;
    trace({QStringLiteral("buffer"), QStringLiteral("full")});
    emit filled();
}

void ReceiveLog::clear() {
    m_full = false;
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
