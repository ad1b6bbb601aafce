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

    // The fields by what they hold; the names in quotes are those of the main window's labels,
    // which the user and the trace see.
    DisplayField utcDate{QStringLiteral("Label19")};
    DisplayField utcTime{QStringLiteral("Label20")};
    DisplayField latitude{QStringLiteral("Label21")};
    DisplayField longitude{QStringLiteral("Label22")};
    DisplayField altitude{QStringLiteral("Label23")};
    DisplayField localDateTime{QStringLiteral("Label24")};
    DisplayField course{QStringLiteral("Label25")};
    DisplayField speed{QStringLiteral("Label26")};
    DisplayField pdop{QStringLiteral("Label13")};
    // The satellites used for the fix, one number each, the leftmost first.
    std::array<DisplayField, 12> satellites{
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
