#pragma once

#include <QObject>
#include <QString>
#include <QStringView>
#include <QTimer>

#include <optional>
#include <vector>

class QPlainTextEdit;
class ReceiveLog;

// Keeps the text box Text1 in step with the receive log: the box only shows the received text;
// decoders, type list and clipboard read the log, never the widget, whose document would turn a
// carriage return into a paragraph break.
class ReceiveBuffer : public QObject {
    Q_OBJECT
public:
    ReceiveBuffer(QPlainTextEdit *view, ReceiveLog &log, QObject *parent = nullptr);
    ~ReceiveBuffer() override;

    // Shows in the view what it does not show yet, now. Text that arrives is shown within
    // kViewDelayMs, together with whatever else arrived meanwhile; the user's selection and
    // scroll position stay where they are, and the view follows the end only while it is
    // showing the end.
    void updateView();

    // The view keeps the last kViewLines lines; the log keeps everything.
    static constexpr int kViewLines = 5000;
    static constexpr int kViewDelayMs = 100;

    // How a received text shows in the view: line ends as line breaks, other control characters
    // as visible symbols.
    static QString displayText(QStringView chunk);

private:
    void show(QStringView chunk);
    void clear();

    QPlainTextEdit *m_view;
    ReceiveLog &m_log;
    QString m_unshown; // display text of what arrived since the view was last updated
    QTimer m_viewTimer;
    // A carriage return at the end of the last chunk whose line feed may follow in the next one.
    bool m_pendingCarriageReturn = false;
};
