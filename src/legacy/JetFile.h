#pragma once
// Reading Jet database files (the files of the program's predecessor: old
// log files, an operator's own Orientation.mdb) through libmdb.
//
// libmdb is a C library that trusts the file it reads: a damaged file can
// make it crash or loop. Only the converter's child process (sequanel-convert
// --worker) uses this class; the program itself never links libmdb.
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>
#include <functional>
#include <memory>

namespace legacy {

// Jet's column type codes.
enum JetType {
    JetBool = 1, JetByte = 2, JetInt = 3, JetLong = 4, JetMoney = 5, JetFloat = 6, JetDouble = 7,
    JetDateTime = 8, JetBinary = 9, JetText = 10, JetOle = 11, JetMemo = 12
};

struct JetColumn {
    QString name;
    int type = 0;
    int size = 0;
};

class JetDatabase
{
public:
    JetDatabase();
    ~JetDatabase();
    JetDatabase(const JetDatabase &) = delete;
    JetDatabase &operator=(const JetDatabase &) = delete;

    // Opens the file read only; false when libmdb cannot read its catalog.
    bool open(const QString &path);
    // The user tables, in catalog order.
    QStringList tables() const;
    // Opens a table by name (exact, else ignoring case); false when absent or unreadable.
    bool openTable(const QString &name);
    QVector<JetColumn> columns() const;
    // The row count the table definition states (for progress only).
    qint64 statedRows() const;

    // Calls row() with the values of every live row of the open table, in the
    // order the file holds them, until it returns false. Values: null, bool,
    // integers, doubles (Jet's day count for dates), QString for texts,
    // QByteArray for binary data. Returns false when a page or a row of the
    // table cannot be read: nothing is skipped silently.
    bool readRows(const std::function<bool(const QVariantList &)> &row);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

// Text of a Jet 3 text value, stored in code page 1252. The five bytes that
// code page leaves undefined become the control characters of the same
// number, as Windows reads them.
QString fromCp1252(const char *bytes, int size);

} // namespace legacy
