#include "nmea/sentencetypes.h"

#include <string>
#include <unordered_set>

namespace {

constexpr qsizetype kCandidateLength = 6;

// The list text, and every text of one to six characters that starts at a "$" in it. A
// candidate is empty or starts with "$" and has at most six characters, so it occurs in the
// list exactly when it is one of these; looking it up costs the same however long the list is.
class TypeList {
public:
    bool contains(QStringView candidate) const {
        // An empty list contains nothing, not even the empty text; any other contains it.
        if (candidate.isEmpty())
            return !m_text.isEmpty();
        return m_starts.contains(key(candidate));
    }

    void append(QStringView entry) {
        const qsizetype oldSize = m_text.size();
        m_text += entry;
        m_text += u'\n';
        // Starts near the old end have grown longer, and the entry brings new ones.
        for (qsizetype j = qMax<qsizetype>(0, oldSize - kCandidateLength + 1); j < m_text.size();
             ++j) {
            if (m_text.at(j) != u'$')
                continue;
            const QStringView from = QStringView(m_text).sliced(j);
            for (qsizetype n = 1; n <= qMin(kCandidateLength, from.size()); ++n)
                m_starts.insert(key(from.first(n)));
        }
    }

    QString text() const { return m_text; }

private:
    // Six UTF-16 characters fit the string's inline storage: no allocation per lookup.
    static std::u16string key(QStringView text) {
        return std::u16string(text.utf16(), size_t(text.size()));
    }

    QString m_text;
    std::unordered_set<std::u16string> m_starts;
};

} // namespace

QString sentenceTypeList(QStringView buffer) {
    TypeList list;
    QStringView candidate;
    bool candidateTested = false;
    for (qsizetype i = 0; i < buffer.size(); ++i) {
        if (buffer.at(i) == u'$') {
            candidate = buffer.sliced(i).left(kCandidateLength);
            candidateTested = false;
        }
        // Once tested, an unchanged candidate is always found again: the list only grows.
        if (candidateTested)
            continue;
        candidateTested = true;
        if (!list.contains(candidate))
            list.append(candidate);
    }
    return list.text();
}
