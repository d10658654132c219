#pragma once
// Files delivered beside the program (reference database, help, icons).
#include <QCoreApplication>
#include <QIcon>
#include <QString>

namespace platform {

inline QString programFolder() { return QCoreApplication::applicationDirPath(); }
inline QString programFile(const QString &relative) { return programFolder() + QLatin1Char('/') + relative; }
// An icon of data/icons, copied to icons/ beside the program.
inline QIcon programIcon(const QString &name) { return QIcon(programFile(QStringLiteral("icons/") + name)); }

} // namespace platform
