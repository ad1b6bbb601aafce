#pragma once

#include "logic/sentencetypes.h"

#include <QObject>
#include <QString>
#include <QStringView>

#include <optional>
#include <vector>

class SentenceExtractor;

// The receive buffer: every received byte as one character (Latin-1), exactly as it arrived and
// in the order of arrival. Decoders, type list, clipboard and any view read this text; nothing
// but append() and clear() changes it.
class ReceiveLog : public QObject {
    Q_OBJECT
public:
    explicit ReceiveLog(QObject *parent = nullptr);
    ~ReceiveLog() override;

    QStringView text() const { return m_text; }
    qsizetype size() const { return m_text.size(); }

    // Adds the chunk at the end, whatever a view has selected.
    void append(const QString &chunk);
    void clear();

    // ExtractSentence over this text. The text only grows until it is emptied, so each tag's
    // search goes on from where it stopped on the last call.
    std::optional<QStringView> firstSentence(QStringView tag);

    // sentenceTypeList of this text, kept up to date as chunks arrive, so that asking costs
    // no search of the whole text.
    QString sentenceTypes() const { return m_types.list(); }

signals:
    // Text was added from this position on; what came before it is unchanged.
    void appended(qsizetype from);
    // The text is empty again.
    void cleared();

private:
    QString m_text;
    std::vector<SentenceExtractor> m_extractors;
    SentenceTypeTracker m_types;
};
