#include "Settings.h"

#include "SaveFile.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSettings>
#include <QStandardPaths>

namespace platform {

QString settingsFilePath(const QString &application)
{
    // An application name that is a folder path cannot be a file name: each
    // installation folder gets a file of its own, named after a digest of the
    // path, and the path itself is kept in the file for whoever reads it.
    const QByteArray digest =
        QCryptographicHash::hash(application.toUtf8(), QCryptographicHash::Sha1).toHex().left(16);
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return base + QStringLiteral("/Sequanel/") + QString::fromLatin1(digest) + QStringLiteral(".ini");
}

QString readSetting(const QString &application, const QString &section, const QString &key,
                    const QString &defaultValue)
{
    // Qt parses a file once and then serves later readers from its cache,
    // reporting the format error only to the first: the verdict is kept here
    // for as long as the file stays the same, so that a garbled file reads as
    // missing every time, not just the first.
    static QHash<QString, QPair<QDateTime, qint64>> garbled;
    const QString path = settingsFilePath(application);
    const QFileInfo info(path);
    const auto stamp = qMakePair(info.lastModified(), info.size());
    if (garbled.value(path) == stamp && info.exists())
        return defaultValue;
    QSettings store(path, QSettings::IniFormat);
    if (store.status() != QSettings::NoError) {
        garbled.insert(path, stamp);
        return defaultValue;
    }
    garbled.remove(path);
    const QVariant v = store.value(section + QLatin1Char('/') + key);
    if (!v.isValid())
        return defaultValue;
    // INI values holding a comma come back as a list.
    if (v.typeId() == QMetaType::QStringList)
        return v.toStringList().join(QLatin1Char(','));
    return v.toString();
}

bool writeSetting(const QString &application, const QString &section, const QString &key, const QString &value)
{
    const QString path = settingsFilePath(application);
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    // Qt's settings writer waits without end for a lock file beside the file
    // it writes, and a lock left behind by a write that failed half-way bears
    // this program's own process number, so it never looks abandoned. The
    // value is written into a copy under a fresh name instead, whose lock no
    // one else can hold, and the copy then takes the file's place.
    const QString copy = hiddenBeside(path, "ini");
    bool ok = !QFileInfo::exists(path) || QFile::copy(path, copy);
    if (ok) {
        QSettings store(copy, QSettings::IniFormat);
        ok = store.status() == QSettings::NoError; // a garbled file is left as the user has it
        if (ok) {
            store.setValue(section + QLatin1Char('/') + key, value);
            store.sync();
            ok = store.status() == QSettings::NoError;
        }
    }
    ok = ok && placeFile(copy, path, true);
    if (!ok) {
        QFile::remove(copy);
        QFile::remove(copy + QStringLiteral(".lock"));
    }
    return ok;
}

} // namespace platform
