// The main window as a user first meets it: defaults, lists, geometry and keyboard order.
#include "gpsd.h"
#include "logic/portname.h"
#include "ptypair.h"
#include "session/session.h"
#include "ui_form1.h"
#include "windows/captionbutton.h"
#include "windows/form1.h"
#include "windows/indicator.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QCompleter>
#include <QLabel>
#include <QPushButton>
#include <QStringListModel>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTest>

using namespace Qt::StringLiterals;

class tst_Form1 : public QObject {
    Q_OBJECT
private slots:
    void defaults();
    void lists_data();
    void lists();
    void typedPortValuesAccepted();
    void portListsOfferPresentDevices_data();
    void portListsOfferPresentDevices();
    void inputListOffersGpsd();
    void timeZoneAcceptsOnlyItsEntries();
    void geometry_data();
    void geometry();
    void keyboardOrder();
    void tabEntersTheOptionsAtTheSelection_data();
    void tabEntersTheOptionsAtTheSelection();
    void menuBar();
    void captionsFitWhole();
};

void tst_Form1::defaults() {
    Session session;
    Form1 form(session);
    Ui::Form1 &ui = form.ui();
    QCOMPARE(form.windowTitle(), u"Pelora"_s);
    QCOMPARE(ui.Combo6->currentText(), u"+1"_s);
    QVERIFY(ui.Option1_1->isChecked());
    QVERIFY(!ui.Check1->isChecked());
    QVERIFY(!ui.Check2->isChecked());
    QCOMPARE(session.pollTimer().objectName(), u"Timer1"_s);
    QVERIFY(!session.pollTimer().isActive());
    QCOMPARE(session.pollTimer().interval(), 500);
    QVERIFY(session.receiveLog().text().isEmpty());
    QVERIFY(ui.Text2->text().isEmpty());
    QVERIFY(session.model().sentenceTypes().isEmpty());
    for (DisplayField *field : session.model().fields())
        QVERIFY2(field->text().isEmpty(), qPrintable(field->fieldName()));
    QVERIFY(ui.Command3->text().isEmpty());
    QVERIFY(ui.Command7->text().isEmpty());
    QCOMPARE(Indicator::colour(ui.Command3), QColor(255, 0, 0));
    QCOMPARE(Indicator::colour(ui.Command7), QColor(255, 0, 0));
    QCOMPARE(ui.Label12_0->textFormat(), Qt::PlainText);
    QCOMPARE(session.model().satellites[11].fieldName(), u"Label12(11)"_s);
}

void tst_Form1::lists_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("items");

    QStringList ports;
    for (int i = 1; i <= 20; ++i)
        ports << QString::number(i);
    const QStringList bauds{u"2400"_s, u"4800"_s, u"9600"_s, u"19200"_s, u"38400"_s, u"57600"_s};
    const QStringList parity{u"N"_s, u"E"_s, u"O"_s, u"M"_s, u"S"_s};
    const QStringList dataBits{u"5"_s, u"6"_s, u"7"_s, u"8"_s};
    const QStringList stopBits{u"1"_s, u"2"_s};
    for (int side = 0; side < 2; ++side) {
        const int base = side == 0 ? 1 : 7;
        auto row = [&](int offset, const QString &text, const QStringList &items) {
            const QString name = u"Combo"_s + QString::number(base + offset);
            QTest::newRow(qPrintable(name)) << name << text << items;
        };
        row(0, u"1"_s, ports);
        row(1, u"4800"_s, bauds);
        row(2, u"N"_s, parity);
        row(3, u"8"_s, dataBits);
        row(4, u"1"_s, stopBits);
    }
    QTest::newRow("Combo6") << u"Combo6"_s << u"+1"_s
                            << QStringList{u"-5"_s, u"-4"_s, u"-3"_s, u"-2"_s, u"-1"_s,
                                           u"0"_s,  u"+1"_s, u"+2"_s, u"+3"_s, u"+4"_s};
}

void tst_Form1::lists() {
    QFETCH(QString, name);
    QFETCH(QString, text);
    QFETCH(QStringList, items);
    Session session;
    Form1 form(session);
    auto *combo = form.findChild<QComboBox *>(name);
    QVERIFY(combo);
    QCOMPARE(combo->currentText(), text);
    QStringList actual;
    for (int i = 0; i < combo->count(); ++i)
        actual << combo->itemText(i);
    QCOMPARE(actual, items);
    QCOMPARE(combo->isEditable(), name != u"Combo6"_s);
}

void tst_Form1::typedPortValuesAccepted() {
    // Confirmed with Enter, a typed value is used as it is but never joins the list's entries.
    Session session;
    Form1 form(session);
    form.show();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    int editable = 0;
    for (QComboBox *combo : form.findChildren<QComboBox *>()) {
        if (!combo->isEditable())
            continue;
        ++editable;
        const int entries = combo->count();
        combo->setFocus();
        combo->lineEdit()->selectAll();
        QTest::keyClicks(combo, u"115200"_s);
        QTest::keyClick(combo, Qt::Key_Return);
        QCOMPARE(combo->currentText(), u"115200"_s);
        QVERIFY2(combo->count() == entries, qPrintable(combo->objectName()));
    }
    QCOMPARE(editable, 10);
}

void tst_Form1::portListsOfferPresentDevices_data() {
    QTest::addColumn<QString>("name");
    QTest::newRow("input") << u"Combo1"_s;
    QTest::newRow("output") << u"Combo7"_s;
}

void tst_Form1::portListsOfferPresentDevices() {
    QFETCH(QString, name);
    QStringList present{u"/dev/serial/by-id/usb-Acme_GNSS-if00"_s, u"/dev/ttyACM0"_s};
    Desktop desktop;
    desktop.presentPorts = [&] { return present; };
    Session session;
    Form1 form(session, desktop);
    form.show();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    auto *list = form.findChild<QComboBox *>(name);
    QVERIFY(list);
    QCOMPARE(list->toolTip(), portToolTip(u"1"_s));

    list->setFocus();
    // Plugged in after the list got the focus: the first keystroke looks again.
    present << u"/dev/ttyUSB0"_s;
    list->lineEdit()->selectAll();
    QTest::keyClicks(list, u"usb"_s);
    QCompleter *completer = list->lineEdit()->completer();
    QVERIFY(completer->popup()->isVisible());
    QCOMPARE(completer->completionCount(), 2);
    QTest::keyClick(completer->popup(), Qt::Key_Down);
    QTest::keyClick(completer->popup(), Qt::Key_Down);
    QTest::keyClick(completer->popup(), Qt::Key_Return);
    QCOMPARE(list->currentText(), u"/dev/ttyUSB0"_s);
    QCOMPARE(list->toolTip(), u"\u00d6ffnet /dev/ttyUSB0"_s);
    QCOMPARE(list->count(), 20);
    list->setCurrentIndex(11);
    QCOMPARE(list->toolTip(), portToolTip(u"12"_s));
}

// Where gpsd listens on this machine, the input list offers it; the look is made as the list
// gets the focus, and never while a port is active.
void tst_Form1::inputListOffersGpsd() {
    PtyPair line;
    QVERIFY2(line.start(), qPrintable(line.error()));
    TestGpsd gpsd;
    QVERIFY2(gpsd.start({line.second()}), qPrintable(gpsd.error()));
    Desktop desktop;
    desktop.presentPorts = [] { return QStringList{u"/dev/ttyACM0"_s}; };
    desktop.gpsdPort = gpsd.port();
    Session session;
    Form1 form(session, desktop);
    form.show();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    QComboBox *input = form.ui().Combo1;
    const auto offered = [&](QComboBox *list) {
        return qobject_cast<QStringListModel *>(list->lineEdit()->completer()->model())
            ->stringList();
    };
    const auto focusAgain = [&] {
        form.ui().Combo2->setFocus();
        input->setFocus();
    };
    const QString text = u"gpsd://:%1"_s.arg(gpsd.port());
    // gpsd is busy with the receiver just after its start, and may not answer the first look.
    QTRY_VERIFY_WITH_TIMEOUT((focusAgain(), offered(input).size() == 2), 10000);
    QCOMPARE(offered(input), (QStringList{text, u"/dev/ttyACM0"_s}));
    form.ui().Combo7->setFocus();
    QCOMPARE(offered(form.ui().Combo7), QStringList{u"/dev/ttyACM0"_s});
    input->setEditText(text);
    QCOMPARE(input->toolTip(), u"Liest, was gpsd an localhost:%1 weitergibt"_s.arg(gpsd.port()));

    gpsd.stop();
    QCOMPARE(session.activateOutput({.port = u"tcp://127.0.0.1:0"_s}).cause,
             PortFailure::Cause::None);
    focusAgain();
    QTest::qWait(1200); // longer than a look may take
    QVERIFY(offered(input).contains(text));
    session.deactivateOutput();
    focusAgain();
    QTRY_COMPARE(offered(input), QStringList{u"/dev/ttyACM0"_s});
}

void tst_Form1::timeZoneAcceptsOnlyItsEntries() {
    Session session;
    Form1 form(session);
    QComboBox *zone = form.ui().Combo6;
    zone->setCurrentText(u"+7"_s);
    QCOMPARE(zone->currentText(), u"+1"_s);
    zone->setCurrentText(u"-5"_s);
    QCOMPARE(zone->currentText(), u"-5"_s);
}

void tst_Form1::geometry_data() {
    // Positions in twips (1/1440 inch); at 96 dots per inch 15 twips make one pixel.
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("twips");
    QTest::newRow("Combo1") << u"Combo1"_s << QRect(1440, 240, 975, 315);
    QTest::newRow("Command3") << u"Command3"_s << QRect(3120, 2160, 375, 375);
    QTest::newRow("Text1") << u"Text1"_s << QRect(3720, 1080, 7095, 3495);
    QTest::newRow("Label12_11") << u"Label12_11"_s << QRect(3720 + 600 * 11, 240, 495, 255);
    QTest::newRow("Label24") << u"Label24"_s << QRect(1560, 4080, 1935, 255);
    QTest::newRow("Combo11") << u"Combo11"_s << QRect(12120, 2400, 975, 315);
    QTest::newRow("Option1_4") << u"Option1_4"_s << QRect(8040, 6000, 1095, 255);
    QTest::newRow("Command9") << u"Command9"_s << QRect(8160, 6480, 1215, 375);
}

void tst_Form1::geometry() {
    QFETCH(QString, name);
    QFETCH(QRect, twips);
    Session session;
    Form1 form(session);
    auto *widget = form.findChild<QWidget *>(name);
    QVERIFY(widget);
    const QRect pixels(qRound(twips.x() / 15.0), qRound(twips.y() / 15.0),
                       qRound(twips.width() / 15.0), qRound(twips.height() / 15.0));
    QCOMPARE(widget->geometry(), pixels);
}

void tst_Form1::keyboardOrder() {
    Session session;
    Form1 form(session);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    const QStringList expected{u"Combo1"_s,   u"Combo2"_s,       u"Combo3"_s,    u"Combo4"_s,
                               u"Combo5"_s,   u"Command1"_s,     u"Command2"_s,  u"Text1"_s,
                               u"Command3"_s, u"Check1"_s,       u"Command4"_s,  u"Check2"_s,
                               u"Combo6"_s,   u"RichTextBox1"_s, u"Option1_1"_s, u"Combo7"_s,
                               u"Combo8"_s,   u"Combo9"_s,       u"Combo10"_s,   u"Combo11"_s,
                               u"Command5"_s, u"Command6"_s,     u"Command7"_s,  u"Command8"_s,
                               u"Text2"_s,    u"Command9"_s};
    QStringList actual;
    QWidget *w = form.ui().Combo1;
    for (int i = 0; i < expected.size(); ++i) {
        // An editable list's focus lives in its line edit; name the list itself.
        QWidget *named = w;
        while (named && named->objectName().isEmpty())
            named = named->parentWidget();
        actual << (named ? named->objectName() : QString());
        w = w->nextInFocusChain();
        while (w && (w->focusPolicy() & Qt::TabFocus) != Qt::TabFocus)
            w = w->nextInFocusChain();
        // Skip the line edit of an editable list: it shares the list's place in the order.
        while (w && w->parentWidget() && qobject_cast<QComboBox *>(w->parentWidget()))
            w = w->nextInFocusChain();
    }
    QCOMPARE(actual, expected);
}

void tst_Form1::tabEntersTheOptionsAtTheSelection_data() {
    QTest::addColumn<int>("chosen"); // -1: the selection the window starts with
    QTest::addColumn<QString>("entered");
    QTest::newRow("500 from the start") << -1 << u"Option1_1"_s;
    QTest::newRow("1000 chosen") << 3 << u"Option1_3"_s;
    QTest::newRow("5000 chosen") << 4 << u"Option1_4"_s;
}

void tst_Form1::tabEntersTheOptionsAtTheSelection() {
    QFETCH(int, chosen);
    QFETCH(QString, entered);
    Session session;
    Form1 form(session);
    form.show();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    Ui::Form1 &ui = form.ui();
    if (chosen >= 0)
        QTest::mouseClick(ui.Option1->button(chosen), Qt::LeftButton);
    auto press = [](int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key(key), modifiers);
        QWidget *named = QApplication::focusWidget();
        while (named && named->objectName().isEmpty())
            named = named->parentWidget();
        return named ? named->objectName() : QString();
    };
    ui.RichTextBox1->setFocus();
    QCOMPARE(press(Qt::Key_Tab), entered);
    QCOMPARE(press(Qt::Key_Tab), u"Combo7"_s); // one stop for the whole group
    QCOMPARE(press(Qt::Key_Tab, Qt::ShiftModifier), entered);
    // An arrow key selects the option it moves to, which becomes the group's stop.
    const QString above = ui.Option1->button(ui.Option1->checkedId() - 1)->objectName();
    QCOMPARE(press(Qt::Key_Up), above);
    QVERIFY(ui.Option1->button(ui.Option1->checkedId())->objectName() == above);
    QCOMPARE(press(Qt::Key_Tab), u"Combo7"_s);
    QCOMPARE(press(Qt::Key_Tab, Qt::ShiftModifier), above);
}

void tst_Form1::menuBar() {
    Session session;
    Form1 form(session);
    QStringList captions;
    for (QAction *action : form.menuBar()->actions())
        captions << action->text();
    // "Satelliten" is the one entry beyond the four of old, between "Karte" and "Info".
    QCOMPARE(captions,
             (QStringList{u"Rechner"_s, u"Karte"_s, u"Satelliten"_s, u"Info"_s, u"Ende"_s}));
    QCOMPARE(form.menuBar()->actions().at(0)->objectName(), u"rechner"_s);
    QCOMPARE(form.menuBar()->actions().at(4)->objectName(), u"ende"_s);
}

void tst_Form1::captionsFitWhole() {
    // Every caption must show whole at the window's fixed positions with the fonts installed here.
    Session session;
    Form1 form(session);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QStringList cut;
    for (QLabel *label : form.findChildren<QLabel *>()) {
        if (qobject_cast<DisplayField *>(label) || label->text().isEmpty())
            continue;
        const bool fits = label->wordWrap()
                              ? label->heightForWidth(label->width()) <= label->height()
                              : label->sizeHint().width() <= label->width();
        if (!fits)
            cut << label->objectName();
    }
    for (QAbstractButton *button : form.findChildren<QAbstractButton *>()) {
        if (button->text().isEmpty())
            continue;
        auto *command = qobject_cast<CaptionButton *>(button);
        if (command ? !command->captionFits() : button->sizeHint().width() > button->width())
            cut << button->objectName();
    }
    for (QComboBox *combo : form.findChildren<QComboBox *>()) {
        for (int i = 0; i < combo->count(); ++i) {
            QStyleOptionComboBox option;
            option.initFrom(combo);
            const QRect textArea = combo->style()->subControlRect(
                QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, combo);
            if (combo->fontMetrics().horizontalAdvance(combo->itemText(i)) > textArea.width())
                cut << combo->objectName() + u':' + combo->itemText(i);
        }
    }
    QVERIFY2(cut.isEmpty(), qPrintable(cut.join(u", ")));
}

QTEST_MAIN(tst_Form1)
#include "tst_form1.moc"
