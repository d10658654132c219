#pragma once
// What writes the contacts of a log in one format, a row at a time, into a
// buffer the export hands to the file. Private to the exchange library.
#include <QByteArray>
#include <QString>
#include <memory>

namespace platform {
class RowText;
}

namespace exchange {

class RowWriter
{
public:
    virtual ~RowWriter() = default;
    virtual void begin(QByteArray &out) = 0;
    // Appends the row (the sixteen columns of Transmission, in order; number:
    // its place in the log, from 1). False, with *why (French, to be put into
    // a sentence), when the format cannot hold one of its values.
    virtual bool write(const platform::RowText &row, qint64 number, QByteArray &out, QString *why) = 0;
    virtual void end(QByteArray &out) = 0;
    // The message when no contact was written.
    virtual QString nothingWritten() const = 0;
};

std::unique_ptr<RowWriter> csvWriter();
// ADI, or ADX when xml.
std::unique_ptr<RowWriter> adifWriter(bool xml);

// True when bytes are well-formed UTF-8.
bool isUtf8(QByteArrayView bytes);

} // namespace exchange
