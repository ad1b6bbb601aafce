#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

#include <optional>

class Form1;

// The free procedures that read the receive buffer and write the main window's display fields,
// and the program-wide values they share.
class Module1 {
public:
    explicit Module1(Form1 &form);

    std::optional<QStringList> ReadSentence(QStringView tag, int minimumFields) const;

    void DecodeGGA();
    void DecodeGSA();
    void DecodeRMC();
    void ResetDisplay();
    void ListSentenceTypes();

    qint16 tickCount = 0;    // poll ticks counted while the input port is open, 0..19 between ticks
    qint32 pollInterval = 0; // the interval last chosen, in milliseconds
    QString mapZoom;         // zoom level the map address carries

private:
    Form1 &m_form;
};
