#pragma once
// What reads the records of another program's file, one at a time, with the
// place of each in the file. Private to the exchange library.
//
// Memory stays bounded whatever the file holds: only the fields asked for
// are kept, each up to kMaxValue bytes (a longer one keeps its first bytes
// and is marked too long), once per record.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>
#include <cstring>
#include <memory>
#include <vector>

class QIODevice;

namespace exchange {

inline constexpr qsizetype kMaxValue = 4096;

// A field of a record, kept in a slot of its own: an ADIF field's name's
// place in the list the reader was given, a CSV column's index.
struct SourceField {
    QByteArray value;  // its bytes (the first kMaxValue of them when tooLong)
    bool present = false;
    bool tooLong = false;
};

struct SourceRecord {
    qint64 number = 0;   // from 1, in the file's order
    qint64 position = 0; // from 1: the byte (ADI) or the line (ADX, CSV) where it begins
    std::vector<SourceField> fields; // by slot
    QString refusal;     // set when the record cannot be read (its reason, French)
    qint64 refusalPosition = 0;

    const SourceField *field(int slot) const
    {
        return slot >= 0 && size_t(slot) < fields.size() && fields[size_t(slot)].present ? &fields[size_t(slot)] : nullptr;
    }
    // The slot's field, made present, its room kept from the last record.
    SourceField &put(int slot, const char *data, qsizetype size, bool tooLong)
    {
        if (fields.size() <= size_t(slot))
            fields.resize(size_t(slot) + 1);
        SourceField &f = fields[size_t(slot)];
        f.value.resize(size);
        std::memcpy(f.value.data(), data, size_t(size));
        f.present = true;
        f.tooLong = tooLong;
        return f;
    }
    void clear()
    {
        for (SourceField &f : fields)
            f.present = false;
        refusal.clear();
        position = 0;
    }
    void refuse(const QString &why, qint64 at)
    {
        if (refusal.isEmpty()) {
            refusal = why;
            refusalPosition = at;
        }
    }
};

class RecordReader
{
public:
    virtual ~RecordReader() = default;
    // Reads what comes before the records; false with *why (French, to be
    // put into a sentence) when the file cannot be read at all.
    virtual bool start(QString *why) = 0;
    // The next record; false when there is none.
    virtual bool next(SourceRecord *record) = 0;
    // Positions are lines (ADX, CSV) rather than bytes (ADI).
    virtual bool countsLines() const = 0;
    // How far the reading has come, in bytes.
    virtual qint64 bytesRead() const = 0;
    // The file could not be read to its end (the disk failed): what was
    // read is no proof of what it holds.
    virtual bool readFailed() const { return false; }
};

// A file read a chunk at a time, with a window of the bytes ahead.
class ByteInput
{
public:
    explicit ByteInput(QIODevice *in);
    // Makes n bytes ahead available (fewer at the end of the file); how many are.
    qsizetype ensure(qsizetype n);
    const char *data() const { return m_buffer.constData() + m_at; }
    qsizetype available() const { return m_buffer.size() - m_at; }
    void advance(qsizetype n) { m_at += n; }
    // Skips n bytes; false when the file ends first.
    bool skip(qint64 n);
    qint64 position() const { return m_base + m_at; } // from 0
    qint64 size() const { return m_size; }             // of the whole file
    bool failed() const { return m_failed; }           // a reading failed

private:
    QIODevice *m_in;
    QByteArray m_buffer;
    qsizetype m_at = 0;
    qint64 m_base = 0;
    qint64 m_size = 0;
    bool m_failed = false;
};

// ADI: the fields named in wanted (in capitals) are kept, each in the slot
// of its place in the list; the others are skipped.
std::unique_ptr<RecordReader> adiReader(QIODevice *in, const QList<QByteArray> &wanted);
// ADX: the same; an application field is named APP_<PROGRAMID>_<FIELDNAME>.
std::unique_ptr<RecordReader> adxReader(QIODevice *in, const QList<QByteArray> &wanted);

// CSV: a header row, then records; the fields are in the slots of the
// columns of Transmission their headings name (headings compared without
// case, accents and signs, as the column's name or its label in the form).
class CsvReader : public RecordReader
{
public:
    // True when the header is the export's own (the sixteen names, ";").
    virtual bool ownLayout() const = 0;
    // Headings that name no column.
    virtual QStringList ignoredHeadings() const = 0;
};
std::unique_ptr<CsvReader> csvReader(QIODevice *in);

} // namespace exchange
