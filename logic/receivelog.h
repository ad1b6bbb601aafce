#pragma once

#include <QObject>
#include <QString>
#include <QStringView>

#include <optional>
#include <vector>

class SentenceExtractor;

// Every byte received since the log was last emptied, one character each (Latin-1), exactly as
// it arrived. Decoders, the type list and the clipboard read this text; views only show it.
class ReceiveLog : public QObject {
    Q_OBJECT
public:
    ReceiveLog();
    ~ReceiveLog() override;

    QStringView text() const { return m_text; }
    qsizetype size() const { return m_text.size(); }

    // Received text always goes at the end.
    void append(const QString &chunk);
    void clear();

    // ExtractSentence over this log. The log only grows until it is emptied, so each tag's
    // search goes on from where it stopped on the last call.
    std::optional<QStringView> firstSentence(QStringView tag);

signals:
    // Text was added from this position to the end.
    void appended(qsizetype from);
    void cleared();

private:
    QString m_text;
    std::vector<SentenceExtractor> m_extractors;
};
