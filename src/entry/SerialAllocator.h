#pragma once
// Proposes the serial number of a new contact: one more than the largest
// stored serial number, read by numeric value.
//
// The table has no index, so finding the largest number reads every row. The
// result is kept and brought up to date by the stores of this window; it is
// read again when another program has changed the file meanwhile.
#include <QString>
#include <optional>

namespace platform {
class Connection;
}

class SerialAllocator
{
public:
    // The largest serial number stored in the table of the connection, or 0.
    qint64 largest(platform::Connection *db, const QString &table);
    // A contact with this serial number text was stored by this window.
    void noteStored(const QString &serialText);
    // A contact with this serial number text was changed or deleted: when it
    // held the largest number, the largest must be read again.
    void noteRemoved(const QString &serialText);
    void invalidate() { m_largest.reset(); }

    // Numeric value of a stored serial number text; nullopt when it is empty or
    // not a number. Fractions are rounded to the nearest whole number, halves
    // to even.
    static std::optional<qint64> serialValue(const QString &text);

private:
    std::optional<qint64> m_largest;
    platform::Connection *m_db = nullptr;
    qint64 m_dataVersion = -1;
};
