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

    // Opens the file read only; false when libmdb cannot read its catalog or
    // the catalog disagrees with itself (a damaged file).
    bool open(const QString &path);
    // The user tables, in catalog order.
    QStringList tables() const;
    // Whether the catalog names an object so (any kind, ignoring case).
    bool hasObject(const QString &name) const;
    // Opens a table by name (exact, else ignoring case); false when absent, or
    // when its definition cannot be read or disagrees with itself.
    bool openTable(const QString &name);
    QVector<JetColumn> columns() const;
    // The row count the table definition states (for progress only).
    qint64 statedRows() const;

    enum class Reading { Whole, Damaged, Stopped };
    // Calls row() with the values of every readable live row of the open
    // table, in the order the file holds them, until it returns false
    // (Stopped). Values: null, bool, integers, doubles (Jet's day count for
    // dates), QString for texts, QByteArray for binary data.
    //
    // The file is checked against itself as it is read: every page the
    // table's usage map lists must be a data page of the table, and no two of
    // them alike; every row must agree with the column layout (its column
    // count, null mask and variable-column offsets); the rows read must be as
    // many as the definition states. A page or a row that fails is skipped
    // and the reading goes on, but the result is Damaged. The bytes of a
    // value itself carry no check: a damaged text or number cannot be told.
    Reading readRows(const std::function<bool(const QVariantList &)> &row);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

// Text of a Jet 3 text value, stored in code page 1252. The five bytes that
// code page leaves undefined become the control characters of the same
// number, as Windows reads them.
QString fromCp1252(const char *bytes, int size);

} // namespace legacy
