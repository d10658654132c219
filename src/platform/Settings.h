#pragma once
// The per-user settings store, addressed by application name, section and key.
#include <QString>

namespace platform {

// Reads one text value; the default when the key is missing or unreadable.
QString readSetting(const QString &application, const QString &section, const QString &key,
                    const QString &defaultValue);

// Writes one text value; false when the store cannot be written (a garbled
// file is left as it is).
bool writeSetting(const QString &application, const QString &section, const QString &key, const QString &value);

// The file that holds the values of one application name (INI format, user scope).
QString settingsFilePath(const QString &application);

} // namespace platform
