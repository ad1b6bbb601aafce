#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

#include <optional>

// The three sentence types the monitor decodes, with the number of fields each decoder indexes.
struct SentenceKind {
    const char16_t *tag;
    int minimumFields;
};
inline constexpr SentenceKind kGga{u"$GPGGA", 10};
inline constexpr SentenceKind kGsa{u"$GPGSA", 16};
inline constexpr SentenceKind kRmc{u"$GPRMC", 10};

// First sentence of the given tag in the buffer, from its "$" up to its line end (the line feed
// and a carriage return right before it are not part of it). Nothing while no line feed follows.
std::optional<QStringView> ExtractSentence(QStringView buffer, QStringView tag);

// ExtractSentence for a buffer that only grows between calls: the first occurrence of the tag
// and of the line feed after it never change then, so each call searches only what was added
// since the last one. reset() whenever the buffer is emptied.
class SentenceExtractor {
public:
    explicit SentenceExtractor(QStringView tag)
        : m_tag(tag.toString()) {}

    QStringView tag() const { return m_tag; }
    std::optional<QStringView> extract(QStringView buffer);
    void reset();

private:
    QString m_tag;
    qsizetype m_tagAt = -1;
    qsizetype m_lineFeedAt = -1;
    qsizetype m_searchedTo = 0; // end of the buffer at the last search
};

// Exclusive-or of the 8-bit codes between "$" and the first "*", as two upper-case hex digits.
QString ComputeChecksum(QStringView sentence);

// Up to two characters after the first "*" (fewer when the sentence ends sooner).
QStringView transmittedChecksum(QStringView sentence);

// The sentence split at every ","; field 0 is the tag, the last field keeps "*" and checksum.
QStringList splitFields(QStringView sentence);

// The whole acceptance rule: extract, require a "*", compare checksums when asked, split,
// require at least minimumFields fields.
std::optional<QStringList> sentenceFields(QStringView buffer, QStringView tag, int minimumFields,
                                          bool checksumTest);
// The same rule for a sentence already extracted.
std::optional<QStringList> acceptSentence(std::optional<QStringView> sentence, int minimumFields,
                                          bool checksumTest);
