#include "Settings.h"

#include <QCryptographicHash>
#include <QDir>
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
    QSettings store(settingsFilePath(application), QSettings::IniFormat);
    if (store.status() != QSettings::NoError)
        return defaultValue;
    const QVariant v = store.value(section + QLatin1Char('/') + key);
    if (!v.isValid())
        return defaultValue;
    // INI values holding a comma come back as a list.
    if (v.typeId() == QMetaType::QStringList)
        return v.toStringList().join(QLatin1Char(','));
    return v.toString();
}

} // namespace platform
