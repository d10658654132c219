#pragma once
// The per-user settings store, addressed by application name, section and key.
#include <QString>

namespace platform {

// Reads one text value; the default when the key is missing or unreadable.
// The store is never written by the program.
QString readSetting(const QString &application, const QString &section, const QString &key,
                    const QString &defaultValue);

// The file that holds the values of one application name (INI format, user scope).
QString settingsFilePath(const QString &application);

} // namespace platform
