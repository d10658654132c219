// libFuzzer target of the ADI reader: the input is written as an .adi file
// and planned against a log holding one contact, as "Importer…" does before
// its preview (every record read, mapped, checked, numbered and compared
// with the log's call signs). Built with -DSEQUANEL_FUZZ=ON and clang; the
// seed folder holds small files to start the corpus from.
#include "Import.h"
#include "LogFile.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Never destroyed: libFuzzer leaves through exit().
    static int argc = 1;
    static char arg0[] = "fuzz_adi", *argv[] = {arg0, nullptr};
    static QTemporaryDir *dir = [] {
        new QCoreApplication(argc, argv);
        auto *d = new QTemporaryDir(QStringLiteral("/tmp/sequanel-fuzz-adi-XXXXXX"));
        const QString log = d->filePath(QStringLiteral("journal.adb"));
        logfile::createEmpty(log, nullptr);
        auto db = platform::Connection::open(log, platform::OpenMode::ReadWrite, nullptr);
        db->exec(platform::Sql("INSERT INTO Transmission (\"Sequanel\", \"Préfixe\", \"Qrz1\", \"Qrz2\", \"Qrz3\", \"N°\") "
                               "VALUES ('1', 14, 'Alpha', 'Tango', 'Bravo', 123)"));
        return d;
    }();
    const QString path = dir->filePath(QStringLiteral("entree.adi"));
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return 0;
    f.write(reinterpret_cast<const char *>(data), qint64(size));
    f.close();
    QString message;
    if (const auto plan = exchange::planImport(path, dir->filePath(QStringLiteral("journal.adb")), &message))
        for (qint64 row = 0; row < std::min<qint64>(plan->rows.size(), 8); ++row)
            (void)plan->serialOf(row);
    return 0;
}
