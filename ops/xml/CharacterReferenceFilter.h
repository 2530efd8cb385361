// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QIODevice>

#include <atomic>

// Passes an XML byte stream from a source device through, rewriting the numeric character references
// that a conforming reader rejects. Phones write a character outside the first Unicode plane (an
// emoji) as two references to its UTF-16 surrogates, "&#55357;&#56832;": the pair becomes one
// reference to the character, "&#x1F600;". A reference to a lone surrogate or to a code point XML
// does not allow (a control character, U+FFFE, beyond U+10FFFF) becomes U+FFFD. Nothing else
// changes, line breaks included, so the reader's line numbers are those of the file.
class CharacterReferenceFilter : public QIODevice
{
public:
    // The source is borrowed and must be open for reading.
    explicit CharacterReferenceFilter(QIODevice* source);

    bool isSequential() const override { return true; }
    bool atEnd() const override;
    qint64 bytesAvailable() const override;

    // Bytes taken from the source so far.
    qint64 sourceBytesRead() const { return m_sourceBytesRead; }

    // Ends the stream, as if the source had ended, once more than this many bytes follow the last '<'
    // (no markup can then be complete within the bound); oversized() tells afterwards. 0: no bound.
    void setMaxBytesWithoutMarkup(qint64 bytes) { m_maxBytesWithoutMarkup = bytes; }
    bool oversized() const { return m_oversized; }
    // Ends the stream at the next read once *stop is true; may be set from another thread.
    void setStopFlag(const std::atomic<bool>* stop) { m_stop = stop; }
    bool stopped() const { return m_stopped; }

    // The filter on one whole text, for tests and small inputs.
    static QByteArray filtered(const QByteArray& xml);

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char* data, qint64 maxSize) override;

private:
    // Reads the next chunk of the source and filters what can be decided; false at the end.
    bool fill();
    // Filters m_pending into m_output; keeps back a reference that the chunk cut.
    void filterPending(bool final);

    QIODevice* m_source;
    QByteArray m_pending;
    QByteArray m_output;
    qsizetype m_outputPos = 0;
    qint64 m_sourceBytesRead = 0;
    bool m_sourceDone = false;
    qint64 m_maxBytesWithoutMarkup = 0;
    qint64 m_bytesWithoutMarkup = 0;
    bool m_oversized = false;
    const std::atomic<bool>* m_stop = nullptr;
    bool m_stopped = false;
};
