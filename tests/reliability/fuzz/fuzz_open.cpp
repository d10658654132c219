// libFuzzer target of the open path: the input is written as a log file and
// opened by record sources, read-only and read-write; every row is visited
// and a change is stored. Built with -DSEQUANEL_FUZZ=ON and clang.
#include "BoundControls.h"
#include "LogFile.h"
#include "RecordSource.h"

#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <cstdint>
#include <memory>

namespace {
struct World {
    int argc = 1;
    char arg0[16] = "fuzz_open";
    char *argv[2] = {arg0, nullptr};
    std::unique_ptr<QApplication> app;
    std::unique_ptr<QTemporaryDir> dir;
    World()
    {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        app = std::make_unique<QApplication>(argc, argv);
        dir = std::make_unique<QTemporaryDir>(QStringLiteral("/tmp/sequanel-fuzz-XXXXXX"));
    }
};
} // namespace

// The font configuration library keeps caches to the end of the process.
extern "C" const char *__lsan_default_suppressions() { return "leak:libfontconfig\n"; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Never destroyed: libFuzzer leaves through exit(), after the globals of
    // Qt's SQL module are gone.
    static World &world = *new World;
    const QString path = world.dir->filePath(QStringLiteral("entree.adb"));
    QFile::remove(path + QStringLiteral("-journal"));
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        f.write(reinterpret_cast<const char *>(data), qint64(size));
    }
    for (bool readOnly : {true, false}) {
        platform::RecordSource rs;
        logfile::configure(rs, path);
        rs.setReadOnly(readOnly);
        QLineEdit controls[16];
        const QStringList names = logfile::columnNames();
        auto *bound = new platform::BoundControls(&rs);
        for (int i = 0; i < names.size(); ++i)
            bound->bind(&controls[i], names[i]);
        if (!rs.refresh()) {
            (void)logfile::openFailureMessage(rs.error(), path);
            continue;
        }
        rs.recordCount();
        int n = 0;
        for (bool more = rs.moveFirst(); more && !rs.eof() && n < 10000; more = rs.moveNext())
            ++n;
        for (bool more = rs.moveLast(); more && !rs.bof() && n > -10000; more = rs.movePrevious())
            --n;
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
