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
//
// It holds at most kLimit characters, far more than an honest receiver sends in the longest poll
// cycle (at 115200 baud, 100 s are 1.2 MB), so that a flood from a network peer cannot exhaust
// memory. Once full, it takes nothing more until it is emptied: the decoders read the first
// sentences of the cycle in any case.
class ReceiveLog : public QObject {
    Q_OBJECT
public:
    explicit ReceiveLog(QObject *parent = nullptr);
    ~ReceiveLog() override;

    QStringView text() const { return m_text; }
    qsizetype size() const { return m_text.size(); }

    // Adds the chunk at the end, whatever a view has selected, as far as there is room.
    void append(const QString &chunk);
    void clear();
    // Takes nothing more until emptied, as if full: received text was missed, and a gap would
    // make the text something other than what arrived.
    void markFull();
    bool isFull() const { return m_full; }

    static constexpr qsizetype kLimit = 8 * 1024 * 1024;

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
    // The text has reached its limit, or received text was missed; nothing more is added until
    // it is emptied. Raised once per filling.
    void filled();

private:
    QString m_text;
    bool m_full = false;
    std::vector<SentenceExtractor> m_extractors;
    SentenceTypeTracker m_types;
};
