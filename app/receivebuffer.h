#pragma once

#include <QObject>
#include <QString>
#include <QStringView>
#include <QTimer>

#include <optional>
#include <vector>

class QPlainTextEdit;
class SentenceExtractor;

// The receive buffer: every received byte as one character (Latin-1), exactly as it arrived.
// The text box only shows it; decoders, type list, clipboard read the text held here, never the
// widget, whose document would turn a carriage return into a paragraph break.
class ReceiveBuffer : public QObject {
    Q_OBJECT
public:
    explicit ReceiveBuffer(QPlainTextEdit *view, QObject *parent = nullptr);
    ~ReceiveBuffer() override;

    QStringView text() const { return m_text; }
    qsizetype size() const { return m_text.size(); }

    // Adds the chunk at the end. The view shows it within kViewDelayMs, together with whatever
    // else arrived meanwhile; the user's selection and scroll position stay where they are, and
    // the view follows the end only while it is showing the end.
    void append(const QString &chunk);
    void clear();
    // Shows in the view what it does not show yet, now.
    void updateView();

    // The view keeps the last kViewLines lines; the text here keeps everything.
    static constexpr int kViewLines = 5000;
    static constexpr int kViewDelayMs = 100;

    // ExtractSentence over this buffer's text. The buffer only grows until it is emptied, so
    // each tag's search goes on from where it stopped on the last call.
    std::optional<QStringView> firstSentence(QStringView tag);

    // How a received text shows in the view: line ends as line breaks, other control characters
    // as visible symbols.
    static QString displayText(QStringView chunk);

private:
    QPlainTextEdit *m_view;
    QString m_text;
    QString m_unshown; // display text of what arrived since the view was last updated
    QTimer m_viewTimer;
    // A carriage return at the end of the last chunk whose line feed may follow in the next one.
    bool m_pendingCarriageReturn = false;
    std::vector<SentenceExtractor> m_extractors;
};
