#include "ProgramFolder.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace platform {

QString programFolder() { return QCoreApplication::applicationDirPath(); }

bool isInstalled()
{
    // Compared as the file system resolves them (/bin is /usr/bin on Debian).
    static const bool installed = [] {
        const QString folder = QFileInfo(QStringLiteral(SEQUANEL_INSTALL_BINDIR)).canonicalFilePath();
        return !folder.isEmpty() && QFileInfo(programFolder()).canonicalFilePath() == folder;
    }();
    return installed;
}

QString dataFolder()
{
    return isInstalled() ? QStringLiteral(SEQUANEL_INSTALL_DATADIR) : programFolder();
}

QString programFile(const QString &relative) { return dataFolder() + QLatin1Char('/') + relative; }

QString programVersion() { return QStringLiteral(SEQUANEL_VERSION); }

} // namespace platform
