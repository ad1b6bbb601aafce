#include "faults.h"

FaultInjector::FaultInjector(const FaultSettings &settings)
    : m_settings(settings)
    , m_random(settings.seed) {}

QByteArray FaultInjector::frame(const QList<QByteArray> &sentences) {
    const QByteArray lineEnd = m_settings.bareLineFeed ? "\n" : "\r\n";
    QByteArray bytes;
    for (const QByteArray &sentence : sentences) {
        ++m_count;
        const qsizetype star = sentence.lastIndexOf('*');
        if (due(m_settings.cutEvery) && star > 1) {
            // Cut somewhere before the "*": the checksum never arrives, nor sometimes the line end.
            const qsizetype keep = std::uniform_int_distribution<qsizetype>(1, star - 1)(m_random);
            bytes += sentence.first(keep);
            if (std::bernoulli_distribution(0.5)(m_random))
                bytes += lineEnd;
        } else if (due(m_settings.badChecksumEvery) && star >= 0) {
            // Any non-zero change of the sum, still two upper-case hex digits.
            const int sum = sentence.mid(star + 1, 2).toInt(nullptr, 16);
            const int wrong = sum ^ std::uniform_int_distribution<int>(1, 255)(m_random);
            bytes += sentence.first(star + 1) +
                     QByteArray::number(wrong, 16).rightJustified(2, '0').toUpper() + lineEnd;
        } else {
            bytes += sentence + lineEnd;
        }
        if (due(m_settings.garbageEvery)) {
            const int length = std::uniform_int_distribution<int>(1, 16)(m_random);
            std::uniform_int_distribution<int> byte(0x00, 0xFF);
            for (int i = 0; i < length; ++i)
                bytes += static_cast<char>(byte(m_random));
        }
    }
    return bytes;
}
