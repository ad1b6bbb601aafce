#include "logic/sentencetypes.h"

#include <optional>

namespace {

constexpr qsizetype kCandidateLength = 6;

// Text received from a serial line is Latin-1: up to six such characters and the length fit one
// integer, which hashes and compares far faster than a string.
std::optional<quint64> pack(QStringView text) {
    quint64 packed = quint64(text.size()) << 48;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (c > 0xFF)
            return std::nullopt;
        packed |= quint64(c) << (8 * i);
    }
    return packed;
}

std::u16string wide(QStringView text) {
    return std::u16string(text.utf16(), size_t(text.size()));
}

} // namespace

bool TypeListText::contains(QStringView candidate) const {
    // An empty list contains nothing, not even the empty text; any other contains it.
    if (candidate.isEmpty())
        return !m_text.isEmpty();
    if (const std::optional<quint64> packed = pack(candidate))
        return m_packed.contains(*packed);
    return m_wide.contains(wide(candidate));
}

void TypeListText::append(QStringView entry) {
    if (m_entries >= kMaxTypeEntries)
        return;
    ++m_entries;
    const qsizetype oldSize = m_text.size();
    m_text += entry;
    m_text += u'\n';
    // Starts near the old end have grown longer, and the entry brings new ones.
    for (qsizetype j = qMax<qsizetype>(0, oldSize - kCandidateLength + 1); j < m_text.size(); ++j) {
        if (m_text.at(j) != u'$')
            continue;
        const QStringView from = QStringView(m_text).sliced(j);
        for (qsizetype n = 1; n <= qMin(kCandidateLength, from.size()); ++n)
            insert(from.first(n));
    }
}

void TypeListText::insert(QStringView text) {
    if (const std::optional<quint64> packed = pack(text))
        m_packed.insert(*packed);
    else
        m_wide.insert(wide(text));
}

QString sentenceTypeList(QStringView buffer) {
    TypeListText list;
    // Between two "$" the candidate stays the same, and once tested it is found on every later
    // test, since the list only grows: only the first position and each "$" need a test.
    if (!buffer.isEmpty() && buffer.front() != u'$')
        list.append(QStringView()); // the empty candidate finds the empty list
    for (qsizetype at = buffer.indexOf(u'$'); at >= 0; at = buffer.indexOf(u'$', at + 1)) {
        const QStringView candidate = buffer.sliced(at).left(kCandidateLength);
        if (!list.contains(candidate))
            list.append(candidate);
    }
    return list.text();
}

void SentenceTypeTracker::append(QStringView chunk) {
    if (chunk.isEmpty())
        return;
    if (m_empty && chunk.front() != u'$')
        m_list.append(QStringView()); // the empty candidate finds the empty list
    m_empty = false;

    // The candidates left pending come first: those the chunk completes are committed now.
    if (!m_pending.isEmpty()) {
        QString joined = m_pending;
        joined += chunk.left(kCandidateLength - 1);
        for (qsizetype at = 0; at >= 0; at = m_pending.indexOf(u'$', at + 1)) {
            if (joined.size() - at < kCandidateLength) {
                // Then the whole chunk is in joined, and every later "$" is cut short as well.
                m_pending = joined.sliced(at);
                return;
            }
            commit(QStringView(joined).sliced(at, kCandidateLength));
        }
        m_pending.clear();
    }
    for (qsizetype at = chunk.indexOf(u'$'); at >= 0; at = chunk.indexOf(u'$', at + 1)) {
        if (chunk.size() - at < kCandidateLength) {
            m_pending = chunk.sliced(at).toString();
            return;
        }
        commit(chunk.sliced(at, kCandidateLength));
    }
}

void SentenceTypeTracker::clear() {
    *this = SentenceTypeTracker();
}

QString SentenceTypeTracker::list() const {
    QString text = m_list.text();
    // Each pending candidate starts with "$" and has at most five characters: it occurs in the
    // list either within the committed text, which m_list answers, or in a stretch that starts
    // among that text's last four characters and runs into what the pending ones add here.
    QString end = text.right(kCandidateLength - 1);
    qsizetype entries = m_list.entries();
    for (qsizetype at = m_pending.indexOf(u'$'); at >= 0 && entries < kMaxTypeEntries;
         at = m_pending.indexOf(u'$', at + 1)) {
        const QStringView candidate = QStringView(m_pending).sliced(at);
        if (m_list.contains(candidate) || end.contains(candidate))
            continue;
        ++entries;
        text += candidate;
        text += u'\n';
        end += candidate;
        end += u'\n';
    }
    return text;
}

void SentenceTypeTracker::commit(QStringView candidate) {
    if (!m_list.contains(candidate))
        m_list.append(candidate);
}
