// Arbitrary received bytes through the acceptance rule of the three decoded sentence types:
// extraction (whole and chunk by chunk), checksum, field split, and the display texts cut from an
// accepted sentence.
// Every property is checked against a plain restatement of the rule, not against the code.
#include "logic/decoders.h"
#include "logic/sentence.h"
#include "require.h"

#include <QString>
#include <QStringList>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>

using namespace Qt::StringLiterals;

namespace {

bool isUpperHex(QChar c) {
    return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F');
}

// The sentence starts at the tag's first occurrence, holds no line feed, and what follows it in
// the buffer is its line end: a line feed, or a carriage return and a line feed.
void checkExtraction(const QString &buffer, QStringView tag,
                     const std::optional<QStringView> &sentence) {
    const qsizetype start = buffer.indexOf(tag);
    const bool complete = start >= 0 && buffer.indexOf(u'\n', start) >= 0;
    require(sentence.has_value() == complete);
    if (!sentence)
        return;
    require(sentence->data() == buffer.constData() + start);
    require(sentence->startsWith(tag));
    require(!sentence->contains(u'\n'));
    const QStringView lineEnd = QStringView(buffer).sliced(start + sentence->size());
    if (lineEnd.startsWith(u'\n'))
        require(!sentence->endsWith(u'\r')); // a carriage return before the line feed is dropped
    else
        require(lineEnd.startsWith(u"\r\n"));
}

// The receive buffer grows chunk by chunk and is emptied now and then; after every chunk the
// extraction that searches only what was added must give what a search of the whole buffer gives.
// The first input bytes choose the chunk sizes and where the buffer is emptied.
void checkIncrementalExtraction(QStringView bytes, QStringView tag) {
    quint32 random = 0x9E3779B9u;
    for (qsizetype i = 0; i < std::min<qsizetype>(bytes.size(), 4); ++i)
        random = random * 31 + bytes.at(i).unicode();
    const auto next = [&random] {
        random ^= random << 13;
        random ^= random >> 17;
        random ^= random << 5;
        return random;
    };
    SentenceExtractor extractor(tag);
    qsizetype begin = 0;
    qsizetype end = 0;
    while (end < bytes.size()) {
        if (next() % 16 == 0) {
            begin = end;
            extractor.reset();
        }
        // Mostly small chunks, as a serial line delivers them, sometimes a large one.
        const quint32 chunk = next() % 8 == 0 ? next() % 4096 : next() % 64;
        end = std::min<qsizetype>(bytes.size(), end + 1 + chunk);
        const QStringView buffer = bytes.sliced(begin, end - begin);
        const std::optional<QStringView> found = extractor.extract(buffer);
        const std::optional<QStringView> expected = ExtractSentence(buffer, tag);
        require(found.has_value() == expected.has_value());
        if (found)
            require(found->data() == expected->data() && found->size() == expected->size());
    }
}

// Two upper-case hex digits of the exclusive-or of the codes between "$" and the first "*".
void checkChecksum(QStringView sentence) {
    const QString computed = ComputeChecksum(sentence);
    require(computed.size() == 2 && isUpperHex(computed.at(0)) && isUpperHex(computed.at(1)));
    unsigned sum = 0;
    for (qsizetype i = 1; i < sentence.size() && sentence.at(i) != u'*'; ++i)
        sum ^= sentence.at(i).unicode() & 0xFFu;
    require(computed.toUInt(nullptr, 16) == sum);
}

void checkFields(QStringView sentence) {
    const QStringList fields = splitFields(sentence);
    require(fields.join(u',') == sentence);
    require(fields.size() == sentence.count(u',') + 1);
}

bool acceptable(const std::optional<QStringView> &sentence, int minimumFields, bool checksumTest) {
    if (!sentence)
        return false;
    const qsizetype star = sentence->indexOf(u'*');
    if (star < 0)
        return false;
    if (checksumTest && sentence->sliced(star + 1).left(2) != ComputeChecksum(*sentence))
        return false;
    return sentence->count(u',') + 1 >= minimumFields;
}

// "hh:mm:ss" from "hhmmss...", "dd.mm.yy" from "ddmmyy...": the first six characters of the
// field in order, a separator after the second and after the fourth, whatever the field holds.
void checkCutInThree(const QString &text, const QString &field, QChar separator) {
    const qsizetype shown = std::min<qsizetype>(field.size(), 6);
    require(text.size() == shown + 2);
    const qsizetype first = std::min<qsizetype>(shown, 2);
    const qsizetype second = std::min<qsizetype>(shown, 4) + 1;
    require(text.at(first) == separator && text.at(second) == separator);
    QString kept = text;
    kept.remove(second, 1);
    kept.remove(first, 1);
    require(kept == field.left(6));
}

// Degrees, the degree piece, at most seven characters of minutes, " ' " and the hemisphere.
void checkPosition(const QString &text, const QString &value, int degreeDigits,
                   const QString &hemisphere) {
    const QString degrees = value.left(degreeDigits);
    const QString minutes = value.mid(degreeDigits, 7);
    require(text == degrees + u" \u00B0  "_s + minutes + u" ' "_s + hemisphere);
}

void checkTexts(const SentenceKind &kind, const QStringList &fields) {
    if (kind.tag == kGga.tag) {
        const GgaTexts texts = textsFromGga(fields);
        checkCutInThree(texts.time, fields.at(1), u':');
        checkPosition(texts.latitude, fields.at(2), 2, fields.at(3));
        checkPosition(texts.longitude, fields.at(4), 3, fields.at(5));
        require(texts.altitude == fields.at(9) + u" m"_s);
    } else if (kind.tag == kGsa.tag) {
        const GsaTexts texts = textsFromGsa(fields);
        for (int k = 0; k < 12; ++k)
            require(texts.prn[k] == fields.at(k + 3));
        require(texts.pdop == fields.at(15));
    } else {
        const RmcTexts texts = textsFromRmc(fields);
        require(texts.course == fields.at(8));
        require(texts.speed == fields.at(7));
        checkCutInThree(texts.date, fields.at(9), u'.');
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    // One character per received byte, as in the receive buffer.
    const QString buffer =
        QString::fromLatin1(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    for (const SentenceKind &kind : {kGga, kGsa, kRmc}) {
        const QStringView tag(kind.tag);
        const std::optional<QStringView> sentence = ExtractSentence(buffer, tag);
        checkExtraction(buffer, tag, sentence);
        checkIncrementalExtraction(buffer, tag);
        if (sentence) {
            checkChecksum(*sentence);
            checkFields(*sentence);
        }
        for (const bool checksumTest : {false, true}) {
            const std::optional<QStringList> fields =
                sentenceFields(buffer, tag, kind.minimumFields, checksumTest);
            require(fields.has_value() == acceptable(sentence, kind.minimumFields, checksumTest));
            if (!fields)
                continue;
            require(*fields == splitFields(*sentence));
            checkTexts(kind, *fields);
        }
    }
    return 0;
}
