#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

#include <functional>
#include <optional>

class DisplayModel;
class ReceiveLog;

// The free procedures that read the receive log and write the display fields, and the
// program-wide values they share.
class Module1 {
public:
    // checksumTest says, at the moment of each read, whether checksums are tested.
    Module1(DisplayModel &model, ReceiveLog &log, std::function<bool()> checksumTest);

    std::optional<QStringList> ReadSentence(QStringView tag, int minimumFields) const;

    void DecodeGGA();
    void DecodeGSA();
    void DecodeRMC();
    void ResetDisplay();
    void ListSentenceTypes();

    qint16 tickCount = 0; // poll ticks counted while the input port is open, 0..19 between ticks

    // The UTC time field of the RMC sentence whose date Label19 shows: the local time pairs that
    // date with the time of another sentence by it.
    const QString &dateSentAt() const { return m_dateSentAt; }

private:
    DisplayModel &m_model;
    ReceiveLog &m_log;
    std::function<bool()> m_checksumTest;
    QString m_dateSentAt;
};
