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

// Exclusive-or of the 8-bit codes between "$" and the first "*", as two upper-case hex digits.
QString ComputeChecksum(QStringView sentence);

// Up to two characters after the first "*" (fewer when the sentence ends sooner).
QStringView transmittedChecksum(QStringView sentence);

// The sentence split at every ","; field 0 is the tag, the last field keeps "*" and checksum.
QStringList splitFields(QStringView sentence);

// The whole acceptance rule: extract, require a "*", compare checksums when asked, split,
// require at least minimumFields fields.
std::optional<QStringList> readSentence(QStringView buffer, QStringView tag, int minimumFields,
                                        bool checksumTest);
