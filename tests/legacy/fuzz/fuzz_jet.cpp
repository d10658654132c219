// libFuzzer target of the Jet reader: the input is written as a file and read
// as the converter's child reads it, every table and every row. libmdb itself
// is not instrumented; what is found is what it does to our side (crashes,
// out-of-bounds reads of what it hands over). Built with -DSEQUANEL_FUZZ=ON.
#include "JetFile.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static QTemporaryDir &dir = *new QTemporaryDir(QStringLiteral("/tmp/sequanel-fuzz-jet-XXXXXX"));
    const QString path = dir.filePath(QStringLiteral("ancien.adb"));
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        f.write(reinterpret_cast<const char *>(data), qint64(size));
    }
    legacy::JetDatabase db;
    if (!db.open(path))
        return 0;
    for (const QString &table : db.tables()) {
        if (!db.openTable(table))
            continue;
        const QVector<legacy::JetColumn> columns = db.columns();
        qint64 rows = 0;
        db.readRows([&](const QVariantList &row) {
            for (const QVariant &v : row)
                (void)v.toString();
            return ++rows < 200000 && row.size() == columns.size();
        });
    }
    return 0;
}
