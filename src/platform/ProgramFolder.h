#pragma once
// Files delivered beside the program (reference database, help, icons).
#include <QCoreApplication>
#include <QString>

namespace platform {

inline QString programFolder() { return QCoreApplication::applicationDirPath(); }
inline QString programFile(const QString &relative) { return programFolder() + QLatin1Char('/') + relative; }

} // namespace platform
