#include "Towns.h"

#include "CallSigns.h"
#include "Engine.h"
#include "ProgramFolder.h"

#include <QDateTime>
#include <QFileInfo>
#include <QTemporaryDir>
#include <mutex>

namespace towns {

namespace {

std::mutex g_mutex;
QString g_referenceFile; // set for tests; empty: the program's own

// What was read of the reference file, and the file as it was then.
struct Kept {
    QString path;
    QDateTime modified;
    qint64 size = -1;
    std::unique_ptr<QTemporaryDir> jetCopy; // the copy of an old Jet file's towns
    Readable readable;
    std::shared_ptr<const Bearings> bearings;
};
Kept &kept()
{
    static Kept k;
    return k;
}

// Under g_mutex: the kept file, made again when the reference file is
// another or changed since.
Kept &current()
{
    const QString path = g_referenceFile.isEmpty() ? platform::programFile(QStringLiteral("Orientation.mdb")) : g_referenceFile;
    const QFileInfo info(path);
    Kept &k = kept();
    if (k.path == path && k.modified == info.lastModified() && k.size == info.size())
        return k;
    k = Kept{path, info.lastModified(), info.size(), nullptr, {path, {}}, nullptr};
    if (legacy::isJetFile(path)) {
        k.jetCopy = std::make_unique<QTemporaryDir>();
        const QString copy = k.jetCopy->filePath(QStringLiteral("Orientation.sqlite"));
        k.readable.conversion = legacy::runConverter(path, copy, {}, QStringLiteral("direction"));
        k.readable.file = k.readable.conversion.status == legacy::ChildResult::Done ? copy : QString();
    }
    return k;
}

} // namespace

QString referenceFile()
{
    const std::lock_guard lock(g_mutex);
    return g_referenceFile.isEmpty() ? platform::programFile(QStringLiteral("Orientation.mdb")) : g_referenceFile;
}

void setReferenceFile(const QString &path)
{
    const std::lock_guard lock(g_mutex);
    g_referenceFile = path;
}

Readable readableFile()
{
    const std::lock_guard lock(g_mutex);
    return current().readable;
}

QString townKey(const QString &town) { return logfile::comparableText(town); }

std::shared_ptr<const Bearings> bearings()
{
    const std::lock_guard lock(g_mutex);
    Kept &k = current();
    if (k.bearings)
        return k.bearings;
    auto out = std::make_shared<Bearings>();
    platform::EngineError e;
    const auto db = k.readable.file.isEmpty()
                        ? nullptr
                        : platform::Connection::open(k.readable.file, platform::OpenMode::ReadOnly, &e);
    bool ok = false;
    const auto rows = db ? db->rows("SELECT \"Villes\", \"Degrés\" FROM \"direction\"", {}, &ok) : QVector<QVariantList>{};
    for (const QVariantList &row : rows) {
        bool number = false;
        const double degrees = row.value(1).toDouble(&number);
        const QString key = townKey(row.value(0).toString());
        if (number && !key.isEmpty())
            out->insert(key, degrees);
    }
    k.bearings = std::move(out);
    return k.bearings;
}

} // namespace towns
