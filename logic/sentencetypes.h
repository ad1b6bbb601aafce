#pragma once

#include <QString>
#include <QStringView>

#include <string>
#include <unordered_set>

// The list of sentence starts seen in the buffer: each distinct six-character candidate taken at
// a "$", once, in order of first occurrence, each followed by a line feed. A buffer that does not
// begin with "$" first contributes the empty candidate, which shows as a leading empty line.
// A candidate found anywhere in the list text so far (inside an entry, or across the line feed
// between two) is not listed again. The time taken grows with the buffer's length only. At most
// kMaxTypeEntries entries are listed: no receiver sends that many types, only line noise does.
QString sentenceTypeList(QStringView buffer);

inline constexpr qsizetype kMaxTypeEntries = 1000;

// A list text that answers "does this candidate occur in it" without searching it.
class TypeListText {
public:
    bool contains(QStringView candidate) const;
    // Does nothing once the list holds kMaxTypeEntries entries.
    void append(QStringView entry);
    const QString &text() const { return m_text; }
    qsizetype entries() const { return m_entries; }

private:
    void insert(QStringView text);

    // The list text, and every text of one to six characters that starts at a "$" in it. A
    // candidate is empty or starts with "$" and has at most six characters, so it occurs in the
    // list exactly when it is one of these.
    QString m_text;
    qsizetype m_entries = 0;
    std::unordered_set<quint64> m_packed;
    std::unordered_set<std::u16string> m_wide; // texts with a character beyond Latin-1
};

// sentenceTypeList of everything appended since the last clear(), kept as the text arrives: an
// append costs time in the chunk's length, list() at most a copy of the list and a few positions at
// the end, however long the buffer has grown.
class SentenceTypeTracker {
public:
    void append(QStringView chunk);
    void clear();
    QString list() const;

private:
    void commit(QStringView candidate);

    TypeListText m_list; // every candidate that later text can no longer change
    bool m_empty = true;
    // From the first "$" whose candidate the end of the text cuts short: at most five
    // characters. Such candidates grow with the next chunk, so only list() takes them as they
    // stand then.
    QString m_pending;
};
