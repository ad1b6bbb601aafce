#pragma once

#include <QByteArray>
#include <QList>

#include <random>

struct FaultSettings {
    int badChecksumEvery = 0; // 0: never
    int garbageEvery = 0;
    int cutEvery = 0;
    bool bareLineFeed = false;
    unsigned seed = 1;
};

// Turns sentences into line bytes: adds line ends and spoils every Nth sentence as asked. The
// count runs over all sentences since the start, so faults drift through the sentence types.
class FaultInjector {
public:
    explicit FaultInjector(const FaultSettings &settings);

    QByteArray frame(const QList<QByteArray> &sentences);

private:
    bool due(int every) const { return every > 0 && m_count % every == 0; }

    FaultSettings m_settings;
    std::mt19937 m_random;
    qint64 m_count = 0;
};
