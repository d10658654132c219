#pragma once
// Contacts of another program's file added to a log (a file or a shared
// log): ADI and ADX (ADIF 3.1.4), or CSV (the export's own layout, or any
// CSV whose header names columns of the log).
//
// First the plan, read from the file and the log without writing anything:
// every record as it would be stored, those refused with their reasons, those
// whose call sign the log holds already, those that get a new serial number.
// Then the import, in one transaction: all or nothing, unless the readable
// records are kept.
//
// A record of ADIF gives the columns its application fields APP_SEQUANEL_...
// hold, when it has any (a file Sequanel wrote comes back exactly); otherwise
// Date from QSO_DATE and TIME_ON (UTC, turned into the local time in force
// then), Sequanel from STX or STX_STRING, RST from RST_SENT, Mhertz and Hertz
// from FREQ, Bande from SUBMODE or MODE, the call sign's five parts from
// CALL, Ville from QTH, Pays from COUNTRY, Opérateur from OPERATOR (the
// _INTL fields of ADX before the others).
//
// Serial numbers: the record's own where it has one that no contact of the
// log nor an earlier record has; otherwise (taken, or none) one more than the
// largest number of the log and of the file, in the file's order. A record
// that Sequanel wrote without a serial number keeps none.
#include "Export.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <array>
#include <functional>
#include <optional>
#include <vector>

namespace exchange {

// Rows of Transmission held compactly: each value as its stored UTF-8 text
// (a number as its decimal text), or null.
class RowStore
{
public:
    using Values = std::array<std::optional<QByteArray>, 16>;
    void add(const Values &values);
    qint64 size() const { return qint64(m_start.size()); }
    bool isNull(qint64 row, int column) const { return m_lengths[size_t(row) * 16 + size_t(column)] == kNull; }
    QByteArrayView value(qint64 row, int column) const;
    // The sixteen values of a row (nothing for a null).
    void values(qint64 row, std::array<std::optional<QByteArrayView>, 16> *out) const;

private:
    static constexpr quint8 kNull = 255;
    static constexpr qsizetype kBlock = 1 << 22;
    std::vector<QByteArray> m_blocks; // the values' bytes, in blocks that are never moved
    std::vector<std::pair<quint32, quint32>> m_start; // each row's block and place in it
    std::vector<quint8> m_lengths;
};

// The serial numbers found in use in a log.
struct TakenSerials;

struct ImportPlan {
    QString file;        // the file read
    Format format = Format::Adi;
    qint64 records = 0;  // records read
    RowStore rows;       // those to store, in the file's order, with their own serial numbers
    std::vector<qint64> recordOf; // the record each row comes from
    std::vector<bool> keepsNoSerial; // the row keeps a null serial number (written so by Sequanel)
    // New serial numbers: (row, number), in the order of the rows.
    std::vector<std::pair<qint64, qint64>> renumbered;
    // Rows for which no serial number is left (counted among the refused).
    std::vector<qint64> unnumbered;

    // What the preview tells, one French line each (the first kShown of
    // each; the counts are whole).
    static constexpr qsizetype kShown = 10000;
    qint64 refusedCount = 0;
    QStringList refused;
    qint64 duplicateCount = 0;
    QStringList duplicates;
    qint64 renumberedCount = 0;
    QStringList renumberedLines;
    QStringList ignoredColumns; // CSV headings that name no column

    // The serial number a row is stored with (text; null when none).
    std::optional<QByteArray> serialOf(qint64 row) const;
};

// How far a long task has come; returns false to stop it.
using Progress = std::function<bool(qint64 done, qint64 total)>;

// Reads the file against the log at logPath (read only). Nothing, with
// *message (French), when the file or the log cannot be read at all, or
// when progress stopped it (*message empty then).
std::optional<ImportPlan> planImport(const QString &file, const QString &logPath, QString *message,
                                     const Progress &progress = {});

struct ImportOutcome {
    bool ok = false;
    qint64 imported = 0;
    QString message; // French: the count and the renumbered when ok, otherwise why not
};

// Stores the plan's rows in the log at logPath in one transaction, their
// serial numbers settled again against the log as it stands then. Refused
// (nothing written) when the plan refused records and keepReadable is false.
ImportOutcome runImport(ImportPlan &plan, const QString &logPath, bool keepReadable, const Progress &progress = {});

} // namespace exchange
