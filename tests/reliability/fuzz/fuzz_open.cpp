// libFuzzer target of the open path: the input is written as a log file and
// opened by record sources, read-only and read-write; every row is visited
// and a change is stored. Built with -DSEQUANEL_FUZZ=ON and clang; the seed
// folder holds a sound log to start the corpus from.
#include "BoundControls.h"
#include "LogFile.h"
#include "RecordSource.h"

#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <cstdint>

// The font configuration library keeps caches to the end of the process.
extern "C" const char *__lsan_default_suppressions() { return "leak:libfontconfig\n"; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Never destroyed: libFuzzer leaves through exit(), after the globals of
    // Qt's SQL module are gone.
    static int argc = 1;
    static char arg0[] = "fuzz_open", *argv[] = {arg0, nullptr};
    static QTemporaryDir *dir = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        new QApplication(argc, argv);
        return new QTemporaryDir(QStringLiteral("/tmp/sequanel-fuzz-XXXXXX"));
    }();
    const QString path = dir->filePath(QStringLiteral("entree.adb"));
    QFile::remove(path + QStringLiteral("-journal"));
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return 0;
    f.write(reinterpret_cast<const char *>(data), qint64(size));
    f.close();
    for (bool readOnly : {true, false}) {
        platform::RecordSource rs;
        logfile::configure(rs, path);
        rs.setReadOnly(readOnly);
        QLineEdit controls[16];
        auto *bound = new platform::BoundControls(&rs);
        for (int i = 0; i < 16; ++i)
            bound->bind(&controls[i], logfile::columnNames().at(i));
        if (!rs.refresh()) {
            (void)logfile::openFailureMessage(rs.error(), path);
            continue;
        }
        rs.recordCount();
        for (bool more = rs.moveFirst(); more && !rs.eof(); more = rs.moveNext()) {
        }
        for (bool more = rs.moveLast(); more && !rs.bof(); more = rs.movePrevious()) {
        }
        if (!readOnly && rs.moveLast() && rs.edit()) {
            controls[2].setText(QStringLiteral("59"));
            if (!rs.update())
                (void)logfile::storeFailureMessage(rs.error());
            rs.cancelUpdate();
        }
        if (!readOnly && rs.addNew()) {
            controls[1].setText(QStringLiteral("7"));
            if (!rs.update())
                rs.cancelUpdate();
        }
    }
    return 0;
}
