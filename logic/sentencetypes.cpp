#include "logic/sentencetypes.h"

#include <optional>
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
        if (const std::optional<quint64> packed = pack(candidate))
            return m_packed.contains(*packed);
        return m_wide.contains(std::u16string(candidate.utf16(), size_t(candidate.size())));
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
                insert(from.first(n));
        }
    }

    QString text() const { return m_text; }

private:
    // Text received from a serial line is Latin-1: up to six such characters and the length
    // fit one integer, which hashes and compares far faster than a string.
    static std::optional<quint64> pack(QStringView text) {
        quint64 packed = quint64(text.size()) << 48;
        for (qsizetype i = 0; i < text.size(); ++i) {
            const char16_t c = text.at(i).unicode();
            if (c > 0xFF)
                return std::nullopt;
            packed |= quint64(c) << (8 * i);
        }
        return packed;
    }

    void insert(QStringView text) {
        if (const std::optional<quint64> packed = pack(text))
            m_packed.insert(*packed);
        else
            m_wide.insert(std::u16string(text.utf16(), size_t(text.size())));
    }

    QString m_text;
    std::unordered_set<quint64> m_packed;
    std::unordered_set<std::u16string> m_wide; // texts with a character beyond Latin-1
};

} // namespace

QString sentenceTypeList(QStringView buffer) {
    TypeList list;
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
