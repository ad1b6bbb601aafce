#pragma once

#include "logic/displayfield.h"

#include <QObject>
#include <QString>

#include <array>
#include <vector>

// What the main window shows of the decoded data: the display fields by their names and the list
// of sentence types seen. The windows only paint it; nothing else keeps these values.
class DisplayModel : public QObject {
    Q_OBJECT
public:
    DisplayModel() = default;

    DisplayField Label19{QStringLiteral("Label19")}; // UTC date
    DisplayField Label20{QStringLiteral("Label20")}; // UTC time
    DisplayField Label21{QStringLiteral("Label21")}; // latitude
    DisplayField Label22{QStringLiteral("Label22")}; // longitude
    DisplayField Label23{QStringLiteral("Label23")}; // altitude
    DisplayField Label24{QStringLiteral("Label24")}; // local date and time
    DisplayField Label25{QStringLiteral("Label25")}; // course
    DisplayField Label26{QStringLiteral("Label26")}; // speed
    DisplayField Label13{QStringLiteral("Label13")}; // PDOP
    std::array<DisplayField, 12> Label12{
        DisplayField(QStringLiteral("Label12(0)")),  DisplayField(QStringLiteral("Label12(1)")),
        DisplayField(QStringLiteral("Label12(2)")),  DisplayField(QStringLiteral("Label12(3)")),
        DisplayField(QStringLiteral("Label12(4)")),  DisplayField(QStringLiteral("Label12(5)")),
        DisplayField(QStringLiteral("Label12(6)")),  DisplayField(QStringLiteral("Label12(7)")),
        DisplayField(QStringLiteral("Label12(8)")),  DisplayField(QStringLiteral("Label12(9)")),
        DisplayField(QStringLiteral("Label12(10)")), DisplayField(QStringLiteral("Label12(11)"))};

    // Every field, the satellite slots last.
    std::vector<DisplayField *> fields();

    // The sentence types seen, one per line, as the type list shows them.
    const QString &sentenceTypes() const { return m_sentenceTypes; }
    void setSentenceTypes(const QString &list);

signals:
    void sentenceTypesChanged();

private:
    QString m_sentenceTypes;
};
