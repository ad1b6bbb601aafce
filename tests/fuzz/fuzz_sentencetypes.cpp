// Arbitrary received bytes through the sentence-type list, compared with the rule written out
// plainly: at every position the candidate may change at a "$", then it is looked up in the
// whole list text, until the list holds its most entries; and the list kept chunk by chunk,
// compared with the whole-text one.
#include "logic/sentencetypes.h"
#include "require.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

#include <cstddef>
#include <cstdint>
#include <random>
#include <utility>

namespace {

QString referenceList(QStringView buffer) {
    QString list;
    QString candidate;
    qsizetype entries = 0;
    for (qsizetype i = 0; i < buffer.size() && entries < kMaxTypeEntries; ++i) {
        if (buffer.at(i) == u'$')
            candidate = buffer.mid(i, 6).toString();
        const bool listed = !list.isEmpty() && list.contains(candidate);
        if (!listed) {
            list += candidate + u'\n';
            ++entries;
        }
    }
    return list;
}

// The reference searches the whole list at every position; beyond this size it takes seconds.
constexpr qsizetype kReferenceLimit = 16 * 1024;

// Holds for every buffer whose candidates contain no line feed: each line is a candidate, listed
// once, in the order of first occurrence.
void checkLines(QStringView buffer, const QString &list) {
    QHash<QString, qsizetype> firstAt;
    QString candidate;
    for (qsizetype i = 0; i < buffer.size(); ++i) {
        if (i == 0 || buffer.at(i) == u'$') {
            candidate = buffer.at(i) == u'$' ? buffer.mid(i, 6).toString() : QString();
            if (candidate.contains(u'\n'))
                return;
            firstAt.insert(candidate, firstAt.value(candidate, i));
        }
    }
    require(list.isEmpty() == buffer.isEmpty());
    require(list.isEmpty() || list.endsWith(u'\n'));
    QStringList lines = list.split(u'\n');
    lines.removeLast();
    require(QSet<QString>(lines.cbegin(), lines.cend()).size() == lines.size());
    qsizetype previous = -1;
    for (const QString &line : std::as_const(lines)) {
        require(firstAt.contains(line));
        require(firstAt.value(line) > previous);
        previous = firstAt.value(line);
    }
}

// The same bytes fed to the tracker in chunks of random sizes, some of one character and some
// long, chosen from the input itself so that a failure repeats; the list is asked for now and
// then on the way, where it must be the whole-text list of the text so far.
void checkTracker(QStringView buffer, const QString &list) {
    std::minstd_rand random(qHash(buffer));
    SentenceTypeTracker tracker;
    int asked = 0;
    for (qsizetype at = 0; at < buffer.size();) {
        const qsizetype size = 1 + qsizetype(random() % (1u << (random() % 12)));
        tracker.append(buffer.sliced(at).left(size));
        at = qMin(at + size, buffer.size());
        if (asked < 4 && random() % 8 == 0) {
            require(tracker.list() == sentenceTypeList(buffer.first(at)));
            ++asked;
        }
    }
    require(tracker.list() == list);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    // One character per received byte, as in the receive buffer.
    const QString buffer =
        QString::fromLatin1(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const QString list = sentenceTypeList(buffer);
    if (buffer.size() <= kReferenceLimit)
        require(list == referenceList(buffer));
    checkLines(buffer, list);
    checkTracker(buffer, list);
    return 0;
}
